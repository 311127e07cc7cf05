#include "converters/AudioConverter.h"

#include "converters/MediaTools.h"
#include "engine/Error.h"

#include <QHash>

namespace pivana::AudioConverter {

namespace {

struct Codes {
    QString fileType;
    QString dataFormat;
};

// File type (-f) and data format (-d) per target, byte for byte: "aac " and "I16 " end in a
// space.
const QHash<QString, Codes>& formatMap() {
    static const QHash<QString, Codes> map = {
        {"wav", {"WAVE", "LEI16"}}, {"m4a", {"m4af", "aac "}},  {"aac", {"adts", "aac "}},
        {"aiff", {"AIFF", "I16 "}}, {"flac", {"flac", "flac"}},
    };
    return map;
}

// pivana-audio's sentences follow the tool's name, so a reason says which step failed.
void run(const QStringList& arguments, BatchContext* batch) {
    runMediaTool(QStringLiteral("pivana-audio"), QStringLiteral("pivana-audio: "), arguments,
                 batch);
}

}  // namespace

QStringList toolArguments(const QString& input, const QString& format, long bitRate,
                          const QString& output) {
    const Codes codes = formatMap().value(format);
    QStringList arguments = {input, "-f", codes.fileType, "-d", codes.dataFormat};
    if (bitRate > 0 && (format == u"aac" || format == u"m4a")) {
        arguments << "-b" << QString::number(bitRate);
    }
    arguments << output;
    return arguments;
}

Written convert(const ConversionJob& job) {
    if (!formatMap().contains(job.target)) {
        throw ConversionError::unsupportedFormat(
            QStringLiteral("MP3 encoding is not supported. Try WAV, M4A, AAC, AIFF, or FLAC."));
    }
    run(toolArguments(job.source, job.target, static_cast<long>(job.settings.audioBitrate) * 1000,
                      job.output.path()),
        &job.batch);
    return job.output.written();
}

void convertFile(const QString& source, const QString& output, const QString& format,
                 BatchContext* batch) {
    if (!formatMap().contains(format)) {
        throw ConversionError::unsupportedFormat(format);
    }
    run(toolArguments(source, format, 0, output), batch);
}

}  // namespace pivana::AudioConverter
