// pivana-image: converts one image file to another format.
//
//   pivana-image -s format NAME [-s formatOptions QUALITY] INPUT --out OUTPUT
//
// Exit status 0 on success. On failure, one line on standard error naming the file and what went
// wrong, and OUTPUT is left as it was: the new file is written beside it and renamed over it only
// when complete.
#include "ImageTool.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

namespace {

std::string fileName(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A hidden name beside the output, keeping its extension.
std::string stagingPathFor(const std::string& output) {
    const auto slash = output.find_last_of('/');
    const std::string folder =
        slash == std::string::npos ? std::string() : output.substr(0, slash + 1);
    const std::string name = fileName(output);
    const auto dot = name.find_last_of('.');
    const std::string extension = dot == std::string::npos ? std::string() : name.substr(dot);
    std::random_device seed;
    return folder + "." + name + ".part" + std::to_string(seed() % 1000000) + extension;
}

void fail(const std::string& file, const std::string& message) {
    std::fprintf(stderr, "%s: %s\n", file.c_str(), message.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    if (VIPS_INIT(argv[0])) {
        std::fprintf(stderr, "cannot start libvips: %s\n", vips_error_buffer());
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

    const std::string staging = stagingPathFor(request.output);
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
        ::unlink(staging.c_str());
        fail(fileName(request.input), error.what());
        return 1;
    } catch (const vips::VError&) {
        ::unlink(staging.c_str());
        fail(fileName(request.input), pivana::image::takeVipsError());
        return 1;
    }

    if (std::rename(staging.c_str(), request.output.c_str()) != 0) {
        const std::string reason = std::strerror(errno);
        ::unlink(staging.c_str());
        fail(fileName(request.output), "cannot save the output: " + reason);
        return 1;
    }
    return 0;
}
