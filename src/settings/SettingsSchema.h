#pragma once

// What the settings store holds: each key and the value read when nothing usable is stored.
// The key texts are the format of users' existing settings files: never rename them.

#include <QString>

namespace pivana {

enum class OutputFolderMode { SameAsSource, Custom };

namespace SettingsKeys {
inline const QString outputFolderMode = QStringLiteral("outputFolderMode");
/// Holds a folder reference (bytes), not a path.
inline const QString customOutputFolder = QStringLiteral("customOutputFolder");
inline const QString replaceOriginal = QStringLiteral("replaceOriginal");
inline const QString jpgQuality = QStringLiteral("jpgQuality");
inline const QString audioBitrate = QStringLiteral("audioBitrate");
}  // namespace SettingsKeys

namespace SettingsDefaults {
constexpr OutputFolderMode outputFolderMode = OutputFolderMode::SameAsSource;
constexpr bool replaceOriginal = false;
/// Percent.
constexpr double jpgQuality = 85.0;
/// kbit/s.
constexpr int audioBitrate = 192;
}  // namespace SettingsDefaults

}  // namespace pivana
