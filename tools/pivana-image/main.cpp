// pivana-image: converts one image file to another format, or the pages of a PDF to images.
//
//   pivana-image --to FORMAT [--quality N] INPUT OUTPUT
//   pivana-image --to png|jpg [--quality N] --pages INPUT.pdf OUTPUT_FOLDER
//   pivana-image --to pdf INPUT... OUTPUT.pdf
//
// FORMAT is jpg (or jpeg), png, heic, avif, exr, tiff, gif, bmp, psd, webp or pdf; N the JPEG and
// WebP quality, 1 to 100. An SVG document (by its extension) is drawn on a canvas twice its size.
// With --pages, every page of the PDF is drawn at 144 dpi on white and written into
// OUTPUT_FOLDER as page-1.png, page-2.png... (or .jpg). To pdf, the pictures become one document,
// a page each; one that cannot be read is left out and named on standard output ("N failed
// SENTENCE"), and the run fails only when none can be read.
//
// Exit status 0 on success. On failure (status 1), one plain sentence about the file on the
// first line of standard error, and the detail behind it on the second; OUTPUT is left as it
// was: the new file is written beside it and renamed over it only when complete (with --pages,
// the pages appear all together or none does). Status 2 for a command line it does not
// understand.
#include "ImageTool.h"
#include "common/StagedOutput.h"
#include "engine/QuietStandardError.h"
#include "media/Vips.h"

#include <cstdio>
#include <functional>
#include <stdexcept>
#include <string>

namespace {

using pivana::Failure;
using pivana::FailureKind;

int fail(FailureKind kind, const std::string& detail) {
    pivana::tools::reportFailure(kind, detail);
    return 1;
}

void convert(const pivana::image::Request& request, const std::string& staging) {
    // The decoders' own words (libtiff's, ImageMagick's, librsvg's) would come before the tool's
    // sentence; what they say that matters is in the failure's detail.
    const pivana::QuietStandardError quiet;
    if (!request.pictures.empty()) {
        pivana::image::writePictureDocument(request, staging);
        return;
    }
    pivana::image::withPicture(request.input, [&](const vips::VImage& image) {
        pivana::image::save(image, request, staging);
    });
}

}  // namespace

namespace pivana::image {

void withPicture(const std::string& path, const std::function<void(const vips::VImage&)>& use) {
    if (isSvg(path)) {
        use(rasterizeSvg(path));
        return;
    }
    // What the decoders say of this picture alone.
    vips_error_clear();
    try {
        const Picture picture = load(path);
        use(picture.image);
        // The pixels are decoded while `use` reads them.
        checkDecodedCleanly();
    } catch (const Failure& error) {
        // libvips reads most TIFF layouts, not all (tiled with separate planes, for one), and
        // may find out only as it decodes the pixels; ImageMagick reads those.
        const bool unsupportedLayout = error.detail().find("not supported") != std::string::npos;
        if (!unsupportedLayout || !isTiff(path)) {
            throw;
        }
        const Picture picture = load(path, true);
        use(picture.image);
    }
}

}  // namespace pivana::image

int main(int argc, char** argv) {
    if (!pivana::media::ensureVipsStarted(argv[0])) {
        std::fprintf(stderr, "cannot start libvips: %s\n", pivana::media::takeVipsError().c_str());
        return 2;
    }
    pivana::image::watchDecoderWarnings();
    // Keep the processing cache small: each run converts exactly one file.
    vips_cache_set_max(0);

    pivana::image::Request request;
    try {
        request = pivana::image::parseArguments(argc - 1, argv + 1);
    } catch (const std::invalid_argument& error) {
        std::fprintf(stderr, "%s\n%s\n", error.what(), pivana::image::usage);
        return 2;
    }

    if (request.pages) {
        try {
            pivana::image::renderPages(request);
        } catch (const Failure& error) {
            pivana::tools::reportFailure(error.sentence(), error.detail());
            return 1;
        } catch (const vips::VError&) {
            return fail(FailureKind::Damaged, pivana::media::takeVipsError());
        }
        return 0;
    }

    pivana::tools::StagedOutput output(request.output);
    try {
        convert(request, output.path());
    } catch (const Failure& error) {
        const Failure told = pivana::image::truthful(error);
        pivana::tools::reportFailure(told.sentence(), told.detail());
        return 1;
    } catch (const vips::VError&) {
        const Failure told =
            pivana::image::truthful(Failure(FailureKind::Damaged, pivana::media::takeVipsError()));
        pivana::tools::reportFailure(told.sentence(), told.detail());
        return 1;
    }
    if (const std::string reason = output.commit(); !reason.empty()) {
        return fail(pivana::image::writingFailure(errno), reason);
    }
    return 0;
}
