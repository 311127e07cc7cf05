#include "engine/RouteTable.h"

#include <gtest/gtest.h>

#include <QSet>

using namespace pivana;

namespace {

QStringList targets(const QStringList& files) {
    return RouteTable::shared().commonTargets(files);
}

const QStringList allImageTargets = {"jpg", "png", "heic", "avif", "exr", "tiff",
                                     "gif", "bmp", "psd",  "webp", "pdf"};

}  // namespace

TEST(RouteTable, HasFiftyTwoSourcesAndNoAliasesBeyondThem) {
    EXPECT_EQ(RouteTable::shared().sourceExtensions().size(), 52);
    for (const char* unrouted : {"tif", "htm", "doc", "ppt", "zip", ""}) {
        EXPECT_FALSE(RouteTable::shared().category(QStringLiteral("/x/a.") + unrouted)) << unrouted;
    }
    EXPECT_FALSE(RouteTable::shared().category("/x/README"));
}

TEST(RouteTable, CategoriesOfTrickyExtensions) {
    const auto& table = RouteTable::shared();
    EXPECT_EQ(table.category("/x/a.pdf"), FileCategory::Pdf);  // not text, although a text target
    EXPECT_EQ(table.category("/x/a.gif"), FileCategory::Animated);
    EXPECT_EQ(table.category("/x/a.svg"), FileCategory::Image);
    EXPECT_EQ(table.category("/x/a.DNG"), FileCategory::Image);
    EXPECT_EQ(table.category("/x/a.key"), FileCategory::Presentation);
    EXPECT_EQ(table.category("/x/a.md"), FileCategory::Text);
    EXPECT_EQ(table.category("/x/archive.tar.mp3"), FileCategory::Audio);
}

struct TargetsCase {
    const char* name;
    QStringList files;
    QStringList expected;
};

class CommonTargets : public testing::TestWithParam<TargetsCase> {};

TEST_P(CommonTargets, OffersTheExpectedChipsInOrder) {
    EXPECT_EQ(targets(GetParam().files), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Batches, CommonTargets,
    testing::Values(
        TargetsCase{"empty", {}, {}},
        TargetsCase{"jpgThenPng",
                    {"/a.jpg", "/b.png"},
                    {"heic", "avif", "exr", "tiff", "gif", "bmp", "psd", "webp", "pdf"}},
        TargetsCase{"loneJpeg",
                    {"/a.jpeg"},
                    {"png", "heic", "avif", "exr", "tiff", "gif", "bmp", "psd", "webp", "pdf"}},
        TargetsCase{"loneJpg",
                    {"/a.jpg"},
                    {"png", "heic", "avif", "exr", "tiff", "gif", "bmp", "psd", "webp", "pdf"}},
        TargetsCase{"upperCase",
                    {"/A.PNG"},
                    {"jpg", "heic", "avif", "exr", "tiff", "gif", "bmp", "psd", "webp", "pdf"}},
        TargetsCase{"rawOffersAllNine", {"/a.cr2"}, allImageTargets},
        TargetsCase{"rawUpperCase", {"/a.DNG"}, allImageTargets},
        TargetsCase{"rawWithJpg",
                    {"/a.cr2", "/b.jpg"},
                    {"png", "heic", "avif", "exr", "tiff", "gif", "bmp", "psd", "webp", "pdf"}},
        TargetsCase{"tiffRemovedForTiff",
                    {"/a.tiff"},
                    {"jpg", "png", "heic", "avif", "exr", "gif", "bmp", "psd", "webp", "pdf"}},
        TargetsCase{"mp3", {"/a.mp3"}, {"m4a", "wav", "aiff", "aac", "flac", "opus"}},
        TargetsCase{
            "mixedCaseMp4",
            {"/a.Mp4"},
            {"mov", "m4v", "webm", "gif", "m4a", "wav", "aiff", "aac", "flac", "mp3", "opus"}},
        TargetsCase{"mp4ThenMov",
                    {"/a.mp4", "/b.mov"},
                    {"m4v", "webm", "gif", "m4a", "wav", "aiff", "aac", "flac", "mp3", "opus"}},
        TargetsCase{"movThenMp4",
                    {"/a.mov", "/b.mp4"},
                    {"m4v", "webm", "gif", "m4a", "wav", "aiff", "aac", "flac", "mp3", "opus"}},
        TargetsCase{"mkv",
                    {"/a.mkv"},
                    {"mp4", "mov", "m4v", "webm", "gif", "m4a", "wav", "aiff", "aac", "flac", "mp3",
                     "opus"}},
        TargetsCase{"gif", {"/a.gif"}, {"mp4", "mov", "jpg", "png", "heic", "tiff", "bmp", "webm"}},
        TargetsCase{"gifWithPng", {"/a.gif", "/b.png"}, {}},
        TargetsCase{"pdf", {"/a.pdf"}, {"png", "jpg"}},
        TargetsCase{"pdfWithDocx", {"/a.pdf", "/b.docx"}, {}},
        TargetsCase{"docx", {"/a.docx"}, {"pdf", "odt", "html", "rtf", "txt", "md"}},
        TargetsCase{"md", {"/a.md"}, {"pdf", "docx", "odt", "html", "rtf", "txt"}},
        TargetsCase{"pptxAndKey", {"/a.pptx", "/b.key"}, {"pdf"}},
        TargetsCase{"unroutedTif", {"/a.tif"}, {}}, TargetsCase{"noExtension", {"/Makefile"}, {}},
        TargetsCase{"oneOfSeveralUnrouted", {"/a.png", "/b.zip", "/c.jpg"}, {}},
        TargetsCase{
            "sameFormatTwice", {"/a.wav", "/b.WAV"}, {"m4a", "aiff", "aac", "flac", "mp3", "opus"}},
        TargetsCase{"webpNeverWebp",
                    {"/a.webp"},
                    {"jpg", "png", "heic", "avif", "exr", "tiff", "gif", "bmp", "psd", "pdf"}},
        TargetsCase{
            "opusAndOgg", {"/a.opus", "/b.ogg"}, {"m4a", "wav", "aiff", "aac", "flac", "mp3"}},
        TargetsCase{
            "webm",
            {"/a.webm"},
            {"mp4", "mov", "m4v", "gif", "m4a", "wav", "aiff", "aac", "flac", "mp3", "opus"}}),
    [](const testing::TestParamInfo<TargetsCase>& row) { return std::string(row.param.name); });

// The menus and the completion read a category's whole list; each source's own list must be that
// list, in that order, less what it leaves out, and every target must be offered by some source.
TEST(RouteTable, EachCategoryListsItsSourcesTargetsInTheirOrder) {
    const RouteTable& table = RouteTable::shared();
    for (const FileCategory category :
         {FileCategory::Image, FileCategory::Animated, FileCategory::Audio, FileCategory::Video,
          FileCategory::Text, FileCategory::Pdf, FileCategory::Presentation}) {
        SCOPED_TRACE(categoryName(category).toStdString());
        const QStringList all = RouteTable::targets(category);
        QSet<QString> offered;
        for (const QString& source : table.sourceExtensions()) {
            const auto route = table.route("/a." + source);
            if (route->category != category) {
                continue;
            }
            qsizetype at = 0;
            for (const QString& target : route->validTargets) {
                at = all.indexOf(target, at);
                ASSERT_GE(at, 0) << source.toStdString() << " offers " << target.toStdString()
                                 << " out of the category's order";
                offered.insert(target);
            }
        }
        EXPECT_EQ(offered, QSet<QString>(all.cbegin(), all.cend()));
    }
    EXPECT_EQ(RouteTable::targets(FileCategory::Text),
              (QStringList{"pdf", "docx", "odt", "html", "rtf", "txt", "md"}));
}

// What the converters and tools ask of a target: a movie goes to the movie path, an audio target
// has an encoder and a writer, and only the lossy ones take the bit rate setting.
TEST(RouteTable, MovieAndAudioTargetsAreTheOnesTheConvertersWrite) {
    for (const QString movie : {"mp4", "mov", "m4v", "webm"}) {
        EXPECT_TRUE(RouteTable::isMovie(movie)) << movie.toStdString();
        EXPECT_FALSE(RouteTable::audioEncoding(movie)) << movie.toStdString();
    }
    for (const QString other : {"gif", "m4a", "MP4", "mkv", "mp4 ", ""}) {
        EXPECT_FALSE(RouteTable::isMovie(other)) << other.toStdString();
    }
    for (const QString& target : RouteTable::targets(FileCategory::Audio)) {
        const formats::AudioEncoding* encoding = RouteTable::audioEncoding(target);
        ASSERT_TRUE(encoding) << target.toStdString();
        EXPECT_EQ(encoding->format, target.toStdString());
        EXPECT_EQ(encoding->lossy,
                  target == u"m4a" || target == u"aac" || target == u"mp3" || target == u"opus")
            << target.toStdString();
        EXPECT_LE(encoding->minBitRate, encoding->maxBitRate);
    }
    EXPECT_FALSE(RouteTable::audioEncoding("ogg"));
}
