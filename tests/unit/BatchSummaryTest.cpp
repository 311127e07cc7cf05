#include "engine/BatchSummary.h"

#include <gtest/gtest.h>

using namespace pivana;

namespace {

ConversionResult outcome(const QStringList& succeeded, const QStringList& failed) {
    ConversionResult result;
    result.succeeded = succeeded;
    for (const QString& path : failed) {
        result.failed.push_back({path, ConversionError::processFailed("Cannot rasterise SVG")});
    }
    return result;
}

}  // namespace

TEST(BatchSummary, TitleLinesAndLabels) {
    EXPECT_EQ(BatchSummary::doneTitleLine("png", 3, 3), "Converted to PNG");
    EXPECT_EQ(BatchSummary::doneTitleLine("jpg", 2, 3), "Converted 2 of 3 to JPG");
    EXPECT_EQ(BatchSummary::fileLabel({"/a/photo.heic"}), "photo.heic");
    EXPECT_EQ(BatchSummary::fileLabel({"/a", "/b", "/c"}), "3 files");
    EXPECT_EQ(BatchSummary::fileLabel({}), "0 files");
    EXPECT_EQ(BatchSummary::noTargetsMessage({"/a.zip"}), "No supported conversion for this file.");
    EXPECT_EQ(BatchSummary::noTargetsMessage({"/a.gif", "/b.png"}),
              "All files must be the same type.");
}

TEST(BatchSummary, NotificationTexts) {
    const QStringList three = {"/p/a.heic", "/p/b.heic", "/p/c.heic"};
    auto all =
        BatchSummary::notice(three, outcome(three, {}), {"/p/a.png", "/p/b.png", "/p/c.png"});
    EXPECT_EQ(all.title, "Converted");
    EXPECT_EQ(all.body, QString::fromUtf8("3 files → a.png, b.png, c.png"));

    auto one =
        BatchSummary::notice({"/p/photo.heic"}, outcome({"/p/photo.heic"}, {}), {"/p/photo.jpg"});
    EXPECT_EQ(one.body, QString::fromUtf8("photo.heic → photo.jpg"));

    const QStringList batch = {"/p/a.png", "/p/b.png", "/p/logo.svg"};
    auto partial =
        BatchSummary::notice(batch, outcome({"/p/a.png", "/p/b.png"}, {"/p/logo.svg"}), {});
    EXPECT_EQ(partial.title, "Partially converted");
    EXPECT_EQ(partial.body, QString::fromUtf8("2 of 3 succeeded · logo.svg: Cannot rasterise SVG"));

    const QStringList five = {"/p/1.svg", "/p/2.svg", "/p/3.svg", "/p/4.svg", "/p/5.svg"};
    auto three_failed = BatchSummary::notice(
        five, outcome({"/p/1.svg", "/p/2.svg"}, {"/p/3.svg", "/p/4.svg", "/p/5.svg"}), {});
    EXPECT_TRUE(three_failed.body.endsWith(" (+2 more)"));

    auto none = BatchSummary::notice({"/p/x.svg"}, outcome({}, {"/p/x.svg"}), {});
    EXPECT_EQ(none.title, "Conversion failed");
    EXPECT_EQ(none.body, "x.svg: Cannot rasterise SVG");
    EXPECT_EQ(BatchSummary::notice({}, outcome({}, {}), {}).body, "No files were converted.");
}

TEST(BatchSummary, NotificationsSayWhenAReplacedFileWentToTheTrash) {
    ConversionResult result;
    result.addSuccess("/p/a.jpg", {"/p/a.png"}, {"/p/a.png"});
    EXPECT_EQ(BatchSummary::notice({"/p/a.jpg"}, result, {"/p/a.png"}).body,
              QString::fromUtf8("a.jpg → a.png\nThe file it replaced is in the Trash."));
    result.addSuccess("/p/b.jpg", {"/p/b.png"}, {"/p/b.png"});
    result.addFailure("/p/c.jpg", ConversionError::failure(FailureKind::Damaged));
    EXPECT_TRUE(BatchSummary::notice({"/p/a.jpg", "/p/b.jpg", "/p/c.jpg"}, result, {})
                    .body.endsWith("\nThe 2 files it replaced are in the Trash."));
}

TEST(BatchSummary, SavedFolderName) {
    SettingsSnapshot settings;
    settings.customOutputFolder = "/home/u/Converted";
    const ConversionResult result = outcome({"/home/u/Pictures/a.png"}, {});
    EXPECT_EQ(BatchSummary::savedFolder(result, settings), "Pictures");
    settings.outputFolderMode = OutputFolderMode::Custom;
    EXPECT_EQ(BatchSummary::savedFolder(result, settings), "Converted");
}
