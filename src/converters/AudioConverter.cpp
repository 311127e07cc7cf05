#include "converters/AudioConverter.h"

#include "converters/MediaTools.h"
#include "engine/Error.h"
#include "engine/RouteTable.h"

namespace pivana::AudioConverter {

namespace {

// pivana-audio's sentences follow the tool's name, so a reason says which step failed.
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

Written convert(const ConversionJob& job) {
    if (!RouteTable::audioEncoding(job.target)) {
        throw ConversionError::unsupportedFormat(job.target);
    }
    run(toolArguments(job.source, job.target, static_cast<long>(job.settings.audioBitrate) * 1000,
                      job.output.path()),
        &job.batch);
    return job.output.written();
}

void convertFile(const QString& source, const QString& output, const QString& format,
                 BatchContext* batch) {
    if (!RouteTable::audioEncoding(format)) {
        throw ConversionError::unsupportedFormat(format);
    }
    run(toolArguments(source, format, 0, output), batch);
}

}  // namespace pivana::AudioConverter
