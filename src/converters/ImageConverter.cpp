#include "converters/ImageConverter.h"

#include "engine/Error.h"
#include "engine/OutputFile.h"
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

void convert(const QString& source, const QString& target, const SettingsSnapshot& settings,
             BatchContext& batch) {
    if (RouteTable::extensionKey(source) == u"svg") {
        convertFromSvg(source, target, settings, batch);
    } else {
        convertViaTool(source, target, settings, batch);
    }
}

void convertViaTool(const QString& source, const QString& target, const SettingsSnapshot& settings,
                    BatchContext& batch) {
    OutputFile output(outputPath(source, target, settings), source, batch);
    runImageTool(toolPrefix,
                 toolArguments(target, settings.jpgQuality, source, output.stagingPath()), batch);
    output.commit();
    removeSourceIfAsked(source, settings);
}

void convertFromSvg(const QString& source, const QString& target, const SettingsSnapshot& settings,
                    BatchContext& batch) {
    const QString finalPath = outputPath(source, target, settings);
    OutputFile output(finalPath, source, batch);
    // SVG pictures are encoded at the quality rounded to a whole percent, and the tool's
    // sentences stand alone ("Cannot load SVG file"), as when the app drew them itself.
    runImageTool({},
                 toolArguments(target, settings.jpegQualityPercent(), source, output.stagingPath()),
                 batch);
    // heic, avif, exr and psd: unlike every other route, this one never replaces an existing
    // file.
    if (!svgRouteReplaces(target) && QFileInfo::exists(finalPath)) {
        throw Error::fileOperation(QStringLiteral("Cannot save"), finalPath, EEXIST);
    }
    output.commit();
    removeSourceIfAsked(source, settings);
}

}  // namespace pivana::ImageConverter
