#pragma once

#include "engine/Error.h"
#include "media/Media.h"

#include <QString>

namespace pivana {

/// Runs FFmpeg work, turning its `MediaError` into the engine's `processFailed`: the one place
/// where FFmpeg failures become conversion errors.
template <typename Work>
void withMediaErrors(Work&& work) {
    try {
        work();
    } catch (const media::MediaError& error) {
        throw ConversionError::processFailed(QString::fromStdString(error.what()));
    }
}

}  // namespace pivana
