#include "converters/SvgRasterizer.h"

#include "engine/Error.h"

#include <cairo.h>
#include <librsvg/rsvg.h>

#include <QFile>

#include <cmath>
#include <memory>

namespace pivana {

namespace {

// Larger canvases would need gigabytes and exceed what cairo can address.
constexpr int maxCanvasSide = 16384;

struct GObjectDeleter {
    void operator()(gpointer object) const { g_object_unref(object); }
};
struct SurfaceDeleter {
    void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
struct ContextDeleter {
    void operator()(cairo_t* context) const { cairo_destroy(context); }
};

// Width and height of the document in pixels: its own width and height when they are absolute,
// else its viewBox.
std::optional<QSizeF> intrinsicSize(RsvgHandle* handle) {
    gdouble width = 0;
    gdouble height = 0;
    if (rsvg_handle_get_intrinsic_size_in_pixels(handle, &width, &height) && width > 0 &&
        height > 0) {
        return QSizeF(width, height);
    }
    gboolean hasWidth = FALSE;
    gboolean hasHeight = FALSE;
    gboolean hasViewBox = FALSE;
    RsvgLength lengthW{};
    RsvgLength lengthH{};
    RsvgRectangle viewBox{};
    rsvg_handle_get_intrinsic_dimensions(handle, &hasWidth, &lengthW, &hasHeight, &lengthH,
                                         &hasViewBox, &viewBox);
    if (hasViewBox && viewBox.width > 0 && viewBox.height > 0) {
        return QSizeF(viewBox.width, viewBox.height);
    }
    return std::nullopt;
}

}  // namespace

QSize svgCanvasSize(const QSizeF& intrinsic) {
    auto side = [](double length) {
        return static_cast<int>(std::lround(2.0 * std::max(length, 100.0)));
    };
    return {side(intrinsic.width()), side(intrinsic.height())};
}

RgbaImage rasterizeSvg(const QString& path) {
    GError* error = nullptr;
    std::unique_ptr<RsvgHandle, GObjectDeleter> handle(
        rsvg_handle_new_from_file(QFile::encodeName(path).constData(), &error));
    if (error) {
        g_error_free(error);
    }
    if (!handle) {
        throw ConversionError::processFailed(QStringLiteral("Cannot load SVG file"));
    }
    // A document without any size of its own is drawn as 100 by 100.
    const QSizeF intrinsic = intrinsicSize(handle.get()).value_or(QSizeF(100, 100));
    const QSize canvas = svgCanvasSize(intrinsic);
    if (canvas.width() > maxCanvasSide || canvas.height() > maxCanvasSide) {
        throw ConversionError::processFailed(QStringLiteral("Cannot rasterise SVG"));
    }

    std::unique_ptr<cairo_surface_t, SurfaceDeleter> surface(
        cairo_image_surface_create(CAIRO_FORMAT_ARGB32, canvas.width(), canvas.height()));
    std::unique_ptr<cairo_t, ContextDeleter> context(cairo_create(surface.get()));
    // Stretched over the whole canvas, as the image is drawn into the whole rectangle.
    cairo_scale(context.get(), canvas.width() / intrinsic.width(),
                canvas.height() / intrinsic.height());
    const RsvgRectangle viewport{0, 0, intrinsic.width(), intrinsic.height()};
    const bool rendered =
        rsvg_handle_render_document(handle.get(), context.get(), &viewport, &error);
    if (error) {
        g_error_free(error);
    }
    cairo_surface_flush(surface.get());
    if (!rendered || cairo_status(context.get()) != CAIRO_STATUS_SUCCESS ||
        cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) {
        throw ConversionError::processFailed(QStringLiteral("Cannot rasterise SVG"));
    }

    // Cairo keeps premultiplied native-endian ARGB words; encoders want straight RGBA bytes.
    RgbaImage image{canvas,
                    QByteArray(qsizetype(canvas.width()) * canvas.height() * 4, Qt::Uninitialized)};
    const unsigned char* data = cairo_image_surface_get_data(surface.get());
    const int stride = cairo_image_surface_get_stride(surface.get());
    auto* out = reinterpret_cast<unsigned char*>(image.pixels.data());
    for (int y = 0; y < canvas.height(); ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(data + qsizetype(y) * stride);
        for (int x = 0; x < canvas.width(); ++x) {
            const uint32_t pixel = row[x];
            const unsigned alpha = pixel >> 24;
            auto straight = [alpha](unsigned premultiplied) {
                return alpha == 0 ? 0u : std::min(255u, (premultiplied * 255u + alpha / 2) / alpha);
            };
            *out++ = static_cast<unsigned char>(straight((pixel >> 16) & 0xff));
            *out++ = static_cast<unsigned char>(straight((pixel >> 8) & 0xff));
            *out++ = static_cast<unsigned char>(straight(pixel & 0xff));
            *out++ = static_cast<unsigned char>(alpha);
        }
    }
    return image;
}

}  // namespace pivana
