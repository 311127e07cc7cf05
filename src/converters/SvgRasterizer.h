#pragma once

#include <QByteArray>
#include <QSize>
#include <QSizeF>
#include <QString>

namespace pivana {

/// A rasterised picture: straight (not premultiplied) RGBA, 8 bits per channel, rows packed.
struct RgbaImage {
    QSize size;
    QByteArray pixels;
};

/// The canvas an SVG of this size is drawn on: each side twice the larger of that side and 100.
QSize svgCanvasSize(const QSizeF& intrinsic);

/// Renders the SVG stretched over its whole canvas on a transparent background. Throws
/// `processFailed` "Cannot load SVG file" or "Cannot rasterise SVG".
RgbaImage rasterizeSvg(const QString& path);

}  // namespace pivana
