#include "support/DngWriter.h"

#include <tiffio.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace pivana::test {

bool writeDng(const std::string& path, int width, int height) {
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
            if (evenRow && evenColumn) {
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

}  // namespace pivana::test
