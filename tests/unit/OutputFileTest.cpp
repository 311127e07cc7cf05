#include "engine/Converter.h"
#include "engine/Error.h"
#include "engine/OutputFile.h"
#include "engine/TemporaryFile.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QFile>
#include <QRegularExpression>

using namespace pivana;
using namespace pivana::test;

TEST(OutputNaming, ReplacesOnlyTheLastExtension) {
    const SettingsSnapshot settings;
    EXPECT_EQ(outputPath("/p/archive.tar.gz", "zip", settings), "/p/archive.tar.zip");
    EXPECT_EQ(outputPath("/p/Holiday.HEIC", "jpg", settings), "/p/Holiday.jpg");
    EXPECT_EQ(outputPath("/p/photo.jpeg", "jpg", settings), "/p/photo.jpg");
    EXPECT_EQ(outputPath("/p/no extension", "png", settings), "/p/no extension.png");
    EXPECT_EQ(outputPath("/p/.hidden", "png", settings), "/p/.png");
}

TEST(OutputNaming, CustomFolderOnlyWhenModeIsCustomAndFolderResolved) {
    SettingsSnapshot settings;
    settings.customOutputFolder = "/out";
    EXPECT_EQ(outputPath("/p/a.mov", "mp4", settings), "/p/a.mp4") << "mode same as source";
    settings.outputFolderMode = OutputFolderMode::Custom;
    EXPECT_EQ(outputPath("/p/a.mov", "mp4", settings), "/out/a.mp4");
    settings.customOutputFolder.reset();
    EXPECT_EQ(outputPath("/p/a.mov", "mp4", settings), "/p/a.mp4");
}

TEST(OutputFileCommit, StagesBesideTheFinalNameWithTheSameExtension) {
    Scratch dir;
    BatchContext batch;
    OutputFile output(dir.path("a.mp4"), dir.path("a.mov"), batch);
    EXPECT_TRUE(output.stagingPath().startsWith(dir.root() + "/.a.pivana-"));
    EXPECT_TRUE(output.stagingPath().endsWith(".mp4"));
}

TEST(OutputFileCommit, RefusesEmptyOrMissingOutput) {
    Scratch dir;
    BatchContext batch;
    dir.write("a.png", "old");
    {
        OutputFile missing(dir.path("a.png"), dir.path("a.jpg"), batch);
        EXPECT_THROW(missing.commit(), Error);
    }
    {
        OutputFile empty(dir.path("a.png"), dir.path("a.jpg"), batch);
        dir.write(QFileInfo(empty.stagingPath()).fileName(), "");
        try {
            empty.commit();
            FAIL() << "an empty output must not replace the old file";
        } catch (const Error& error) {
            EXPECT_EQ(cleanReason(error), "The converter wrote an empty output for a.png");
        }
    }
    EXPECT_EQ(readAll(dir.path("a.png")), "old");
    EXPECT_EQ(entries(dir.root()), QStringList{"a.png"});
    EXPECT_FALSE(batch.wasWrittenInThisBatch(dir.path("a.png")));
}

TEST(OutputFileCommit, ReplacesAtomicallyAndRecordsTheOutput) {
    Scratch dir;
    BatchContext batch;
    dir.write("a.png", "old");
    OutputFile output(dir.path("a.png"), dir.path("a.jpg"), batch);
    dir.write(QFileInfo(output.stagingPath()).fileName(), "new");
    output.commit();
    EXPECT_EQ(readAll(dir.path("a.png")), "new");
    EXPECT_TRUE(batch.wasWrittenInThisBatch(dir.path("a.png")));
    EXPECT_EQ(batch.currentOutputs(), QStringList{dir.path("a.png")});
}

TEST(OutputFileCommit, ReadOnlyFolderFailsWithTheSystemReason) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root writes anywhere";
    }
    Scratch dir;
    BatchContext batch;
    QFile::setPermissions(dir.root(), QFile::ReadOwner | QFile::ExeOwner);
    OutputFile output(dir.path("a.png"), "/elsewhere/a.jpg", batch);
    EXPECT_THROW(output.commit(), Error);
    QFile::setPermissions(dir.root(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

TEST(SourceRemoval, DeletesOnlyWhenAskedAndReportsFailure) {
    Scratch dir;
    const QString source = dir.write("a.wav", "x");
    SettingsSnapshot settings;
    removeSourceIfAsked(source, settings);
    EXPECT_TRUE(exists(source));
    settings.replaceOriginal = true;
    removeSourceIfAsked(source, settings);
    EXPECT_FALSE(exists(source));
    try {
        removeSourceIfAsked(source, settings);
        FAIL() << "deleting a vanished source must fail";
    } catch (const Error& error) {
        EXPECT_EQ(cleanReason(error),
                  QString::fromUtf8(
                      "Cannot delete the original \u201ca.wav\u201d: No such file or directory"));
    }
}

TEST(TemporaryFiles, UuidNamedAndRemovedOnEveryWayOut) {
    QString kept;
    try {
        TemporaryFile temporary("png");
        kept = temporary.path();
        EXPECT_TRUE(QFileInfo(kept).fileName().contains(QRegularExpression(
            "^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\.png$")));
        QFile file(kept);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("x");
        file.close();
        throw ConversionError::processFailed("boom");
    } catch (const Error&) {
    }
    EXPECT_FALSE(exists(kept));

    QString folder;
    {
        TemporaryDirectory directory;
        folder = directory.path();
        QFile file(directory.filePath("inner.txt"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    EXPECT_FALSE(exists(folder));
}
