#pragma once

#include "common/ToolFailure.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>
#include <vips/vips8>

namespace pivana::image {

using tools::writingFailure;

/// What a command line asks for: `--to FORMAT [--quality N] [--pages] INPUT OUTPUT`.
struct Request {
    std::string format;  ///< jpeg (for jpg too) png heic avif exr tiff gif bmp psd webp pdf
    int quality = 85;    ///< JPEG and WebP quality, 1 to 100
    bool pages = false;  ///< every page of a PDF, into the folder OUTPUT
    std::string input;
    std::string output;
    /// With pdf: every input, a page each, in order (`input` is the first).
    std::vector<std::string> pictures;
};

/// How to run the tool, for a command line it does not understand.
extern const char* const usage;

/// Parses the arguments (without the program name); throws `std::invalid_argument` on anything
/// else.
Request parseArguments(int argc, const char* const* argv);

/// Images larger than this many pixels are refused rather than decoded.
constexpr unsigned long long maxPixels = 16384ULL * 16384ULL;

/// Throws `TooLarge` past `maxPixels`, `Damaged` for an image without pixels.
void checkSize(unsigned long long width, unsigned long long height);

/// An image opened for reading, and whatever must stay open while its pixels are read (a
/// repaired private copy of the file, for one).
struct Picture {
    vips::VImage image;
    std::shared_ptr<void> keepAlive;
};

/// Throws for a path that is not a regular file the tool may read (missing, a folder, a FIFO or
/// a device, which could be read forever).
void checkRegularFile(const std::string& path);

/// Opens the image for reading: camera RAW files through LibRaw, everything else through
/// libvips (first page or frame), or through ImageMagick when `viaImageMagick` is set. Throws
/// `Failure` for unreadable, empty, mislabelled or oversized input.
Picture load(const std::string& path, bool viaImageMagick = false);

/// The failure as it should be told: a `Damaged` one whose library's words say that the file is
/// a variant the library was built without says so instead.
Failure truthful(const Failure& failure);

/// Keeps libvips' warnings off standard error (they would break the one-line report), noting
/// those that say part of a picture could not be decoded.
void watchDecoderWarnings();

/// Throws `Damaged` when part of the picture could not be decoded, or a decoder warned, while the
/// picture was read, that its data is corrupt.
void checkDecodedCleanly();

/// Develops a camera RAW file; refuses one whose sensor data is missing or cut short.
vips::VImage loadRaw(const std::string& path);

/// The first bytes of the file, as many as it has up to `count`.
std::string fileHead(const std::string& path, size_t count);

/// Whether libvips reads this file with its own TIFF loader.
bool isTiff(const std::string& path);

/// Whether `path` names a camera RAW file (by its extension).
bool isCameraRaw(const std::string& path);

/// Whether `path` names an SVG document (by its extension).
bool isSvg(const std::string& path);

/// The canvas an SVG document of this size (in pixels) is drawn on: each side twice the larger
/// of that side and 100.
struct Canvas {
    int width;
    int height;
};
Canvas svgCanvasSize(double width, double height);

/// Draws the SVG document stretched over its whole canvas on a transparent background: straight
/// (not premultiplied) 8-bit sRGB with alpha. Throws "Cannot load SVG file" or "Cannot rasterise
/// SVG".
vips::VImage rasterizeSvg(const std::string& path);

/// Renders every page of the PDF `request.input` at 144 dpi on white paper, opaque, and writes
/// them as page-1.png, page-2.png... (or .jpg) into the folder `request.output`: all of them, or
/// none should any page fail. Prints "progress F" lines on standard output while it works when
/// PIVANA_PROGRESS is set.
void renderPages(const Request& request);

/// A private copy of a TIFF whose first page lacks the photometric tag, with the tag readers
/// assume (min-is-black for grey, RGB for three or more samples), or none when the file needs
/// no repair. The copy has no name in any folder and vanishes with the returned handle.
std::shared_ptr<void> repairedTiff(const std::string& path, std::string& readablePath);

/// Hands `use` any picture the tool reads: an SVG drawn, everything else opened by `load`. A TIFF
/// of a layout libvips does not read (which it may find out only once `use` decodes the pixels,
/// failing with a `Failure`) is handed over again, read through ImageMagick.
void withPicture(const std::string& path, const std::function<void(const vips::VImage&)>& use);

/// The image upright, in sRGB or grey (its profile kept), 8 or 16 bits as the source has them,
/// alpha kept: pixels for a target that stores them without loss.
vips::VImage pixelsForLosslessTarget(const vips::VImage& image);

/// Writes `request.pictures` into one PDF at `path`, a page each at the picture's size, in
/// order: JPEGs as they are, the others without loss. A picture that cannot be read is left out
/// and reported on standard output as "N failed SENTENCE" (N counting from 1); "progress F"
/// lines go there too when PIVANA_PROGRESS is set. Throws when no picture could be read, or the
/// PDF could not be written.
void writePictureDocument(const Request& request, const std::string& path);

/// Converts the image to what the target format can hold and writes it to `path`.
void save(vips::VImage image, const Request& request, const std::string& path);

}  // namespace pivana::image
