// Damaged variants of real files, made with a fixed seed, converted to every target their batch
// is offered through the real driver and converters: nothing crashes or hangs, every source
// stays as it was, nothing of ours is left in the folder or the temporary folder, every success
// has an output that decodes, and every failure reads as one plain sentence.
#include "converters/StandardConverters.h"
#include "engine/BatchDriver.h"
#include "engine/RouteTable.h"
#include "support/ImageFixtures.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPainter>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QStringEncoder>

#include <random>

using namespace pivana;
using namespace pivana::test;

namespace {

// A sample of each kind of file, and a file of another kind to put under its name.
struct Sample {
    const char* file;
    const char* impostor;
};

const Sample samples[] = {
    {"image/jpg-camera-exif.jpg", "audio/mp3-stereo-short.mp3"},
    {"image/png-rgba-alpha.png", "text/docx-generic.docx"},
    {"image/svg-viewbox-only.svg", "text/html-all-elements.html"},
    {"gif/gif-single-frame.gif", "image/png-palette-trns.png"},
    {"audio/wav-pcm16-stereo-22k.wav", "image/bmp-rgb24.bmp"},
    {"audio/m4a-aac-tags.m4a", "video/mkv-no-audio-64x64.mkv"},
    {"video/mkv-no-audio-64x64.mkv", "audio/flac-16bit-tags.flac"},
    {"text/rtf-unicode-escapes.rtf", "pdf/pdf-tiny-page-transparency.pdf"},
    {"text/md-tables-images-code.md", "image/png-gray-alpha.png"},
    {"pdf/pdf-single-page-letter.pdf", "text/odt-table.odt"},
    {"presentation/pptx-single-slide.pptx", "text/docx-generic.docx"},
};

// Words that are a library's, never ours.
const QStringList libraryWords = {"libpng", "libjpeg", "libtiff", "libheif", "libvips", "vips",
                                  "magick", "ffmpeg",  "libav",   "poppler", "libraw",  "patches"};

struct Variant {
    QString path;
    QByteArray bytes;
};

class BadInput : public ConversionTest {
protected:
    std::mt19937 random{20240611};

    QByteArray noise(qsizetype size) {
        QByteArray bytes(size, Qt::Uninitialized);
        for (char& byte : bytes) {
            byte = static_cast<char>(random() & 0xff);
        }
        return bytes;
    }

    // Empty, cut short, random bytes, under another extension of its kind, and a file of
    // another kind under its name.
    std::vector<Variant> variantsOf(const Sample& sample) {
        const QByteArray real = readAll(*corpusFile(sample.file));
        const QString name = QFileInfo(sample.file).completeBaseName();
        const QString extension = QFileInfo(sample.file).suffix();
        const QStringList siblings = RouteTable::shared().route(sample.file)->validTargets;
        const qsizetype cut =
            static_cast<qsizetype>(real.size() * (0.1 + 0.8 * (random() % 100) / 100.0));
        std::vector<Variant> variants = {
            {"empty-" + name + "." + extension, {}},
            {"cut-" + name + "." + extension, real.left(cut)},
            {"noise-" + name + "." + extension, noise(std::min<qsizetype>(real.size(), 16384))},
            {"other-" + name + "." + extension, readAll(*corpusFile(sample.impostor))},
        };
        if (RouteTable::shared().route("x." + siblings.value(0))) {
            variants.push_back({"misnamed-" + name + "." + siblings.value(0), real});
        }
        return variants;
    }

    // Whether the output decodes as what its extension says.
    static bool decodes(const QString& output) {
        const QString extension = QFileInfo(output).suffix();
        auto runs = [](const QString& program, const QStringList& arguments) {
            const ProcessOutcome outcome = runProcess(program, arguments);
            return outcome.exitStatus == 0 && outcome.standardError.trimmed().isEmpty();
        };
        if (QStringList{"mp4", "mov", "m4v", "webm", "m4a", "aac", "wav", "aiff", "flac", "mp3",
                        "opus", "gif"}
                .contains(extension)) {
            return runs("/usr/bin/ffmpeg", {"-v", "error", "-i", output, "-f", "null", "-"});
        }
        if (extension == "pdf") {
            return runs("/usr/bin/pdftotext", {"-q", output, "/dev/null"}) &&
                   readAll(output).startsWith("%PDF-");
        }
        if (QStringList{"docx", "odt"}.contains(extension)) {
            return readAll(output).startsWith("PK\x03\x04");
        }
        if (extension == "rtf") {
            return readAll(output).startsWith("{\\rtf");
        }
        if (QStringList{"txt", "md", "html"}.contains(extension)) {
            return true;
        }
        return probe(output).width > 0;
    }

    static QString plainnessProblem(const QString& reason, const QString& source) {
        if (reason.isEmpty() || reason.size() > 140) {
            return "empty or too long";
        }
        if (reason.contains(u'/')) {
            return "a path";
        }
        if (reason.contains(QFileInfo(source).fileName()) ||
            reason.contains(QFileInfo(source).completeBaseName())) {
            return "the file's name";
        }
        for (const QString& word : libraryWords) {
            if (reason.contains(word, Qt::CaseInsensitive)) {
                return "a library's name";
            }
        }
        return {};
    }

    // One batch of the variants to one target, and every promise checked.
    void convertAndCheck(const std::vector<Variant>& variants, const QString& target) {
        QStringList sources;
        for (const Variant& variant : variants) {
            sources << dir.path(variant.path);
        }
        const QStringList before = entries(dir.root());
        const ConversionResult result =
            BatchDriver(standardConverters()).convert(sources, target, settings);
        QStringList expected = before;
        for (size_t i = 0; i < result.outcomes.size(); ++i) {
            const FileOutcome& outcome = result.outcomes[i];
            SCOPED_TRACE((QFileInfo(outcome.source).fileName() + " -> " + target).toStdString());
            EXPECT_EQ(readAll(outcome.source), variants[i].bytes) << "the source changed";
            if (outcome.error) {
                const QString reason = cleanReason(*outcome.error);
                const QString problem = plainnessProblem(reason, outcome.source);
                EXPECT_TRUE(problem.isEmpty()) << "reason with " << problem << ": " << reason;
                continue;
            }
            EXPECT_FALSE(outcome.outputs.isEmpty());
            for (const QString& output : outcome.outputs) {
                EXPECT_TRUE(decodes(output)) << QFileInfo(output).fileName();
                expected << QFileInfo(output).fileName();
                QFile::remove(output);  // later targets see the folder as it was
            }
        }
        expected.sort();
        expected.removeDuplicates();
        QStringList after = entries(dir.root());
        EXPECT_TRUE(std::all_of(after.begin(), after.end(),
                                [&](const QString& name) { return expected.contains(name); }))
            << "left behind: " << after;
        EXPECT_EQ(entries(dir.path("tmp")), QStringList()) << "in the temporary folder";
    }
};

}  // namespace

TEST_F(BadInput, DamagedFilesOfEveryKindToEveryTarget) {
    if (!corpusFile(samples[0].file)) {
        GTEST_SKIP() << "corpus absent";
    }
    QDir().mkpath(dir.path("tmp"));
    qputenv("TMPDIR", QFile::encodeName(dir.path("tmp")));
    for (const Sample& sample : samples) {
        SCOPED_TRACE(sample.file);
        std::vector<Variant> variants = variantsOf(sample);
        QStringList sources;
        for (const Variant& variant : variants) {
            sources << dir.write(variant.path, variant.bytes);
        }
        for (const QString& target : RouteTable::shared().commonTargets(sources)) {
            convertAndCheck(variants, target);
        }
        for (const QString& source : sources) {
            QFile::remove(source);
        }
    }
    qunsetenv("TMPDIR");
}

// Texts of odd shapes and encodings, and a page far larger than any picture may be.
TEST_F(BadInput, TextsOfAnyShapeOrEncodingAndPagesOfAnySize) {
    QDir().mkpath(dir.path("tmp"));
    qputenv("TMPDIR", QFile::encodeName(dir.path("tmp")));
    auto encoded = [](const char* encoding, const char* text) -> QByteArray {
        QStringEncoder encoder(encoding);
        return encoder.encode(QString::fromUtf8(text));
    };
    const std::vector<Variant> texts = {
        {"one-line.txt", QByteArray("0123456789abcdefghijklmnopqrstuvwxyz").repeated(12000)},
        {"shift-jis.md", encoded("Shift_JIS", "日本語のメモです。会議は月曜日の午後三時から。\n")},
        {"windows.txt", encoded("windows-1252", "Café “quoted” – résumé for Monday’s meeting.\n")},
        {"utf16.txt", encoded("UTF-16LE", "A note without a byte-order mark.\n")},
        {"unknown.md", "x\x81\x8d\x8f\x90\x9d\n"},
    };
    for (const Variant& text : texts) {
        dir.write(text.path, text.bytes);
    }
    for (const QString target : {"pdf", "html"}) {
        convertAndCheck(texts, target);
    }

    // 200 inches square: drawn smaller, never a speck.
    const QString giant = dir.path("giant.pdf");
    {
        QPdfWriter writer(giant);
        writer.setResolution(72);
        writer.setPageSize(
            QPageSize(QSizeF(14400, 14400), QPageSize::Point, QString(), QPageSize::ExactMatch));
        QPainter painter(&writer);
        painter.fillRect(QRectF(0, 0, 7200, 7200), Qt::blue);
    }
    const std::vector<Variant> pages = {{"giant.pdf", readAll(giant)}};
    convertAndCheck(pages, "jpg");
    const ImageFacts picture = probe(convertOne(giant, "png"));
    EXPECT_GT(std::min(picture.width, picture.height), 1000);
    qunsetenv("TMPDIR");
}

int main(int argc, char** argv) {
    // Text to PDF typesets with fonts, and so needs a GUI application, drawn off screen.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("XDG_CACHE_HOME", PIVANA_BIN_DIR "/../tests/office-cache");
    QGuiApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
