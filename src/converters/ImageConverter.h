#pragma once

#include "engine/Converter.h"

#include <QStringList>

namespace pivana::ImageConverter {

/// Converts a still image, a camera RAW file, an SVG or the first frame of a GIF. SVG is
/// rasterised in process; everything else goes through pivana-image.
Written convert(const ConversionJob& job);

/// The tool route: pivana-image decodes the source and encodes the target.
Written convertViaTool(const ConversionJob& job);

/// The SVG route: librsvg renders onto a canvas twice the image's size (each side at least 200
/// pixels); png, jpg, tiff, bmp and gif are encoded directly, other targets through a temporary
/// PNG and pivana-image.
Written convertFromSvg(const ConversionJob& job);

/// The argument list pivana-image gets for a target.
QStringList toolArguments(const QString& target, double jpgQuality, const QString& input,
                          const QString& output);

}  // namespace pivana::ImageConverter
