#pragma once

#include "engine/Converter.h"

#include <QStringList>

namespace pivana::ImageConverter {

/// Converts a still image, a camera RAW file, an SVG or the first frame of a GIF, each through
/// pivana-image: the app itself parses none of them.
Written convert(const ConversionJob& job);

/// The tool route: pivana-image decodes the source and encodes the target.
Written convertViaTool(const ConversionJob& job);

/// The SVG route: pivana-image draws the document on a canvas twice its size (each side at least
/// 200 pixels) and encodes it. Its failures read without the tool's prefix ("Cannot load SVG
/// file", "Cannot rasterise SVG"), and to heic, avif, exr and psd it never replaces an existing
/// file.
Written convertFromSvg(const ConversionJob& job);

/// The pictures of a batch into one PDF through one pivana-image run (see `CollectionEntry`):
/// each picture the tool could not read fails with its own reason, and the others make the
/// document.
std::vector<std::optional<Error>> convertTogether(const std::vector<DocumentJob>& pictures,
                                                  const QString& target,
                                                  const SettingsSnapshot& settings);

/// The argument list pivana-image gets for a target.
QStringList toolArguments(const QString& target, double jpgQuality, const QString& input,
                          const QString& output);

}  // namespace pivana::ImageConverter
