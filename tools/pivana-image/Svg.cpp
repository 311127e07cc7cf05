// Drawing SVG documents with librsvg onto a cairo canvas, for the save path to encode.
#include "CairoHandles.h"
#include "ImageTool.h"
#include "media/Vips.h"

#include <cairo.h>
#include <librsvg/rsvg.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <utility>

namespace pivana::image {

namespace {

const char* const cannotLoad = "Cannot load SVG file";
const char* const cannotRasterise = "Cannot rasterise SVG";

// Larger canvases would need gigabytes and exceed what cairo can address.
constexpr int maxCanvasSide = 16384;

// The message of a GError, which is freed.
std::string takeMessage(GError* error, const char* otherwise) {
    if (!error) {
        return otherwise;
    }
    std::string message = error->message ? error->message : otherwise;
    g_error_free(error);
    return message;
}

// Width and height of the document in pixels: its own width and height when they are absolute,
// else its viewBox.
std::optional<std::pair<double, double>> intrinsicSize(RsvgHandle* handle) {
    gdouble width = 0;
    gdouble height = 0;
    if (rsvg_handle_get_intrinsic_size_in_pixels(handle, &width, &height) && width > 0 &&
        height > 0) {
        return std::pair(width, height);
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
        return std::pair(viewBox.width, viewBox.height);
    }
    return std::nullopt;
}

// Cairo keeps premultiplied native-endian ARGB words; encoders want straight RGBA bytes. Each
// pixel is rewritten where it lies.
void toStraightRgba(unsigned char* data, int width, int height, int stride) {
    for (int y = 0; y < height; ++y) {
        unsigned char* row = data + static_cast<std::ptrdiff_t>(y) * stride;
        for (int x = 0; x < width; ++x) {
            unsigned char* at = row + static_cast<std::ptrdiff_t>(x) * 4;
            uint32_t pixel = 0;
            std::memcpy(&pixel, at, sizeof pixel);
            const unsigned alpha = pixel >> 24;
            auto straight = [alpha](unsigned premultiplied) {
                return alpha == 0 ? 0u : std::min(255u, (premultiplied * 255u + alpha / 2) / alpha);
            };
            at[0] = static_cast<unsigned char>(straight((pixel >> 16) & 0xff));
            at[1] = static_cast<unsigned char>(straight((pixel >> 8) & 0xff));
            at[2] = static_cast<unsigned char>(straight(pixel & 0xff));
            at[3] = static_cast<unsigned char>(alpha);
        }
    }
}

}  // namespace

Canvas svgCanvasSize(double width, double height) {
    auto side = [](double length) {
        return static_cast<int>(std::lround(2.0 * std::max(length, 100.0)));
    };
    return {side(width), side(height)};
}

vips::VImage rasterizeSvg(const std::string& path) {
    // Missing files, folders and FIFOs in their own words; an empty file is no SVG document.
    checkRegularFile(path);
    GError* error = nullptr;
    // Through a GFile, so that a name with a colon in it is never taken for a URI.
    const std::unique_ptr<GFile, GObjectDeleter> file(g_file_new_for_path(path.c_str()));
    std::unique_ptr<RsvgHandle, GObjectDeleter> handle(
        rsvg_handle_new_from_gfile_sync(file.get(), RSVG_HANDLE_FLAGS_NONE, nullptr, &error));
    const std::string loadDetail = takeMessage(error, "librsvg cannot read the document");
    if (!handle) {
        throw Failure(cannotLoad, loadDetail);
    }
    // A document without any size of its own is drawn as 100 by 100.
    const auto [width, height] = intrinsicSize(handle.get()).value_or(std::pair(100.0, 100.0));
    const Canvas canvas = svgCanvasSize(width, height);
    if (canvas.width > maxCanvasSide || canvas.height > maxCanvasSide) {
        throw Failure(cannotRasterise, "the canvas would be " + std::to_string(canvas.width) +
                                           " x " + std::to_string(canvas.height) + " pixels");
    }

    std::unique_ptr<cairo_surface_t, SurfaceDeleter> surface(
        cairo_image_surface_create(CAIRO_FORMAT_ARGB32, canvas.width, canvas.height));
    std::unique_ptr<cairo_t, ContextDeleter> context(cairo_create(surface.get()));
    // Stretched over the whole canvas, as the image is drawn into the whole rectangle.
    cairo_scale(context.get(), canvas.width / width, canvas.height / height);
    const RsvgRectangle viewport{0, 0, width, height};
    error = nullptr;
    const bool rendered =
        rsvg_handle_render_document(handle.get(), context.get(), &viewport, &error);
    const std::string renderDetail = takeMessage(error, "cairo could not draw the document");
    cairo_surface_flush(surface.get());
    if (!rendered || cairo_status(context.get()) != CAIRO_STATUS_SUCCESS ||
        cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) {
        throw Failure(cannotRasterise, renderDetail);
    }
    context.reset();
    handle.reset();

    unsigned char* data = cairo_image_surface_get_data(surface.get());
    const int stride = cairo_image_surface_get_stride(surface.get());
    if (!data || stride != canvas.width * 4) {
        throw Failure(cannotRasterise, "cairo gave an unexpected canvas layout");
    }
    toStraightRgba(data, canvas.width, canvas.height, stride);
    // The picture reads the canvas where it lies; the canvas goes when the picture closes.
    VipsImage* wrapped =
        vips_image_new_from_memory(data, static_cast<size_t>(stride) * canvas.height, canvas.width,
                                   canvas.height, 4, VIPS_FORMAT_UCHAR);
    if (!wrapped) {
        throw Failure(cannotRasterise, media::takeVipsError());
    }
    g_signal_connect(wrapped, "close", G_CALLBACK(+[](VipsImage*, gpointer canvasSurface) {
                         cairo_surface_destroy(static_cast<cairo_surface_t*>(canvasSurface));
                     }),
                     surface.release());
    return vips::VImage(wrapped).copy(
        vips::VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB));
}

}  // namespace pivana::image
