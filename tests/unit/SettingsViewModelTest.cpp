#include "settings/LaunchAtLogin.h"
#include "settings/Settings.h"
#include "support/TestSupport.h"
#include "ui/Scheduler.h"
#include "ui/SettingsViewModel.h"

#include <gtest/gtest.h>

#include <QDir>

#include <vector>

using namespace pivana;
using namespace pivana::test;

namespace {

class QueuedScheduler : public Scheduler {
public:
    std::vector<std::function<void()>> queued;
    void after(int, std::function<void()> work) override { queued.push_back(std::move(work)); }
    void runAll() {
        auto work = std::move(queued);
        queued.clear();
        for (auto& item : work) {
            item();
        }
    }
};

struct SettingsScreen : testing::Test {
    Scratch dir;
    Settings settings{dir.path("pivana.conf")};
    LaunchAtLogin autostart{dir.path("config")};
    QueuedScheduler scheduler;
    QString chosenFolder;
    bool confirm = false;
    int confirmations = 0;
    SettingsViewModel model{settings, autostart, scheduler, makeHooks()};

    SettingsHooks makeHooks() {
        SettingsHooks hooks;
        hooks.chooseFolder = [this] { return chosenFolder; };
        hooks.confirmReplace = [this] {
            ++confirmations;
            return confirm;
        };
        hooks.program = "/usr/bin/pivana";
        return hooks;
    }
};

}  // namespace

TEST_F(SettingsScreen, FolderLabelAndWarningForEveryModeAndState) {
    model.appeared();
    EXPECT_EQ(model.outputFolderLabel(), "Same as source");
    settings.setOutputFolderMode(OutputFolderMode::Custom);
    EXPECT_EQ(model.outputFolderLabel(), "Same as source") << "custom but never chosen";
    EXPECT_FALSE(model.isCustomFolderMissing());

    const QString folder = dir.path("Converted");
    QDir().mkpath(folder);
    chosenFolder = folder;
    model.useSameAsSource();
    model.chooseFolder();
    EXPECT_EQ(model.outputFolderLabel(), "Converted");
    EXPECT_EQ(settings.outputFolderMode(), OutputFolderMode::Custom);

    QDir(folder).removeRecursively();
    model.appeared();  // the screen reads the folder afresh when it opens
    EXPECT_EQ(model.outputFolderLabel(), "Folder missing");
    EXPECT_TRUE(model.isCustomFolderMissing());

    model.useSameAsSource();
    EXPECT_EQ(model.outputFolderLabel(), "Same as source");
    EXPECT_FALSE(model.isCustomFolderMissing()) << "no warning while the mode is same as source";

    QDir().mkpath(folder);  // it comes back
    settings.setOutputFolderMode(OutputFolderMode::Custom);
    model.appeared();
    EXPECT_EQ(model.outputFolderLabel(), "Converted");

    chosenFolder.clear();  // a cancelled chooser changes nothing
    model.chooseFolder();
    EXPECT_EQ(model.outputFolderLabel(), "Converted");
}

TEST_F(SettingsScreen, ReplaceOriginalAsksBeforeSwitchingOn) {
    model.requestReplaceOriginal(true);
    EXPECT_EQ(confirmations, 1);
    EXPECT_FALSE(settings.replaceOriginal()) << "cancelled";
    confirm = true;
    model.requestReplaceOriginal(true);
    EXPECT_TRUE(settings.replaceOriginal());
    model.requestReplaceOriginal(false);
    EXPECT_FALSE(settings.replaceOriginal());
    EXPECT_EQ(confirmations, 2) << "switching off never asks";
}

TEST_F(SettingsScreen, QualityAndBitRateAreStoredAsTheyCome) {
    EXPECT_EQ(model.jpgQualityText(), "85%");
    model.setJpgQuality(99.7);
    EXPECT_EQ(settings.jpgQuality(), 99.7);
    EXPECT_EQ(model.jpgQualityText(), "99%");
    model.setJpgQuality(10.0);
    EXPECT_EQ(model.jpgQualityText(), "10%");

    // The picker shows the offered rates and stores the one picked.
    EXPECT_EQ(SettingsViewModel::bitrateLabels(),
              (QStringList{"96 kbps", "128 kbps", "192 kbps", "256 kbps", "320 kbps"}));
    EXPECT_EQ(model.bitrateIndex(), 2) << "192 kbps by default";
    model.setBitrateIndex(4);
    EXPECT_EQ(Settings(dir.path("pivana.conf")).audioBitrate(), 320);
    model.setBitrateIndex(5);
    EXPECT_EQ(settings.audioBitrate(), 320) << "no rate past the list";
    settings.setAudioBitrate(160);
    EXPECT_EQ(model.bitrateIndex(), -1) << "a rate written elsewhere selects nothing";
}

TEST_F(SettingsScreen, LaunchAtLoginMirrorsTheAutostartEntry) {
    model.appeared();
    EXPECT_FALSE(model.launchAtLogin());
    model.requestLaunchAtLogin(true);
    EXPECT_TRUE(model.launchBusy());
    model.requestLaunchAtLogin(false);  // ignored while busy
    scheduler.runAll();
    EXPECT_FALSE(model.launchBusy());
    EXPECT_TRUE(model.launchAtLogin());
    EXPECT_TRUE(autostart.isEnabled());
    EXPECT_TRUE(readAll(autostart.entryPath()).contains("Exec=/usr/bin/pivana\n"));

    // An entry hidden by the desktop's own settings counts as off.
    dir.write("config/autostart/io.pivana.Pivana.desktop",
              "[Desktop Entry]\nExec=pivana\nHidden=true\n");
    model.appeared();
    EXPECT_FALSE(model.launchAtLogin());

    model.requestLaunchAtLogin(false);
    scheduler.runAll();
    EXPECT_FALSE(exists(autostart.entryPath()));
}

TEST_F(SettingsScreen, FailedAutostartWriteFallsBackToTheRealState) {
    // The autostart folder cannot be made: a file stands in its place.
    dir.write("config/autostart", "not a folder");
    model.requestLaunchAtLogin(true);
    scheduler.runAll();
    EXPECT_FALSE(model.launchBusy());
    EXPECT_FALSE(model.launchAtLogin());
}
