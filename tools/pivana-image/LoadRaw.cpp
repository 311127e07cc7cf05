// Developing camera RAW files with LibRaw, and refusing the ones whose sensor data is missing.
//
// Many RAW files in circulation are metadata-only: sample files whose pixel data a metadata tool
// stripped, or downloads cut short. LibRaw reads their headers happily, and decoders that run out
// of data fill the rest of the sensor with zeros or repeat what they last read, so such a file
// "develops" into a full-size black or striped picture. Three checks stop that: enough bytes must
// follow the start of the sensor data for the picture's size, no read during decoding may run
// past the end of the file, and the decoded sensor values must not all be the same.
#include "ImageTool.h"
#include "media/Vips.h"

#include <libraw/libraw.h>

#include <algorithm>
#include <memory>

namespace pivana::image {

namespace {

// Even heavily compressed RAW formats need well over a bit per pixel; an eighth of a byte per
// pixel is far below any real one.
constexpr unsigned long long minimumPixelsPerByte = 64;
// Decoders read a few bytes ahead of what they use; more than this past the end is missing data.
constexpr long long readAheadSlack = 4096;

// LibRaw's file stream, counting the bytes asked for past the end of the file while the sensor
// data is decoded.
class CountingStream : public LibRaw_file_datastream {
public:
    using LibRaw_file_datastream::LibRaw_file_datastream;

    void startCounting() { m_counting = true; }
    long long missingBytes() const { return m_missing; }

    int read(void* buffer, size_t size, size_t count) override {
        const int got = LibRaw_file_datastream::read(buffer, size, count);
        if (m_counting && got >= 0 && static_cast<size_t>(got) < count) {
            m_missing += static_cast<long long>((count - static_cast<size_t>(got)) * size);
        }
        return got;
    }
    int get_char() override {
        const int c = LibRaw_file_datastream::get_char();
        if (m_counting && c < 0) {
            ++m_missing;
        }
        return c;
    }

private:
    bool m_counting = false;
    long long m_missing = 0;
};

struct ProcessedImageDeleter {
    void operator()(libraw_processed_image_t* image) const { LibRaw::dcraw_clear_mem(image); }
};

void checkRaw(int code, const char* stage) {
    if (code == LIBRAW_IO_ERROR || code == LIBRAW_DATA_ERROR) {
        throw Failure(FailureKind::Damaged, stage);
    }
    if (code == LIBRAW_FILE_UNSUPPORTED) {
        throw Failure(FailureKind::WrongFormat, stage);
    }
    if (code == LIBRAW_UNSUFFICIENT_MEMORY || code == LIBRAW_TOO_BIG) {
        throw Failure(FailureKind::TooLarge, stage);
    }
    if (code != LIBRAW_SUCCESS) {
        throw Failure(FailureKind::Damaged, std::string(stage) + ": " + libraw_strerror(code));
    }
}

void checkEnoughData(LibRaw& raw, const CountingStream& stream) {
    const long long offset = raw.get_internal_data_pointer()->unpacker_data.data_offset;
    const unsigned long long pixels =
        static_cast<unsigned long long>(raw.imgdata.sizes.raw_width) * raw.imgdata.sizes.raw_height;
    const long long size = const_cast<CountingStream&>(stream).size();
    if (offset > 0 && (offset >= size || static_cast<unsigned long long>(size - offset) <
                                             pixels / minimumPixelsPerByte)) {
        throw Failure(FailureKind::Damaged, "the file holds too little sensor data for its size");
    }
}

// Whether every decoded sensor value is the same: what a decoder leaves when it had no data.
bool sensorIsBlank(const LibRaw& raw) {
    const libraw_rawdata_t& data = raw.imgdata.rawdata;
    // One, three or four 16-bit values per pixel; `raw_pitch` is a row's length in bytes.
    const ushort* values = data.raw_image;
    if (!values && data.color3_image) {
        values = &data.color3_image[0][0];
    } else if (!values && data.color4_image) {
        values = &data.color4_image[0][0];
    }
    if (!values) {
        return false;  // floating-point sensor data: rare, and left to the decoder
    }
    const size_t count = static_cast<size_t>(data.sizes.raw_height) * data.sizes.raw_pitch / 2;
    return std::all_of(values, values + count,
                       [first = values[0]](ushort v) { return v == first; });
}

// Opens and decodes the sensor data, refusing a file whose data is missing.
void unpackChecked(LibRaw& raw, CountingStream& stream) {
    // LibRaw prints damaged-data reports itself and carries on; note them instead.
    bool damaged = false;
    raw.set_dataerror_handler(
        [](void* flag, const char*, int) { *static_cast<bool*>(flag) = true; }, &damaged);

    checkRaw(raw.open_datastream(&stream), "not a camera RAW file LibRaw can read");
    checkSize(raw.imgdata.sizes.width, raw.imgdata.sizes.height);
    checkEnoughData(raw, stream);
    stream.startCounting();
    checkRaw(raw.unpack(), "cannot read the RAW data");
    if (damaged || stream.missingBytes() > readAheadSlack) {
        throw Failure(FailureKind::Damaged, "the sensor data is cut short");
    }
    if (sensorIsBlank(raw)) {
        throw Failure(FailureKind::Damaged, "the file holds no sensor data");
    }
}

// Hands the developed picture to libvips without a copy; libvips frees it when it closes.
vips::VImage wrapDeveloped(std::unique_ptr<libraw_processed_image_t, ProcessedImageDeleter> image) {
    const bool deep = image->bits == 16;
    const bool colour = image->colors == 3;
    VipsImage* wrapped =
        vips_image_new_from_memory(image->data, image->data_size, image->width, image->height,
                                   image->colors, deep ? VIPS_FORMAT_USHORT : VIPS_FORMAT_UCHAR);
    if (!wrapped) {
        throw Failure(FailureKind::Damaged, media::takeVipsError());
    }
    g_signal_connect(wrapped, "close", G_CALLBACK(+[](VipsImage*, gpointer data) {
                         LibRaw::dcraw_clear_mem(static_cast<libraw_processed_image_t*>(data));
                     }),
                     image.release());
    return vips::VImage(wrapped).copy(vips::VImage::option()->set(
        "interpretation", colour ? (deep ? VIPS_INTERPRETATION_RGB16 : VIPS_INTERPRETATION_sRGB)
                                 : (deep ? VIPS_INTERPRETATION_GREY16 : VIPS_INTERPRETATION_B_W)));
}

}  // namespace

vips::VImage loadRaw(const std::string& path) {
    CountingStream stream(path.c_str());
    if (!stream.valid()) {
        throw Failure(FailureKind::Damaged, "LibRaw cannot open the file");
    }
    // Declared after the stream, so LibRaw lets go of it first.
    auto raw = std::make_unique<LibRaw>(0);
    libraw_output_params_t& params = raw->imgdata.params;
    params.use_camera_wb = 1;  // the white balance the photographer shot with
    params.output_color = 1;   // sRGB primaries
    params.output_bps = 16;    // keep the sensor's depth; the saver reduces it where needed
    params.use_camera_matrix = 1;

    unpackChecked(*raw, stream);
    checkRaw(raw->dcraw_process(), "cannot develop the RAW data");
    int code = LIBRAW_SUCCESS;
    std::unique_ptr<libraw_processed_image_t, ProcessedImageDeleter> image(
        raw->dcraw_make_mem_image(&code));
    checkRaw(code, "cannot develop the RAW data");
    if (!image || image->type != LIBRAW_IMAGE_BITMAP ||
        (image->colors != 3 && image->colors != 1)) {
        throw Failure(FailureKind::Damaged, "LibRaw gave no picture for this file");
    }
    // LibRaw's working buffers are no longer needed once the picture is developed.
    raw->recycle();
    return wrapDeveloped(std::move(image));
}

}  // namespace pivana::image
