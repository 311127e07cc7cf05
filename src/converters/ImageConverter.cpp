#include "converters/ImageConverter.h"

#include "engine/Error.h"
#include "engine/RouteTable.h"
#include "engine/ToolRunner.h"

#include <QFileInfo>

#include <cerrno>
#include <cmath>

namespace pivana::ImageConverter {

namespace {

const QString toolPrefix = QStringLiteral("pivana-image: ");

bool isJpeg(const QString& target) {
    return target == u"jpg" || target == u"jpeg";
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
    if (isJpeg(target)) {
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

}  // namespace pivana::ImageConverter
