// Documents, PDF pages and presentations, through LibreOffice, poppler and Qt's typesetting.
#include "converters/PresentationConverter.h"
#include "converters/StandardConverters.h"
#include "converters/TextConverter.h"
#include "engine/BatchDriver.h"
#include "engine/CancelToken.h"
#include "engine/RouteTable.h"
#include "support/FakeConverters.h"
#include "support/ImageFixtures.h"
#include "support/TestSupport.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>
#include <zlib.h>

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPalette>
#include <QProcess>
#include <QRegularExpression>
#include <QStringEncoder>
#include <QTextDocument>
#include <QThread>

#include <functional>
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

// Text files are read in their own encoding, by one rule for every target: the typesetter's
// (pdf) and the office's (html, odt). Where no encoding can be told, they fail; bytes that are no
// text fail too, see BadDocuments.
TEST_F(DocumentConversion, TextInItsOwnEncodingReadsRightEverywhere) {
    const QString japanese =
        QString::fromUtf8("日本語のメモです。会議は月曜日の午後三時から始まります。");
    const QString western = QString::fromUtf8("Café naïve “quoted” – résumé for Monday’s meeting.");
    const QString german = QString::fromUtf8("Grüße aus Köln und ein schönes Wochenende!");
    auto encoded = [](const char* encoding, const QString& text) {
        QStringEncoder encoder(encoding);
        const QByteArray bytes = encoder.encode(text + '\n');
        EXPECT_FALSE(encoder.hasError()) << encoding;
        return bytes;
    };
    struct Note {
        QString file;
        QByteArray bytes;
        QString text;
    };
    const Note notes[] = {
        {"sjis.md", encoded("Shift_JIS", "# " + japanese), japanese},
        {"windows.txt", encoded("windows-1252", western), western},
        {"utf16.txt", QByteArray("\xff\xfe") + encoded("UTF-16LE", german), german},
        {"utf16-no-mark.txt", encoded("UTF-16BE", german), german},
    };
    for (const Note& note : notes) {
        const QString source = dir.write("notes/" + note.file, note.bytes);
        for (const QString target : {"pdf", "html", "odt"}) {
            SCOPED_TRACE((note.file + " -> " + target).toStdString());
            const QString output = convertOne(source, target);
            ASSERT_FALSE(output.isEmpty());
            EXPECT_TRUE(textOf(output).simplified().contains(note.text)) << textOf(output);
        }
    }
    // Bytes high above ASCII that no encoding explains.
    const QString unknown = dir.write("unknown.txt", "x\x81\x8d\x8f\x90\x9d\n");
    EXPECT_EQ(reasonFor(unknown, "pdf"),
              "pivana-office: The text encoding of the file cannot be determined");
    const QString unknownMd = dir.write("unknown.md", "x\x81\x8d\x8f\x90\x9d\n");
    EXPECT_EQ(reasonFor(unknownMd, "pdf"), "The text encoding of the file cannot be determined");
    EXPECT_EQ(reasonFor(unknownMd, "txt"),
              "pivana-office: The text encoding of the file cannot be determined");
}

// An empty note converts to every target; as text it stays empty (an empty output is otherwise
// a failed conversion). Other empty documents still fail, see BadDocuments.
TEST_F(DocumentConversion, EmptyTextConvertsToEveryTarget) {
    for (const char* name : {"empty/note.txt", "empty/readme.md"}) {
        const QString source = dir.write(name, "");
        const QStringList targets = RouteTable::shared().route(source)->validTargets;
        for (const QString& target : targets) {
            SCOPED_TRACE((QString(name) + " -> " + target).toStdString());
            const QString output = convertOne(source, target);
            ASSERT_FALSE(output.isEmpty());
            if (TextConverter::isPlainText(target)) {
                EXPECT_EQ(QFileInfo(output).size(), 0);
            } else {
                EXPECT_GT(QFileInfo(output).size(), 0);
            }
            QFile::remove(output);
        }
    }
    EXPECT_EQ(entries(dir.path("empty")), (QStringList{"note.txt", "readme.md"}));
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

// Text of any shape typesets in time in proportion to its size, and a cancel stops it at once.
// (The bounds are many times what the work takes; a layout whose time grows with the square of
// a paragraph's length takes minutes.)
TEST_F(DocumentConversion, TypesettingAlwaysEndsAndStopsWhenCancelled) {
    QString line;
    line.reserve(600000);
    for (int i = 0; i < 600000; ++i) {
        line += QChar(u'a' + i % 26);
    }
    const QString source = dir.write("line.md", line.toUtf8());
    QElapsedTimer clock;
    clock.start();
    const QString pdf = convertOne(source, "pdf");
    EXPECT_LT(clock.elapsed(), 60000);
    EXPECT_GT(pdfPages(pdf), 50);
    const QString text = pdfText(pdf).remove(QRegularExpression("\\s"));
    EXPECT_TRUE(text.startsWith(line.left(500)));
    EXPECT_TRUE(text.endsWith(line.right(500)));
    QFile::remove(pdf);

    // A long document with spaces, cancelled once it is being typeset.
    QString words;
    for (int i = 0; i < 30000; ++i) {
        words += QString("word%1 ").arg(i);
    }
    dir.write("words.md", words.toUtf8());
    CancelToken cancel;
    QElapsedTimer sinceCancel;
    BatchObserver observer;
    observer.fileProgress = [&](int, double fraction) {
        if (fraction >= 0.5 && !cancel.isCancelled()) {
            cancel.cancel();
            sinceCancel.start();
        }
    };
    const ConversionResult result =
        BatchDriver(standardConverters())
            .convert({dir.path("words.md")}, "pdf", settings, &observer, &cancel);
    EXPECT_LT(sinceCancel.elapsed(), 5000);
    EXPECT_EQ(reasons(result), QStringList{"Cancelled"});
    EXPECT_EQ(entries(dir.root()), (QStringList{"line.md", "words.md"}));
}

TEST_F(DocumentConversion, TypesettingOnAFullDiskSaysSo) {
    // /dev/full fails every write with "no space left", as a full disk does; the PDF writer
    // itself would go on and leave a cut-off file.
    QTextDocument document;
    document.setPlainText(QString("A line of a long note.\n").repeated(2000));
    try {
        TextConverter::renderPdf(document, "/dev/full");
        FAIL() << "a PDF that could not be written was reported as written";
    } catch (const Error& error) {
        EXPECT_EQ(cleanReason(error), "There is not enough free space on the disk");
    }
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
    Staging pdf(dir.path("talk.pdf"), deck, batch);
    try {
        PresentationConverter::convertWith(dir.path("no-office"),
                                           {deck, "pdf", settings, pdf, batch});
        FAIL();
    } catch (const Error& error) {
        EXPECT_EQ(
            cleanReason(error),
            "LibreOffice Impress is not installed. Install it to convert PPTX and KEY files.");
    }
    Staging png(dir.path("talk.png"), deck, batch);
    try {
        PresentationConverter::convert({deck, "png", settings, png, batch});
        FAIL();
    } catch (const Error& error) {
        EXPECT_EQ(cleanReason(error), "Unsupported format: png");
    }
}

// Bytes of no format, the same on every run.
QByteArray garbage(qsizetype size) {
    QByteArray bytes(size, Qt::Uninitialized);
    quint32 state = 12345;
    for (char& byte : bytes) {
        state = state * 1103515245 + 12345;
        byte = static_cast<char>(state >> 24);
    }
    return bytes;
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
                    "pivana-office: The file's contents are not in the format its name says"},
        BadDocument{"zipThatIsNoDocument", "fake.odt",
                    QByteArray("PK\x03\x04", 4) + QByteArray(3000, 'z'), "pdf",
                    "pivana-office: The file is damaged or incomplete"},
        BadDocument{"emptyRtf",
                    "empty.rtf",
                    {},
                    "docx",
                    "pivana-office: The file is damaged or incomplete"},
        BadDocument{"deckOfNoise", "deck.pptx", QByteArray(4000, '\x42'), "pdf",
                    "Presentation export failed: The file's contents are not in the format its "
                    "name says"},
        BadDocument{"markdownOfNoise", "noise.md", QByteArray("\x00\x01\x02\x9f", 4).repeated(500),
                    "pdf", "The file's contents are not in the format its name says"},
        BadDocument{"textOfNoise", "noise.txt", QByteArray("\x00\x01\x02\x9f", 4).repeated(500),
                    "odt",
                    "pivana-office: The file's contents are not in the format its name says"},
        BadDocument{"rtfOfGarbage", "garbage.rtf", "{\\rtf1\\ansi\\deff0 " + garbage(4000), "html",
                    "pivana-office: The file is damaged or incomplete"},
        BadDocument{"emptyPdf", "empty.pdf", {}, "png", "Cannot open PDF"},
        BadDocument{"noisePdf", "noise.pdf", QByteArray(4000, '\x42'), "jpg", "Cannot open PDF"}),
    [](const testing::TestParamInfo<BadDocument>& row) { return std::string(row.param.name); });

// The office marks a field it cannot import (here a picture the RTF links to) with control
// bytes, which no HTML may hold; the text around it stays.
TEST_F(DocumentConversion, RtfWithAPictureBecomesCleanHtml) {
    const QString rtf = corpusCopy("text/rtf-embedded-picture.rtf");
    if (rtf.isEmpty()) {
        GTEST_SKIP() << "corpus absent";
    }
    const QByteArray html = readAll(convertOne(rtf, "html"));
    EXPECT_TRUE(html.contains("Audiometer Main Screen Help"));
    EXPECT_FALSE(std::any_of(html.begin(), html.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r';
    }));
}

// A document that takes the office longer than its budget is stopped, and says so. (The budget
// is cut to a thousandth of a second here; it grows with the document's size.)
TEST_F(DocumentConversion, TheOfficeStopsADocumentPastItsTimeBudget) {
    const QString source = dir.write("memo.txt", "words\n");
    qputenv("PIVANA_OFFICE_TIME_SCALE", "0.00001");
    const QString reason = reasonFor(source, "odt");
    qunsetenv("PIVANA_OFFICE_TIME_SCALE");
    EXPECT_EQ(reason, "pivana-office: The conversion took too long and was stopped");
    EXPECT_EQ(entries(dir.root()), QStringList{"memo.txt"});
}

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
QList<int> officesOn(const QString& profile) {
    QList<int> pids;
    for (const QString& pid : QDir("/proc").entryList(QDir::Dirs)) {
        QFile cmdline("/proc/" + pid + "/cmdline");
        if (cmdline.open(QIODevice::ReadOnly) && cmdline.readAll().contains(profile.toUtf8()) &&
            QFile::symLinkTarget("/proc/" + pid + "/exe").endsWith("soffice.bin")) {
            pids << pid.toInt();
        }
    }
    return pids;
}

bool waitUntil(const std::function<bool()>& condition, int seconds = 60) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > seconds * 1000) {
            return false;
        }
        QThread::msleep(50);
    }
    return true;
}

// The office of a private cache folder, run through pivana-office as the app runs it.
struct Office : DocumentConversion {
    QString cache = dir.path("cache");
    QString profile = cache + "/pivana/libreoffice";
    QString temporary = dir.path("tmp");
    int idleSeconds = 600;

    void SetUp() override {
        DocumentConversion::SetUp();
        QDir().mkpath(temporary);
        QDir().mkpath(dir.path("docs"));
    }
    void TearDown() override {
        runProcess("/usr/bin/python3",
                   {QString(PIVANA_BIN_DIR) + "/office-bridge.py", "stop", profile});
    }
    // The pipe the office listens on.
    QString pipe() const {
        const QByteArray real = QFileInfo(profile).canonicalFilePath().toUtf8();
        const auto crc = ::crc32(0, reinterpret_cast<const Bytef*>(real.constData()),
                                 static_cast<uInt>(real.size()));
        return QString("/tmp/OSL_PIPE_%1_pivana-office-%1-%2")
            .arg(::getuid())
            .arg(static_cast<qulonglong>(crc), 8, 16, QChar('0'));
    }
    QStringList environment() const {
        return {"XDG_CACHE_HOME=" + cache, "TMPDIR=" + temporary,
                "PIVANA_OFFICE_IDLE_SECONDS=" + QString::number(idleSeconds)};
    }
    ProcessOutcome office(const QStringList& arguments,
                          std::function<void(const QByteArray&)> onLine = {}) const {
        ProcessOptions options;
        options.environment = environment();
        options.onOutputLine = std::move(onLine);
        return runProcess(QString(PIVANA_BIN_DIR) + "/pivana-office", arguments, options);
    }
    QString note(const QString& name, const QString& words) const {
        return dir.write("docs/" + name, (words + "\n").toUtf8());
    }
};

}  // namespace

// A batch of documents goes to the running office in one session, with an outcome per document;
// the office stays for the next batch, and a document that stops it fails alone, or converts in
// an office of its own.
TEST_F(Office, OneOfficeServesEveryDocumentOfABatch) {
    QStringList lines;
    const ProcessOutcome batch =
        office({"-convert", "odt", note("a.txt", "first"), "-output", dir.path("docs/a.odt"),
                dir.write("docs/b.docx", QByteArray(3000, 'b')), "-output", dir.path("docs/b.odt"),
                note("c.md", "third"), "-output", dir.path("docs/c.odt")},
               [&lines](const QByteArray& line) { lines << QString::fromUtf8(line); });
    EXPECT_EQ(batch.exitStatus, 1);
    lines.sort();
    EXPECT_EQ(lines, (QStringList{
                         "1 ok", "2 failed The file's contents are not in the format its name says",
                         "3 ok"}));
    EXPECT_TRUE(textOf(dir.path("docs/a.odt")).contains("first"));
    EXPECT_TRUE(textOf(dir.path("docs/c.odt")).contains("third"));
    const QList<int> offices = officesOn(profile);
    ASSERT_EQ(offices.size(), 1);

    const ProcessOutcome next =
        office({"-convert", "docx", note("d.txt", "fourth"), "-output", dir.path("docs/d.docx")});
    EXPECT_EQ(next.exitStatus, 0) << next.standardError.toStdString();
    EXPECT_EQ(officesOn(profile), offices) << "the same office serves the next batch";

    // The office goes away in the middle of a batch (as when a document crashes it): the
    // documents still convert.
    lines.clear();
    const ProcessOutcome stopped =
        office({"-convert", "rtf", note("e.txt", "fifth"), "-output", dir.path("docs/e.rtf"),
                note("f.txt", "sixth"), "-output", dir.path("docs/f.rtf"), note("g.txt", "seventh"),
                "-output", dir.path("docs/g.rtf")},
               [&](const QByteArray& line) {
                   if (lines.isEmpty()) {
                       for (const int pid : officesOn(profile)) {
                           ::kill(pid, SIGKILL);
                       }
                   }
                   lines << QString::fromUtf8(line);
               });
    EXPECT_EQ(stopped.exitStatus, 0) << stopped.standardError.toStdString();
    EXPECT_TRUE(textOf(dir.path("docs/f.rtf")).contains("sixth"));
    EXPECT_TRUE(textOf(dir.path("docs/g.rtf")).contains("seventh"));
}

// Idle means no job running: while a conversion holds the profile, the office stays however long
// it takes; once none does, it ends after the idle time, and takes its pipes and temporary files
// with it.
TEST_F(Office, TheOfficeEndsOnlyWhenIdle) {
    idleSeconds = 1;
    QDir().mkpath(cache + "/pivana");
    const int lock =
        ::open(QFile::encodeName(profile + ".lock").constData(), O_RDWR | O_CREAT, 0600);
    ASSERT_EQ(::flock(lock, LOCK_EX), 0);
    // The bridge on its own takes no lock: the test holds it, as a long conversion would.
    const QString jobs = dir.write("jobs", (note("long.txt", "words") + "\tHTML (StarWriter)\t" +
                                            dir.path("docs/long.odt") + "\twriter8\n")
                                               .toUtf8());
    ProcessOptions options;
    options.environment = environment();
    const ProcessOutcome bridge = runProcess(
        "/usr/bin/python3",
        {QString(PIVANA_BIN_DIR) + "/office-bridge.py", "convert", profile, jobs}, options);
    EXPECT_EQ(bridge.exitStatus, 0)
        << "signal " << bridge.signal << ": " << bridge.standardError.toStdString();
    const QList<int> offices = officesOn(profile);
    ASSERT_EQ(offices.size(), 1);
    // The watcher marks a locked profile as in use: once it has looked well after the idle
    // time, the office must still be there.
    const QDateTime looked = QDateTime::currentDateTime().addSecs(3);
    ASSERT_TRUE(
        waitUntil([&] { return QFileInfo(profile + ".last-used").lastModified() > looked; }));
    EXPECT_EQ(officesOn(profile), offices) << "ended while a job held the profile";

    const QString listening = pipe();
    EXPECT_TRUE(exists(listening));
    ::close(lock);
    ASSERT_TRUE(waitUntil([&] { return officesOn(profile).isEmpty(); }));
    ASSERT_TRUE(waitUntil([&] { return entries(profile + ".run").isEmpty(); }));
    EXPECT_FALSE(exists(listening));
    EXPECT_EQ(entries(temporary), QStringList());
}

// Whatever happens to a conversion, nothing of the office's is left in the user's folder or the
// temporary folder, and the office never works in the caller's folder.
TEST_F(Office, NothingOfItsOwnIsLeftInTheUsersFolders) {
    const QString source = note("report.txt", "quarterly words");
    // The tool is killed on its way, with the document read into its private folder; another
    // conversion holds the office meanwhile, so the kill always comes before the output. That
    // folder is all it leaves, and the next run removes it.
    QDir().mkpath(cache + "/pivana");
    const int busy =
        ::open(QFile::encodeName(profile + ".lock").constData(), O_RDWR | O_CREAT, 0600);
    ASSERT_EQ(::flock(busy, LOCK_EX), 0);
    QProcess killed;
    QProcessEnvironment environmentOfKilled = QProcessEnvironment::systemEnvironment();
    for (const QString& entry : environment()) {
        environmentOfKilled.insert(entry.section('=', 0, 0), entry.section('=', 1));
    }
    killed.setProcessEnvironment(environmentOfKilled);
    killed.setWorkingDirectory(dir.path("docs"));
    killed.start(QString(PIVANA_BIN_DIR) + "/pivana-office",
                 {"-convert", "docx", source, "-output", dir.path("docs/report.docx")});
    const QString work = cache + "/pivana/office-work";
    ASSERT_TRUE(waitUntil([&] { return !entries(work).isEmpty(); }));
    killed.kill();
    killed.waitForFinished();
    ::close(busy);
    EXPECT_EQ(entries(dir.path("docs")), QStringList{"report.txt"});

    const ProcessOutcome next =
        office({"-convert", "pdf", source, "-output", dir.path("docs/report.pdf"),
                dir.write("docs/bad.odt", QByteArray("PK\x03\x04", 4) + QByteArray(3000, 'z')),
                "-output", dir.path("docs/bad.pdf")});
    EXPECT_EQ(next.exitStatus, 1);
    EXPECT_EQ(entries(dir.path("docs")), (QStringList{"bad.odt", "report.pdf", "report.txt"}));
    EXPECT_EQ(entries(work), QStringList()) << "the killed run's folder is gone";
    EXPECT_EQ(entries(temporary), QStringList());
    for (const int pid : officesOn(profile)) {
        EXPECT_TRUE(QFile::symLinkTarget(QString("/proc/%1/cwd").arg(pid)).startsWith(cache));
    }
}

// On a full disk LibreOffice cannot set up its profile; the reason says the disk is full.
TEST_F(Office, AFullDiskIsSaidPlainly) {
    // A small file system of its own, filled up, in a mount namespace of the tool's own.
    const QString script =
        "mount -t tmpfs -o size=4m tmpfs \"$1\" && head -c 8m /dev/zero > \"$1/fill\" 2>/dev/null;"
        " shift; exec \"$@\"";
    QDir().mkpath(cache);
    ProcessOptions options;
    options.environment = environment();
    const QString source = note("memo.txt", "words");
    const ProcessOutcome outcome =
        runProcess("/usr/bin/unshare",
                   {"--user", "--map-root-user", "--mount", "sh", "-c", script, "sh", cache,
                    QString(PIVANA_BIN_DIR) + "/pivana-office", "-convert", "odt", source,
                    "-output", dir.path("docs/memo.odt")},
                   options);
    if (outcome.standardError.contains("unshare:") || outcome.standardError.contains("mount:")) {
        GTEST_SKIP() << "no mount namespace here: " << outcome.standardError.toStdString();
    }
    EXPECT_EQ(outcome.exitStatus, 1);
    EXPECT_EQ(QString::fromUtf8(outcome.standardError).section('\n', 0, 0),
              "There is not enough free space on the disk")
        << outcome.standardError.toStdString();
    EXPECT_EQ(entries(dir.path("docs")), QStringList{"memo.txt"});
}

namespace {

// The real converters, with a pivana-office that notes the arguments of each run in `runs`
// before it runs the real tool.
struct OfficeBatch : DocumentConversion {
    QString runs = dir.path("office-runs");

    void SetUp() override {
        DocumentConversion::SetUp();
        const QString tools = dir.path("tools");
        QDir().mkpath(tools);
        const QDir built(PIVANA_BIN_DIR);
        for (const QString& tool : built.entryList(QDir::Files)) {
            QFile::link(built.filePath(tool), tools + "/" + tool);
        }
        QFile::remove(tools + "/pivana-office");
        dir.write("tools/pivana-office",
                  QString("#!/bin/sh\necho \"$@\" >> '%1'\nexec '%2' \"$@\"\n")
                      .arg(runs, built.filePath("pivana-office"))
                      .toUtf8());
        QFile::setPermissions(tools + "/pivana-office", QFile::ReadOwner | QFile::ExeOwner);
        setToolDirectory(tools);
    }
    void TearDown() override { useBuildTools(); }

    QStringList officeRuns() const {
        return QString::fromUtf8(readAll(runs)).split('\n', Qt::SkipEmptyParts);
    }
};

}  // namespace

// A batch's documents go to the office in one run of the tool, each with its own outcome: to
// PDF, documents the office writes as HTML for typesetting and presentations it exports itself
// share that run.
TEST_F(OfficeBatch, DocumentsOfABatchGoToTheOfficeInOneRun) {
    const QStringList files = {
        dir.write("docs/a.rtf", "{\\rtf1\\ansi opening\\par}"),
        dir.write("docs/b.docx", QByteArray(3000, 'b')),
        dir.write("docs/c.html", "<p>third</p>"),
        dir.write("docs/d.txt", "fourth\n"),
    };
    const ConversionResult result = run(files, "odt");
    EXPECT_EQ(officeRuns().size(), 1) << officeRuns().join('\n').toStdString();
    EXPECT_EQ(
        reasons(result),
        (QStringList{"", "pivana-office: The file's contents are not in the format its name says",
                     "", ""}));
    EXPECT_TRUE(textOf(dir.path("docs/a.odt")).contains("opening"));
    EXPECT_TRUE(textOf(dir.path("docs/c.odt")).contains("third"));
    EXPECT_TRUE(textOf(dir.path("docs/d.odt")).contains("fourth"));
    EXPECT_EQ(entries(dir.path("docs")),
              (QStringList{"a.odt", "a.rtf", "b.docx", "c.html", "c.odt", "d.odt", "d.txt"}));

    QFile::remove(runs);
    QStringList toPdf = {files[0], files[2]};
    if (const QString deck = corpusCopy("presentation/pptx-single-slide.pptx"); !deck.isEmpty()) {
        toPdf << deck;
    }
    const ConversionResult pdfs = run(toPdf, "pdf");
    EXPECT_EQ(officeRuns().size(), 1) << officeRuns().join('\n').toStdString();
    EXPECT_TRUE(pdfs.failed.empty()) << reasons(pdfs).join(", ").toStdString();
    EXPECT_TRUE(pdfText(dir.path("docs/a.pdf")).contains("opening"));
    EXPECT_EQ(pdfPageSize(dir.path("docs/c.pdf")), "612 x 792") << "typeset here";
}

// Cancel stops the run at once: documents done by then keep their outputs, the others fail as
// cancelled and leave nothing behind.
TEST_F(OfficeBatch, CancelStopsTheRunAndKeepsWhatIsDone) {
    const QStringList files = {dir.write("docs/a.txt", "first\n"),
                               dir.write("docs/b.txt", "second\n"),
                               dir.write("docs/c.txt", "third\n")};
    CancelToken cancel;
    BatchObserver observer;
    // The office reaches b once a is done.
    observer.fileStarted = [&](int index, int, const QString&) {
        if (index == 1) {
            cancel.cancel();
        }
    };
    const ConversionResult result =
        BatchDriver(standardConverters()).convert(files, "docx", settings, &observer, &cancel);
    EXPECT_EQ(reasons(result), (QStringList{"", "Cancelled", "Cancelled"}));
    EXPECT_TRUE(textOf(dir.path("docs/a.docx")).contains("first"));
    EXPECT_EQ(entries(dir.path("docs")), (QStringList{"a.docx", "a.txt", "b.txt", "c.txt"}));
    EXPECT_EQ(officeRuns().size(), 1);
}

// A helper killed on one document costs only that document: the others go on in a new run.
TEST_F(OfficeBatch, AKilledHelperCostsOnlyTheDocumentItWasOn) {
    QString longNote;
    for (int i = 0; i < 20000; ++i) {
        longNote += QString("Paragraph %1 of a long note.\n").arg(i);
    }
    const QStringList files = {dir.write("docs/a.txt", "first\n"),
                               dir.write("docs/b.txt", longNote.toUtf8()),
                               dir.write("docs/c.txt", "third\n")};
    BatchObserver observer;
    // The office reaches b, which takes it seconds, once a is done.
    observer.fileStarted = [&](int index, int, const QString&) {
        if (index == 1) {
            for (const pid_t tool : childrenRunning("pivana-office")) {
                ::kill(tool, SIGKILL);
            }
        }
    };
    const ConversionResult result = run(files, "docx", &observer);
    EXPECT_EQ(reasons(result),
              (QStringList{"", "pivana-office: The converter stopped unexpectedly", ""}));
    EXPECT_TRUE(textOf(dir.path("docs/a.docx")).contains("first"));
    EXPECT_TRUE(textOf(dir.path("docs/c.docx")).contains("third"));
    EXPECT_EQ(entries(dir.path("docs")),
              (QStringList{"a.docx", "a.txt", "b.txt", "c.docx", "c.txt"}));
    EXPECT_EQ(officeRuns().size(), 2);
}

int main(int argc, char** argv) {
    // Typesetting needs fonts, and so a GUI application, drawn off screen.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // An office of this build's own, apart from the user's and other checkouts'.
    qputenv("XDG_CACHE_HOME", PIVANA_BIN_DIR "/../tests/office-cache");
    qputenv("PIVANA_OFFICE_IDLE_SECONDS", "20");
    QGuiApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
