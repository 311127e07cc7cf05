// Pictures into one PDF, a page each. A JPEG goes in as it is (the PDF reader decodes the same
// bytes), so nothing is lost and nothing is re-encoded; every other picture goes in as its
// decoded pixels, deflated, with its alpha as a soft mask. Objects are written one after another
// as each picture is read, so only one picture's pixels are in memory at a time, and a picture
// that fails part way is cut off the end of the file again.
#include "ImageTool.h"
#include "media/Vips.h"

#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace pivana::image {

namespace {

using vips::VImage;

// What a JPEG's markers say about its pixels; none for a file the PDF reader could not decode
// from its bytes (12-bit, lossless or arithmetic-coded), which is decoded here instead.
struct JpegLayout {
    int width = 0;
    int height = 0;
    int components = 0;
    bool adobe = false;  // Adobe's marker: its CMYK is stored inverted
};

std::optional<JpegLayout> embeddableJpeg(const std::string& bytes) {
    const auto byte = [&bytes](size_t at) { return static_cast<unsigned char>(bytes[at]); };
    if (bytes.size() < 4 || byte(0) != 0xFF || byte(1) != 0xD8) {
        return std::nullopt;
    }
    JpegLayout layout;
    size_t at = 2;
    while (at + 4 <= bytes.size()) {
        if (byte(at) != 0xFF) {
            return std::nullopt;
        }
        const unsigned char marker = byte(at + 1);
        if (marker == 0xFF) {  // fill byte
            ++at;
            continue;
        }
        const size_t length = (static_cast<size_t>(byte(at + 2)) << 8) | byte(at + 3);
        const size_t body = at + 4;
        if (length < 2 || body + length - 2 > bytes.size()) {
            return std::nullopt;
        }
        if (marker == 0xC0 || marker == 0xC1 || marker == 0xC2) {  // Huffman, baseline or not
            if (length < 8 || byte(body) != 8) {
                return std::nullopt;
            }
            layout.height = (byte(body + 1) << 8) | byte(body + 2);
            layout.width = (byte(body + 3) << 8) | byte(body + 4);
            layout.components = byte(body + 5);
        } else if ((marker >= 0xC3 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 &&
                    marker != 0xCC)) {
            return std::nullopt;  // lossless, hierarchical or arithmetic coding
        } else if (marker == 0xEE && length >= 7 && bytes.compare(body, 5, "Adobe") == 0) {
            layout.adobe = true;
        } else if (marker == 0xDA) {
            // The scan runs to the end-of-image marker; a file cut short has none after it.
            const bool complete = bytes.find("\xFF\xD9", body) != std::string::npos;
            const bool known =
                layout.width > 0 && layout.height > 0 &&
                (layout.components == 1 || layout.components == 3 || layout.components == 4);
            if (!complete) {
                throw Failure(FailureKind::Damaged, "the JPEG data ends before the picture does");
            }
            return known ? std::optional(layout) : std::nullopt;
        }
        at = body + length - 2;
    }
    throw Failure(FailureKind::Damaged, "the JPEG data ends before the picture does");
}

std::string readWhole(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (file.bad()) {
        throw Failure(tools::readingFailure(errno), std::strerror(errno));
    }
    return bytes;
}

int orientationOf(const VImage& image) {
    return image.get_typeof(VIPS_META_ORIENTATION) ? image.get_int(VIPS_META_ORIENTATION) : 1;
}

// The page's size in points, from the picture's resolution where it states a plausible one (one
// pixel a point otherwise), within the 200 inches a side PDF readers take.
std::pair<double, double> pageSize(const VImage& image, int width, int height) {
    const double dpi = image.xres() * 25.4;
    const double pointsPerPixel = dpi >= 50 && dpi <= 10000 ? 72.0 / dpi : 1.0;
    double pageWidth = width * pointsPerPixel;
    double pageHeight = height * pointsPerPixel;
    constexpr double largest = 14400;
    const double shrink = std::min({1.0, largest / pageWidth, largest / pageHeight});
    return {pageWidth * shrink, pageHeight * shrink};
}

std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.4f", value);
    std::string shown = text;
    shown.erase(shown.find_last_not_of('0') + 1);
    if (shown.back() == '.') {
        shown.pop_back();
    }
    return shown;
}

// The document itself could not be written (the disk, the folder): no picture's fault.
struct WriteFailure : Failure {
    explicit WriteFailure(int errnum) : Failure(writingFailure(errnum), std::strerror(errnum)) {}
};

// A PDF file written front to back: numbered objects, their offsets kept for the cross-reference
// table at the end.
class PdfFile {
public:
    explicit PdfFile(const std::string& path)
        : m_path(path), m_file(std::fopen(path.c_str(), "wb")) {
        if (!m_file) {
            throw WriteFailure(errno);
        }
        put("%PDF-1.5\n%\xE2\xE3\xCF\xD3\n");
        m_offsets = {0, 0, 0};  // object 0, the catalog and the page tree, written last
    }
    ~PdfFile() {
        if (m_file) {
            std::fclose(m_file);
        }
    }
    PdfFile(const PdfFile&) = delete;
    PdfFile& operator=(const PdfFile&) = delete;

    int reserve() {
        m_offsets.push_back(0);
        return static_cast<int>(m_offsets.size() - 1);
    }

    void begin(int object) {
        m_offsets[static_cast<size_t>(object)] = offset();
        put(std::to_string(object) + " 0 obj\n");
    }

    void object(int object, const std::string& body) {
        begin(object);
        put(body + "\nendobj\n");
    }

    // A stream whose length is written as its own object once it is known.
    void stream(int object, const std::string& dictionary, const std::function<void()>& content) {
        const int length = reserve();
        begin(object);
        put("<< " + dictionary + " /Length " + std::to_string(length) + " 0 R >>\nstream\n");
        const long start = offset();
        content();
        const long end = offset();
        put("\nendstream\nendobj\n");
        this->object(length, std::to_string(end - start));
    }

    void put(const std::string& text) { put(text.data(), text.size()); }
    void put(const void* data, size_t size) {
        if (size > 0 && std::fwrite(data, 1, size, m_file) != size) {
            throw WriteFailure(errno);
        }
    }

    // Where a picture starts; `rollBack` cuts the file back to it.
    struct Mark {
        long offset;
        size_t objects;
    };
    Mark mark() const { return {offset(), m_offsets.size()}; }
    void rollBack(const Mark& mark) {
        if (std::fflush(m_file) != 0 || ::ftruncate(::fileno(m_file), mark.offset) != 0 ||
            std::fseek(m_file, mark.offset, SEEK_SET) != 0) {
            throw WriteFailure(errno);
        }
        m_offsets.resize(mark.objects);
    }

    void finish(const std::vector<int>& pages) {
        std::string kids;
        for (const int page : pages) {
            kids += std::to_string(page) + " 0 R ";
        }
        object(1, "<< /Type /Catalog /Pages 2 0 R >>");
        object(2, "<< /Type /Pages /Kids [ " + kids + "] /Count " + std::to_string(pages.size()) +
                      " >>");
        const long table = offset();
        std::string xref =
            "xref\n0 " + std::to_string(m_offsets.size()) + "\n0000000000 65535 f \n";
        for (size_t i = 1; i < m_offsets.size(); ++i) {
            char entry[24];
            std::snprintf(entry, sizeof entry, "%010ld 00000 n \n", m_offsets[i]);
            xref += entry;
        }
        put(xref + "trailer\n<< /Size " + std::to_string(m_offsets.size()) +
            " /Root 1 0 R >>\nstartxref\n" + std::to_string(table) + "\n%%EOF\n");
        const bool flushed = std::fflush(m_file) == 0 && ::fsync(::fileno(m_file)) == 0;
        const bool closed = std::fclose(m_file) == 0;
        m_file = nullptr;
        if (!flushed || !closed) {
            throw WriteFailure(errno);
        }
    }

private:
    long offset() const { return std::ftell(m_file); }

    std::string m_path;
    std::FILE* m_file;
    std::vector<long> m_offsets;
};

// Deflates what it is given straight into the file.
class Deflater {
public:
    explicit Deflater(PdfFile& pdf) : m_pdf(pdf) {
        if (deflateInit(&m_stream, 6) != Z_OK) {
            throw Failure(FailureKind::TooLarge, "cannot start zlib");
        }
    }
    ~Deflater() { deflateEnd(&m_stream); }
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;

    void add(const unsigned char* data, size_t size) { run(data, size, Z_NO_FLUSH); }
    void finish() { run(nullptr, 0, Z_FINISH); }

private:
    void run(const unsigned char* data, size_t size, int flush) {
        m_stream.next_in = const_cast<unsigned char*>(data);
        m_stream.avail_in = static_cast<uInt>(size);
        unsigned char out[1 << 16];
        int result = Z_OK;
        do {
            m_stream.next_out = out;
            m_stream.avail_out = sizeof out;
            result = deflate(&m_stream, flush);
            m_pdf.put(out, sizeof out - m_stream.avail_out);
        } while (m_stream.avail_out == 0 || (flush == Z_FINISH && result != Z_STREAM_END));
    }

    PdfFile& m_pdf;
    z_stream m_stream{};
};

// Whether an ICC profile describes colours of this many components ('GRAY', 'RGB ', 'CMYK' at
// byte 16 of its header); a profile that does not fit the pixels is left out.
bool profileFits(const void* profile, size_t size, int components) {
    if (size < 20) {
        return false;
    }
    const std::string space(static_cast<const char*>(profile) + 16, 4);
    return (components == 1 && space == "GRAY") || (components == 3 && space == "RGB ") ||
           (components == 4 && space == "CMYK");
}

std::string colourSpace(PdfFile& pdf, const VImage& image, int components) {
    const char* device = components == 1   ? "/DeviceGray"
                         : components == 4 ? "/DeviceCMYK"
                                           : "/DeviceRGB";
    if (image.get_typeof(VIPS_META_ICC_NAME) == 0) {
        return device;
    }
    size_t size = 0;
    const void* profile = image.get_blob(VIPS_META_ICC_NAME, &size);
    if (!profileFits(profile, size, components)) {
        return device;
    }
    const int object = pdf.reserve();
    pdf.stream(
        object,
        "/N " + std::to_string(components) + " /Alternate " + device + " /Filter /FlateDecode",
        [&] {
            Deflater deflater(pdf);
            deflater.add(static_cast<const unsigned char*>(profile), size);
            deflater.finish();
        });
    return "[/ICCBased " + std::to_string(object) + " 0 R]";
}

struct Placed {
    int image;  // the image object
    int width;
    int height;
    int rotation = 0;  // degrees clockwise the page is shown turned
    VImage header;
};

// A JPEG whose bytes go in as they are; the page turns as its EXIF orientation says.
std::optional<Placed> placeJpeg(PdfFile& pdf, const std::string& path) {
    if (fileHead(path, 3) != "\xFF\xD8\xFF") {
        return std::nullopt;
    }
    const std::string bytes = readWhole(path);
    const std::optional<JpegLayout> layout = embeddableJpeg(bytes);
    VImage header;
    try {
        header = VImage::new_from_file(path.c_str(),
                                       VImage::option()->set("access", VIPS_ACCESS_SEQUENTIAL));
    } catch (const vips::VError&) {
        throw Failure(FailureKind::Damaged, media::takeVipsError());
    }
    const int orientation = orientationOf(header);
    const bool mirrored =
        orientation == 2 || orientation == 4 || orientation == 5 || orientation == 7;
    if (!layout || mirrored) {
        return std::nullopt;  // decoded and turned upright like any other picture
    }
    checkSize(static_cast<unsigned long long>(layout->width),
              static_cast<unsigned long long>(layout->height));
    Placed placed{pdf.reserve(), layout->width, layout->height, 0, header};
    placed.rotation = orientation == 3 ? 180 : orientation == 6 ? 90 : orientation == 8 ? 270 : 0;
    const std::string space = colourSpace(pdf, header, layout->components);
    std::string dictionary = "/Type /XObject /Subtype /Image /Width " +
                             std::to_string(layout->width) + " /Height " +
                             std::to_string(layout->height) + " /ColorSpace " + space +
                             " /BitsPerComponent 8 /Filter /DCTDecode";
    if (layout->components == 4 && layout->adobe) {
        dictionary += " /Decode [1 0 1 0 1 0 1 0]";
    }
    pdf.stream(placed.image, dictionary, [&] { pdf.put(bytes.data(), bytes.size()); });
    return placed;
}

// Writes the bands [first, first + count) of the image's pixels, deflated, 16-bit samples big
// end first, as PDF wants them. Reads the picture in strips, so only a strip is in memory.
void deflatePixels(PdfFile& pdf, const VImage& image, int first, int count) {
    const VImage bands = image.extract_band(first, VImage::option()->set("n", count));
    const bool deep = bands.format() == VIPS_FORMAT_USHORT;
    VipsRegion* region = vips_region_new(bands.get_image());
    const std::unique_ptr<VipsRegion, void (*)(void*)> owner(region, g_object_unref);
    Deflater deflater(pdf);
    const size_t rowBytes = static_cast<size_t>(bands.width()) * count * (deep ? 2 : 1);
    std::vector<unsigned char> row(rowBytes);
    constexpr int strip = 64;
    for (int top = 0; top < bands.height(); top += strip) {
        VipsRect rect{0, top, bands.width(), std::min(strip, bands.height() - top)};
        if (vips_region_prepare(region, &rect) != 0) {
            throw vips::VError();
        }
        for (int y = rect.top; y < rect.top + rect.height; ++y) {
            const auto* pixels =
                reinterpret_cast<const unsigned char*>(VIPS_REGION_ADDR(region, 0, y));
            std::memcpy(row.data(), pixels, rowBytes);
            if (deep) {
                for (size_t i = 0; i + 1 < rowBytes; i += 2) {
                    const auto sample = static_cast<uint16_t>(row[i] | (row[i + 1] << 8));
                    row[i] = static_cast<unsigned char>(sample >> 8);
                    row[i + 1] = static_cast<unsigned char>(sample & 0xff);
                }
            }
            deflater.add(row.data(), rowBytes);
        }
    }
    deflater.finish();
}

// Any other picture: its pixels, upright, in 8 or 16 bits, without loss; alpha as a soft mask.
Placed placePixels(PdfFile& pdf, const VImage& source) {
    VImage image = pixelsForLosslessTarget(source);
    if (G_BYTE_ORDER != G_LITTLE_ENDIAN && image.format() == VIPS_FORMAT_USHORT) {
        throw Failure(FailureKind::Unknown, "16-bit samples on a big-endian machine");
    }
    const bool alpha = image.has_alpha();
    const int colours = image.bands() - (alpha ? 1 : 0);
    if (colours != 1 && colours != 3) {
        throw Failure(FailureKind::WrongFormat,
                      "pictures of " + std::to_string(colours) + " colour channels");
    }
    const std::string bits = image.format() == VIPS_FORMAT_USHORT ? "16" : "8";
    const std::string size = "/Width " + std::to_string(image.width()) + " /Height " +
                             std::to_string(image.height()) + " /BitsPerComponent " + bits;
    std::string mask;
    if (alpha) {
        const int object = pdf.reserve();
        pdf.stream(object,
                   "/Type /XObject /Subtype /Image " + size +
                       " /ColorSpace /DeviceGray /Filter /FlateDecode",
                   [&] { deflatePixels(pdf, image, colours, 1); });
        mask = " /SMask " + std::to_string(object) + " 0 R";
    }
    const std::string space = colourSpace(pdf, image, colours);
    Placed placed{pdf.reserve(), image.width(), image.height(), 0, image};
    pdf.stream(placed.image,
               "/Type /XObject /Subtype /Image " + size + " /ColorSpace " + space +
                   " /Filter /FlateDecode" + mask,
               [&] { deflatePixels(pdf, image, 0, colours); });
    return placed;
}

int addPage(PdfFile& pdf, const Placed& placed) {
    const auto [width, height] = pageSize(placed.header, placed.width, placed.height);
    const int contents = pdf.reserve();
    const std::string drawing =
        "q " + number(width) + " 0 0 " + number(height) + " 0 0 cm /Im0 Do Q";
    pdf.stream(contents, "", [&] { pdf.put(drawing); });
    const int page = pdf.reserve();
    std::string body = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + number(width) + " " +
                       number(height) + "] /Resources << /XObject << /Im0 " +
                       std::to_string(placed.image) + " 0 R >> >> /Contents " +
                       std::to_string(contents) + " 0 R";
    if (placed.rotation != 0) {
        body += " /Rotate " + std::to_string(placed.rotation);
    }
    pdf.object(page, body + " >>");
    return page;
}

int addPicture(PdfFile& pdf, const std::string& path) {
    checkRegularFile(path);
    std::optional<Placed> placed = placeJpeg(pdf, path);
    if (!placed) {
        const PdfFile::Mark mark = pdf.mark();
        withPicture(path, [&](const VImage& image) {
            pdf.rollBack(mark);  // a second reading starts afresh
            try {
                placed = placePixels(pdf, image);
            } catch (const vips::VError&) {
                throw Failure(FailureKind::Damaged, media::takeVipsError());
            }
        });
    }
    return addPage(pdf, *placed);
}

}  // namespace

void writePictureDocument(const Request& request, const std::string& path) {
    const bool progress = std::getenv("PIVANA_PROGRESS") != nullptr;
    const size_t count = request.pictures.size();
    PdfFile pdf(path);
    std::vector<int> pages;
    std::optional<Failure> lastFailure;
    for (size_t index = 0; index < count; ++index) {
        if (progress) {
            std::printf("progress %.3f\n", static_cast<double>(index) / static_cast<double>(count));
            std::fflush(stdout);
        }
        const PdfFile::Mark mark = pdf.mark();
        try {
            try {
                pages.push_back(addPicture(pdf, request.pictures[index]));
            } catch (const vips::VError&) {
                throw Failure(FailureKind::Damaged, media::takeVipsError());
            }
        } catch (const WriteFailure&) {
            throw;  // the document's own trouble, not the picture's
        } catch (const Failure& failure) {
            pdf.rollBack(mark);
            // Which picture failed and why, for the app to tell each one apart.
            std::printf("%zu failed %s\n", index + 1, failure.sentence().c_str());
            std::fflush(stdout);
            lastFailure = failure;
        }
    }
    if (pages.empty()) {
        if (count == 1 && lastFailure) {
            throw *lastFailure;
        }
        throw Failure(std::string("None of the pictures could be read"));
    }
    pdf.finish(pages);
}

}  // namespace pivana::image
