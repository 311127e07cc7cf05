#include "engine/BatchState.h"
#include "engine/CancelToken.h"
#include "engine/Converter.h"
#include "engine/Error.h"
#include "engine/OutputFile.h"
#include "engine/TemporaryFile.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
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

TEST(OutputFileStaging, StagesInAHiddenFolderBesideTheFinalNameAndLeavesNothing) {
    Scratch dir;
    BatchContext batch;
    {
        OutputFile output(dir.path("a.mp4"), dir.path("a.mov"), batch);
        const QFileInfo staged(output.stagingPath());
        EXPECT_EQ(staged.fileName(), "a.mp4") << "the final name, so the same extension";
        EXPECT_TRUE(staged.absolutePath().startsWith(dir.root() + "/.pivana-"));
        // A tool's partial file and scratch folder beside its output go with the folder.
        dir.write(QDir(dir.root()).relativeFilePath(output.stagingPath()), "partial");
        dir.write(QDir(dir.root()).relativeFilePath(staged.absolutePath()) + "/.work/copy.docx",
                  "copy");
    }
    EXPECT_EQ(entries(dir.root()), QStringList{});
}

TEST(OutputFileStaging, AnyNameTheFolderTakesConverts) {
    Scratch dir;
    BatchContext batch;
    // 255 bytes, the most a name may have: 83 three-byte characters and "xy.png".
    const QString longest = QString(83, QChar(0x6771)) + "xy.png";
    ASSERT_EQ(QFile::encodeName(longest).size(), 255);
    {
        OutputFile output(dir.path(longest), dir.path("source.tiff"), batch);
        dir.write(QDir(dir.root()).relativeFilePath(output.stagingPath()), "pixels");
        output.commit();
    }
    EXPECT_EQ(readAll(dir.path(longest)), "pixels");

    try {
        OutputFile tooLong(dir.path(QString(83, QChar(0x6771)) + "xy.tiff"), dir.path("a.png"),
                           batch);
        FAIL() << "a name of 256 bytes cannot exist";
    } catch (const Error& error) {
        EXPECT_EQ(cleanReason(error), "The output's name is too long for the file system");
    }
    EXPECT_EQ(entries(dir.root()), QStringList{longest});
}

TEST(OutputFileCommit, RefusesEmptyOrMissingOutputAndKeepsTheOldFile) {
    Scratch dir;
    BatchContext batch;
    dir.write("a.png", "old");
    {
        OutputFile missing(dir.path("a.png"), dir.path("a.jpg"), batch);
        EXPECT_THROW(missing.commit(), Error);
    }
    {
        OutputFile empty(dir.path("a.png"), dir.path("a.jpg"), batch);
        dir.write(QDir(dir.root()).relativeFilePath(empty.stagingPath()), "");
        try {
            empty.commit();
            FAIL() << "an empty output must not replace the old file";
        } catch (const Error& error) {
            EXPECT_EQ(cleanReason(error), "The conversion produced no output");
        }
    }
    EXPECT_EQ(readAll(dir.path("a.png")), "old");
    EXPECT_EQ(entries(dir.root()), QStringList{"a.png"});

    // Where an empty result is right (an empty note as text), it replaces the old file; a
    // missing one still fails.
    dir.write("note.txt", "old");
    {
        OutputFile missing(dir.path("note.txt"), dir.path("note.md"), batch);
        missing.allowEmptyResult();
        EXPECT_THROW(missing.commit(), Error);
    }
    OutputFile empty(dir.path("note.txt"), dir.path("note.md"), batch);
    empty.allowEmptyResult();
    dir.write(QDir(dir.root()).relativeFilePath(empty.stagingPath()), "");
    empty.commit();
    EXPECT_EQ(readAll(dir.path("note.txt")), "");
}

TEST(OutputFileCommit, APdfCutOffBeforeItsTrailerIsRefused) {
    Scratch dir;
    BatchContext batch;
    dir.write("report.pdf", "old");
    const QByteArray whole =
        "%PDF-1.4\n1 0 obj\n<<>>\nendobj\nxref\ntrailer\n<<>>\nstartxref\n9\n%%EOF\n";
    for (const QByteArray& staged : {whole.left(30), QByteArray("not a pdf at all, %%EOF")}) {
        OutputFile output(dir.path("report.pdf"), dir.path("report.html"), batch);
        dir.write(QDir(dir.root()).relativeFilePath(output.stagingPath()), staged);
        try {
            output.commit();
            FAIL() << staged.toStdString();
        } catch (const Error& error) {
            EXPECT_EQ(cleanReason(error), "The output was cut off before it was complete");
        }
    }
    EXPECT_EQ(readAll(dir.path("report.pdf")), "old");
    OutputFile output(dir.path("report.pdf"), dir.path("report.html"), batch);
    dir.write(QDir(dir.root()).relativeFilePath(output.stagingPath()), whole);
    output.commit();
    EXPECT_EQ(readAll(dir.path("report.pdf")), whole);
}

TEST(OutputFileCommit, ReplacesAtomically) {
    Scratch dir;
    BatchContext batch;
    dir.write("a.png", "old");
    {
        OutputFile output(dir.path("a.png"), dir.path("a.jpg"), batch);
        dir.write(QDir(dir.root()).relativeFilePath(output.stagingPath()), "new");
        output.commit();
    }
    EXPECT_EQ(readAll(dir.path("a.png")), "new");
    EXPECT_EQ(entries(dir.root()), QStringList{"a.png"});
}

TEST(OutputFileCommit, ReadOnlyFolderFailsBeforeAnyWork) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root writes anywhere";
    }
    Scratch dir;
    BatchContext batch;
    QFile::setPermissions(dir.root(), QFile::ReadOwner | QFile::ExeOwner);
    try {
        OutputFile output(dir.path("a.png"), "/elsewhere/a.jpg", batch);
        ADD_FAILURE() << "a folder that cannot be written takes no output";
    } catch (const Error& error) {
        EXPECT_EQ(cleanReason(error), "You do not have permission to write to the output folder");
    }
    QFile::setPermissions(dir.root(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

// A source of a batch, checked when it starts, as the driver does.
struct StartedSource {
    Scratch dir;
    QString source = dir.write("scan.tiff", "0123456789");
    CancelToken token;
    BatchState state{{source}, nullptr, &token};
    BatchContext batch{state, 0, source};
    StartedSource() { batch.checkSource(); }
};

TEST(OutputFileCommit, RefusesWhenTheSourceChangedOrTheBatchWasCancelled) {
    for (const bool cancel : {false, true}) {
        StartedSource started;
        const Scratch& dir = started.dir;
        dir.write("scan.png", "old");
        OutputFile output(dir.path("scan.png"), started.source, started.batch);
        dir.write(QDir(dir.root()).relativeFilePath(output.stagingPath()), "short");
        if (cancel) {
            started.token.cancel();
        } else {
            dir.write("scan.tiff", "01234");  // truncated in place while it converts
        }
        try {
            output.commit();
            ADD_FAILURE() << "committed";
        } catch (const Error& error) {
            EXPECT_EQ(cleanReason(error),
                      cancel ? "Cancelled" : "The file changed while it was being converted");
        }
        EXPECT_EQ(readAll(dir.path("scan.png")), "old");
    }
}

TEST(StagingCommit, PagesAppearAllTogetherOrNotAtAll) {
    Scratch dir;
    BatchContext batch;
    dir.write("doc_page2.png", "older page 2");
    const QStringList names = {dir.path("doc_page1.png"), dir.path("doc_page2.png"),
                               dir.path("doc_page3.png")};
    {
        Staging pages(dir.path("doc.png"), dir.path("doc.pdf"), batch);
        for (const QString& name : names) {
            const QString staged = pages.pathFor(name);
            // Page 3 cannot be written: nothing may appear.
            if (name != names.last()) {
                dir.write(QDir(dir.root()).relativeFilePath(staged), "page");
            }
        }
        EXPECT_THROW(pages.commit({names}), Error);
    }
    EXPECT_EQ(entries(dir.root()), QStringList{"doc_page2.png"});
    EXPECT_EQ(readAll(dir.path("doc_page2.png")), "older page 2");

    {
        Staging pages(dir.path("doc.png"), dir.path("doc.pdf"), batch);
        for (const char* name : {"doc_page1.png", "doc_page2.png"}) {
            dir.write(QDir(dir.root()).relativeFilePath(pages.pathFor(dir.path(name))), name);
        }
        EXPECT_EQ(pages.commit({{dir.path("doc_page1.png"), dir.path("doc_page2.png")}}),
                  (QStringList{dir.path("doc_page1.png"), dir.path("doc_page2.png")}));
    }
    EXPECT_EQ(entries(dir.root()), (QStringList{"doc_page1.png", "doc_page2.png"}));
    EXPECT_EQ(readAll(dir.path("doc_page2.png")), "doc_page2.png");
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
                  "The output was saved, but the original could not be deleted (No such file or "
                  "directory)");
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
