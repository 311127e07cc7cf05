#pragma once

#include "engine/FileCategory.h"

#include <QHash>
#include <QStringList>

#include <optional>

namespace pivana {

/// The route table: each source extension's category and the ordered targets it may become.
/// Built once and never changed, so every operation is safe from any thread.
class RouteTable {
public:
    static const RouteTable& shared();

    /// Targets offered for a batch: those common to every file, in the first file's order, none
    /// of them a format the batch already has. Empty when the batch is empty, has a file without
    /// a route, or mixes categories.
    QStringList commonTargets(const QStringList& files) const;

    std::optional<FileCategory> category(const QString& file) const;
    std::optional<ConversionRoute> route(const QString& file) const;
    /// Every routed extension, sorted.
    QStringList sourceExtensions() const;

    /// The key a file is looked up by: its extension, lower-cased.
    static QString extensionKey(const QString& file);

private:
    RouteTable();
    QHash<QString, ConversionRoute> m_routes;
};

}  // namespace pivana
