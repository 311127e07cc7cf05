#pragma once

#include "engine/ConversionResult.h"
#include "settings/Snapshot.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace pivana {

/// The texts a finished batch is reported with, shared by the panel, notifications and the
/// command line.
namespace BatchSummary {

/// One file's name, or "N files".
QString fileLabel(const QStringList& files);

/// "Converted to PNG", or "Converted 2 of 3 to PNG".
QString doneTitleLine(const QString& format, int succeeded, int total);

/// The message when a batch offers no target.
QString noTargetsMessage(const QStringList& files);

/// The files that failed, in order, without those a cancel stopped before they converted:
/// those did not fail.
std::vector<FailedFile> failuresOf(const ConversionResult& result);

struct Notice {
    QString title;
    QString body;
};

/// Title and body of the notification for a batch's outcome. `outputs` are the files written.
Notice notice(const QStringList& files, const ConversionResult& result, const QStringList& outputs);

/// The folder named in "saved to": the custom folder when it is in use, else the folder of the
/// first converted source.
QString savedFolder(const ConversionResult& result, const SettingsSnapshot& settings);

}  // namespace BatchSummary
}  // namespace pivana
