#pragma once

#include "engine/BatchContext.h"
#include "engine/FileCategory.h"
#include "settings/Snapshot.h"

#include <QString>

#include <functional>

namespace pivana {

/// A converter entry point: converts one source to the target, writing its output by the shared
/// output rules, or throws an `Error`.
using ConverterEntry = std::function<void(const QString& source, const QString& target,
                                          const SettingsSnapshot& settings, BatchContext& batch)>;

/// The converter the batch driver calls for each category (and for GIF sources, the video path).
/// The engine knows only these slots; whoever builds the driver fills them.
class ConverterTable {
public:
    ConverterEntry image;
    ConverterEntry gifToVideo;
    ConverterEntry audio;
    ConverterEntry video;
    ConverterEntry text;
    ConverterEntry pdf;
    ConverterEntry presentation;

    /// The entry for a source of this category asked for this target.
    const ConverterEntry& entryFor(FileCategory category, const QString& target) const;
};

}  // namespace pivana
