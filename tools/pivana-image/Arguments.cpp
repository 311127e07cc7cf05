#include "ImageTool.h"

#include <array>
#include <charconv>
#include <stdexcept>
#include <string_view>

namespace pivana::image {

namespace {

constexpr std::array formats = {"jpeg", "png", "heic", "avif", "exr", "tiff", "gif", "bmp", "psd"};

// One "-s KEY VALUE" setting.
void applySetting(Request& request, std::string_view key, std::string_view value) {
    if (key == "format") {
        bool known = false;
        for (const char* format : formats) {
            known = known || value == format;
        }
        if (!known) {
            throw std::invalid_argument("unknown output format " + std::string(value));
        }
        request.format = value;
    } else if (key == "formatOptions") {
        int quality = 0;
        const auto [end, error] =
            std::from_chars(value.data(), value.data() + value.size(), quality);
        if (error != std::errc() || end != value.data() + value.size() || quality < 1 ||
            quality > 100) {
            throw std::invalid_argument("quality must be a whole number from 1 to 100, not " +
                                        std::string(value));
        }
        request.quality = quality;
    } else {
        throw std::invalid_argument("unknown setting " + std::string(key));
    }
}

}  // namespace

Request parseArguments(int argc, const char* const* argv) {
    Request request;
    int i = 0;
    auto next = [&](const char* what) -> std::string_view {
        if (i + 1 >= argc) {
            throw std::invalid_argument(std::string("missing ") + what);
        }
        return argv[++i];
    };
    for (; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "-s") {
            const std::string_view key = next("setting name after -s");
            applySetting(request, key, next("setting value"));
        } else if (argument == "--out") {
            request.output = next("output path after --out");
        } else if (request.input.empty()) {
            request.input = argument;
        } else {
            throw std::invalid_argument("unexpected argument " + std::string(argument));
        }
    }
    if (request.format.empty()) {
        throw std::invalid_argument("no output format given (-s format NAME)");
    }
    if (request.input.empty() || request.output.empty()) {
        throw std::invalid_argument(
            "usage: pivana-image -s format NAME [-s formatOptions QUALITY] INPUT --out OUTPUT");
    }
    return request;
}

}  // namespace pivana::image
