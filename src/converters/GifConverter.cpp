#include "converters/GifConverter.h"

#include "converters/MediaErrors.h"
#include "engine/OutputFile.h"
#include "media/AnimatedGif.h"

namespace pivana::GIFConverter {

int frameDelay(int declaredHundredths) {
    return media::frameDelay(declaredHundredths);
}

int gifFrameCount(double durationSeconds) {
    return media::gifFrameCount(durationSeconds);
}

std::pair<int, int> gifFrameSize(int width, int height) {
    return media::gifFrameSize(width, height);
}

void gifToVideo(const QString& source, const QString& target, const SettingsSnapshot& settings,
                BatchContext& batch) {
    OutputFile output(outputPath(source, target, settings), source, batch);
    withMediaErrors([&] {
        media::gifToMovie(mediaPath(source), mediaPath(output.stagingPath()), target.toStdString(),
                          [&batch](double fraction) { batch.reportProgress(fraction); });
    });
    output.commit();
    removeSourceIfAsked(source, settings);
}

void videoToGIF(const QString& source, const SettingsSnapshot& settings, BatchContext& batch) {
    OutputFile output(outputPath(source, QStringLiteral("gif"), settings), source, batch);
    withMediaErrors([&] {
        media::movieToGif(mediaPath(source), mediaPath(output.stagingPath()),
                          [&batch](double fraction) { batch.reportProgress(fraction); });
    });
    output.commit();
    removeSourceIfAsked(source, settings);
}

}  // namespace pivana::GIFConverter
