// Reading images: camera RAW through LibRaw, everything else through libvips.
#include "ImageTool.h"
#include "media/Vips.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <regex>
#include <string_view>

namespace pivana::image {

namespace {

constexpr std::array rawExtensions = {"dng", "cr2", "cr3", "nef", "arw", "raf", "rw2", "orf", "pef",
                                      "erf", "3fr", "dcr", "mrw", "srw", "nrw", "srf", "sr2"};

// Formats libvips reads itself. A file under one of these names that only ImageMagick's guess
// claims (it takes almost anything for a TGA) is not what its name says.
constexpr std::array nativeExtensions = {"jpg",  "jpeg", "png",  "webp", "tif", "tiff",
                                         "heic", "heif", "avif", "gif",  "exr"};

// Brands of the ISO media files libheif reads, the image sequences (animated AVIF and HEIF)
// among them, whose first picture is their primary image.
constexpr std::array heifBrands = {"heic", "heix", "heim", "heis", "hevc", "hevx",
                                   "hevm", "hevs", "mif1", "msf1", "avif", "avis"};

std::string lowerExtension(const std::string& path) {
    const auto slash = path.find_last_of('/');
    const auto dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
        return {};
    }
    std::string extension = path.substr(dot + 1);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

template <typename List>
bool contains(const List& list, std::string_view item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

bool mentions(std::string_view text, std::string_view words) {
    return text.find(words) != std::string_view::npos;
}

void checkReadableFile(const std::string& path) {
    checkRegularFile(path);
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && info.st_size == 0) {
        throw Failure(FailureKind::Damaged, "the file is empty");
    }
}

}  // namespace

void checkRegularFile(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        throw Failure(errno == ENOENT ? FailureKind::Missing : FailureKind::ReadDenied,
                      std::strerror(errno));
    }
    if (S_ISDIR(info.st_mode)) {
        throw Failure(FailureKind::Folder, "a folder");
    }
    // A FIFO or a device could be read forever.
    if (!S_ISREG(info.st_mode)) {
        throw Failure(FailureKind::NotAFile, "not a regular file");
    }
    if (::access(path.c_str(), R_OK) != 0) {
        throw Failure(FailureKind::ReadDenied, std::strerror(errno));
    }
}

std::string fileHead(const std::string& path, size_t count) {
    std::string bytes(count, '\0');
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    const ssize_t got = fd < 0 ? 0 : ::read(fd, bytes.data(), count);
    if (fd >= 0) {
        ::close(fd);
    }
    bytes.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return bytes;
}

namespace {

// Whether the file starts with an ISO media "ftyp" box naming a HEIF or AVIF brand. libvips'
// own check does not know every such file (it misses image sequences, which ImageMagick then
// mistakes for something else), so these go to the HEIF loader by name.
bool isHeif(const std::string& path) {
    const std::string bytes = fileHead(path, 256);
    if (bytes.size() < 16 || bytes.compare(4, 4, "ftyp") != 0) {
        return false;
    }
    const size_t boxSize =
        std::min<size_t>(bytes.size(), (static_cast<unsigned char>(bytes[0]) << 24) |
                                           (static_cast<unsigned char>(bytes[1]) << 16) |
                                           (static_cast<unsigned char>(bytes[2]) << 8) |
                                           static_cast<unsigned char>(bytes[3]));
    for (size_t at = 8; at + 4 <= boxSize; at += 4) {
        if (at != 12 && contains(heifBrands, std::string_view(bytes).substr(at, 4))) {
            return true;  // offset 12 holds the minor version, not a brand
        }
    }
    return false;
}

int orientationOf(const vips::VImage& image) {
    if (image.get_typeof(VIPS_META_ORIENTATION) == 0) {
        return 1;
    }
    return image.get_int(VIPS_META_ORIENTATION);
}

vips::VOption* readOptions(VipsAccess access) {
    // Truncated or corrupt data is an error, not a picture filled with grey. Warnings are not:
    // camera JPEGs often have harmless ones (padding before the end marker, odd scan
    // parameters); those that say the picture's data is corrupt are caught by their words.
    return vips::VImage::option()->set("access", access)->set("fail_on", VIPS_FAIL_ON_ERROR);
}

// libjpeg's warnings about the coded picture itself: where it gives one, what follows is grey or
// garbled. libvips passes on the first warning of a file.
constexpr std::array corruptPictureWarnings = {
    "premature end of data segment",  // a marker where picture data should be
    "bad Huffman code", "bad arithmetic code",
    "instead of RST",  // restart markers out of order
};

// The loader libvips picks by the file's contents, checked against the file's name.
std::string chooseLoader(const std::string& path, const std::string& readable) {
    if (isHeif(readable)) {
        return "heifload";
    }
    const char* found = vips_foreign_find_load(readable.c_str());
    if (!found) {
        throw Failure(FailureKind::WrongFormat, media::takeVipsError());
    }
    const std::string_view loader(found);
    if (loader.find("Magick") != std::string_view::npos &&
        contains(nativeExtensions, lowerExtension(path))) {
        throw Failure(FailureKind::WrongFormat, "only ImageMagick's guess would read it");
    }
    return {};  // whatever libvips found
}

}  // namespace

void checkSize(unsigned long long width, unsigned long long height) {
    if (width == 0 || height == 0) {
        throw Failure(FailureKind::Damaged, "the image has no pixels");
    }
    if (width * height > maxPixels) {
        throw Failure(FailureKind::TooLarge, std::to_string(width) + " x " +
                                                 std::to_string(height) + " pixels; the limit is " +
                                                 std::to_string(maxPixels / 1000000) +
                                                 " megapixels");
    }
}

Failure truthful(const Failure& failure) {
    // What the libraries say of a well-formed file in a variant they were built without: a
    // TIFF compression libtiff lacks, a JPEG process libjpeg lacks, a HEIF feature or codec
    // libheif has no plugin for (its error codes 3 and 4). Never "damaged".
    static const std::regex unsupported(
        "is not implemented|support is not configured"
        "|Unsupported JPEG (process|data precision)|\\(([34])\\.[0-9]+\\)$");
    if (failure.kind() == FailureKind::Damaged &&
        std::regex_search(failure.detail(), unsupported)) {
        return Failure("The file uses a feature that the installed libraries cannot read",
                       failure.detail());
    }
    return failure;
}

namespace {

// Set when libvips could not compute part of the picture. Its worker threads sometimes lose
// such an error and write the part black while the save still succeeds.
std::atomic<bool> partLost = false;

}  // namespace

void watchDecoderWarnings() {
    g_log_set_handler(
        "VIPS", G_LOG_LEVEL_WARNING,
        [](const gchar*, GLogLevelFlags, const gchar* message, gpointer) {
            if (message && mentions(message, "error in tile")) {
                partLost = true;
            }
        },
        nullptr);
}

void checkDecodedCleanly() {
    // libvips keeps a decoder's warnings and errors in its error buffer even when the read
    // succeeds.
    const std::string_view said = vips_error_buffer();
    const bool corrupt =
        std::any_of(corruptPictureWarnings.begin(), corruptPictureWarnings.end(),
                    [said](std::string_view words) { return mentions(said, words); });
    if (corrupt || partLost) {
        throw Failure(FailureKind::Damaged, media::takeVipsError());
    }
}

bool isCameraRaw(const std::string& path) {
    return contains(rawExtensions, lowerExtension(path));
}

bool isSvg(const std::string& path) {
    return lowerExtension(path) == "svg";
}

bool isTiff(const std::string& path) {
    const char* loader = vips_foreign_find_load(path.c_str());
    vips_error_clear();
    return loader && std::string_view(loader).find("Tiff") != std::string_view::npos;
}

Picture load(const std::string& path, bool viaImageMagick) {
    checkReadableFile(path);
    // vips would open a DNG as a one-band mosaic TIFF without complaint: RAW never reaches it.
    if (isCameraRaw(path)) {
        return {loadRaw(path), nullptr};
    }
    std::string readable = path;
    Picture picture;
    picture.keepAlive = repairedTiff(path, readable);
    try {
        if (viaImageMagick) {
            picture.image = vips::VImage::magickload(readable.c_str());
            checkSize(picture.image.width(), picture.image.height());
            return picture;
        }
        const std::string loader = chooseLoader(path, readable);
        auto read = [&](VipsAccess access) {
            return loader.empty()
                       ? vips::VImage::new_from_file(readable.c_str(), readOptions(access))
                       : vips::VImage::heifload(readable.c_str(), readOptions(access));
        };
        picture.image = read(VIPS_ACCESS_SEQUENTIAL);
        checkSize(picture.image.width(), picture.image.height());
        // Rotating needs the whole picture, and float pictures are measured before they are
        // written; only then is the file opened for random access.
        const VipsBandFormat format = picture.image.format();
        if (orientationOf(picture.image) != 1 || format == VIPS_FORMAT_FLOAT ||
            format == VIPS_FORMAT_DOUBLE) {
            picture.image = read(VIPS_ACCESS_RANDOM);
        }
        return picture;
    } catch (const vips::VError&) {
        throw Failure(FailureKind::Damaged, media::takeVipsError());
    }
}

}  // namespace pivana::image
