#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vips/vips8>

namespace pivana::image {

/// A failure to report: one line, naming what went wrong (the caller adds the file name).
class ToolError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// What a command line asks for: `-s format NAME [-s formatOptions QUALITY] INPUT --out OUTPUT`.
struct Request {
    std::string format;  ///< jpeg png heic avif exr tiff gif bmp psd
    int quality = 85;    ///< JPEG quality, 1 to 100
    std::string input;
    std::string output;
};

/// Parses the arguments (without the program name); throws `ToolError` on anything else.
Request parseArguments(int argc, const char* const* argv);

/// Images larger than this many pixels are refused rather than decoded.
constexpr unsigned long long maxPixels = 16384ULL * 16384ULL;

/// Opens the image for reading: camera RAW files through LibRaw, everything else through
/// libvips (first page or frame), or through ImageMagick when `viaImageMagick` is set. Throws
/// `ToolError` for unreadable, empty or oversized input.
vips::VImage load(const std::string& path, bool viaImageMagick = false);

/// Whether libvips reads this file with its own TIFF loader.
bool isTiff(const std::string& path);

/// Whether `path` names a camera RAW file (by its extension).
bool isCameraRaw(const std::string& path);

/// Converts the image to what the target format can hold and writes it to `path`.
void save(vips::VImage image, const Request& request, const std::string& path);

}  // namespace pivana::image
