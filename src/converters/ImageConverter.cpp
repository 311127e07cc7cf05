#include "converters/ImageConverter.h"

#include "engine/Error.h"
#include "engine/RouteTable.h"
#include "engine/ToolRunner.h"

#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cmath>

namespace pivana::ImageConverter {

namespace {

const QString toolPrefix = QStringLiteral("pivana-image: ");

bool isJpeg(const QString& target) {
    return target == u"jpg" || target == u"jpeg";
}

// Targets encoded at the quality setting.
bool takesQuality(const QString& target) {
    return isJpeg(target) || target == u"webp";
}

void runImageTool(const QString& prefix, const QStringList& arguments, const BatchContext& batch) {
    ProcessOptions options;
    options.cancel = batch.toolCancel();
    runTool(prefix, toolPath(QStringLiteral("pivana-image")), arguments, options);
}

// Targets the SVG route writes over an existing file of the same name.
bool svgRouteReplaces(const QString& target) {
    return target == u"png" || isJpeg(target) || target == u"tiff" || target == u"bmp" ||
           target == u"gif";
}

}  // namespace

QStringList toolArguments(const QString& target, double jpgQuality, const QString& input,
                          const QString& output) {
    QStringList arguments = {QStringLiteral("--to"), target};
    if (takesQuality(target)) {
        arguments << QStringLiteral("--quality")
                  // Printed from the double: casting a value out of range to an integer is
                  // undefined, and the tool refuses what is not 1 to 100 anyway.
                  << QString::number(std::trunc(jpgQuality), 'f', 0);
    }
    arguments << input << output;
    return arguments;
}

Written convert(const ConversionJob& job) {
    if (RouteTable::extensionKey(job.source) == u"svg") {
        return convertFromSvg(job);
    }
    return convertViaTool(job);
}

Written convertViaTool(const ConversionJob& job) {
    runImageTool(toolPrefix,
                 toolArguments(job.target, job.settings.jpgQuality, job.source, job.output.path()),
                 job.batch);
    return job.output.written();
}

Written convertFromSvg(const ConversionJob& job) {
    // SVG pictures are encoded at the quality rounded to a whole percent, and the tool's
    // sentences stand alone ("Cannot load SVG file"), as when the app drew them itself.
    runImageTool(
        {},
        toolArguments(job.target, job.settings.jpegQualityPercent(), job.source, job.output.path()),
        job.batch);
    // heic, avif, exr and psd: unlike every other route, this one never replaces an existing
    // file.
    if (!svgRouteReplaces(job.target) && QFileInfo::exists(job.output.finalPath())) {
        throw ConversionError::fileOperation(QStringLiteral("Cannot save"), job.output.finalPath(),
                                             EEXIST);
    }
    return job.output.written();
}

std::vector<std::optional<Error>> convertTogether(const std::vector<DocumentJob>& pictures,
                                                  const QString& target, const SettingsSnapshot&) {
    std::vector<std::optional<Error>> outcomes(pictures.size());
    std::vector<bool> reported(pictures.size(), false);
    QStringList arguments = {QStringLiteral("--to"), target, QStringLiteral("--")};
    for (const DocumentJob& picture : pictures) {
        arguments << picture.source;
    }
    arguments << pictures.front().output->path();
    size_t reached = 0;  // pictures announced so far
    const auto reach = [&](size_t count) {
        for (; reached < std::min(count, pictures.size()); ++reached) {
            pictures[reached].context->announceStart();
        }
    };
    ProcessOptions options;
    options.cancel = pictures.front().context->toolCancel();
    options.timeout = toolTimeLimit * static_cast<int>(pictures.size());
    options.environment = {QStringLiteral("PIVANA_PROGRESS=1")};
    // "progress F" for the whole document, "N failed SENTENCE" for a picture left out.
    options.onOutputLine = [&](const QByteArray& line) {
        if (line.startsWith("progress ")) {
            const double fraction = line.mid(9).toDouble();
            const auto at = static_cast<size_t>(fraction * static_cast<double>(pictures.size()));
            reach(at + 1);
            return;
        }
        const qsizetype space = line.indexOf(' ');
        bool isNumber = false;
        const size_t position = line.left(space).toULongLong(&isNumber);
        if (isNumber && position >= 1 && position <= pictures.size() &&
            line.mid(space + 1).startsWith("failed ")) {
            outcomes[position - 1] = ConversionError::processFailed(
                toolPrefix + QString::fromUtf8(line.mid(space + 1 + sizeof("failed ") - 1)));
            reported[position - 1] = true;
        }
    };
    try {
        runTool(toolPrefix, toolPath(QStringLiteral("pivana-image")), arguments, options);
    } catch (const Error& error) {
        for (size_t i = 0; i < pictures.size(); ++i) {
            if (!reported[i]) {
                outcomes[i] = error;
            }
        }
    }
    reach(pictures.size());
    return outcomes;
}

}  // namespace pivana::ImageConverter
