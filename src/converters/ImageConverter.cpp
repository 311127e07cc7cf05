#include "converters/ImageConverter.h"

#include "converters/SvgRasterizer.h"
#include "engine/Error.h"
#include "engine/RouteTable.h"
#include "engine/TemporaryFile.h"
#include "engine/ToolRunner.h"
#include "media/Vips.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cmath>
#include <vips/vips8>

namespace pivana::ImageConverter {

namespace {

const QString toolPrefix = QStringLiteral("pivana-image: ");

QString vipsError() {
    return QString::fromStdString(media::takeVipsError());
}

bool isJpeg(const QString& target) {
    return target == u"jpg" || target == u"jpeg";
}

vips::VImage toVips(const RgbaImage& raster) {
    VipsImage* image = vips_image_new_from_memory_copy(
        raster.pixels.constData(), static_cast<size_t>(raster.pixels.size()), raster.size.width(),
        raster.size.height(), 4, VIPS_FORMAT_UCHAR);
    if (!image) {
        media::takeVipsError();  // so the next failure's text is its own
        throw ConversionError::processFailed(QStringLiteral("Cannot rasterise SVG"));
    }
    return vips::VImage(image).copy(
        vips::VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB));
}

void runImageTool(const QStringList& arguments, const BatchContext& batch) {
    ProcessOptions options;
    options.cancel = batch.toolCancel();
    runTool(toolPrefix, toolPath(QStringLiteral("pivana-image")), arguments, options);
}

vips::VImage onWhite(const vips::VImage& image) {
    return image.flatten(vips::VImage::option()->set("background", std::vector<double>{255.0}));
}

// Encodes the targets libvips writes well in process. False for every other target.
bool encodeDirectly(const vips::VImage& image, const QString& target,
                    const SettingsSnapshot& settings, const QString& path) {
    const QByteArray file = QFile::encodeName(path);
    if (target == u"png") {
        image.pngsave(file.constData());
    } else if (isJpeg(target)) {
        onWhite(image).jpegsave(file.constData(),
                                vips::VImage::option()->set("Q", settings.jpegQualityPercent()));
    } else if (target == u"tiff") {
        image.tiffsave(file.constData());
    } else if (target == u"bmp") {
        onWhite(image).magicksave(file.constData(), vips::VImage::option()->set("format", "bmp3"));
    } else if (target == u"gif") {
        image.gifsave(file.constData());
    } else {
        return false;
    }
    return true;
}

}  // namespace

QStringList toolArguments(const QString& target, double jpgQuality, const QString& input,
                          const QString& output) {
    QStringList arguments = {"-s", "format", target == u"jpg" ? QStringLiteral("jpeg") : target};
    if (isJpeg(target)) {
        arguments << "-s"
                  << "formatOptions"
                  // Printed from the double: casting a value out of range to an integer is
                  // undefined, and the tool refuses what is not 1 to 100 anyway.
                  << QString::number(std::trunc(jpgQuality), 'f', 0);
    }
    arguments << input << "--out" << output;
    return arguments;
}

Written convert(const ConversionJob& job) {
    if (RouteTable::extensionKey(job.source) == u"svg") {
        return convertFromSvg(job);
    }
    return convertViaTool(job);
}

Written convertViaTool(const ConversionJob& job) {
    runImageTool(toolArguments(job.target, job.settings.jpgQuality, job.source, job.output.path()),
                 job.batch);
    return job.output.written();
}

Written convertFromSvg(const ConversionJob& job) {
    const QString& source = job.source;
    const QString& target = job.target;
    const SettingsSnapshot& settings = job.settings;
    if (!media::ensureVipsStarted("pivana")) {
        throw ConversionError::processFailed(QStringLiteral("Cannot start libvips: ") +
                                             vipsError());
    }
    const vips::VImage image = toVips(rasterizeSvg(source));
    const QString& finalPath = job.output.finalPath();
    bool written = false;
    try {
        written = encodeDirectly(image, target, settings, job.output.path());
    } catch (const vips::VError&) {
        throw ConversionError::fileOperation(QStringLiteral("Cannot save"), finalPath, vipsError());
    }

    if (!written) {
        // heic, avif, exr and psd: through a temporary PNG and the image tool. Unlike every other
        // route this one never replaces an existing file.
        TemporaryFile intermediate(QStringLiteral("png"));
        try {
            image.pngsave(QFile::encodeName(intermediate.path()).constData());
        } catch (const vips::VError&) {
            media::takeVipsError();
            throw ConversionError::processFailed(QStringLiteral("Cannot encode intermediate PNG"));
        }
        if (QFileInfo::exists(finalPath)) {
            throw ConversionError::fileOperation(QStringLiteral("Cannot save"), finalPath, EEXIST);
        }
        runImageTool(
            toolArguments(target, settings.jpgQuality, intermediate.path(), job.output.path()),
            job.batch);
    }
    return job.output.written();
}

}  // namespace pivana::ImageConverter
