// Real images through the image converter and pivana-image, every output decoded again.
#include "converters/ImageConverter.h"
#include "converters/StandardConverters.h"
#include "engine/RouteTable.h"
#include "support/DngWriter.h"
#include "support/ImageFixtures.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <random>

using namespace pivana;
using namespace pivana::test;

namespace {

const QStringList imageTargets = {"jpg", "png", "heic", "avif", "exr", "tiff", "gif", "bmp", "psd"};

QString loaderFor(const QString& target) {
    static const QHash<QString, QString> loaders = {
        {"jpg", "jpegload"},   {"jpeg", "jpegload"},   {"png", "pngload"},   {"heic", "heifload"},
        {"avif", "heifload"},  {"exr", "openexrload"}, {"tiff", "tiffload"}, {"gif", "gifload"},
        {"bmp", "magickload"}, {"psd", "magickload"},  {"webp", "webpload"}, {"pdf", "pdfload"}};
    return loaders.value(target);
}

bool targetHasAlpha(const QString& target) {
    return target != "jpg" && target != "jpeg" && target != "bmp";
}

using ImageConversion = ConversionTest;

}  // namespace

// Every corpus picture to every target it offers: the output decodes, in the right format and
// size, with alpha only where the target keeps it.
struct CorpusCase {
    const char* file;
    int width;  // upright
    int height;
    bool alpha;
};

class CorpusImages : public ImageConversion, public testing::WithParamInterface<CorpusCase> {};

TEST_P(CorpusImages, ConvertToEveryOfferedTarget) {
    PIVANA_CORPUS_OR_SKIP(corpus, QString("image/") + GetParam().file);
    const QString source = dir.path(QFileInfo(corpus).fileName());
    ASSERT_TRUE(QFile::copy(corpus, source));
    const QStringList targets = RouteTable::shared().route(source)->validTargets;
    for (const QString& target : targets) {
        SCOPED_TRACE(target.toStdString());
        const QString output = convertOne(source, target);
        if (output.isEmpty()) {
            continue;
        }
        const ImageFacts facts = probe(output);
        EXPECT_EQ(facts.loader, loaderFor(target));
        if (target == "pdf") {
            continue;  // a page of the picture's size in points, not pixels
        }
        // JPEG and TIFF keep the orientation tag and the stored pixels.
        const bool stored = (target == "jpg" || target == "tiff") && facts.orientation >= 5;
        EXPECT_EQ(stored ? facts.height : facts.width, GetParam().width);
        EXPECT_EQ(stored ? facts.width : facts.height, GetParam().height);
        if (!targetHasAlpha(target)) {
            EXPECT_FALSE(facts.alpha);
        } else if (target != "gif" && target != "exr") {
            // GIF alpha is one bit, and the EXR writer always stores an (opaque) alpha channel.
            EXPECT_EQ(facts.alpha, GetParam().alpha);
        }
    }
    EXPECT_TRUE(QFileInfo::exists(source));
}

INSTANTIATE_TEST_SUITE_P(
    Samples, CorpusImages,
    testing::Values(CorpusCase{"jpg-exif-orientation-6-landscape.jpg", 1800, 1200, false},
                    CorpusCase{"jpg-cmyk-adobe.jpg", 100, 100, false},
                    CorpusCase{"jpg-camera-exif.jpg", 480, 360, false},
                    CorpusCase{"jpg-hdr-gainmap-mpf.jpg", 400, 300, false},
                    CorpusCase{"png-rgba-alpha.png", 200, 150, true},
                    CorpusCase{"png-16bit-rgb.png", 900, 600, false},
                    CorpusCase{"png-palette-trns.png", 64, 64, true},
                    CorpusCase{"webp-alpha.webp", 200, 150, true},
                    CorpusCase{"webp-animated.webp", 245, 245, true},
                    CorpusCase{"bmp-pal8-rle.bmp", 127, 64, false},
                    CorpusCase{"tiff-16bit-rgba.tiff", 100, 40, true},
                    CorpusCase{"tiff-tiled-planar-lzw.tiff", 278, 374, false},
                    CorpusCase{"avif-alpha-irot.avif", 256, 512, true},
                    CorpusCase{"exr-scanline-carrots.exr", 600, 400, false},
                    CorpusCase{"psd-layered.psd", 128, 128, false},
                    CorpusCase{"heic-iphone7-orientation6.heic", 3024, 4032, false}),
    [](const testing::TestParamInfo<CorpusCase>& row) {
        std::string name = QFileInfo(row.param.file).completeBaseName().toStdString();
        for (char& c : name) {
            c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        }
        return name;
    });

TEST_F(ImageConversion, GeneratedPicturesKeepWhatTheTargetCanHold) {
    const QString alpha = dir.path("alpha.png");
    saveImage(gradient(64, 48, true), alpha);
    const ImageFacts jpg = probe(convertOne(alpha, "jpg"));
    EXPECT_FALSE(jpg.alpha);
    // Transparent pixels land on white, not black.
    const vips::VImage flattened =
        vips::VImage::new_from_file(QFile::encodeName(dir.path("alpha.jpg")).constData());
    EXPECT_GT(flattened.extract_area(0, 20, 1, 1).avg(), 240.0);
    EXPECT_TRUE(probe(convertOne(alpha, "tiff")).alpha);

    const QString deep = dir.path("deep.png");
    saveImage(gradient(40, 30, false, true), deep);
    EXPECT_EQ(probe(convertOne(deep, "tiff")).format, VIPS_FORMAT_USHORT);
    EXPECT_EQ(probe(convertOne(deep, "jpg")).format, VIPS_FORMAT_UCHAR);
    EXPECT_EQ(probe(convertOne(deep, "exr")).format, VIPS_FORMAT_FLOAT);

    const QString deepTiff = dir.path("deep16.tiff");
    saveImage(gradient(40, 30, false, true), deepTiff);
    EXPECT_EQ(probe(convertOne(deepTiff, "png")).format, VIPS_FORMAT_USHORT);

    const QString cmyk = dir.path("cmyk.jpg");
    writeCmykJpeg(cmyk, 32, 32);
    EXPECT_EQ(probe(convertOne(cmyk, "png")).bands, 3);

    const QString rotated = dir.path("rotated.jpg");
    writeOrientedJpeg(rotated, 60, 20, 6);
    const ImageFacts upright = probe(convertOne(rotated, "png"));
    EXPECT_EQ(upright.width, 20);
    EXPECT_EQ(upright.height, 60);
    const ImageFacts tagged = probe(convertOne(rotated, "tiff"));
    EXPECT_EQ(tagged.width, 60);
    EXPECT_EQ(tagged.orientation, 6);

    for (const auto& [name, w, h] : {std::tuple{"tiny.png", 1, 1}, std::tuple{"odd.png", 3, 5}}) {
        const QString source = dir.path(name);
        saveImage(gradient(w, h), source);
        for (const QString target : {"heic", "avif", "gif", "bmp", "psd", "jpg"}) {
            SCOPED_TRACE(std::string(name) + " -> " + QString(target).toStdString());
            const ImageFacts facts = probe(convertOne(source, target));
            EXPECT_EQ(facts.width, w);
            EXPECT_EQ(facts.height, h);
        }
    }
}

// The mean of each channel, on a 16-bit scale.
std::vector<double> channelMeans(const QString& path) {
    const vips::VImage image = vips::VImage::new_from_file(QFile::encodeName(path).constData());
    std::vector<double> means;
    for (int band = 0; band < image.bands(); ++band) {
        means.push_back(image[band].avg());
    }
    return means;
}

TEST_F(ImageConversion, CameraRawDevelopsAsLibRawsOwnDeveloperDoes) {
    const QString bayer = dir.path("IMG_0001.DNG");
    writeDng(bayer, 256, 192);
    for (const QString target : {"jpg", "png", "tiff"}) {
        const ImageFacts facts = probe(convertOne(bayer, target));
        EXPECT_EQ(facts.width, 256);
        EXPECT_EQ(facts.height, 192);
        EXPECT_EQ(facts.bands, 3);
    }
    // Colour made it through: red grows to the right.
    const vips::VImage png =
        vips::VImage::new_from_file(QFile::encodeName(dir.path("IMG_0001.png")).constData());
    EXPECT_GT(png.extract_area(240, 96, 8, 8)[0].avg(),
              png.extract_area(8, 96, 8, 8)[0].avg() + 30);

    // A linear DNG, turned a quarter, and a complete camera file (when the corpus is there):
    // upright, at LibRaw's size and in dcraw_emu's colour, to 16-bit PNG as it writes 16-bit TIFF.
    const QString linear = dir.path("linear.dng");
    ASSERT_TRUE(writeLinearDng(QFile::encodeName(linear).toStdString(), 300, 200, 6));
    QStringList raws = {linear};
    if (const QString camera = corpusCopy("raw/dng-canon550d-magiclantern-colorchart.dng");
        !camera.isEmpty()) {
        raws << camera;
    }
    for (const QString& raw : raws) {
        SCOPED_TRACE(QFileInfo(raw).fileName().toStdString());
        const QString reference = raw + ".dcraw.tiff";
        const ProcessOutcome developed =
            runProcess("/usr/bin/dcraw_emu", {"-w", "-o", "1", "-6", "-T", "-Z", reference, raw});
        ASSERT_EQ(developed.exitStatus, 0) << developed.standardError.toStdString();
        const ImageFacts expected = probe(reference);
        const ImageFacts ours = probe(convertOne(raw, "png"));
        EXPECT_EQ(std::tuple(ours.width, ours.height), std::tuple(expected.width, expected.height));
        const std::vector<double> theirs = channelMeans(reference);
        const std::vector<double> mine =
            channelMeans(QFileInfo(raw).path() + "/" + QFileInfo(raw).completeBaseName() + ".png");
        ASSERT_EQ(mine.size(), 3u);
        for (size_t band = 0; band < 3; ++band) {
            EXPECT_GT(mine[band], 3000.0) << "not black, band " << band;
            EXPECT_NEAR(mine[band], theirs[band], 300.0) << "band " << band;
        }
    }
    EXPECT_EQ(probe(dir.path("linear.png")).width, 200) << "shown upright";
}

// JPEG and WebP are lossy at the quality setting; WebP keeps the picture's metadata.
TEST_F(ImageConversion, QualitySettingChangesTheFileSize) {
    const QString source = dir.path("photo.png");
    saveImage(noise(400, 300), source);
    for (const QString target : {"jpg", "webp"}) {
        settings.jpgQuality = 30.9;
        const qint64 small = QFileInfo(convertOne(source, target)).size();
        settings.jpgQuality = 95;
        const qint64 large = QFileInfo(convertOne(source, target)).size();
        EXPECT_GT(large, small * 2) << target;
    }
    EXPECT_EQ(ImageConverter::toolArguments("jpg", 72.9, "/in.png", "/out.jpg"),
              (QStringList{"--to", "jpg", "--quality", "72", "/in.png", "/out.jpg"}));
    EXPECT_EQ(ImageConverter::toolArguments("jpeg", 85, "/in", "/out"),
              (QStringList{"--to", "jpeg", "--quality", "85", "/in", "/out"}));
    EXPECT_EQ(ImageConverter::toolArguments("webp", 85, "/in", "/out"),
              (QStringList{"--to", "webp", "--quality", "85", "/in", "/out"}));
    EXPECT_EQ(ImageConverter::toolArguments("heic", 85, "/in", "/out"),
              (QStringList{"--to", "heic", "/in", "/out"}));

    if (const QString camera = corpusCopy("image/jpg-camera-exif.jpg"); !camera.isEmpty()) {
        const vips::VImage webp =
            vips::VImage::new_from_file(QFile::encodeName(convertOne(camera, "webp")).constData());
        EXPECT_NE(webp.get_typeof(VIPS_META_EXIF_NAME), 0) << "EXIF kept";
    }
}

namespace {

// The pages of a PDF as pdfinfo gives them: "W x H" in points, and how far each is turned.
QStringList pageSizes(const QString& pdf) {
    const ProgramRun info = runBinary("/usr/bin/pdfinfo", {"-f", "1", "-l", "99", pdf});
    QStringList pages;
    for (const QString& line : info.out.split('\n')) {
        const QStringList words = line.simplified().split(' ');
        if (words.size() >= 6 && words[0] == "Page" && words[2] == "size:") {
            pages << words[3] + " x " + words[5];
        } else if (words.size() == 4 && words[0] == "Page" && words[2] == "rot:" &&
                   words[3] != "0") {
            pages.last() += " turned " + words[3];
        }
    }
    return pages;
}

}  // namespace

TEST_F(ImageConversion, PicturesBecomeOnePdfAPageEachInBatchOrder) {
    const QString photo = dir.path("trip 1.jpg");
    saveImage(noise(64, 48), photo);
    const QByteArray photoBytes = readAll(photo);
    const QString turned = dir.path("trip 2.jpg");
    writeOrientedJpeg(turned, 60, 20, 6);
    const QString broken = dir.write("trip 3.png", "\x89PNG\r\n\x1a\nnot really");
    const QString deep = dir.path("trip 4.png");
    saveImage(gradient(30, 40, true, true), deep);
    settings.replaceOriginal = true;
    const ConversionResult result = run({photo, turned, broken, deep}, "pdf");

    const QString pdf = dir.path("trip 1.pdf");
    EXPECT_EQ(result.succeeded, (QStringList{photo, turned, deep}));
    ASSERT_EQ(result.failed.size(), 1u);
    EXPECT_EQ(result.failed[0].path, broken);
    EXPECT_EQ(cleanReason(result.failed[0].error),
              "pivana-image: The file is damaged or incomplete");
    EXPECT_EQ(result.writtenFiles(), QStringList{pdf});
    EXPECT_EQ(pageSizes(pdf), (QStringList{"64 x 48", "60 x 20 turned 90", "30 x 40"}));
    EXPECT_TRUE(readAll(pdf).contains(photoBytes)) << "the JPEG goes in as it is";
    // The pictures the PDF holds are gone; the one it could not read stays.
    EXPECT_EQ(entries(dir.root()), (QStringList{"trip 1.pdf", "trip 3.png"}));
    // The transparent side stays transparent, and 16-bit samples stay 16-bit.
    const ProgramRun images = runBinary("/usr/bin/pdfimages", {"-list", pdf});
    EXPECT_TRUE(images.out.contains(QRegularExpression("smask +30 +40 +gray +1 +16")))
        << images.out;

    // With no picture it can read, there is no PDF at all. A JPEG cut short is not put in as it
    // is: it would show grey where its data ends.
    const QString junk = dir.write("junk.jpg", "\xff\xd8\xff\xe0 cut short");
    const QString cut = dir.write("cut.jpg", photoBytes.left(photoBytes.size() / 2));
    const ConversionResult none = run({broken, junk, cut}, "pdf");
    EXPECT_TRUE(none.succeeded.isEmpty());
    ASSERT_EQ(none.failed.size(), 3u);
    EXPECT_EQ(cleanReason(none.failed[2].error), "pivana-image: The file is damaged or incomplete");
    EXPECT_EQ(entries(dir.root()),
              (QStringList{"cut.jpg", "junk.jpg", "trip 1.pdf", "trip 3.png"}));
}

TEST_F(ImageConversion, SvgCanvasIsTwiceTheSizeWithAFloorOfTwoHundred) {
    for (const auto& [width, height, canvasWidth, canvasHeight] :
         {std::tuple{40, 40, 200, 200}, std::tuple{120, 80, 240, 200},
          std::tuple{300, 150, 600, 300}, std::tuple{50, 300, 200, 600}}) {
        const QString name = QString("box%1x%2.svg").arg(width).arg(height);
        const QString svg =
            dir.write(name, QString("<svg xmlns='http://www.w3.org/2000/svg' width='%1' "
                                    "height='%2'><rect width='%1' height='%2'/></svg>")
                                .arg(width)
                                .arg(height)
                                .toUtf8());
        const ImageFacts facts = probe(convertOne(svg, "png"));
        EXPECT_EQ(facts.width, canvasWidth) << name;
        EXPECT_EQ(facts.height, canvasHeight) << name;
    }

    const QString svg = dir.write("bar.svg",
                                  "<svg xmlns='http://www.w3.org/2000/svg' width='50' height='300'>"
                                  "<rect x='0' y='0' width='25' height='300' fill='red'/></svg>");
    const QString png = convertOne(svg, "png");
    const vips::VImage image = vips::VImage::new_from_file(QFile::encodeName(png).constData());
    EXPECT_EQ(image.width(), 200);
    EXPECT_EQ(image.height(), 600);
    // Stretched: the red left half covers half the widened canvas; the rest stays transparent.
    EXPECT_GT(image.extract_area(90, 300, 1, 1)[0].avg(), 250.0);
    EXPECT_EQ(image.extract_area(110, 300, 1, 1)[3].avg(), 0.0);

    const QString viewBoxOnly =
        dir.write("check.svg",
                  "<svg xmlns='http://www.w3.org/2000/svg' viewBox='0 0 100 100'>"
                  "<circle cx='50' cy='50' r='40'/></svg>");
    EXPECT_EQ(probe(convertOne(viewBoxOnly, "png")).width, 200);
}

// Half-transparent red on the left, nothing on the right: what each target keeps of it.
TEST_F(ImageConversion, SvgTargetsKeepAlphaOrLandOnWhite) {
    const QString svg =
        dir.write("half.svg",
                  "<svg xmlns='http://www.w3.org/2000/svg' width='120' height='80'>"
                  "<rect width='60' height='80' fill='#ff0000' fill-opacity='0.5'/></svg>");
    auto convert = [&](const QString& target) {
        const vips::VImage image =
            vips::VImage::new_from_file(QFile::encodeName(convertOne(svg, target)).constData());
        EXPECT_EQ(image.width(), 240) << target;
        return image;
    };
    auto pixel = [](const vips::VImage& image, int x) {
        std::vector<double> values;
        for (int band = 0; band < image.bands(); ++band) {
            values.push_back(image.extract_area(x, 100, 1, 1)[band].avg());
        }
        return values;
    };
    // Straight colour, half alpha.
    const vips::VImage png = convert("png");
    const std::vector<double> red = pixel(png, 30);
    ASSERT_EQ(red.size(), 4u);
    EXPECT_EQ(red[0], 255.0);
    EXPECT_NEAR(red[3], 128.0, 1.0);
    EXPECT_EQ(pixel(png, 200)[3], 0.0);
    EXPECT_EQ(pixel(convert("tiff"), 200)[3], 0.0);
    // Flattened on white: pink where the red was, white where nothing was.
    for (const QString target : {"jpg", "bmp"}) {
        const vips::VImage flat = convert(target);
        const std::vector<double> pink = pixel(flat, 30);
        ASSERT_EQ(pink.size(), 3u) << target;
        EXPECT_GT(pink[0], 245.0) << target;
        EXPECT_NEAR(pink[1], 127.0, 6.0) << target;
        EXPECT_GT(pixel(flat, 200)[1], 245.0) << target;
    }
    settings.jpgQuality = 20.4;
    const qint64 small = QFileInfo(convertOne(svg, "jpg")).size();
    settings.jpgQuality = 99.6;
    EXPECT_GT(QFileInfo(convertOne(svg, "jpg")).size(), small);
}

TEST_F(ImageConversion, SvgIsDrawnByTheToolAndSomeTargetsNeverReplaceAFile) {
    const QString temp = dir.path("tmp");
    QDir().mkpath(temp);
    qputenv("TMPDIR", QFile::encodeName(temp));
    const QString svg = dir.write("logo.svg",
                                  "<svg xmlns='http://www.w3.org/2000/svg' width='120' height='80'>"
                                  "<rect width='120' height='80' fill='#36c'/></svg>");
    // The app draws no SVG itself: without the tool, no target converts.
    setToolDirectory(dir.path("no-tools-here"));
    for (const QString target : {"png", "jpg", "heic"}) {
        EXPECT_TRUE(reasonFor(svg, target).startsWith("pivana-image is missing")) << target;
    }
    useBuildTools();
    for (const QString target :
         {"png", "jpg", "jpeg", "tiff", "bmp", "gif", "heic", "avif", "exr", "psd"}) {
        const ImageFacts facts = probe(convertOne(svg, target));
        EXPECT_EQ(facts.width, 240) << target;
        EXPECT_EQ(facts.height, 200) << target;
        EXPECT_EQ(facts.loader, loaderFor(target)) << target;
    }
    EXPECT_EQ(entries(temp), QStringList()) << "nothing is left in the temporary folder";
    // To heic, avif, exr and psd an existing file stays; every other target replaces it.
    EXPECT_EQ(reasonFor(svg, "heic"), QString::fromUtf8("Cannot save “logo.heic”: File exists"));
    EXPECT_EQ(convertOne(svg, "png"), dir.path("logo.png"));
    qunsetenv("TMPDIR");
}

TEST_F(ImageConversion, BrokenSvgFailsInItsOwnWords) {
    settings.replaceOriginal = true;
    const QString notSvg = dir.write("notes.svg", "<html><body>not a drawing</body></html>");
    const QString empty = dir.write("empty.svg", "");
    const QString huge =
        dir.write("huge.svg", "<svg xmlns='http://www.w3.org/2000/svg' width='9000' height='10'/>");
    for (const QString target : {"png", "heic"}) {
        EXPECT_EQ(reasonFor(notSvg, target), "Cannot load SVG file") << target;
        EXPECT_EQ(reasonFor(empty, target), "Cannot load SVG file") << target;
        EXPECT_EQ(reasonFor(huge, target), "Cannot rasterise SVG") << target;
    }
    EXPECT_EQ(entries(dir.root()), (QStringList{"empty.svg", "huge.svg", "notes.svg"}));
}

TEST_F(ImageConversion, SvgConvertsAgainAfterTheAppGaveBackItsMemory) {
    // The tray app gives its memory back after every batch; the next batch starts from there.
    const QString svg = dir.write("dot.svg",
                                  "<svg xmlns='http://www.w3.org/2000/svg' width='30' height='30'>"
                                  "<circle cx='15' cy='15' r='10' fill='#c30'/></svg>");
    for (int batch = 0; batch < 3; ++batch) {
        EXPECT_FALSE(convertOne(svg, "jpg").isEmpty()) << batch;
        releaseConverterMemory();
    }
}

TEST_F(ImageConversion, OutputGoesToTheCustomFolderAndOriginalsAreReplacedOnlyOnSuccess) {
    const QString out = dir.path("Converted");
    QDir().mkpath(out);
    const QString svg =
        dir.write("icon.svg", "<svg xmlns='http://www.w3.org/2000/svg' width='10' height='10'/>");
    const QString png = dir.path("photo.PNG");
    saveImage(gradient(20, 20), png);
    const QString broken = dir.write("broken.png", "\x89PNG\r\n\x1a\nnot really");
    settings.outputFolderMode = OutputFolderMode::Custom;
    settings.customOutputFolder = out;
    settings.replaceOriginal = true;
    const ConversionResult result = run({svg, png, broken}, "jpg");
    EXPECT_EQ(result.succeeded, (QStringList{svg, png}));
    ASSERT_EQ(result.failed.size(), 1u);
    EXPECT_EQ(cleanReason(result.failed[0].error),
              "pivana-image: The file is damaged or incomplete");
    EXPECT_EQ(entries(out), (QStringList{"icon.jpg", "photo.jpg"}));
    EXPECT_EQ(entries(dir.root()), (QStringList{"Converted", "broken.png"}));
}

const char* const damaged = "The file is damaged or incomplete";
const char* const notThisFormat = "The file's contents are not in the format its name says";

struct BadInput {
    const char* name;
    const char* file;
    QByteArray bytes;
    const char* reason;
};

class BadImages : public ImageConversion, public testing::WithParamInterface<BadInput> {};

TEST_P(BadImages, FailWithAClearReasonAndLeaveNothingBehind) {
    const QString source = dir.write(GetParam().file, GetParam().bytes);
    settings.replaceOriginal = true;
    for (const QString target : {"tiff", "gif"}) {
        EXPECT_EQ(reasonFor(source, target), QString("pivana-image: ") + GetParam().reason);
    }
    EXPECT_EQ(entries(dir.root()), QStringList{GetParam().file});
    EXPECT_EQ(readAll(source), GetParam().bytes);
}

QByteArray truncatedJpeg() {
    VipsBlob* blob = noise(300, 200).jpegsave_buffer();
    size_t size = 0;
    const void* data = vips_blob_get(blob, &size);
    QByteArray bytes(static_cast<const char*>(data), static_cast<qsizetype>(size / 2));
    vips_area_unref(VIPS_AREA(blob));
    return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, BadImages,
    testing::Values(BadInput{"empty", "empty.png", {}, damaged},
                    BadInput{"randomBytes", "noise.jpg", QByteArray(4096, '\x5a'), notThisFormat},
                    BadInput{"randomBytesImageMagickWouldGuess", "noise.png",
                             QByteArray(4096, '\x01'), notThisFormat},
                    BadInput{"truncatedJpeg", "cut off.jpg", truncatedJpeg(), damaged},
                    BadInput{"rawThatIsNot", "fake.cr2", QByteArray(2048, 'x'), notThisFormat},
                    BadInput{"rawCutShort", "short.nef", QByteArray("II*\0garbage", 11), damaged},
                    // libtiff reports a directory it cannot read in its own words, with the path;
                    // the tool reads a file by its contents, whatever its name.
                    BadInput{"tiffWithoutADirectory", "scan.png",
                             QByteArray("II*\0\x08\0\0\0\xff\xff", 10), notThisFormat}),
    [](const testing::TestParamInfo<BadInput>& row) { return std::string(row.param.name); });

// The newest phones add an HDR gain map and a tone map to the photo; the photo itself converts,
// upright, with the date it was taken.
TEST_F(ImageConversion, PhotosFromCurrentIPhonesConvertUprightWithTheirCaptureDate) {
    const QString photo = corpusCopy("image/heic-iphone15pro-ios26.heic");
    if (photo.isEmpty()) {
        GTEST_SKIP() << "corpus absent";
    }
    for (const QString target : {"jpg", "png"}) {
        SCOPED_TRACE(target.toStdString());
        const QString output = convertOne(photo, target);
        const ImageFacts facts = probe(output);
        EXPECT_EQ(std::tuple(facts.width, facts.height, facts.orientation),
                  std::tuple(3024, 4032, 1));
        const vips::VImage image =
            vips::VImage::new_from_file(QFile::encodeName(output).constData());
        ASSERT_NE(image.get_typeof("exif-ifd2-DateTimeOriginal"), 0u);
        EXPECT_TRUE(QString(image.get_string("exif-ifd2-DateTimeOriginal"))
                        .startsWith("2025:10:28 14:20:22"));
        EXPECT_NE(image.get_typeof(VIPS_META_ICC_NAME), 0u);
    }
}

// A decoder that meets corrupt picture data fails the file; one that meets a harmless quirk
// does not; a well-formed file in a variant the libraries lack is not called damaged.
TEST_F(ImageConversion, ReasonsTellDamagedFromUnreadable) {
    const QString damagedReason = QString("pivana-image: ") + damaged;
    VipsBlob* blob = gradient(640, 480).jpegsave_buffer();
    size_t size = 0;
    const auto* data = static_cast<const char*>(vips_blob_get(blob, &size));
    const QByteArray jpeg(data, static_cast<qsizetype>(size));
    vips_area_unref(VIPS_AREA(blob));

    // Everything after the first kilobyte replaced by random bytes.
    std::mt19937 random(2211);
    auto withRandomBody = [&random](QByteArray bytes) {
        for (qsizetype at = 1024; at < bytes.size(); ++at) {
            bytes[at] = static_cast<char>(random() & 0xff);
        }
        return bytes;
    };
    for (int variant = 0; variant < 8; ++variant) {
        const QString badJpeg = dir.write(QString("body%1.jpg").arg(variant), withRandomBody(jpeg));
        EXPECT_EQ(reasonFor(badJpeg, "png"), damagedReason) << variant;
    }
    EXPECT_EQ(entries(dir.root()).filter(".png"), QStringList());

    // Padding before the end marker, as some cameras write: libjpeg warns, nothing is lost.
    QByteArray padded = jpeg;
    padded.insert(padded.size() - 2, QByteArray(16, '\0'));
    const QString quirk = dir.write("padded.jpg", padded);
    EXPECT_EQ(probe(convertOne(quirk, "png")).width, 640);

    const QString jpeg2000 = dir.path("slide.tiff");
    ASSERT_TRUE(writeTiffCompressedAs(QFile::encodeName(jpeg2000).toStdString(), 34712));
    EXPECT_EQ(reasonFor(jpeg2000, "png"),
              "pivana-image: The file uses a feature that the installed libraries cannot read");
}

TEST_F(ImageConversion, HugeDimensionsAreRefusedBeforeDecoding) {
    const QString bomb = dir.path("bomb.png");
    writeDecompressionBomb(bomb, 100000, 100000);
    EXPECT_EQ(reasonFor(bomb, "jpg"), "pivana-image: The file is too large to convert");
}

TEST_F(ImageConversion, OddNamesAndWrongExtensions) {
    const QString odd = dir.path(QString::fromUtf8("It's \"my\" $HOME; café 東京 (1).png"));
    saveImage(gradient(16, 16), odd);
    EXPECT_EQ(probe(convertOne(odd, "heic")).width, 16);
    // A PNG named .jpg is still read by what it is.
    const QString mislabelled = dir.path("really-a-png.jpg");
    saveImage(gradient(16, 8, true), mislabelled.chopped(4) + ".png");
    QFile::rename(mislabelled.chopped(4) + ".png", mislabelled);
    EXPECT_EQ(probe(convertOne(mislabelled, "png")).height, 8);
}

// A camera file whose sensor data is missing fails: it never develops into a full-size black or
// striped picture reported as converted.
TEST_F(ImageConversion, CameraFilesWithoutSensorDataFail) {
    const QString damagedReason = QString("pivana-image: ") + damaged;
    const QString cut = dir.path("cut.dng");
    writeDng(cut, 256, 192);
    ASSERT_TRUE(cutDngSensorData(QFile::encodeName(cut).toStdString(), 0.4));
    EXPECT_EQ(reasonFor(cut, "jpg"), damagedReason);
    const QString flat = dir.path("flat.dng");
    writeDng(flat, 256, 192, true);
    EXPECT_EQ(reasonFor(flat, "png"), damagedReason);

    // The corpus files have their pixel data stripped or cut off; outputs would go to the
    // scratch folder, never beside the read-only corpus.
    settings.outputFolderMode = OutputFolderMode::Custom;
    settings.customOutputFolder = dir.path("out");
    QDir().mkpath(dir.path("out"));
    QStringList tried;
    for (const QString name :
         {"arw-sony-zv-e10-truncated.arw", "cr2-canon-stripped.cr2", "cr3-canon-m50-stripped.cr3",
          "dng-canon350d-stripped.dng", "mrw-minolta-a2-stripped.mrw", "nef-nikon-d70-stripped.nef",
          "raf-fuji-s5pro-stripped.raf", "rw2-panasonic-lx3-stripped.rw2"}) {
        if (const auto corpus = corpusFile("raw/" + name)) {
            tried << name;
            const QString reason = reasonFor(*corpus, "jpg");
            EXPECT_TRUE(reason == damagedReason ||
                        reason == QString("pivana-image: ") + notThisFormat)
                << name << ": " << reason;
        }
    }
    EXPECT_EQ(entries(dir.path("out")), QStringList());
    if (tried.isEmpty()) {
        GTEST_SKIP() << "corpus absent";
    }
}

// Pictures other programs write that every reader takes: they convert.
TEST_F(ImageConversion, AnimatedAvifAndTiffWithoutPhotometricTagConvert) {
    const QString avif = dir.path("clip.avif");
    writeAnimatedAvif(avif, 64, 48);
    for (const QString target : {"png", "jpg"}) {
        const QString output = convertOne(avif, target);
        const vips::VImage image =
            vips::VImage::new_from_file(QFile::encodeName(output).constData());
        EXPECT_EQ(image.width(), 64);
        EXPECT_GT(image[0].avg(), 200.0) << "the first frame is the red one";
        EXPECT_LT(image[2].avg(), 60.0);
    }

    const QString tiff = dir.path("density.tiff");
    writeFloatGreyTiff(tiff, 64, 16);
    for (const QString target : {"png", "jpg", "exr"}) {
        SCOPED_TRACE(target.toStdString());
        const QString output = convertOne(tiff, target);
        const vips::VImage image =
            vips::VImage::new_from_file(QFile::encodeName(output).constData());
        // Min-is-black, on the output's own scale: dark on the left, bright on the right.
        const double scale = target == "exr" ? 1.0 : (target == "png" ? 65535.0 : 255.0);
        EXPECT_LT(image.extract_area(0, 0, 4, 16)[0].avg(), 0.1 * scale);
        EXPECT_GT(image.extract_area(60, 0, 4, 16)[0].avg(), 0.8 * scale);
    }
}
