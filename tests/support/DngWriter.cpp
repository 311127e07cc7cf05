#include "support/DngWriter.h"

#include <tiffio.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

namespace pivana::test {

bool writeDng(const std::string& path, int width, int height, bool flat) {
    std::unique_ptr<TIFF, decltype(&TIFFClose)> tiff(TIFFOpen(path.c_str(), "w"), &TIFFClose);
    if (!tiff) {
        return false;
    }
    TIFF* t = tiff.get();
    const uint8_t version[4] = {1, 4, 0, 0};
    const uint16_t repeat[2] = {2, 2};
    const uint8_t pattern[4] = {0, 1, 1, 2};  // R G / G B
    const float colorMatrix[9] = {1.0f, 0, 0, 0, 1.0f, 0, 0, 0, 1.0f};
    const float neutral[3] = {1.0f, 1.0f, 1.0f};
    TIFFSetField(t, TIFFTAG_SUBFILETYPE, 0);
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 16);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, 32803);  // colour filter array
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, height);
    TIFFSetField(t, TIFFTAG_MAKE, "Pivana");
    TIFFSetField(t, TIFFTAG_MODEL, "Test Camera");
    TIFFSetField(t, TIFFTAG_DNGVERSION, version);
    TIFFSetField(t, TIFFTAG_UNIQUECAMERAMODEL, "Pivana Test Camera");
    TIFFSetField(t, TIFFTAG_CFAREPEATPATTERNDIM, repeat);
    TIFFSetField(t, TIFFTAG_CFAPATTERN, 4, pattern);
    TIFFSetField(t, TIFFTAG_COLORMATRIX1, 9, colorMatrix);
    TIFFSetField(t, TIFFTAG_ASSHOTNEUTRAL, 3, neutral);
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
    std::unique_ptr<TIFF, decltype(&TIFFClose)> tiff(TIFFOpen(path.c_str(), "w"), &TIFFClose);
    if (!tiff) {
        return false;
    }
    TIFF* t = tiff.get();
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 32);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(t, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_IEEEFP);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, height);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
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
