#include "engine/BatchDriver.h"
#include "engine/Converter.h"
#include "engine/OutputFile.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <stdexcept>

using namespace pivana;
using namespace pivana::test;

namespace {

// A converter that does real file work through the shared output rules: the output holds the
// target's name followed by the source's bytes.
void copyConverter(const QString& source, const QString& target, const SettingsSnapshot& settings,
                   BatchContext& batch) {
    OutputFile output(outputPath(source, target, settings), source, batch);
    QFile file(output.stagingPath());
    if (!file.open(QIODevice::WriteOnly)) {
        throw ConversionError::processFailed("cannot write");
    }
    file.write(target.toUtf8() + ":" + readAll(source));
    file.close();
    batch.reportProgress(0.5);
    output.commit();
    removeSourceIfAsked(source, settings);
}

// Writes part of its output, then fails, as a crashing encoder would.
void failingConverter(const QString& source, const QString& target,
                      const SettingsSnapshot& settings, BatchContext& batch) {
    OutputFile output(outputPath(source, target, settings), source, batch);
    QFile file(output.stagingPath());
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("partial");
    file.close();
    throw ConversionError::processFailed("pivana-test: decoder gave up\nsecond line");
}

ConverterTable tableOf(const ConverterEntry& entry) {
    ConverterTable table;
    table.image = table.gifToVideo = table.audio = table.video = table.text = table.pdf =
        table.presentation = entry;
    return table;
}

QStringList failedPaths(const ConversionResult& result) {
    QStringList paths;
    for (const FailedFile& failure : result.failed) {
        paths << failure.path;
    }
    return paths;
}

ConversionResult run(const QStringList& files, const QString& target, const ConverterTable& table,
                     const SettingsSnapshot& settings = {},
                     const BatchObserver* observer = nullptr) {
    return BatchDriver(table).convert(files, target, settings, observer);
}

}  // namespace

TEST(Driver, EmptyBatchGivesEmptyResult) {
    const ConversionResult result = run({}, "png", tableOf(copyConverter));
    EXPECT_TRUE(result.succeeded.isEmpty());
    EXPECT_TRUE(result.failed.empty());
    EXPECT_TRUE(result.outcomes.empty());
}

TEST(Driver, KeepsInputOrderAndGoesOnAfterFailures) {
    Scratch dir;
    const QString a = dir.write("a.wav", "A");
    const QString zip = dir.write("b.zip", "Z");
    const QString c = dir.write("c.wav", "C");
    const QString d = dir.write("d.wav", "D");
    ConverterTable table = tableOf(copyConverter);
    table.audio = [&](const QString& source, const QString& target, const SettingsSnapshot& s,
                      BatchContext& batch) {
        if (source == c) {
            throw ConversionError::processFailed("bad c");
        }
        copyConverter(source, target, s, batch);
    };
    const ConversionResult result = run({a, zip, c, d}, "flac", table);
    EXPECT_EQ(result.succeeded, (QStringList{a, d}));
    EXPECT_EQ(failedPaths(result), (QStringList{zip, c}));
    EXPECT_EQ(cleanReason(result.failed[0].error), "Unsupported format");
    EXPECT_EQ(cleanReason(result.failed[1].error), "bad c");
    EXPECT_EQ(readAll(dir.path("d.flac")), "flac:D");

    // One outcome per input, in input order, each with its own outputs or its own error.
    ASSERT_EQ(result.outcomes.size(), 4u);
    const QStringList expectedSources = {a, zip, c, d};
    const QStringList expectedReasons = {"", "Unsupported format", "bad c", ""};
    for (int i = 0; i < 4; ++i) {
        const FileOutcome& outcome = result.outcomes[i];
        EXPECT_EQ(outcome.source, expectedSources[i]) << i;
        EXPECT_EQ(outcome.error ? cleanReason(*outcome.error) : QString(), expectedReasons[i]) << i;
        EXPECT_EQ(outcome.succeeded(), expectedReasons[i].isEmpty()) << i;
    }
    EXPECT_EQ(result.outcomes[0].outputs, QStringList{dir.path("a.flac")});
    EXPECT_TRUE(result.outcomes[2].outputs.isEmpty());
    EXPECT_EQ(result.outcomes[3].outputs, QStringList{dir.path("d.flac")});
    EXPECT_EQ(result.writtenFiles(), (QStringList{dir.path("a.flac"), dir.path("d.flac")}));
}

TEST(Driver, EachOutcomeHoldsOnlyTheOutputsOfItsOwnFile) {
    Scratch dir;
    const QString doc = dir.write("doc.pdf", "P");
    const QString broken = dir.write("broken.pdf", "X");
    const QString single = dir.write("single.pdf", "S");
    ConverterTable table;
    // Three pages per document (one for "single"); "broken" fails after writing two, as a
    // renderer that gives up half-way would.
    table.pdf = [&](const QString& source, const QString& target, const SettingsSnapshot& s,
                    BatchContext& batch) {
        const int pages = source == single ? 1 : 3;
        for (int page = 1; page <= pages; ++page) {
            if (source == broken && page == 3) {
                throw ConversionError::processFailed("Cannot render page 3");
            }
            const QString name = QFileInfo(source).completeBaseName() +
                                 QStringLiteral("_page%1.").arg(page) + target;
            OutputFile output(QDir(outputFolder(source, s)).filePath(name), source, batch);
            QFile file(output.stagingPath());
            EXPECT_TRUE(file.open(QIODevice::WriteOnly));
            file.write("page");
            file.close();
            output.commit();
        }
    };
    const ConversionResult result = run({doc, broken, single}, "png", table);
    ASSERT_EQ(result.outcomes.size(), 3u);
    EXPECT_EQ(result.outcomes[0].outputs,
              (QStringList{dir.path("doc_page1.png"), dir.path("doc_page2.png"),
                           dir.path("doc_page3.png")}));
    EXPECT_FALSE(result.outcomes[1].succeeded());
    EXPECT_TRUE(result.outcomes[1].outputs.isEmpty())
        << "pages of a failed file are not reported as its outputs";
    EXPECT_EQ(result.outcomes[2].outputs, QStringList{dir.path("single_page1.png")});
}

TEST(Driver, ChoosesTheEntryByCategoryAndTarget) {
    Scratch dir;
    const QString gif = dir.write("anim.gif", "G");
    QStringList calls;
    ConverterTable table;
    table.image = [&](const QString&, const QString& target, const SettingsSnapshot&,
                      BatchContext&) { calls << "image:" + target; };
    table.gifToVideo = [&](const QString&, const QString& target, const SettingsSnapshot&,
                           BatchContext&) { calls << "gifToVideo:" + target; };
    for (const char* target : {"png", "mov", "mp4", "m4v", "jpg"}) {
        run({gif}, target, table);
    }
    EXPECT_EQ(calls, (QStringList{"image:png", "gifToVideo:mov", "gifToVideo:mp4", "gifToVideo:m4v",
                                  "image:jpg"}));
}

TEST(Driver, MissingConverterAndStrayExceptionsFailOnlyTheirFile) {
    Scratch dir;
    const QString pdf = dir.write("a.pdf", "P");
    const QString mp3 = dir.write("b.mp3", "M");
    ConverterTable table;  // no entries at all
    table.audio = [](const QString&, const QString&, const SettingsSnapshot&, BatchContext&) {
        throw std::runtime_error("library said no");
    };
    const ConversionResult result = run({pdf, mp3}, "png", table);
    ASSERT_EQ(result.failed.size(), 2u);
    EXPECT_EQ(cleanReason(result.failed[0].error),
              "Converting pdf files is not available in this build");
    EXPECT_EQ(cleanReason(result.failed[1].error), "library said no");
}

TEST(Driver, ReportsEachFileAndItsProgress) {
    Scratch dir;
    const QStringList files = {dir.write("a.txt", "a"), dir.write("b.txt", "b")};
    QStringList events;
    BatchObserver observer;
    observer.fileStarted = [&](int index, int count, const QString& file) {
        events << QStringLiteral("start %1/%2 %3")
                      .arg(index)
                      .arg(count)
                      .arg(QFileInfo(file).fileName());
    };
    observer.fileProgress = [&](int index, double fraction) {
        events << QStringLiteral("progress %1 %2").arg(index).arg(fraction);
    };
    run(files, "md", tableOf(copyConverter), {}, &observer);
    EXPECT_EQ(events, (QStringList{"start 0/2 a.txt", "progress 0 0.5", "start 1/2 b.txt",
                                   "progress 1 0.5"}));
}

TEST(Driver, RunsOffTheCallingThreadAndOutlivesTheDriverThatStartedIt) {
    Scratch dir;
    const QString file = dir.write("a.txt", "t");
    const QThread* caller = QThread::currentThread();
    const QThread* worker = nullptr;
    BatchObserver observer;
    observer.fileStarted = [&](int, int, const QString&) { worker = QThread::currentThread(); };
    const ConverterTable table = tableOf(copyConverter);
    QFuture<ConversionResult> future;
    {
        const BatchDriver driver(table);
        future = driver.convertInBackground({file}, "md", {}, &observer);
    }
    future.waitForFinished();
    EXPECT_NE(worker, nullptr);
    EXPECT_NE(worker, caller);
    EXPECT_EQ(future.result().succeeded, QStringList{file});
}

// Outputs and sources: nothing the user owns is lost.

TEST(DriverSafety, SameBaseNameTwiceNeverOverwritesTheEarlierOutput) {
    Scratch dir;
    const QString mov = dir.write("clip.mov", "first");
    const QString m4v = dir.write("clip.m4v", "second");
    SettingsSnapshot settings;
    settings.replaceOriginal = true;
    const ConversionResult result = run({mov, m4v}, "mp4", tableOf(copyConverter), settings);
    EXPECT_EQ(result.succeeded, QStringList{mov});
    ASSERT_EQ(failedPaths(result), QStringList{m4v});
    EXPECT_EQ(cleanReason(result.failed[0].error),
              "clip.mp4 was already written by an earlier file of this batch");
    EXPECT_EQ(readAll(dir.path("clip.mp4")), "mp4:first");
    EXPECT_TRUE(exists(m4v)) << "the later source must be kept";
    EXPECT_EQ(entries(dir.root()), (QStringList{"clip.m4v", "clip.mp4"}));
}

TEST(DriverSafety, AnOutputFromBeforeTheBatchIsReplaced) {
    Scratch dir;
    const QString mov = dir.write("a.mov", "new");
    dir.write("a.mp4", "old");
    const ConversionResult result = run({mov}, "mp4", tableOf(copyConverter));
    EXPECT_EQ(result.succeeded, QStringList{mov});
    EXPECT_EQ(readAll(dir.path("a.mp4")), "mp4:new");
}

TEST(DriverSafety, OutputThatWouldBeTheSourceIsRefusedAndTouchesNothing) {
    Scratch dir;
    const QString png = dir.write("a.png", "PIXELS");
    // photo.png is only another name for photo.jpg: its jpg output is the source itself.
    const QString jpg = dir.write("photo.jpg", "JPEG");
    const QString alias = dir.path("photo.png");
    ASSERT_TRUE(QFile::link(jpg, alias));
    SettingsSnapshot settings;
    settings.replaceOriginal = true;

    const ConversionResult same = run({png}, "png", tableOf(copyConverter), settings);
    const ConversionResult viaLink = run({alias}, "jpg", tableOf(copyConverter), settings);
    for (const ConversionResult* outcome : {&same, &viaLink}) {
        ASSERT_EQ(outcome->failed.size(), 1u);
        EXPECT_EQ(cleanReason(outcome->failed[0].error),
                  "The output would overwrite the source file itself");
    }
    EXPECT_EQ(readAll(png), "PIXELS");
    EXPECT_EQ(readAll(jpg), "JPEG");
}

TEST(DriverSafety, FailedConversionLeavesNoPartialFileAndKeepsEverything) {
    Scratch dir;
    const QString source = dir.write("song.wav", "PCM");
    dir.write("song.flac", "precious older output");
    SettingsSnapshot settings;
    settings.replaceOriginal = true;
    const ConversionResult result = run({source}, "flac", tableOf(failingConverter), settings);
    ASSERT_EQ(result.failed.size(), 1u);
    EXPECT_EQ(cleanReason(result.failed[0].error), "pivana-test: decoder gave up");
    EXPECT_EQ(readAll(source), "PCM");
    EXPECT_EQ(readAll(dir.path("song.flac")), "precious older output");
    EXPECT_EQ(entries(dir.root()), (QStringList{"song.flac", "song.wav"}))
        << "no staging file left";
}

TEST(DriverSafety, ReplaceOriginalDeletesOnlyAfterSuccess) {
    Scratch dir;
    const QString source = dir.write("a.txt", "text");
    SettingsSnapshot settings;
    settings.replaceOriginal = true;
    const ConversionResult result = run({source}, "md", tableOf(copyConverter), settings);
    EXPECT_EQ(result.succeeded, QStringList{source});
    EXPECT_FALSE(exists(source));
    EXPECT_EQ(readAll(dir.path("a.md")), "md:text");
}

TEST(DriverSafety, CustomModeWithoutFolderWritesBesideTheSource) {
    Scratch dir;
    const QString source = dir.write("sub/a.txt", "t");
    SettingsSnapshot settings;
    settings.outputFolderMode = OutputFolderMode::Custom;
    run({source}, "rtf", tableOf(copyConverter), settings);
    EXPECT_TRUE(exists(dir.path("sub/a.rtf")));
}
