// pivana-image's command line, and PDF pages drawn by it: run as the app runs it and as a person
// would from a shell.
#include "support/ImageFixtures.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

using namespace pivana;
using namespace pivana::test;

namespace {

// A PDF of one page per size (in points), each a blue square on a transparent page, with a
// well-formed cross-reference table. `content` replaces the square's drawing when given.
QByteArray pdfWithPages(const std::vector<std::pair<double, double>>& sizes,
                        const QByteArray& content = "0 0 1 rg 10 10 40 40 re f") {
    QByteArray pdf = "%PDF-1.4\n";
    std::vector<qsizetype> offsets;
    auto object = [&](const QByteArray& body) {
        offsets.push_back(pdf.size());
        pdf += QByteArray::number(static_cast<qsizetype>(offsets.size())) + " 0 obj\n" + body +
               "\nendobj\n";
    };
    const int pages = static_cast<int>(sizes.size());
    QByteArray kids;
    for (int i = 0; i < pages; ++i) {
        kids += QByteArray::number(3 + 2 * i) + " 0 R ";
    }
    object("<< /Type /Catalog /Pages 2 0 R >>");
    object("<< /Type /Pages /Kids [" + kids + "] /Count " + QByteArray::number(pages) + " >>");
    for (int i = 0; i < pages; ++i) {
        object("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + QByteArray::number(sizes[i].first) +
               " " + QByteArray::number(sizes[i].second) + "] /Contents " +
               QByteArray::number(4 + 2 * i) + " 0 R >>");
        object("<< /Length " + QByteArray::number(content.size()) + " >>\nstream\n" + content +
               "\nendstream");
    }
    const qsizetype xref = pdf.size();
    pdf += "xref\n0 " + QByteArray::number(static_cast<qsizetype>(offsets.size() + 1)) +
           "\n0000000000 65535 f \n";
    for (const qsizetype offset : offsets) {
        pdf += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
    }
    pdf += "trailer\n<< /Size " + QByteArray::number(static_cast<qsizetype>(offsets.size() + 1)) +
           " /Root 1 0 R >>\nstartxref\n" + QByteArray::number(xref) + "\n%%EOF\n";
    return pdf;
}

QString firstLine(const QString& text) {
    return text.section(u'\n', 0, 0);
}

const QString letter = "letter.pdf";

class RenderTool : public ConversionTest {
protected:
    ProgramRun image(const QStringList& arguments, const QStringList& environment = {}) const {
        return runBinary("pivana-image", arguments, environment);
    }
};

}  // namespace

TEST_F(RenderTool, CommandLinesItDoesNotUnderstandExitWithTwoAndWriteNothing) {
    const QString png = dir.path("in.png");
    saveImage(gradient(8, 8), png);
    const QString out = dir.path("out.jpg");
    const QList<QStringList> wrong = {
        {png, out},
        {"--to", "jxl", png, out},
        {"--to", "jpg", "--quality", "0", png, out},
        {"--to", "jpg", "--quality", "85%", png, out},
        {"--to", "jpg", png},
        {"--to", "jpg", png, out, out},
        {"--to", "heic", "--pages", png, dir.root()},
        {"--to", "jpg", "--fast", png, out},
        {"-s", "format", "jpeg", png, "--out", out},
        {"--to"},
    };
    for (const QStringList& arguments : wrong) {
        const ProgramRun run = image(arguments);
        EXPECT_EQ(run.status, 2) << arguments.join(' ');
        EXPECT_TRUE(run.err.contains("usage: pivana-image --to FORMAT")) << arguments.join(' ');
    }
    EXPECT_EQ(entries(dir.root()), QStringList{"in.png"});

    // jpg and jpeg are one format; options may come anywhere, and "--" ends them.
    for (const QStringList& arguments : {QStringList{"--to", "jpg", png, out},
                                         QStringList{png, "--quality", "40", "--to", "jpeg", out},
                                         QStringList{"--to", "jpeg", "--", png, out}}) {
        ASSERT_EQ(image(arguments).status, 0) << arguments.join(' ');
        EXPECT_EQ(probe(out).loader, "jpegload");
    }
}

TEST_F(RenderTool, PdfPagesAreDrawnTwiceTheirSizeOnWhiteIntoTheFolder) {
    const QString pdf = dir.write("three.pdf", pdfWithPages({{612, 792}, {60, 60}, {842, 595}}));
    const QString folder = dir.path("pages");
    QDir().mkpath(folder);
    const ProgramRun run = image({"--to", "png", "--pages", pdf, folder}, {"PIVANA_PROGRESS=1"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "") << "poppler and the libraries say nothing";
    EXPECT_EQ(run.out, "progress 0.000\nprogress 0.333\nprogress 0.667\n");
    EXPECT_EQ(entries(folder), (QStringList{"page-1.png", "page-2.png", "page-3.png"}));
    const std::vector<std::tuple<int, int>> sizes = {{1224, 1584}, {120, 120}, {1684, 1190}};
    for (int page = 1; page <= 3; ++page) {
        const ImageFacts facts = probe(dir.path(QString("pages/page-%1.png").arg(page)));
        EXPECT_EQ(std::tuple(facts.width, facts.height), sizes[page - 1]) << page;
        EXPECT_EQ(facts.bands, 3) << page;
    }
    // Paper white around the blue square, which is drawn antialiased, not blurred away.
    const vips::VImage first =
        vips::VImage::new_from_file(QFile::encodeName(dir.path("pages/page-1.png")).constData());
    EXPECT_EQ(first.extract_area(0, 0, 10, 10).min(), 255.0);
    const vips::VImage square = first.extract_area(30, 1584 - 90, 40, 40);
    EXPECT_EQ(square[2].min(), 255.0);
    EXPECT_EQ(square[0].max(), 0.0);

    ASSERT_EQ(image({"--to", "jpg", "--quality", "90", "--pages", pdf, folder}).status, 0);
    EXPECT_EQ(probe(dir.path("pages/page-3.jpg")).loader, "jpegload");
}

TEST_F(RenderTool, AGiantPageIsDrawnSmallerToFitAndNeverAsADot) {
    // 200 inches a side: twice that would be 829 million pixels.
    const QString pdf = dir.write("giant.pdf", pdfWithPages({{14400, 14400}, {20000, 100}}));
    const QString folder = dir.path("pages");
    QDir().mkpath(folder);
    ASSERT_EQ(image({"--to", "png", "--pages", pdf, folder}).status, 0);
    const ImageFacts giant = probe(dir.path("pages/page-1.png"));
    EXPECT_EQ(std::tuple(giant.width, giant.height), std::tuple(8000, 8000));
    // 40000 pixels wide at twice its size: drawn as wide as a canvas goes.
    const ImageFacts wide = probe(dir.path("pages/page-2.png"));
    EXPECT_EQ(std::tuple(wide.width, wide.height), std::tuple(32767, 164));
}

TEST_F(RenderTool, APageThatCannotBeDrawnLeavesNoPageAtAll) {
    // Page 2 has no height left to draw on once it fits a canvas.
    const QString pdf = dir.write("wide.pdf", pdfWithPages({{612, 792}, {20000, 0.1}, {60, 60}}));
    const QString folder = dir.path("pages");
    QDir().mkpath(folder);
    const ProgramRun run = image({"--to", "png", "--pages", pdf, folder});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(firstLine(run.err), "Cannot render page 2");
    EXPECT_EQ(entries(folder), QStringList());

    // Through the app: the same sentence, and nothing beside the source.
    EXPECT_EQ(reasonFor(pdf, "png"), "Cannot render page 2");
    EXPECT_EQ(entries(dir.root()), (QStringList{"pages", "wide.pdf"}));
}

TEST_F(RenderTool, DamagedPdfsFailWithTheSentenceFirst) {
    const QString folder = dir.path("pages");
    QDir().mkpath(folder);
    // The sentence comes first, never one of poppler's complaints.
    const QString noise = dir.write("noise.pdf", "%PDF-1.4\n" + QByteArray(3000, '\x17'));
    ProgramRun run = image({"--to", "png", "--pages", noise, folder});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(firstLine(run.err), "Cannot open PDF");
    const QString none = dir.write("none.pdf", pdfWithPages({}));
    run = image({"--to", "png", "--pages", none, folder});
    EXPECT_EQ(firstLine(run.err), "The PDF has no pages");
    EXPECT_EQ(entries(folder), QStringList());

    // Garbage in a page's drawing: poppler complains and carries on; the page converts and
    // standard error stays empty.
    const QString garbled =
        dir.write("garbled.pdf", pdfWithPages({{100, 100}}, "1 0 0 rg ) ] zz f"));
    run = image({"--to", "png", "--pages", garbled, folder});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(probe(dir.path("pages/page-1.png")).width, 200);

    // A folder that is not there is the output's problem, not the PDF's.
    run = image({"--to", "png", "--pages", garbled, dir.path("missing")});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(firstLine(run.err), "Cannot open PDF");
}

TEST_F(RenderTool, SvgFromAShellWithAnOddName) {
    // A relative name with a colon is a file, not a URI.
    dir.write("http:logo.svg",
              "<svg xmlns='http://www.w3.org/2000/svg' width='30' height='20'>"
              "<rect width='30' height='20' fill='#0a0'/></svg>");
    const ProgramRun run =
        runBinary("pivana-image", {"--to", "png", "http:logo.svg", "logo.png"}, {}, dir.root());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(probe(dir.path("logo.png")).width, 200);
    EXPECT_EQ(probe(dir.path("logo.png")).height, 200);
}
