#pragma once

#include "engine/ConversionResult.h"
#include "engine/FileCategory.h"
#include "settings/Snapshot.h"

#include <QFuture>
#include <QHash>
#include <QStringList>

#include <optional>

namespace pivana {

class ConverterTable;
struct BatchObserver;

/// The route table (source extension to category and targets) and the batch driver that sends
/// each file of a batch to the converter of its category.
class ConversionRouter {
public:
    static const ConversionRouter& shared();

    /// Targets offered for a batch: those common to every file, in the first file's order, none
    /// of them a format the batch already has. Empty when the batch is empty, has a file without
    /// a route, or mixes categories.
    QStringList commonTargets(const QStringList& files) const;

    std::optional<FileCategory> category(const QString& file) const;
    std::optional<ConversionRoute> route(const QString& file) const;
    QStringList sourceExtensions() const;

    /// Converts the files one after another on the calling thread and reports each outcome, in
    /// input order. Never throws: every failure is recorded against its file.
    ConversionResult convert(const QStringList& files, const QString& target,
                             const SettingsSnapshot& settings, const ConverterTable& converters,
                             const BatchObserver* observer = nullptr) const;
    ConversionResult convert(const QStringList& files, const QString& target,
                             const SettingsSnapshot& settings,
                             const BatchObserver* observer = nullptr) const;

    /// The same, off the calling thread; the observer is called from the worker thread.
    QFuture<ConversionResult> convertInBackground(const QStringList& files, const QString& target,
                                                  const SettingsSnapshot& settings,
                                                  const BatchObserver* observer = nullptr) const;

    /// The key a file is looked up by: its extension, lower-cased.
    static QString extensionKey(const QString& file);

private:
    ConversionRouter();
    QHash<QString, ConversionRoute> m_routes;
};

}  // namespace pivana
