#pragma once

#include <QString>

#include <optional>

namespace pivana {

enum class OutputFolderMode { SameAsSource, Custom };

/// An immutable copy of the settings, taken when a batch starts and handed to every converter
/// (`Settings::Snapshot`). Kept apart from the store so the engine needs nothing else of it.
struct SettingsSnapshot {
    OutputFolderMode outputFolderMode = OutputFolderMode::SameAsSource;
    /// The custom folder when it resolved at snapshot time, whatever the mode.
    std::optional<QString> customOutputFolder;
    bool replaceOriginal = false;
    double jpgQuality = 85.0;
    int audioBitrate = 192;
};

}  // namespace pivana
