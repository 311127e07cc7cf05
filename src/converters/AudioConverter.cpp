#include "converters/AudioConverter.h"

#include "engine/Error.h"
#include "engine/OutputFile.h"
#include "engine/ToolRunner.h"

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

const QString toolPrefix = QStringLiteral("pivana-audio: ");

void run(const QStringList& arguments, BatchContext* batch) {
    ProcessOptions options;
    options.environment = {QStringLiteral("PIVANA_PROGRESS=1")};
    if (batch) {
        options.cancel = batch->toolCancel();
        options.onOutputLine = [batch](const QByteArray& line) {
            if (line.startsWith("progress ")) {
                batch->reportProgress(line.mid(9).toDouble());
            }
        };
    }
    runTool(toolPrefix, toolPath(QStringLiteral("pivana-audio")), arguments, options);
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

void convert(const QString& source, const QString& target, const SettingsSnapshot& settings,
             BatchContext& batch) {
    if (!formatMap().contains(target)) {
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
    if (!formatMap().contains(format)) {
        throw ConversionError::unsupportedFormat(format);
    }
    run(toolArguments(source, format, 0, output), batch);
}

}  // namespace pivana::AudioConverter
