#pragma once

#include "engine/Error.h"
#include "media/Media.h"

#include <QFile>
#include <QString>

#include <string>

namespace pivana {

/// A file's name as FFmpeg takes it: the bytes the file system knows it by.
inline std::string mediaPath(const QString& file) {
    return QFile::encodeName(file).toStdString();
}

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
