// What a batch promises about the user's files, whatever its converters do: no source is lost,
// no success without an output, and nothing but regular files is read.
#include "engine/BatchDriver.h"
#include "engine/OutputFile.h"
#include "support/FakeConverters.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QUrl>

using namespace pivana;
using namespace pivana::test;

namespace {

ConversionResult run(const QStringList& files, const QString& target, const ConverterTable& table,
                     const SettingsSnapshot& settings = {}) {
    return BatchDriver(table, 2).convert(files, target, settings);
}

SettingsSnapshot replacingOriginals() {
    SettingsSnapshot settings;
    settings.replaceOriginal = true;
    return settings;
}

// Writes part of its output, then fails, as a crashing encoder would.
Written failingConverter(const ConversionJob& job) {
    writeFile(job.output.path(), "partial");
    throw ConversionError::processFailed("pivana-test: decoder gave up\nsecond line");
}

}  // namespace

TEST(NeverLoseASource, AnOutputThatWouldBeAnotherSourceOfTheBatchIsRefused) {
    for (const bool replace : {false, true}) {
        Scratch dir;
        const QString jpg = dir.write("a.jpg", "JPEG");
        const QString png = dir.write("a.png", "PNG");
        const ConversionResult result = run({jpg, png}, "png", tableOf(copyConverter),
                                            replace ? replacingOriginals() : SettingsSnapshot());
        EXPECT_EQ(reasons(result),
                  (QStringList{"Converting it would overwrite a.png, another file of this batch",
                               "The output would overwrite the source file itself"}));
        EXPECT_EQ(readAll(jpg), "JPEG");
        EXPECT_EQ(readAll(png), "PNG");
        EXPECT_EQ(entries(dir.root()), (QStringList{"a.jpg", "a.png"}));
    }
}

TEST(NeverLoseASource, AFileWhoseOutputAnEarlierFileMakesWaitsForItAndKeepsItsSource) {
    Scratch dir;
    const QString png = dir.write("a.png", "first");
    const QString jpg = dir.write("a.jpg", "second");
    const QString other = dir.write("b.png", "b");
    const ConversionResult result =
        run({png, jpg, other}, "tiff", tableOf(copyConverter), replacingOriginals());
    EXPECT_EQ(reasons(result),
              (QStringList{"", "a.tiff was already written by an earlier file of this batch", ""}));
    EXPECT_EQ(readAll(dir.path("a.tiff")), "tiff:first");
    EXPECT_EQ(readAll(jpg), "second");
    EXPECT_EQ(entries(dir.root()), (QStringList{"a.jpg", "a.tiff", "b.tiff"}));
}

TEST(NeverLoseASource, WhenTheEarlierFileFailsTheLaterOneConverts) {
    Scratch dir;
    const QString mov = dir.write("clip.mov", "broken");
    const QString m4v = dir.write("clip.m4v", "fine");
    ConverterTable table = tableOf(copyConverter);
    table.video = [&](const ConversionJob& job) {
        return job.source == mov ? failingConverter(job) : copyConverter(job);
    };
    const ConversionResult result = run({mov, m4v}, "mp4", table);
    EXPECT_EQ(reasons(result), (QStringList{"pivana-test: decoder gave up", ""}));
    EXPECT_EQ(readAll(dir.path("clip.mp4")), "mp4:fine");
}

TEST(NeverLoseASource, OutputThatWouldBeTheSourceItselfTouchesNothing) {
    Scratch dir;
    // photo.png is only another name for photo.jpg: its jpg output is the source itself.
    const QString jpg = dir.write("photo.jpg", "JPEG");
    const QString alias = dir.path("photo.png");
    ASSERT_TRUE(QFile::link(jpg, alias));
    const ConversionResult result =
        run({alias}, "jpg", tableOf(copyConverter), replacingOriginals());
    EXPECT_EQ(reasons(result), QStringList{"The output would overwrite the source file itself"});
    EXPECT_EQ(readAll(jpg), "JPEG");
}

TEST(NeverLoseASource, AFailureLeavesTheSourceTheOldOutputAndNoPartialFile) {
    Scratch dir;
    const QString source = dir.write("song.wav", "PCM");
    dir.write("song.flac", "precious older output");
    const ConversionResult result =
        run({source}, "flac", tableOf(failingConverter), replacingOriginals());
    EXPECT_EQ(reasons(result), QStringList{"pivana-test: decoder gave up"});
    EXPECT_EQ(readAll(source), "PCM");
    EXPECT_EQ(readAll(dir.path("song.flac")), "precious older output");
    EXPECT_EQ(entries(dir.root()), (QStringList{"song.flac", "song.wav"}));
}

TEST(NeverLoseASource, ReplaceOriginalDeletesOnlyAfterSuccessAndReplacesOlderOutputs) {
    Scratch dir;
    const QString source = dir.write("a.txt", "text");
    dir.write("a.md", "from before the batch");
    const ConversionResult result =
        run({source}, "md", tableOf(copyConverter), replacingOriginals());
    EXPECT_EQ(result.succeeded, QStringList{source});
    EXPECT_FALSE(exists(source));
    EXPECT_EQ(readAll(dir.path("a.md")), "md:text");
}

TEST(NeverLoseASource, AnOlderFileThatAnOutputReplacesGoesToTheTrash) {
    Scratch dir;
    const QByteArray dataHome = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", QFile::encodeName(dir.path("data")));
    const QString photo = dir.write("my photo.jpg", "JPEG");
    dir.write("my photo.tiff", "precious");
    const ConversionResult first = run({photo}, "tiff", tableOf(copyConverter));
    dir.write("my photo.tiff", "precious too");
    const ConversionResult second =
        run({photo}, "tiff", tableOf(copyConverter), replacingOriginals());
    qputenv("XDG_DATA_HOME", dataHome);

    EXPECT_EQ(readAll(dir.path("my photo.tiff")), "tiff:JPEG");
    EXPECT_EQ(first.outcomes[0].replaced, QStringList{dir.path("my photo.tiff")});
    EXPECT_EQ(second.outcomes[0].replaced, QStringList{dir.path("my photo.tiff")});
    const QString trash = dir.path("data/Trash");
    EXPECT_EQ(readAll(trash + "/files/my photo.tiff"), "precious");
    EXPECT_EQ(readAll(trash + "/files/my photo (2).tiff"), "precious too");
    const QByteArray record = readAll(trash + "/info/my photo.tiff.trashinfo");
    EXPECT_TRUE(record.startsWith(
        "[Trash Info]\nPath=" + QUrl::toPercentEncoding(dir.path("my photo.tiff"), "/") +
        "\nDeletionDate="))
        << record.toStdString();
    EXPECT_FALSE(exists(photo)) << "Replace original still deletes the source for good";
    EXPECT_EQ(entries(trash + "/files"), (QStringList{"my photo (2).tiff", "my photo.tiff"}));
}

TEST(NoSuccessWithoutOutput, AConverterThatWritesNothingOrNamesWhatItDidNotWriteFails) {
    Scratch dir;
    const QString source = dir.write("a.wav", "PCM");
    const ConverterEntry converters[] = {
        [](const ConversionJob&) { return Written{}; },
        // Says it wrote the output without ever asking where to.
        [](const ConversionJob& job) { return job.output.written(); },
        // Stages its output but names another file.
        [&](const ConversionJob& job) {
            writeFile(job.output.path(), "flac");
            return Written{{dir.path("elsewhere.flac")}};
        },
        // Asks where to write, and writes nothing there.
        [](const ConversionJob& job) {
            job.output.path();
            return job.output.written();
        },
    };
    for (const ConverterEntry& converter : converters) {
        const ConversionResult result =
            run({source}, "flac", tableOf(converter), replacingOriginals());
        EXPECT_EQ(reasons(result), QStringList{"The conversion produced no output"});
        EXPECT_EQ(entries(dir.root()), QStringList{"a.wav"}) << "the source stays, nothing stray";
    }
}

TEST(NoSuccessWithoutOutput, ASourceChangedWhileItConvertsFails) {
    Scratch dir;
    const QString source = dir.write("long.wav", "a long recording");
    dir.write("long.flac", "older output");
    ConverterTable table = tableOf([&](const ConversionJob& job) {
        dir.write("long.wav", "a long");  // truncated in place while it converts
        writeFile(job.output.path(), "short output");
        return job.output.written();
    });
    const ConversionResult result = run({source}, "flac", table, replacingOriginals());
    EXPECT_EQ(reasons(result), QStringList{"The file changed while it was being converted"});
    EXPECT_EQ(readAll(dir.path("long.flac")), "older output");
    EXPECT_TRUE(exists(source));
}

TEST(InputsThatAreNotFiles, FailAtOnceWithoutReachingAConverter) {
    Scratch dir;
    const QString fifo = dir.path("x.wav");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString zero = dir.path("endless.txt");
    ASSERT_TRUE(QFile::link("/dev/zero", zero));
    QDir().mkpath(dir.path("album.png"));
    const QString missing = dir.path("gone.mp3");
    const QString real = dir.write("real.wav", "PCM");
    QStringList converted;
    const ConversionResult result = run({fifo, zero, dir.path("album.png"), missing, real}, "flac",
                                        tableOf([&](const ConversionJob& job) {
                                            converted << job.source;
                                            return copyConverter(job);
                                        }));
    EXPECT_EQ(reasons(result),
              (QStringList{"It is not a regular file", "It is not a regular file",
                           "It is a folder, not a file", "The file does not exist", ""}));
    EXPECT_EQ(converted, QStringList{real});
}
