// Documents, PDF pages and presentations, through LibreOffice, poppler and Qt's typesetting.
#include "converters/PresentationConverter.h"
#include "converters/TextConverter.h"
#include "engine/RouteTable.h"
#include "support/ImageFixtures.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPalette>
#include <QTextDocument>
#include <QThread>

#include <thread>

using namespace pivana;
using namespace pivana::test;

namespace {

const QString phrase = QString::fromUtf8("Grüße aus Köln, 東京 und Zürich");

QString capture(const QString& program, const QStringList& arguments) {
    QString text;
    ProcessOptions options;
    options.onOutputLine = [&text](const QByteArray& line) {
        text += QString::fromUtf8(line) + '\n';
    };
    const ProcessOutcome outcome = runProcess(program, arguments, options);
    EXPECT_EQ(outcome.exitStatus, 0)
        << program << " " << arguments.join(' ') << outcome.standardError.toStdString();
    return text;
}

int pdfPages(const QString& path) {
    const QString info = capture("/usr/bin/pdfinfo", {path});
    return info.section("Pages:", 1).trimmed().section('\n', 0, 0).toInt();
}

QString pdfPageSize(const QString& path) {
    return capture("/usr/bin/pdfinfo", {path})
        .section("Page size:", 1)
        .trimmed()
        .section(" pts", 0, 0);
}

QString pdfText(const QString& path) {
    return capture("/usr/bin/pdftotext", {"-layout", path, "-"});
}

struct DocumentConversion : ConversionTest {
    // The text of any document, read back through the office tool or pdftotext.
    QString textOf(const QString& path) {
        if (path.endsWith(".pdf")) {
            return pdfText(path);
        }
        if (path.endsWith(".txt") || path.endsWith(".md")) {
            return QString::fromUtf8(readAll(path));
        }
        const QString text = dir.path("readback/" + QFileInfo(path).fileName() + ".txt");
        QDir().mkpath(dir.path("readback"));
        capture(QString(PIVANA_BIN_DIR) + "/pivana-office",
                {"-convert", "txt", path, "-output", text});
        return QString::fromUtf8(readAll(text));
    }
};

}  // namespace

TEST_F(DocumentConversion, EveryTextFormatBecomesEveryOtherKeepingItsText) {
    // One document in each source format, all made from the same words.
    const QString txt = dir.write("sources/note.txt", (phrase + "\nSecond paragraph.\n").toUtf8());
    const QString md =
        dir.write("sources/readme.md", ("# " + phrase + "\n\n*Second paragraph.*\n").toUtf8());
    const QString html = dir.write(
        "sources/page.html",
        ("<html><body><h1>" + phrase + "</h1><p>Second paragraph.</p></body></html>").toUtf8());
    QStringList sources = {txt, md, html};
    for (const char* format : {"docx", "odt", "rtf"}) {
        const QString made = dir.path(QString("sources/letter.%1").arg(format));
        capture(QString(PIVANA_BIN_DIR) + "/pivana-office",
                {"-convert", format, html, "-output", made});
        sources << made;
    }
    for (const QString& source : sources) {
        const QStringList targets = RouteTable::shared().route(source)->validTargets;
        for (const QString& target : targets) {
            SCOPED_TRACE((QFileInfo(source).fileName() + " -> " + target).toStdString());
            const QString output = convertOne(source, target);
            if (output.isEmpty()) {
                continue;
            }
            const QString text = textOf(output);
            EXPECT_TRUE(text.contains(phrase)) << text;
            EXPECT_TRUE(text.contains("Second paragraph.")) << text;
        }
    }
    // Plain text comes out as UTF-8 without a byte-order mark.
    EXPECT_FALSE(readAll(dir.path("sources/letter.txt")).startsWith("\xef\xbb\xbf"));
    EXPECT_TRUE(readAll(dir.path("sources/letter.txt")).contains(phrase.toUtf8()));
}

TEST_F(DocumentConversion, MarkdownIsNeverInterpreted) {
    const QString md = dir.write("notes.md", "# Heading\n\n*not bold* and `code`\n");
    EXPECT_TRUE(textOf(convertOne(md, "pdf")).contains("# Heading"));
    const QByteArray html = readAll(convertOne(md, "html"));
    EXPECT_TRUE(html.contains("# Heading")) << html.toStdString();
    EXPECT_TRUE(html.contains("*not bold*"));
    EXPECT_FALSE(html.contains("<h1"));
    EXPECT_EQ(readAll(convertOne(md, "txt")), "# Heading\n\n*not bold* and `code`\n");
    // The office tool got a copy named .txt, which is gone again.
    EXPECT_EQ(entries(dir.root()).filter(".pivana").size(), 0);
}

TEST_F(DocumentConversion, PdfPagesAreUsLetterWithOneInchMarginsAndAlwaysEnd) {
    QString longText;
    for (int i = 0; i < 400; ++i) {
        longText += QString("Line %1 of a long document that flows over several pages.\n").arg(i);
    }
    const QString pdf = convertOne(dir.write("long.md", longText.toUtf8()), "pdf");
    EXPECT_EQ(pdfPageSize(pdf), "612 x 792");
    EXPECT_GE(pdfPages(pdf), 5);
    EXPECT_TRUE(pdfText(pdf).contains("Line 399 of a long document"));

    // Text starts one inch in from the left and top: 72 points.
    const QString box = capture("/usr/bin/pdftotext", {"-bbox", "-f", "1", "-l", "1", pdf, "-"});
    const QString firstWord = box.section("<word ", 1, 1);
    EXPECT_NEAR(firstWord.section("xMin=\"", 1).section('"', 0, 0).toDouble(), 72.0, 1.0);
    EXPECT_NEAR(firstWord.section("yMin=\"", 1).section('"', 0, 0).toDouble(), 72.0, 4.0);

    for (const char* empty : {"empty.md", "empty.txt"}) {
        const QString output = convertOne(dir.write(empty, ""), "pdf");
        EXPECT_EQ(pdfPages(output), 1) << empty;
        EXPECT_EQ(pdfText(output).trimmed(), "") << empty;
    }
    // A document whose every page break leaves nothing for the next page still ends.
    QTextDocument document;
    document.setHtml(
        "<p style=\"page-break-after: always\"></p><p style=\"page-break-before: always\"></p>");
    TextConverter::renderPdf(document, dir.path("breaks.pdf"));
    EXPECT_LE(pdfPages(dir.path("breaks.pdf")), 3);
}

TEST_F(DocumentConversion, TypesetPdfIsBlackOnWhiteOnADarkDesktop) {
    // A dark desktop: near-white text on near-black windows.
    const QPalette desktop = QGuiApplication::palette();
    QPalette dark(QColor("#31363b"));
    for (const QPalette::ColorRole role : {QPalette::Text, QPalette::WindowText}) {
        dark.setColor(role, QColor("#eff0f1"));
    }
    dark.setColor(QPalette::Base, QColor("#1b1e20"));
    dark.setColor(QPalette::Window, QColor("#202326"));
    QGuiApplication::setPalette(dark);

    // Plain text is typeset as it is; other documents through the office tool's HTML.
    for (const char* name : {"plain.md", "letter.txt"}) {
        const QString pdf = convertOne(dir.write(name, "Black ink on white paper\n"), "pdf");
        const QString page = convertOne(pdf, "png");  // drawn by poppler
        startVips();
        const vips::VImage grey = vips::VImage::new_from_file(QFile::encodeName(page).constData())
                                      .colourspace(VIPS_INTERPRETATION_B_W)[0];
        EXPECT_LT(grey.min(), 40.0) << name << ": the text is black";
        EXPECT_EQ(grey.max(), 255.0) << name << ": on white paper";
    }
    QGuiApplication::setPalette(desktop);
}

TEST_F(DocumentConversion, ImagesOfTheSourceAppearInThePdf) {
    const auto docx = corpusFile("text/docx-with-images.docx");
    if (!docx) {
        GTEST_SKIP() << "corpus absent";
    }
    QFile::copy(*docx, dir.path("pictures.docx"));
    const QString pdf = convertOne(dir.path("pictures.docx"), "pdf");
    const QString images = capture("/usr/bin/pdfimages", {"-list", pdf});
    EXPECT_GE(images.split('\n', Qt::SkipEmptyParts).size(), 3) << images;
}

TEST_F(DocumentConversion, CorpusDocumentsConvert) {
    int tried = 0;
    for (const char* file : {"text/docx-tables.docx", "text/odt-french-poem.odt",
                             "text/rtf-unicode-escapes.rtf", "text/html-all-elements.html",
                             "text/txt-utf8-codepoints.txt", "text/md-awesome-readme.md"}) {
        const auto found = corpusFile(file);
        if (!found) {
            continue;
        }
        ++tried;
        const QString source = dir.path(QFileInfo(*found).fileName());
        QFile::copy(*found, source);
        for (const QString target : {"pdf", "docx", "txt"}) {
            if (RouteTable::extensionKey(source) != target) {
                const QString output = convertOne(source, target);
                EXPECT_GT(QFileInfo(output).size(), 0) << file;
            }
        }
    }
    if (tried == 0) {
        GTEST_SKIP() << "corpus absent";
    }
}

TEST_F(DocumentConversion, PdfPagesBecomeImagesAtTwiceTheirSize) {
    QString text;
    for (int i = 0; i < 120; ++i) {
        text += QString("Row %1\n").arg(i);
    }
    const QString threePages = dir.path("report.pdf");
    {
        QTextDocument document;
        document.setPlainText(text);
        TextConverter::renderPdf(document, threePages);
    }
    const int pages = pdfPages(threePages);
    ASSERT_GE(pages, 2);
    run({threePages}, "png");
    for (int page = 1; page <= pages; ++page) {
        const ImageFacts facts = probe(dir.path(QString("report_page%1.png").arg(page)));
        EXPECT_EQ(facts.width, 1224);
        EXPECT_EQ(facts.height, 1584);
        EXPECT_FALSE(facts.alpha);
    }
    EXPECT_FALSE(exists(dir.path("report.png")));

    QDir().mkpath(dir.path("one"));
    const QString onePage = dir.path("one/memo.pdf");
    {
        QTextDocument document;
        document.setPlainText("Just one page");
        TextConverter::renderPdf(document, onePage);
    }
    settings.jpgQuality = 20;
    const qint64 small = QFileInfo(convertOne(onePage, "jpg")).size();
    settings.jpgQuality = 100;
    const qint64 large = QFileInfo(convertOne(onePage, "jpg")).size();
    EXPECT_GT(large, small);
    EXPECT_EQ(entries(dir.path("one")), (QStringList{"memo.jpg", "memo.pdf"}));

    if (const auto tiny = corpusFile("pdf/pdf-tiny-page-transparency.pdf")) {
        QFile::copy(*tiny, dir.path("box.pdf"));
        const QString png = convertOne(dir.path("box.pdf"), "png");
        const vips::VImage image = vips::VImage::new_from_file(QFile::encodeName(png).constData());
        EXPECT_EQ(image.width(), 120);
        EXPECT_EQ(image.extract_area(6, 110, 4, 4).min(), 255.0) << "transparent areas are white";
    }
}

TEST_F(DocumentConversion, PresentationsBecomePdf) {
    struct Deck {
        const char* file;
        int pages;
    };
    int tried = 0;
    for (const Deck& deck : {Deck{"presentation/pptx-pictures-2slides.pptx", 2},
                             Deck{"presentation/pptx-single-slide.pptx", 1},
                             Deck{"presentation/key-keynote09-xml.key", 2}}) {
        const auto found = corpusFile(deck.file);
        if (!found) {
            continue;
        }
        ++tried;
        const QString source = dir.path(QFileInfo(*found).fileName());
        QFile::copy(*found, source);
        EXPECT_EQ(pdfPages(convertOne(source, "pdf")), deck.pages) << deck.file;
    }
    // A deck made on the spot, so this runs without the corpus too.
    const QString html =
        dir.write("slides.html", "<html><body><h1>Quarterly numbers</h1></body></html>");
    const QString odp = dir.path("slides.odp");
    const QString pptx = dir.path("slides.pptx");
    capture("/usr/bin/soffice",
            {"-env:UserInstallation=file://" + dir.path("profile"), "--headless", "--convert-to",
             "pptx:Impress MS PowerPoint 2007 XML", "--infilter=impress_html_Export", "--outdir",
             dir.root(), html});
    if (exists(pptx)) {
        EXPECT_GE(pdfPages(convertOne(pptx, "pdf")), 1);
    }
    Q_UNUSED(odp);
    Q_UNUSED(tried);

    BatchContext batch;
    const QString deck = dir.write("talk.key", "PK\x03\x04");
    try {
        PresentationConverter::convertWith(dir.path("no-office"), deck, "pdf", settings, batch);
        FAIL();
    } catch (const Error& error) {
        EXPECT_EQ(
            cleanReason(error),
            "LibreOffice Impress is not installed. Install it to convert PPTX and KEY files.");
    }
    try {
        PresentationConverter::convert(deck, "png", settings, batch);
        FAIL();
    } catch (const Error& error) {
        EXPECT_EQ(cleanReason(error), "Unsupported format: png");
    }
}

struct BadDocument {
    const char* name;
    const char* file;
    QByteArray bytes;
    const char* target;
    const char* reason;
};

class BadDocuments : public DocumentConversion, public testing::WithParamInterface<BadDocument> {};

TEST_P(BadDocuments, FailClearlyAndLoseNothing) {
    const QString source = dir.write(GetParam().file, GetParam().bytes);
    settings.replaceOriginal = true;
    EXPECT_EQ(reasonFor(source, GetParam().target), GetParam().reason);
    EXPECT_EQ(entries(dir.root()), QStringList{GetParam().file}) << "no output, no temporary files";
    EXPECT_EQ(readAll(source), GetParam().bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, BadDocuments,
    testing::Values(
        BadDocument{"randomDocx", "junk.docx", QByteArray(5000, '\x11'), "odt",
                    "pivana-office: junk.docx: the file is not a DOCX document (its contents do "
                    "not match its extension)"},
        BadDocument{"zipThatIsNoDocument", "fake.odt",
                    QByteArray("PK\x03\x04", 4) + QByteArray(3000, 'z'), "pdf",
                    "pivana-office: fake.odt: LibreOffice could not read the document"},
        BadDocument{
            "emptyRtf", "empty.rtf", {}, "docx", "pivana-office: empty.rtf: the file is empty"},
        BadDocument{"deckOfNoise", "deck.pptx", QByteArray(4000, '\x42'), "pdf",
                    "Presentation export failed: deck.pptx: the file is not a PowerPoint "
                    "presentation (its contents do not match its extension)"},
        BadDocument{"emptyPdf", "empty.pdf", {}, "png", "Cannot open PDF"},
        BadDocument{"noisePdf", "noise.pdf", QByteArray(4000, '\x42'), "jpg", "Cannot open PDF"}),
    [](const testing::TestParamInfo<BadDocument>& row) { return std::string(row.param.name); });

TEST_F(DocumentConversion, PasswordProtectedPdfSaysSo) {
    const QString html = dir.write("secret.html", "<p>Secret</p>");
    capture("/usr/bin/soffice",
            {"-env:UserInstallation=file://" + dir.path("profile"), "--headless", "--convert-to",
             "pdf:writer_pdf_Export:{\"EncryptFile\":{\"type\":\"boolean\",\"value\":\"true\"},"
             "\"DocumentOpenPassword\":{\"type\":\"string\",\"value\":\"secret\"}}",
             "--outdir", dir.path("locked"), html});
    const QString pdf = dir.path("locked/secret.pdf");
    ASSERT_TRUE(exists(pdf));
    EXPECT_EQ(reasonFor(pdf, "png"), "The PDF is protected by a password");
}

TEST_F(DocumentConversion, TwoConversionsAtOnceBothSucceed) {
    // The app and a terminal conversion at the same moment share one office profile.
    const QString a = dir.write("a.txt", "first document\n");
    const QString b = dir.write("b.txt", "second document\n");
    ProcessOutcome first;
    ProcessOutcome second;
    const QString tool = QString(PIVANA_BIN_DIR) + "/pivana-office";
    std::thread other([&] {
        first = runProcess(tool, {"-convert", "odt", a, "-output", dir.path("a.odt")});
    });
    second = runProcess(tool, {"-convert", "odt", b, "-output", dir.path("b.odt")});
    other.join();
    EXPECT_EQ(first.exitStatus, 0) << first.standardError.toStdString();
    EXPECT_EQ(second.exitStatus, 0) << second.standardError.toStdString();
    EXPECT_TRUE(textOf(dir.path("a.odt")).contains("first document"));
    EXPECT_TRUE(textOf(dir.path("b.odt")).contains("second document"));
}

namespace {

// The office processes running on a profile.
int officesOn(const QString& profile) {
    int count = 0;
    for (const QString& pid : QDir("/proc").entryList(QDir::Dirs)) {
        QFile cmdline("/proc/" + pid + "/cmdline");
        if (cmdline.open(QIODevice::ReadOnly) && cmdline.readAll().contains(profile.toUtf8()) &&
            QFile::symLinkTarget("/proc/" + pid + "/exe").endsWith("soffice.bin")) {
            ++count;
        }
    }
    return count;
}

}  // namespace

TEST_F(DocumentConversion, OneOfficeServesABatchAndEndsWhenIdle) {
    const QString cache = dir.path("cache");
    const QString profile = cache + "/pivana/libreoffice";
    ProcessOptions options;
    options.environment = {"XDG_CACHE_HOME=" + cache, "PIVANA_OFFICE_IDLE_SECONDS=2"};
    const QString tool = QString(PIVANA_BIN_DIR) + "/pivana-office";
    for (int i = 0; i < 3; ++i) {
        const QString source =
            dir.write(QString("note%1.txt").arg(i), QString("note %1\n").arg(i).toUtf8());
        const ProcessOutcome outcome = runProcess(
            tool, {"-convert", "docx", source, "-output", dir.path(QString("note%1.docx").arg(i))},
            options);
        EXPECT_EQ(outcome.exitStatus, 0) << outcome.standardError.toStdString();
        EXPECT_EQ(officesOn(profile), 1) << "the same office stays for the next document";
    }
    // Left idle, it goes away by itself.
    QElapsedTimer timer;
    timer.start();
    while (officesOn(profile) > 0 && timer.elapsed() < 30000) {
        QThread::msleep(100);
    }
    EXPECT_EQ(officesOn(profile), 0);
}

int main(int argc, char** argv) {
    // Typesetting needs fonts, and so a GUI application, drawn off screen.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
