#include "support/ImageFixtures.h"

#include "support/DngWriter.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <QByteArray>
#include <QFile>
#include <QProcess>

#include <mutex>
#include <vector>

namespace pivana::test {

using vips::VImage;

void startVips() {
    static std::once_flag started;
    std::call_once(started, [] { VIPS_INIT("pivana-tests"); });
}

VImage gradient(int width, int height, bool alpha, bool sixteenBit) {
    startVips();
    const VImage xyz = VImage::xyz(width, height);
    const VImage x = xyz[0] * (255.0 / std::max(1, width - 1));
    const VImage y = xyz[1] * (255.0 / std::max(1, height - 1));
    VImage image = x.bandjoin(y).bandjoin(255.0 - x);
    if (alpha) {
        image = image.bandjoin(x);
    }
    image = image.cast(VIPS_FORMAT_UCHAR)
                .copy(VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB));
    if (sixteenBit) {
        image = image.colourspace(VIPS_INTERPRETATION_RGB16);
    }
    return image;
}

VImage noise(int width, int height) {
    startVips();
    auto band = [&] {
        return VImage::gaussnoise(width, height,
                                  VImage::option()->set("mean", 128.0)->set("sigma", 50.0));
    };
    return band()
        .bandjoin(band())
        .bandjoin(band())
        .cast(VIPS_FORMAT_UCHAR)
        .copy(VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB));
}

void saveImage(const VImage& image, const QString& path) {
    startVips();
    image.write_to_file(QFile::encodeName(path).constData());
}

void writeOrientedJpeg(const QString& path, int width, int height, int orientation) {
    VImage image = gradient(width, height).copy();
    image.set(VIPS_META_ORIENTATION, orientation);
    saveImage(image, path);
}

void writeCmykJpeg(const QString& path, int width, int height) {
    const VImage cmyk = gradient(width, height)
                            .icc_transform("cmyk", VImage::option()->set("input_profile", "srgb"));
    saveImage(cmyk, path);
}

void writeDng(const QString& path, int width, int height, bool flat) {
    ASSERT_TRUE(writeDng(QFile::encodeName(path).toStdString(), width, height, flat))
        << path.toStdString();
}

void writeFloatGreyTiff(const QString& path, int width, int height) {
    ASSERT_TRUE(
        writeFloatGreyTiffWithoutPhotometric(QFile::encodeName(path).toStdString(), width, height))
        << path.toStdString();
}

void writeAnimatedAvif(const QString& path, int width, int height) {
    const QString size = QStringLiteral("%1x%2").arg(width).arg(height);
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("/usr/bin/ffmpeg"),
                 {"-v", "error", "-y", "-f", "lavfi", "-i", "color=c=red:r=5:d=0.2:s=" + size, "-f",
                  "lavfi", "-i", "color=c=blue:r=5:d=0.4:s=" + size, "-filter_complex",
                  "[0][1]concat,format=yuv420p", "-c:v", "libaom-av1", "-cpu-used", "8", path});
    ASSERT_TRUE(ffmpeg.waitForFinished(120000));
    ASSERT_EQ(ffmpeg.exitCode(), 0) << ffmpeg.readAllStandardError().toStdString();
}

void writeDecompressionBomb(const QString& path, int width, int height) {
    startVips();
    // A real 1x1 PNG whose header is then rewritten to claim the huge size.
    VImage::black(1, 1).cast(VIPS_FORMAT_UCHAR).pngsave(QFile::encodeName(path).constData());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    QByteArray bytes = file.readAll();
    auto put32 = [&bytes](int offset, quint32 value) {
        for (int i = 0; i < 4; ++i) {
            bytes[offset + i] = static_cast<char>((value >> (24 - 8 * i)) & 0xff);
        }
    };
    put32(16, static_cast<quint32>(width));
    put32(20, static_cast<quint32>(height));
    // The header's CRC must match or the decoder stops before reading the size.
    const quint32 crc = static_cast<quint32>(
        ::crc32(0, reinterpret_cast<const unsigned char*>(bytes.constData() + 12), 17));
    put32(29, crc);
    file.seek(0);
    file.write(bytes);
}

ImageFacts probe(const QString& path) {
    startVips();
    ImageFacts facts;
    try {
        const QByteArray file = QFile::encodeName(path);
        const char* loader = vips_foreign_find_load(file.constData());
        facts.loader =
            loader ? QString::fromLatin1(vips_nickname_find(g_type_from_name(loader))) : QString();
        VImage image = VImage::new_from_file(
            file.constData(), VImage::option()->set("fail_on", VIPS_FAIL_ON_TRUNCATED));
        image.avg();  // decodes every pixel
        facts.width = image.width();
        facts.height = image.height();
        facts.bands = image.bands();
        facts.alpha = image.has_alpha();
        facts.format = image.format();
        facts.orientation =
            image.get_typeof(VIPS_META_ORIENTATION) ? image.get_int(VIPS_META_ORIENTATION) : 1;
    } catch (const vips::VError& error) {
        ADD_FAILURE() << path.toStdString() << " does not decode: " << error.what();
        vips_error_clear();
    }
    return facts;
}

}  // namespace pivana::test
