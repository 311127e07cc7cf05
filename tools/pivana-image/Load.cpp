// Reading images: camera RAW through LibRaw, everything else through libvips.
#include "ImageTool.h"
#include "media/Vips.h"

#include <libraw/libraw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string_view>

namespace pivana::image {

namespace {

constexpr std::array rawExtensions = {"dng", "cr2", "cr3", "nef", "arw", "raf", "rw2", "orf", "pef",
                                      "erf", "3fr", "dcr", "mrw", "srw", "nrw", "srf", "sr2"};

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

void checkSize(unsigned long long width, unsigned long long height) {
    if (width == 0 || height == 0) {
        throw ToolError("the image has no pixels");
    }
    if (width * height > maxPixels) {
        throw ToolError("the image is too large (" + std::to_string(width) + " x " +
                        std::to_string(height) + " pixels; the limit is " +
                        std::to_string(maxPixels / 1000000) + " megapixels)");
    }
}

void checkReadableFile(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        throw ToolError(std::string("cannot open the file: ") + std::strerror(errno));
    }
    if (S_ISDIR(info.st_mode)) {
        throw ToolError("it is a folder, not an image file");
    }
    if (info.st_size == 0) {
        throw ToolError("the file is empty");
    }
    if (::access(path.c_str(), R_OK) != 0) {
        throw ToolError(std::string("cannot open the file: ") + std::strerror(errno));
    }
}

struct LibRawDeleter {
    void operator()(LibRaw* raw) const { delete raw; }
};

struct ProcessedImageDeleter {
    void operator()(libraw_processed_image_t* image) const { LibRaw::dcraw_clear_mem(image); }
};

void checkRaw(int code, const char* stage) {
    if (code == LIBRAW_IO_ERROR) {
        throw ToolError(std::string(stage) + ": the file is damaged or cut short");
    }
    if (code != LIBRAW_SUCCESS) {
        throw ToolError(std::string(stage) + ": " + libraw_strerror(code));
    }
}

vips::VImage loadRaw(const std::string& path) {
    std::unique_ptr<LibRaw, LibRawDeleter> raw(new LibRaw(0));
    libraw_output_params_t& params = raw->imgdata.params;
    params.use_camera_wb = 1;  // the white balance the photographer shot with
    params.output_color = 1;   // sRGB primaries
    params.output_bps = 16;    // keep the sensor's depth; the saver reduces it where needed
    params.use_camera_matrix = 1;

    // LibRaw prints damaged-data reports itself and carries on; note them instead, so a RAW
    // file cut short fails rather than developing into a partly empty picture.
    bool damaged = false;
    raw->set_dataerror_handler(
        [](void* flag, const char*, int) { *static_cast<bool*>(flag) = true; }, &damaged);

    checkRaw(raw->open_file(path.c_str()), "not a camera RAW file LibRaw can read");
    checkSize(raw->imgdata.sizes.width, raw->imgdata.sizes.height);
    checkRaw(raw->unpack(), "cannot read the RAW data");
    if (damaged) {
        throw ToolError("the RAW data is damaged or cut short");
    }
    checkRaw(raw->dcraw_process(), "cannot develop the RAW data");
    int code = LIBRAW_SUCCESS;
    std::unique_ptr<libraw_processed_image_t, ProcessedImageDeleter> image(
        raw->dcraw_make_mem_image(&code));
    checkRaw(code, "cannot develop the RAW data");
    if (!image || image->type != LIBRAW_IMAGE_BITMAP ||
        (image->colors != 3 && image->colors != 1)) {
        throw ToolError("LibRaw gave no picture for this file");
    }
    // LibRaw's working buffers are no longer needed; the developed picture is handed to libvips
    // without a copy and freed when libvips closes the image.
    raw->recycle();
    const VipsBandFormat format = image->bits == 16 ? VIPS_FORMAT_USHORT : VIPS_FORMAT_UCHAR;
    VipsImage* wrapped = vips_image_new_from_memory(image->data, image->data_size, image->width,
                                                    image->height, image->colors, format);
    if (!wrapped) {
        throw ToolError(media::takeVipsError());
    }
    const bool colour = image->colors == 3;
    g_signal_connect(wrapped, "close", G_CALLBACK(+[](VipsImage*, gpointer data) {
                         LibRaw::dcraw_clear_mem(static_cast<libraw_processed_image_t*>(data));
                     }),
                     image.release());
    vips::VImage result(wrapped);
    const bool deep = format == VIPS_FORMAT_USHORT;
    return result.copy(vips::VImage::option()->set(
        "interpretation", colour ? (deep ? VIPS_INTERPRETATION_RGB16 : VIPS_INTERPRETATION_sRGB)
                                 : (deep ? VIPS_INTERPRETATION_GREY16 : VIPS_INTERPRETATION_B_W)));
}

int orientationOf(const vips::VImage& image) {
    if (image.get_typeof(VIPS_META_ORIENTATION) == 0) {
        return 1;
    }
    return image.get_int(VIPS_META_ORIENTATION);
}

}  // namespace

bool isCameraRaw(const std::string& path) {
    const std::string extension = lowerExtension(path);
    return std::find(rawExtensions.begin(), rawExtensions.end(), extension) != rawExtensions.end();
}

bool isTiff(const std::string& path) {
    const char* loader = vips_foreign_find_load(path.c_str());
    vips_error_clear();
    return loader && std::string_view(loader).find("Tiff") != std::string_view::npos;
}

vips::VImage load(const std::string& path, bool viaImageMagick) {
    checkReadableFile(path);
    // vips would open a DNG as a one-band mosaic TIFF without complaint: RAW never reaches it.
    if (isCameraRaw(path)) {
        return loadRaw(path);
    }
    if (!vips_foreign_find_load(path.c_str())) {
        media::takeVipsError();
        throw ToolError("not an image file in a format pivana-image can read");
    }
    if (viaImageMagick) {
        try {
            vips::VImage image = vips::VImage::magickload(path.c_str());
            checkSize(image.width(), image.height());
            return image;
        } catch (const vips::VError&) {
            throw ToolError("cannot read the image: " + media::takeVipsError());
        }
    }
    try {
        // Truncated data is an error, not a picture filled with grey.
        auto options = [](VipsAccess access) {
            return vips::VImage::option()
                ->set("access", access)
                ->set("fail_on", VIPS_FAIL_ON_TRUNCATED);
        };
        vips::VImage image =
            vips::VImage::new_from_file(path.c_str(), options(VIPS_ACCESS_SEQUENTIAL));
        checkSize(image.width(), image.height());
        // Rotating needs the whole picture; only then is the file opened for random access.
        if (orientationOf(image) != 1) {
            image = vips::VImage::new_from_file(path.c_str(), options(VIPS_ACCESS_RANDOM));
        }
        return image;
    } catch (const vips::VError&) {
        throw ToolError("cannot read the image: " + media::takeVipsError());
    }
}

}  // namespace pivana::image
