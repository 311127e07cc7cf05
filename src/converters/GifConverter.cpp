#include "converters/GifConverter.h"

#include "converters/MediaTools.h"

namespace pivana::GIFConverter {

void gifToVideo(const QString& source, const QString& target, const SettingsSnapshot& settings,
                BatchContext& batch) {
    convertWithVideoTool(source, target, settings, batch);
}

void videoToGIF(const QString& source, const SettingsSnapshot& settings, BatchContext& batch) {
    convertWithVideoTool(source, QStringLiteral("gif"), settings, batch);
}

}  // namespace pivana::GIFConverter
