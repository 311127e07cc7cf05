#pragma once

#include "engine/FileCategory.h"
#include "engine/Formats.h"

#include <QHash>
#include <QStringList>

#include <optional>

namespace pivana {

/// The route table: each source extension's category and the ordered targets it may become,
/// built from the format lists of engine/Formats.h. Built once and never changed, so every
/// operation is safe from any thread.
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

    /// Every target some source of `category` is offered, in the panel's order.
    static QStringList targets(FileCategory category);

    /// Whether `format`, a target's lower-case extension, is a movie: mp4, mov or m4v.
    static bool isMovie(const QString& format);
    /// How `format` is written as an audio target; null when it is not one.
    static const formats::AudioEncoding* audioEncoding(const QString& format);

private:
    RouteTable();
    QHash<QString, ConversionRoute> m_routes;
};

}  // namespace pivana
