#include "support/DngWriter.h"

#include <tiffio.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

namespace pivana::test {

namespace {

using TiffFile = std::unique_ptr<TIFF, decltype(&TIFFClose)>;

// One uncompressed strip of the whole picture, channels interleaved.
void setPlainStrip(TIFF* t, int width, int height, int bits, int samples) {
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, bits);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, samples);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, height);
}

// A DNG's first directory: the full-size picture, with its camera's identity and an identity
// colour matrix, in 16-bit samples of `samples` channels.
TiffFile openDng(const std::string& path, int width, int height, int samples) {
    TiffFile tiff(TIFFOpen(path.c_str(), "w"), &TIFFClose);
    if (!tiff) {
        return tiff;
    }
    TIFF* t = tiff.get();
    const uint8_t version[4] = {1, 4, 0, 0};
    const float colorMatrix[9] = {1.0f, 0, 0, 0, 1.0f, 0, 0, 0, 1.0f};
    const float neutral[3] = {1.0f, 1.0f, 1.0f};
    TIFFSetField(t, TIFFTAG_SUBFILETYPE, 0);
    setPlainStrip(t, width, height, 16, samples);
    TIFFSetField(t, TIFFTAG_MAKE, "Pivana");
    TIFFSetField(t, TIFFTAG_MODEL, "Test Camera");
    TIFFSetField(t, TIFFTAG_DNGVERSION, version);
    TIFFSetField(t, TIFFTAG_UNIQUECAMERAMODEL, "Pivana Test Camera");
    TIFFSetField(t, TIFFTAG_COLORMATRIX1, 9, colorMatrix);
    TIFFSetField(t, TIFFTAG_ASSHOTNEUTRAL, 3, neutral);
    return tiff;
}

}  // namespace

bool writeDng(const std::string& path, int width, int height, bool flat) {
    const TiffFile tiff = openDng(path, width, height, 1);
    if (!tiff) {
        return false;
    }
    TIFF* t = tiff.get();
    const uint16_t repeat[2] = {2, 2};
    const uint8_t pattern[4] = {0, 1, 1, 2};      // R G / G B
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, 32803);  // colour filter array
    TIFFSetField(t, TIFFTAG_CFAREPEATPATTERNDIM, repeat);
    TIFFSetField(t, TIFFTAG_CFAPATTERN, 4, pattern);
    std::vector<uint16_t> row(static_cast<size_t>(width));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const bool evenRow = y % 2 == 0;
            const bool evenColumn = x % 2 == 0;
            int value = 20000;  // green stays mid-grey
            if (flat) {
                value = 0;
            } else if (evenRow && evenColumn) {
                value = 2000 + static_cast<int>(60000LL * x / width);
            } else if (!evenRow && !evenColumn) {
                value = 2000 + static_cast<int>(60000LL * y / height);
            }
            row[static_cast<size_t>(x)] = static_cast<uint16_t>(value);
        }
        if (TIFFWriteScanline(t, row.data(), static_cast<uint32_t>(y), 0) != 1) {
            return false;
        }
    }
    return true;
}

bool writeLinearDng(const std::string& path, int width, int height, int orientation) {
    // As converters write it: a small preview first, the picture in a sub-directory.
    TiffFile tiff = openDng(path, width / 10, height / 10, 3);
    if (!tiff) {
        return false;
    }
    TIFF* t = tiff.get();
    toff_t subDirectory[1] = {0};
    TIFFSetField(t, TIFFTAG_SUBFILETYPE, FILETYPE_REDUCEDIMAGE);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(t, TIFFTAG_ORIENTATION, orientation);
    TIFFSetField(t, TIFFTAG_SUBIFD, 1, subDirectory);
    const std::vector<uint8_t> preview(static_cast<size_t>(width / 10) * 3, 128);
    for (int y = 0; y < height / 10; ++y) {
        if (TIFFWriteScanline(t, const_cast<uint8_t*>(preview.data()), static_cast<uint32_t>(y),
                              0) != 1) {
            return false;
        }
    }
    if (!TIFFWriteDirectory(t)) {
        return false;
    }
    TIFFSetField(t, TIFFTAG_SUBFILETYPE, 0);
    setPlainStrip(t, width, height, 16, 3);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, 34892);  // linear raw: demosaiced camera colour
    std::vector<uint16_t> row(static_cast<size_t>(width) * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint16_t* pixel = &row[static_cast<size_t>(x) * 3];
            pixel[0] = static_cast<uint16_t>(2000 + 60000LL * x / width);
            pixel[1] = 20000;
            pixel[2] = static_cast<uint16_t>(2000 + 60000LL * y / height);
        }
        if (TIFFWriteScanline(t, row.data(), static_cast<uint32_t>(y), 0) != 1) {
            return false;
        }
    }
    return true;
}

bool writeTiffCompressedAs(const std::string& path, int scheme) {
    const TiffFile tiff(TIFFOpen(path.c_str(), "w"), &TIFFClose);
    if (!tiff) {
        return false;
    }
    TIFF* t = tiff.get();
    setPlainStrip(t, 16, 16, 8, 3);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(t, TIFFTAG_COMPRESSION, scheme);
    std::vector<uint8_t> strip(100, 7);
    return TIFFWriteRawStrip(t, 0, strip.data(), static_cast<tmsize_t>(strip.size())) > 0;
}

bool cutDngSensorData(const std::string& path, double fractionLeft) {
    std::FILE* file = std::fopen(path.c_str(), "r+b");
    if (!file) {
        return false;
    }
    std::vector<unsigned char> bytes;
    for (int c; (c = std::fgetc(file)) != EOF;) {
        bytes.push_back(static_cast<unsigned char>(c));
    }
    auto get = [&bytes](size_t at, int size) {
        uint32_t value = 0;
        for (int i = size - 1; i >= 0; --i) {
            value = value << 8 | bytes.at(at + static_cast<size_t>(i));
        }
        return value;
    };
    // Little-endian, as libtiff writes on this machine; one strip, its offset in the entry.
    const size_t directory = get(4, 4);
    const uint32_t entries = get(directory, 2);
    uint32_t dataSize = 0;
    size_t offsetEntry = 0;
    for (uint32_t i = 0; i < entries; ++i) {
        const size_t entry = directory + 2 + 12 * i;
        if (get(entry, 2) == TIFFTAG_STRIPOFFSETS) {
            offsetEntry = entry + 8;
        } else if (get(entry, 2) == TIFFTAG_STRIPBYTECOUNTS) {
            dataSize = get(entry + 8, 4);
        }
    }
    const uint32_t start =
        static_cast<uint32_t>(bytes.size()) - static_cast<uint32_t>(dataSize * fractionLeft);
    const bool found = offsetEntry != 0 && dataSize != 0 &&
                       std::fseek(file, static_cast<long>(offsetEntry), SEEK_SET) == 0;
    const unsigned char value[4] = {
        static_cast<unsigned char>(start), static_cast<unsigned char>(start >> 8),
        static_cast<unsigned char>(start >> 16), static_cast<unsigned char>(start >> 24)};
    const bool written = found && std::fwrite(value, 1, 4, file) == 4;
    return std::fclose(file) == 0 && written;
}

bool writeFloatGreyTiffWithoutPhotometric(const std::string& path, int width, int height) {
    const TiffFile tiff(TIFFOpen(path.c_str(), "w"), &TIFFClose);
    if (!tiff) {
        return false;
    }
    TIFF* t = tiff.get();
    setPlainStrip(t, width, height, 32, 1);
    TIFFSetField(t, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_IEEEFP);
    std::vector<float> row(static_cast<size_t>(width));
    for (int x = 0; x < width; ++x) {
        row[static_cast<size_t>(x)] = static_cast<float>(x) / static_cast<float>(width);
    }
    for (int y = 0; y < height; ++y) {
        if (TIFFWriteScanline(t, row.data(), static_cast<uint32_t>(y), 0) != 1) {
            return false;
        }
    }
    return true;
}

}  // namespace pivana::test
