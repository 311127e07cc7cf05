#include "converters/AudioConverter.h"

#include "converters/MediaTools.h"
#include "engine/Error.h"
#include "engine/OutputFile.h"
#include "engine/RouteTable.h"

namespace pivana::AudioConverter {

namespace {

// pivana-audio's sentences follow the tool's name, as the system converter's would.
void run(const QStringList& arguments, BatchContext* batch) {
    runMediaTool(QStringLiteral("pivana-audio"), QStringLiteral("pivana-audio: "), arguments,
                 batch);
}

}  // namespace

QStringList toolArguments(const QString& input, const QString& format, long bitRate,
                          const QString& output) {
    QStringList arguments = {QStringLiteral("--to"), format};
    const formats::AudioEncoding* encoding = RouteTable::audioEncoding(format);
    if (bitRate > 0 && encoding && encoding->lossy) {
        arguments << QStringLiteral("--bitrate") << QString::number(bitRate);
    }
    arguments << input << output;
    return arguments;
}

void convert(const QString& source, const QString& target, const SettingsSnapshot& settings,
             BatchContext& batch) {
    if (!RouteTable::audioEncoding(target)) {
        throw ConversionError::unsupportedFormat(
            QStringLiteral("MP3 encoding is not supported. Try WAV, M4A, AAC, AIFF, or FLAC."));
    }
    OutputFile output(outputPath(source, target, settings), source, batch);
    run(toolArguments(source, target, static_cast<long>(settings.audioBitrate) * 1000,
                      output.stagingPath()),
        &batch);
    output.commit();
    removeSourceIfAsked(source, settings);
}

void convertFile(const QString& source, const QString& output, const QString& format,
                 BatchContext* batch) {
    if (!RouteTable::audioEncoding(format)) {
        throw ConversionError::unsupportedFormat(format);
    }
    run(toolArguments(source, format, 0, output), batch);
}

}  // namespace pivana::AudioConverter
