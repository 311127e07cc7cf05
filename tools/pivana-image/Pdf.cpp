// Rendering the pages of a PDF with poppler onto cairo canvases, each written through the save
// path as page-N.png (or .jpg) into a folder: every page, or none.
#include "CairoHandles.h"
#include "ImageTool.h"
#include "common/StagedOutput.h"
#include "engine/QuietStandardError.h"
#include "media/Vips.h"

#include <cairo.h>
#include <poppler.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <future>
#include <memory>
#include <vector>

namespace pivana::image {

namespace {

// 72 points to the inch, drawn at twice that.
constexpr double renderScale = 144.0 / 72.0;
// Cairo addresses no canvas side longer than this.
constexpr int maxCanvasSide = 32767;
// No page is drawn on more pixels than this: a poster still comes out at twice its size, and a
// page of 200 inches a side is drawn smaller rather than not at all.
constexpr double pagePixelBudget = 64e6;

// Twice the page's size where that fits the budget and the canvas, else as large as fits.
double scaleFor(double pointsWide, double pointsHigh) {
    double scale = renderScale;
    const double area = pointsWide * pointsHigh;
    if (area * scale * scale > pagePixelBudget) {
        scale = std::sqrt(pagePixelBudget / area);
    }
    return std::min(scale, maxCanvasSide / std::max(pointsWide, pointsHigh));
}

struct StringDeleter {
    void operator()(gchar* text) const { g_free(text); }
};

std::string pageText(const char* what, int number) {
    return std::string(what) + " " + std::to_string(number);
}

// The document, ready to render: opened, unlocked, with at least one page.
std::unique_ptr<PopplerDocument, GObjectDeleter> openDocument(const std::string& path) {
    // poppler takes a URI, which needs an absolute path.
    std::string absolute = path;
    if (!path.starts_with('/')) {
        char folder[PATH_MAX];
        if (!::getcwd(folder, sizeof folder)) {
            throw Failure("Cannot open PDF", std::strerror(errno));
        }
        absolute = std::string(folder) + "/" + path;
    }
    const std::unique_ptr<gchar, StringDeleter> uri(
        g_filename_to_uri(absolute.c_str(), nullptr, nullptr));
    GError* error = nullptr;
    std::unique_ptr<PopplerDocument, GObjectDeleter> document(
        uri ? poppler_document_new_from_file(uri.get(), nullptr, &error) : nullptr);
    if (!document) {
        const bool locked =
            error && error->domain == POPPLER_ERROR && error->code == POPPLER_ERROR_ENCRYPTED;
        const std::string detail = error && error->message ? error->message : "poppler refused it";
        if (error) {
            g_error_free(error);
        }
        throw Failure(locked ? "The PDF is protected by a password" : "Cannot open PDF", detail);
    }
    // A document without pages would give no image at all: that is a failure, and the source
    // stays even under "Replace original".
    if (poppler_document_get_n_pages(document.get()) < 1) {
        throw Failure("The PDF has no pages", "the document holds no page");
    }
    return document;
}

// The page drawn on white paper, antialiased, as opaque 8-bit sRGB.
vips::VImage renderPage(PopplerDocument* document, int index) {
    const int number = index + 1;
    const std::unique_ptr<PopplerPage, GObjectDeleter> page(
        poppler_document_get_page(document, index));
    if (!page) {
        throw Failure(pageText("Cannot render page", number), "poppler cannot read the page");
    }
    double pointsWide = 0;
    double pointsHigh = 0;
    poppler_page_get_size(page.get(), &pointsWide, &pointsHigh);
    const double scale = scaleFor(pointsWide, pointsHigh);
    const double wide = std::round(pointsWide * scale);
    const double high = std::round(pointsHigh * scale);
    // What still fails is a page with no area to draw on, however it is scaled.
    if (!(wide >= 1 && high >= 1 && wide <= maxCanvasSide && high <= maxCanvasSide &&
          wide * high <= pagePixelBudget * 1.001)) {
        throw Failure(
            pageText("Cannot render page", number),
            "the page would be " + std::to_string(wide) + " x " + std::to_string(high) + " pixels");
    }
    const int width = static_cast<int>(wide);
    const int height = static_cast<int>(high);

    std::unique_ptr<cairo_surface_t, SurfaceDeleter> surface(
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height));
    std::unique_ptr<cairo_t, ContextDeleter> context(cairo_create(surface.get()));
    // Paper first: whatever the page leaves transparent is white.
    cairo_set_source_rgb(context.get(), 1, 1, 1);
    cairo_paint(context.get());
    cairo_scale(context.get(), scale, scale);
    cairo_set_antialias(context.get(), CAIRO_ANTIALIAS_GRAY);
    poppler_page_render(page.get(), context.get());
    cairo_surface_flush(surface.get());
    if (cairo_status(context.get()) != CAIRO_STATUS_SUCCESS ||
        cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) {
        throw Failure(pageText("Cannot render page", number),
                      cairo_status_to_string(cairo_status(context.get())));
    }
    context.reset();

    // Native-endian xRGB words become packed R, G, B bytes where they lie: each pixel is read
    // before anything is written over it.
    unsigned char* data = cairo_image_surface_get_data(surface.get());
    const int stride = cairo_image_surface_get_stride(surface.get());
    if (!data || stride != width * 4) {
        throw Failure(pageText("Cannot render page", number), "unexpected canvas layout");
    }
    const size_t pixels = static_cast<size_t>(width) * height;
    for (size_t from = 0, to = 0; from < pixels * 4; from += 4, to += 3) {
        uint32_t pixel = 0;
        std::memcpy(&pixel, data + from, sizeof pixel);
        data[to] = static_cast<unsigned char>(pixel >> 16);
        data[to + 1] = static_cast<unsigned char>(pixel >> 8);
        data[to + 2] = static_cast<unsigned char>(pixel);
    }
    VipsImage* wrapped =
        vips_image_new_from_memory(data, pixels * 3, width, height, 3, VIPS_FORMAT_UCHAR);
    if (!wrapped) {
        throw Failure(pageText("Cannot render page", number), media::takeVipsError());
    }
    g_signal_connect(wrapped, "close", G_CALLBACK(+[](VipsImage*, gpointer canvasSurface) {
                         cairo_surface_destroy(static_cast<cairo_surface_t*>(canvasSurface));
                     }),
                     surface.release());
    return vips::VImage(wrapped).copy(
        vips::VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB));
}

void checkFolder(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        throw Failure(writingFailure(errno), path + ": " + std::strerror(errno));
    }
    if (!S_ISDIR(info.st_mode)) {
        throw Failure(writingFailure(ENOTDIR), path + " is not a folder");
    }
}

}  // namespace

void renderPages(const Request& request) {
    checkRegularFile(request.input);
    checkFolder(request.output);
    const bool progress = std::getenv("PIVANA_PROGRESS") != nullptr;
    const std::string extension = request.format == "jpeg" ? "jpg" : "png";
    std::vector<std::unique_ptr<tools::StagedOutput>> pages;
    {
        // poppler reports every problem of a damaged file on standard error.
        const QuietStandardError quiet;
        const auto document = openDocument(request.input);
        const int count = poppler_document_get_n_pages(document.get());
        // The next page is drawn while this one is encoded. Only one thread at a time uses the
        // document: a page is drawn only once the one before it was taken.
        auto draw = [&document](int index) { return renderPage(document.get(), index); };
        std::future<vips::VImage> drawn = std::async(std::launch::async, draw, 0);
        for (int index = 0; index < count; ++index) {
            if (progress) {
                std::printf("progress %.3f\n", static_cast<double>(index) / count);
                std::fflush(stdout);
            }
            const int number = index + 1;
            pages.push_back(std::make_unique<tools::StagedOutput>(
                request.output + "/page-" + std::to_string(number) + "." + extension));
            const vips::VImage image = drawn.get();
            if (number < count) {
                drawn = std::async(std::launch::async, draw, number);
            }
            try {
                save(image, request, pages.back()->path());
            } catch (const Failure& error) {
                // A full disk or a folder that refuses the page is said as such.
                if (error.kind() == FailureKind::DiskFull ||
                    error.kind() == FailureKind::WriteDenied ||
                    error.kind() == FailureKind::NoFolder ||
                    error.kind() == FailureKind::DiskError) {
                    throw;
                }
                throw Failure(pageText("Cannot encode image for page", number), error.detail());
            }
        }
    }
    // Every page is written before any takes its name: all of them or none.
    std::vector<std::string> named;
    for (const auto& page : pages) {
        if (const std::string reason = page->commit(); !reason.empty()) {
            const int error = errno;
            for (const std::string& path : named) {
                ::unlink(path.c_str());
            }
            throw Failure(writingFailure(error), reason);
        }
        named.push_back(page->outputPath());
    }
}

}  // namespace pivana::image
