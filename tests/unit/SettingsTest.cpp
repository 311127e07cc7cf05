#include "settings/FolderReference.h"
#include "settings/Settings.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QSettings>

using namespace pivana;
using namespace pivana::test;

namespace {

using Kind = CustomFolderResolution::Kind;

struct SettingsFixture : testing::Test {
    Scratch dir;
    QString file = dir.path("pivana.conf");

    // Writes raw values the way an older version or a hand edit might have left them.
    void store(const QString& key, const QVariant& value) {
        QSettings raw(file, QSettings::IniFormat);
        raw.setValue(key, value);
    }
};

}  // namespace

TEST_F(SettingsFixture, EmptyStoreGivesTheDefaults) {
    Settings settings(file);
    EXPECT_EQ(settings.outputFolderMode(), OutputFolderMode::SameAsSource);
    EXPECT_TRUE(settings.customOutputFolderBookmark().isEmpty());
    EXPECT_FALSE(settings.replaceOriginal());
    EXPECT_EQ(settings.jpgQuality(), 85.0);
    EXPECT_EQ(settings.audioBitrate(), 192);
    EXPECT_EQ(settings.customFolderState().kind, Kind::Unset);
    const SettingsSnapshot snapshot = settings.snapshot();
    EXPECT_FALSE(snapshot.customOutputFolder.has_value());
    EXPECT_EQ(snapshot.jpgQuality, 85.0);
}

TEST_F(SettingsFixture, ValuesSurviveARestartWithTheirRawTexts) {
    {
        Settings settings(file);
        settings.setOutputFolderMode(OutputFolderMode::Custom);
        settings.setReplaceOriginal(true);
        settings.setJpgQuality(72.9);
        settings.setAudioBitrate(320);
    }
    EXPECT_EQ(QSettings(file, QSettings::IniFormat).value("outputFolderMode").toString(),
              "Custom folder");
    Settings reopened(file);
    EXPECT_EQ(reopened.outputFolderMode(), OutputFolderMode::Custom);
    EXPECT_TRUE(reopened.replaceOriginal());
    EXPECT_EQ(reopened.jpgQuality(), 72.9);
    EXPECT_EQ(reopened.audioBitrate(), 320);
}

TEST_F(SettingsFixture, UnknownModeTextReadsAsSameAsSource) {
    store("outputFolderMode", "Somewhere else");
    EXPECT_EQ(Settings(file).outputFolderMode(), OutputFolderMode::SameAsSource);
    store("outputFolderMode", "Same as source");
    EXPECT_EQ(Settings(file).outputFolderMode(), OutputFolderMode::SameAsSource);
}

TEST_F(SettingsFixture, FolderReferenceStates) {
    const QString folder = dir.path("Converted");
    QDir().mkpath(folder);
    Settings settings(file);

    settings.setCustomOutputFolderBookmark(QByteArray());
    EXPECT_EQ(settings.resolveCustomOutputFolder().kind, Kind::Unset) << "zero bytes is unset";

    settings.setCustomOutputFolderBookmark("not a reference");
    EXPECT_EQ(settings.resolveCustomOutputFolder().kind, Kind::Missing);

    ASSERT_TRUE(settings.chooseCustomFolder(folder));
    EXPECT_EQ(settings.outputFolderMode(), OutputFolderMode::Custom);
    EXPECT_EQ(settings.customFolderState(), CustomFolderResolution::ok(folder));

    // Deleted, then a regular file in its place: missing both times.
    ASSERT_TRUE(QDir(folder).removeRecursively());
    EXPECT_EQ(settings.resolveCustomOutputFolder().kind, Kind::Missing);
    dir.write("Converted", "a file now");
    EXPECT_EQ(settings.resolveCustomOutputFolder().kind, Kind::Missing);
    EXPECT_FALSE(settings.snapshot().customOutputFolder.has_value());
}

TEST_F(SettingsFixture, StaleReferenceResolvesAndIsRewritten) {
    const QString folder = dir.path("Out");
    QDir().mkpath(folder);
    Settings settings(file);
    ASSERT_TRUE(settings.chooseCustomFolder(folder));
    const QByteArray before = settings.customOutputFolderBookmark();

    // The folder is replaced by a new one of the same name (restored from a backup, say). The
    // old one lives on elsewhere until then, so the new one cannot get its inode.
    ASSERT_TRUE(QDir().rename(folder, dir.path("Out.old")));
    QDir().mkpath(folder);
    QDir(dir.path("Out.old")).removeRecursively();

    EXPECT_EQ(settings.resolveCustomOutputFolder(), CustomFolderResolution::ok(folder));
    const QByteArray after = settings.customOutputFolderBookmark();
    EXPECT_NE(before, after);
    const auto fresh = FolderReference::fromBytes(after);
    ASSERT_TRUE(fresh);
    EXPECT_FALSE(fresh->resolve().stale);
}

TEST_F(SettingsFixture, SnapshotCarriesTheFolderWhateverTheMode) {
    const QString folder = dir.path("Out");
    QDir().mkpath(folder);
    Settings settings(file);
    ASSERT_TRUE(settings.chooseCustomFolder(folder));
    settings.setOutputFolderMode(OutputFolderMode::SameAsSource);
    const SettingsSnapshot snapshot = settings.snapshot();
    EXPECT_EQ(snapshot.outputFolderMode, OutputFolderMode::SameAsSource);
    EXPECT_EQ(snapshot.customOutputFolder, folder);
}

TEST_F(SettingsFixture, RefreshAnnouncesOnlyChanges) {
    const QString folder = dir.path("Out");
    QDir().mkpath(folder);
    Settings settings(file);
    ASSERT_TRUE(settings.chooseCustomFolder(folder));
    int announcements = 0;
    QObject::connect(&settings, &Settings::customFolderStateChanged, [&] { ++announcements; });

    settings.refreshCustomFolderState();
    EXPECT_EQ(announcements, 0);
    QDir(folder).removeRecursively();
    settings.refreshCustomFolderState();
    settings.refreshCustomFolderState();
    EXPECT_EQ(announcements, 1);
    EXPECT_EQ(settings.customFolderState().kind, Kind::Missing);
    QDir().mkpath(folder);  // it comes back
    settings.refreshCustomFolderState();
    EXPECT_EQ(announcements, 2);
    EXPECT_EQ(settings.customFolderState(), CustomFolderResolution::ok(folder));
}

TEST_F(SettingsFixture, ChoosingSomethingThatIsNotAFolderChangesNothing) {
    Settings settings(file);
    EXPECT_FALSE(settings.chooseCustomFolder(dir.write("file.txt", "x")));
    EXPECT_FALSE(settings.chooseCustomFolder(dir.path("nowhere")));
    EXPECT_EQ(settings.outputFolderMode(), OutputFolderMode::SameAsSource);
    EXPECT_TRUE(settings.customOutputFolderBookmark().isEmpty());
}

TEST_F(SettingsFixture, UnusableStoredNumbersReadAsTheDefaults) {
    for (const char* quality : {"nan", "inf", "-inf", "high"}) {
        store("jpgQuality", quality);
        EXPECT_EQ(Settings(file).jpgQuality(), 85.0) << quality;
    }
    store("audioBitrate", "loud");
    EXPECT_EQ(Settings(file).audioBitrate(), 192);
    // The store does not clamp: a number it can use is returned as stored.
    store("jpgQuality", 150.5);
    EXPECT_EQ(Settings(file).jpgQuality(), 150.5);
}

TEST_F(SettingsFixture, OnlyAMissingCustomFolderStopsAConversion) {
    const QString folder = dir.path("Out");
    Settings settings(file);
    settings.setOutputFolderMode(OutputFolderMode::Custom);
    EXPECT_EQ(settings.outputFolderProblem(), std::nullopt) << "never chosen: beside the sources";

    QDir().mkpath(folder);
    ASSERT_TRUE(settings.chooseCustomFolder(folder));
    EXPECT_EQ(settings.outputFolderProblem(), std::nullopt);

    // Deleted since the state was last computed: the check looks afresh.
    QDir(folder).removeRecursively();
    EXPECT_EQ(settings.outputFolderProblem(),
              "Output folder is missing. Open Settings to pick a new one.");
    EXPECT_EQ(settings.customFolderState().kind, Kind::Missing);

    settings.setOutputFolderMode(OutputFolderMode::SameAsSource);
    EXPECT_EQ(settings.outputFolderProblem(), std::nullopt);
}
