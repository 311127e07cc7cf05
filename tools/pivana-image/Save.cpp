// Writing images: each target gets the colour space, depth, alpha and orientation it can hold.
#include "ImageTool.h"
#include "media/Vips.h"

#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <string>

namespace pivana::image {

namespace {

using vips::VImage;

bool isGrey(const VImage& image) {
    const VipsInterpretation interpretation = image.interpretation();
    return interpretation == VIPS_INTERPRETATION_B_W ||
           interpretation == VIPS_INTERPRETATION_GREY16;
}

bool isDeep(const VImage& image) {
    return image.format() != VIPS_FORMAT_UCHAR && image.format() != VIPS_FORMAT_CHAR;
}

bool hasIccProfile(const VImage& image) {
    return image.get_typeof(VIPS_META_ICC_NAME) != 0;
}

// CMYK always becomes RGB; a profile-tagged RGB image is moved to sRGB only for targets that
// cannot carry the profile.
VImage toRgbFamily(VImage image, bool targetKeepsProfile) {
    if (image.interpretation() == VIPS_INTERPRETATION_CMYK) {
        return image.icc_transform("srgb", VImage::option()
                                               ->set("input_profile", "cmyk")
                                               ->set("embedded", true)
                                               ->set("depth", isDeep(image) ? 16 : 8));
    }
    if (!targetKeepsProfile && hasIccProfile(image) && !isGrey(image) &&
        image.interpretation() != VIPS_INTERPRETATION_scRGB) {
        VImage converted = image.icc_transform(
            "srgb", VImage::option()->set("embedded", true)->set("depth", isDeep(image) ? 16 : 8));
        converted.remove(VIPS_META_ICC_NAME);
        return converted;
    }
    return image;
}

VImage toEightBit(const VImage& image) {
    return image.colourspace(isGrey(image) ? VIPS_INTERPRETATION_B_W : VIPS_INTERPRETATION_sRGB);
}

// PNG and TIFF keep 16 bits per channel when the source has them.
VImage toTargetDepth(const VImage& image) {
    if (!isDeep(image)) {
        return toEightBit(image);
    }
    return image.colourspace(isGrey(image) ? VIPS_INTERPRETATION_GREY16
                                           : VIPS_INTERPRETATION_RGB16);
}

VImage flattenOntoWhite(const VImage& image) {
    if (!image.has_alpha()) {
        return image;
    }
    return image.flatten(VImage::option()->set("background", std::vector<double>{255.0}));
}

bool isFloat(const VImage& image) {
    return image.format() == VIPS_FORMAT_FLOAT || image.format() == VIPS_FORMAT_DOUBLE;
}

// Float grey pictures (from scientific and rendering software) run from 0 to 1, where libvips'
// grey scale runs to 255: left as they are, every one of them would come out black. OpenEXR
// takes them as they are, as linear light in three equal channels.
VImage floatGreyRescaled(const VImage& image, const std::string& format) {
    const int colourBands = image.bands() - (image.has_alpha() ? 1 : 0);
    if (!isFloat(image) || colourBands != 1 || image.max() > 1.0) {
        return image;
    }
    if (format == "exr") {
        const VImage grey = image.extract_band(0);
        return VImage::bandjoin(std::vector<VImage>{grey, grey, grey})
            .copy(VImage::option()->set("interpretation", VIPS_INTERPRETATION_scRGB));
    }
    return (image * 255.0).copy(VImage::option()->set("interpretation", VIPS_INTERPRETATION_B_W));
}

// Renderers often write EXR files whose alpha is zero everywhere while the colour carries the
// picture; honouring such an alpha would turn every output blank.
VImage withoutEmptyFloatAlpha(const VImage& image) {
    if (!isFloat(image) || !image.has_alpha()) {
        return image;
    }
    const VImage alpha = image.extract_band(image.bands() - 1);
    if (alpha.max() > 0.0) {
        return image;
    }
    return image.extract_band(0, VImage::option()->set("n", image.bands() - 1));
}

int orientationOf(const VImage& image) {
    return image.get_typeof(VIPS_META_ORIENTATION) ? image.get_int(VIPS_META_ORIENTATION) : 1;
}

// Upright pixels where the target ignores the orientation tag, no blank float alpha, and a
// colour space the target can hold.
VImage prepareFor(VImage image, const std::string& format) {
    // JPEG and TIFF readers honour the EXIF orientation, so the tag stays and the pixels are
    // left as they are; every other target gets upright pixels.
    const bool keepsOrientationTag = format == "jpeg" || format == "tiff";
    if (!keepsOrientationTag && orientationOf(image) != 1) {
        image = image.autorot();
        image.remove(VIPS_META_ORIENTATION);
    }
    image = withoutEmptyFloatAlpha(image);
    image = floatGreyRescaled(image, format);
    const bool keepsProfile = format != "gif" && format != "exr";
    return toRgbFamily(image, keepsProfile);
}

void encodeHeif(const VImage& image, bool av1, const std::string& path) {
    toEightBit(image).heifsave(path.c_str(),
                               VImage::option()
                                   ->set("compression", av1 ? VIPS_FOREIGN_HEIF_COMPRESSION_AV1
                                                            : VIPS_FOREIGN_HEIF_COMPRESSION_HEVC)
                                   ->set("Q", av1 ? 60 : 70)
                                   // AV1 at its default effort takes seconds per photo.
                                   ->set("effort", av1 ? 2 : 4));
}

// Encodes a prepared image in the depth and alpha the format holds.
void encode(const VImage& image, const Request& request, const std::string& path) {
    const std::string& format = request.format;
    if (format == "jpeg") {
        flattenOntoWhite(toEightBit(image))
            .jpegsave(path.c_str(), VImage::option()->set("Q", request.quality));
    } else if (format == "png") {
        toTargetDepth(image).pngsave(path.c_str());
    } else if (format == "tiff") {
        toTargetDepth(image).tiffsave(path.c_str());
    } else if (format == "heic" || format == "avif") {
        encodeHeif(image, format == "avif", path);
    } else if (format == "gif") {
        toEightBit(image).gifsave(path.c_str());
    } else if (format == "bmp") {
        flattenOntoWhite(toEightBit(image))
            .magicksave(path.c_str(), VImage::option()->set("format", "bmp3"));
    } else if (format == "psd") {
        toEightBit(image).magicksave(path.c_str(), VImage::option()->set("format", "psd"));
    } else if (format == "webp") {
        toEightBit(image).webpsave(path.c_str(), VImage::option()->set("Q", request.quality));
    } else if (format == "exr") {
        // OpenEXR holds linear light in floating point.
        image.colourspace(VIPS_INTERPRETATION_scRGB)
            .magicksave(path.c_str(), VImage::option()->set("format", "exr"));
    } else {
        throw std::invalid_argument("unknown output format " + format);
    }
}

// Why writing failed: the folder or the disk, or (the pixels are decoded while the output is
// written) the source turned out to be damaged past its header.
FailureKind writeFailure(const std::string& path) {
    const auto slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    struct statvfs space {};
    if (::access(folder.c_str(), W_OK | X_OK) != 0 || ::statvfs(folder.c_str(), &space) != 0) {
        return writingFailure(errno);
    }
    return space.f_bavail == 0 ? FailureKind::DiskFull : FailureKind::Damaged;
}

}  // namespace

VImage pixelsForLosslessTarget(const VImage& image) {
    return toTargetDepth(prepareFor(image, "png"));
}

void save(VImage image, const Request& request, const std::string& path) {
    try {
        encode(prepareFor(image, request.format), request, path);
    } catch (const vips::VError&) {
        const std::string detail = media::takeVipsError();
        throw Failure(writeFailure(path), detail);
    }
}

}  // namespace pivana::image
