#pragma once

#include "settings/SettingsSchema.h"

#include <QString>

#include <algorithm>
#include <cmath>
#include <optional>

namespace pivana {

/// An immutable copy of the settings, taken when a batch starts and handed to every converter
/// (`Settings::Snapshot`). Kept apart from the store so the engine needs nothing else of it.
struct SettingsSnapshot {
    OutputFolderMode outputFolderMode = SettingsDefaults::outputFolderMode;
    /// The custom folder when it resolved at snapshot time, whatever the mode.
    std::optional<QString> customOutputFolder;
    bool replaceOriginal = SettingsDefaults::replaceOriginal;
    double jpgQuality = SettingsDefaults::jpgQuality;
    int audioBitrate = SettingsDefaults::audioBitrate;

    /// `jpgQuality` as the whole percent in-process JPEG encoders take: rounded, 1 to 100.
    int jpegQualityPercent() const {
        return std::clamp(static_cast<int>(std::lround(jpgQuality)), 1, 100);
    }
};

}  // namespace pivana
