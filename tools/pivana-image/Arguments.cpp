#include "ImageTool.h"

#include <array>
#include <charconv>
#include <stdexcept>
#include <string_view>
#include <vector>

namespace pivana::image {

const char* const usage =
    "usage: pivana-image --to FORMAT [--quality N] INPUT OUTPUT\n"
    "       pivana-image --to png|jpg [--quality N] --pages INPUT.pdf OUTPUT_FOLDER\n"
    "       pivana-image --to pdf INPUT... OUTPUT.pdf\n"
    "FORMAT is one of jpg (or jpeg), png, heic, avif, exr, tiff, gif, bmp, psd, webp, pdf; N is\n"
    "the JPEG and WebP quality, 1 to 100 (85 unless given).";

namespace {

constexpr std::array formats = {"jpeg", "png", "heic", "avif", "exr", "tiff",
                                "gif",  "bmp", "psd",  "webp", "pdf"};

std::string formatNamed(std::string_view name) {
    if (name == "jpg") {
        return "jpeg";
    }
    for (const char* format : formats) {
        if (name == format) {
            return format;
        }
    }
    throw std::invalid_argument("unknown output format " + std::string(name));
}

int qualityFrom(std::string_view value) {
    int quality = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), quality);
    if (error != std::errc() || end != value.data() + value.size() || quality < 1 ||
        quality > 100) {
        throw std::invalid_argument("quality must be a whole number from 1 to 100, not " +
                                    std::string(value));
    }
    return quality;
}

}  // namespace

Request parseArguments(int argc, const char* const* argv) {
    Request request;
    std::vector<std::string_view> files;
    bool optionsEnded = false;
    int i = 0;
    auto next = [&](const char* what) -> std::string_view {
        if (i + 1 >= argc) {
            throw std::invalid_argument(std::string("missing ") + what);
        }
        return argv[++i];
    };
    for (; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (optionsEnded || !argument.starts_with("--")) {
            files.push_back(argument);
        } else if (argument == "--") {
            optionsEnded = true;
        } else if (argument == "--to") {
            request.format = formatNamed(next("format after --to"));
        } else if (argument == "--quality") {
            request.quality = qualityFrom(next("quality after --quality"));
        } else if (argument == "--pages") {
            request.pages = true;
        } else {
            throw std::invalid_argument("unknown option " + std::string(argument));
        }
    }
    if (request.format.empty()) {
        throw std::invalid_argument("no output format given (--to FORMAT)");
    }
    // Pictures become one PDF together; every other target takes one input.
    const bool many = request.format == "pdf" && !request.pages;
    if (files.size() < 2 || (files.size() > 2 && !many)) {
        throw std::invalid_argument(files.size() < 2 ? "an input and an output are needed"
                                                     : "more than one input and one output");
    }
    if (request.pages && request.format != "png" && request.format != "jpeg") {
        throw std::invalid_argument("pages are written as png or jpg only");
    }
    request.input = files[0];
    request.output = files.back();
    if (many) {
        request.pictures.assign(files.begin(), files.end() - 1);
    }
    return request;
}

}  // namespace pivana::image
