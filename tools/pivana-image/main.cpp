// pivana-image: converts one image file to another format.
//
//   pivana-image -s format NAME [-s formatOptions QUALITY] INPUT --out OUTPUT
//
// Exit status 0 on success. On failure, one line on standard error naming the file and what went
// wrong, and OUTPUT is left as it was: the new file is written beside it and renamed over it only
// when complete.
#include "ImageTool.h"
#include "common/StagedOutput.h"
#include "media/Vips.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

namespace {

using pivana::tools::fileName;

void fail(const std::string& file, const std::string& message) {
    std::fprintf(stderr, "%s: %s\n", file.c_str(), message.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    if (!pivana::media::ensureVipsStarted(argv[0])) {
        std::fprintf(stderr, "cannot start libvips: %s\n", pivana::media::takeVipsError().c_str());
        return 2;
    }
    // Library warnings would break the one-line error report; failures are reported by value.
    g_log_set_handler(
        "VIPS", G_LOG_LEVEL_WARNING, [](const gchar*, GLogLevelFlags, const gchar*, gpointer) {},
        nullptr);
    // Keep the processing cache small: each run converts exactly one file.
    vips_cache_set_max(0);

    pivana::image::Request request;
    try {
        request = pivana::image::parseArguments(argc - 1, argv + 1);
    } catch (const pivana::image::ToolError& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 2;
    }

    pivana::tools::StagedOutput output(request.output);
    const std::string& staging = output.path();
    try {
        try {
            pivana::image::save(pivana::image::load(request.input), request, staging);
        } catch (const pivana::image::ToolError& error) {
            // libvips reads most TIFF layouts, not all (tiled with separate planes, for one);
            // ImageMagick reads those.
            const bool unsupportedLayout =
                std::string(error.what()).find("not supported") != std::string::npos;
            if (!unsupportedLayout || !pivana::image::isTiff(request.input)) {
                throw;
            }
            pivana::image::save(pivana::image::load(request.input, true), request, staging);
        }
    } catch (const pivana::image::ToolError& error) {
        fail(fileName(request.input), error.what());
        return 1;
    } catch (const vips::VError&) {
        fail(fileName(request.input), pivana::media::takeVipsError());
        return 1;
    }

    if (const std::string reason = output.commit(); !reason.empty()) {
        fail(fileName(request.output), "cannot save the output: " + reason);
        return 1;
    }
    return 0;
}
