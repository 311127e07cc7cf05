#pragma once

#include <QString>

#include <vips/vips8>

namespace pivana::test {

/// Starts libvips in the test process.
void startVips();

/// A colourful gradient of the given size: 3 bands (4 with `alpha`, transparent on the left
/// edge, opaque on the right), 8 or 16 bits per channel.
vips::VImage gradient(int width, int height, bool alpha = false, bool sixteenBit = false);

/// Random RGB noise, which compresses badly (for file-size comparisons).
vips::VImage noise(int width, int height);

/// Saves with libvips, the format chosen by the extension.
void saveImage(const vips::VImage& image, const QString& path);

/// A JPEG whose pixels are stored `width` x `height` with EXIF orientation `orientation`.
void writeOrientedJpeg(const QString& path, int width, int height, int orientation);

/// A CMYK JPEG.
void writeCmykJpeg(const QString& path, int width, int height);

/// A small but complete DNG: an RGGB colour filter array with the tags a RAW developer needs;
/// every sensor value the same when `flat`.
void writeDng(const QString& path, int width, int height, bool flat = false);

/// A float grey TIFF without the photometric tag, dark on the left, bright on the right.
void writeFloatGreyTiff(const QString& path, int width, int height);

/// An animated AVIF (made by the ffmpeg command line): a red first frame, then blue ones.
void writeAnimatedAvif(const QString& path, int width, int height);

/// A PNG header claiming `width` x `height` pixels, with almost no data behind it.
void writeDecompressionBomb(const QString& path, int width, int height);

/// Decoded facts about an output file.
struct ImageFacts {
    QString loader;  ///< libvips loader name, e.g. "jpegload", "heifload"
    int width = 0;
    int height = 0;
    int bands = 0;
    bool alpha = false;
    VipsBandFormat format = VIPS_FORMAT_UCHAR;
    int orientation = 1;
};

/// Decodes the whole file; fails the test when it cannot.
ImageFacts probe(const QString& path);

}  // namespace pivana::test
