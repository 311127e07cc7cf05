#include "settings/Settings.h"
#include "support/ManualScheduler.h"
#include "support/TestSupport.h"
#include "ui/AppState.h"
#include "ui/PopoverViewModel.h"

#include <gtest/gtest.h>

#include <QDir>

#include <map>

using namespace pivana;
using namespace pivana::test;

namespace {

// Holds each batch until the test finishes it.
class HeldRunner : public BatchRunner {
public:
    struct Call {
        QStringList files;
        QString format;
        SettingsSnapshot settings;
        Callbacks callbacks;
    };
    std::vector<Call> calls;
    int cancels = 0;
    void start(const QStringList& files, const QString& format, const SettingsSnapshot& settings,
               Callbacks callbacks) override {
        calls.push_back({files, format, settings, std::move(callbacks)});
    }
    void cancel() override { ++cancels; }
    void finish(const QStringList& succeeded, const QStringList& failed,
                const QString& reason = "Cannot rasterise SVG", const QStringList& cancelled = {}) {
        ConversionResult result;
        for (const QString& source : succeeded) {
            result.addSuccess(
                source, {QFileInfo(source).path() + "/" + QFileInfo(source).completeBaseName() +
                         "." + calls.back().format});
        }
        for (const QString& source : failed) {
            result.addFailure(source, ConversionError::processFailed(reason));
        }
        for (const QString& source : cancelled) {
            result.addFailure(source, ConversionError::cancelled());
        }
        calls.back().callbacks.finished(result);
    }
};

class RecordingServices : public DesktopServices {
public:
    bool authorized = true;
    QStringList posted;
    QStringList revealed;
    bool notificationsAuthorized() override { return authorized; }
    void postNotification(const QString& title, const QString& body, const QStringList&) override {
        posted << title + " | " + body;
    }
    void revealFiles(const QStringList& files) override { revealed << files; }
};

struct Popover : testing::Test {
    Scratch dir;
    RecordingServices services;
    AppState appState{services};
    Settings settings{dir.path("pivana.conf")};
    ManualScheduler clock;
    HeldRunner runner;
    QStringList hooks;
    QStringList browseAnswer;
    PopoverViewModel model{appState, settings, runner, clock, makeHooks()};

    PanelHooks makeHooks() {
        PanelHooks panel;
        panel.close = [this] { hooks << "close"; };
        panel.setDismissSuppressed = [this](bool on) { hooks << (on ? "suppress" : "release"); };
        panel.browseForFiles = [this] {
            hooks << "browse";
            return browseAnswer;
        };
        panel.quit = [this] { hooks << "quit"; };
        return panel;
    }

    void pick(const QStringList& files) {
        model.handleFiles(files);
        clock.advance(PopoverViewModel::chipFadeDelayMs);
    }

    // The footer as the view draws it: "icon label" per row.
    QStringList footer() const {
        QStringList rows;
        for (const FooterAction* row : model.footer()) {
            rows << row->icon() + " " + row->label();
        }
        return rows;
    }

    void clickFooter(const QString& label) {
        for (FooterAction* row : model.footer()) {
            if (row->label() == label) {
                row->trigger();
                return;
            }
        }
        ADD_FAILURE() << "no footer row " << label;
    }
};

}  // namespace

TEST_F(Popover, BatchWithTargetsOffersChipsThatFadeIn) {
    model.handleFiles({});
    EXPECT_EQ(model.state(), PopoverViewModel::State::Idle);

    model.handleFiles({"/p/a.jpg", "/p/b.png"});
    EXPECT_EQ(model.state(), PopoverViewModel::State::PickFormat);
    EXPECT_EQ(model.targets(),
              (QStringList{"heic", "avif", "exr", "tiff", "gif", "bmp", "psd", "webp", "pdf"}));
    EXPECT_EQ(model.fileLabel(), "2 files");
    EXPECT_TRUE(model.isDropping());
    clock.advance(449);
    EXPECT_TRUE(model.isDropping());
    clock.advance(1);
    EXPECT_FALSE(model.isDropping());
}

TEST_F(Popover, BatchWithoutTargetsShowsAMessageForFourSeconds) {
    pick({"/p/a.png"});
    model.handleFiles({"/p/notes.zip"});
    EXPECT_EQ(model.transientError(), "No supported conversion for this file.");
    EXPECT_EQ(services.posted, QStringList{"Pivana | No supported conversion for this file."});
    EXPECT_EQ(model.state(), PopoverViewModel::State::PickFormat) << "the earlier batch stays";

    clock.advance(2000);
    model.handleFiles({"/p/a.gif", "/p/b.png"});
    EXPECT_EQ(model.transientError(), "All files must be the same type.");
    // The first message's clearing removes the second one too, 2 s after it appeared.
    clock.advance(2000);
    EXPECT_EQ(model.transientError(), "");
}

TEST_F(Popover, TappingTheDropZoneFirstOnlyDismissesTheMessage) {
    model.handleFiles({"/p/notes.zip"});
    browseAnswer = {"/p/x.heic"};
    model.tapDropZone();
    EXPECT_EQ(model.transientError(), "");
    EXPECT_TRUE(hooks.isEmpty());
    model.tapDropZone();
    EXPECT_EQ(hooks, (QStringList{"suppress", "browse", "release"}));
    EXPECT_EQ(model.state(), PopoverViewModel::State::PickFormat);
    EXPECT_EQ(model.fileLabel(), "x.heic");
}

TEST_F(Popover, SuccessfulBatchEndsDoneAndNotifies) {
    appState.setPanelVisible(true);
    pick({"/p/a.heic", "/p/b.heic", "/p/c.heic"});
    model.tapChip("png");
    ASSERT_EQ(runner.calls.size(), 1u);
    EXPECT_EQ(runner.calls[0].format, "png");
    EXPECT_TRUE(model.isConverting());
    EXPECT_EQ(model.inFlightFormat(), "png");
    model.tapChip("jpg");
    EXPECT_EQ(runner.calls.size(), 1u) << "chips are ignored while converting";

    int targetLists = 0;
    QObject::connect(&model, &PopoverViewModel::targetsChanged, [&] { ++targetLists; });
    runner.calls[0].callbacks.fileStarted(1, 3, "/p/b.heic");
    runner.calls[0].callbacks.fileProgress(0.5);
    EXPECT_EQ(targetLists, 0) << "progress must not hand the view a new chip list";
    // The file being converted takes the batch's line: no line is added, no name shown twice.
    EXPECT_EQ(model.headline(), QString::fromUtf8("Converting 2 of 3 · b.heic"));
    // Only the name may be cut short on screen: the count stays whole.
    EXPECT_EQ(model.progressPrefix(), QString::fromUtf8("Converting 2 of 3 · "));
    EXPECT_EQ(model.progressFile(), "b.heic");
    EXPECT_EQ(model.detail(), "");

    runner.finish({"/p/a.heic", "/p/b.heic", "/p/c.heic"}, {});
    EXPECT_EQ(model.state(), PopoverViewModel::State::Done);
    EXPECT_FALSE(model.isConverting());
    EXPECT_EQ(model.inFlightFormat(), "");
    EXPECT_EQ(model.doneTitle(), "Converted to PNG");
    EXPECT_EQ(model.savedLine(), "saved to p");
    EXPECT_EQ(model.failureHeadline(), "");
    EXPECT_EQ(services.posted,
              QStringList{QString::fromUtf8("Converted | 3 files → a.png, b.png, c.png")});
}

TEST_F(Popover, PartialBatchSummarisesItsFailures) {
    pick({"/p/a.png", "/p/b.png", "/p/logo.svg", "/p/d.png", "/p/e.png"});
    model.tapChip("jpg");
    runner.finish({"/p/a.png", "/p/b.png"}, {"/p/logo.svg", "/p/d.png", "/p/e.png"});
    EXPECT_EQ(model.doneTitle(), "Converted 2 of 5 to JPG");
    EXPECT_EQ(model.failureHeadline(), "3 files couldn't convert");
    EXPECT_EQ(model.failureDetail(),
              "logo.svg: Cannot rasterise SVG\nd.png: Cannot rasterise SVG\n"
              "e.png: Cannot rasterise SVG")
        << "each failed file with its reason";
    EXPECT_EQ(
        services.posted,
        QStringList{QString::fromUtf8(
            "Partially converted | 2 of 5 succeeded · logo.svg: Cannot rasterise SVG (+2 more)")});

    pick({"/p/a.png", "/p/logo.svg"});
    model.tapChip("jpg");
    runner.finish({"/p/a.png"}, {"/p/logo.svg"});
    EXPECT_EQ(model.failureHeadline(), "couldn't convert logo.svg");
}

TEST_F(Popover, BatchThatFailsEntirelyGoesBackToIdle) {
    appState.setPanelVisible(true);
    pick({"/p/x.svg"});
    model.tapChip("png");
    runner.finish({}, {"/p/x.svg"});
    EXPECT_EQ(model.state(), PopoverViewModel::State::Idle);
    EXPECT_EQ(model.transientError(), "Conversion failed. x.svg: Cannot rasterise SVG");
    EXPECT_EQ(services.posted, QStringList{"Conversion failed | x.svg: Cannot rasterise SVG"});
    EXPECT_FALSE(model.isConverting());
}

TEST_F(Popover, WithoutNotificationsOutputsAreShownOnlyWhenThePanelIsClosed) {
    services.authorized = false;
    pick({"/p/a.png", "/p/b.png"});
    model.tapChip("jpg");
    appState.setPanelVisible(false);
    runner.finish({"/p/a.png", "/p/b.png"}, {});
    EXPECT_TRUE(services.posted.isEmpty());
    EXPECT_EQ(services.revealed, (QStringList{"/p/a.jpg", "/p/b.jpg"}));

    services.revealed.clear();
    appState.setPanelVisible(true);
    pick({"/p/a.png"});
    model.tapChip("jpg");
    runner.finish({"/p/a.png"}, {});
    EXPECT_TRUE(services.revealed.isEmpty());
    EXPECT_TRUE(services.posted.isEmpty());
}

TEST_F(Popover, MissingCustomFolderStopsBeforeConverting) {
    QDir().mkpath(dir.path("Out"));
    ASSERT_TRUE(settings.chooseCustomFolder(dir.path("Out")));
    QDir(dir.path("Out")).removeRecursively();
    pick({"/p/a.png"});
    model.tapChip("jpg");
    EXPECT_TRUE(runner.calls.empty());
    EXPECT_FALSE(model.isConverting());
    EXPECT_EQ(model.transientError(), "Output folder is missing. Open Settings to pick a new one.");
    EXPECT_TRUE(services.posted.isEmpty());
}

TEST_F(Popover, EscapeClosesTheInnermostThing) {
    model.openSettings();
    model.pressEscape();
    EXPECT_FALSE(model.showSettings());
    EXPECT_TRUE(hooks.isEmpty()) << "escape only closed the settings";

    pick({"/p/a.png"});
    model.pressEscape();
    EXPECT_EQ(model.state(), PopoverViewModel::State::Idle);
    appState.setPanelVisible(true);
    model.pressEscape();
    EXPECT_FALSE(appState.panelVisible());
    EXPECT_EQ(hooks, QStringList{"close"});
}

TEST_F(Popover, EachStateShowsItsOwnTextsAndFooter) {
    int stateChanges = 0;
    QObject::connect(&model, &PopoverViewModel::stateChanged, [&] { ++stateChanges; });
    EXPECT_EQ(model.headline(), "Click to browse files");
    EXPECT_EQ(model.detail(), QString::fromUtf8("images · audio · video · docs"));
    EXPECT_EQ(footer(), (QStringList{"gear Settings", "power Quit"}));
    clickFooter("Settings");
    EXPECT_TRUE(model.showSettings());
    model.closeSettings();

    pick({"/p/a.png", "/p/logo.svg"});
    EXPECT_EQ(stateChanges, 1) << "the view redraws the state and its footer on this signal";
    EXPECT_EQ(model.headline(), "2 files");
    EXPECT_EQ(model.detail(), "");
    EXPECT_TRUE(footer().isEmpty());
    EXPECT_EQ(model.chipLabel("jpg"), "JPG");

    model.tapChip("jpg");
    runner.finish({"/p/a.png"}, {"/p/logo.svg"});
    EXPECT_EQ(stateChanges, 2);
    EXPECT_EQ(model.headline(), "Converted 1 of 2 to JPG");
    EXPECT_EQ(model.detail(), "saved to p");
    EXPECT_EQ(footer(), (QStringList{"clockwise Convert More", "xmark Close"}));
    clickFooter("Convert More");
    EXPECT_EQ(model.state(), PopoverViewModel::State::Idle);
    EXPECT_EQ(model.failureHeadline(), "") << "the failures belong to the finished batch";
    EXPECT_EQ(model.failureDetail(), "");

    appState.setPanelVisible(true);
    pick({"/p/a.png"});
    model.tapChip("jpg");
    EXPECT_EQ(model.headline(), "Converting a.png");
    EXPECT_EQ(model.detail(), "");
    runner.finish({"/p/a.png"}, {});
    clickFooter("Close");
    EXPECT_EQ(model.state(), PopoverViewModel::State::Idle);
    EXPECT_FALSE(appState.panelVisible());
    clickFooter("Quit");
    EXPECT_EQ(hooks, (QStringList{"close", "quit"}));
}

TEST_F(Popover, WhileConvertingTheFooterOffersCancelAndKeepsWhatConverted) {
    int footerChanges = 0;
    QObject::connect(&model, &PopoverViewModel::footerChanged, [&] { ++footerChanges; });
    pick({"/p/a.png", "/p/b.png", "/p/c.png"});
    model.cancel();
    EXPECT_EQ(runner.cancels, 0) << "nothing to cancel yet";
    footerChanges = 0;
    model.tapChip("jpg");
    EXPECT_EQ(footer(), QStringList{"xmark Cancel"});
    EXPECT_EQ(footerChanges, 1) << "the view draws the new row on this signal";
    clickFooter("Cancel");
    EXPECT_EQ(runner.cancels, 1);

    runner.finish({"/p/a.png"}, {}, {}, {"/p/b.png", "/p/c.png"});
    EXPECT_EQ(model.doneTitle(), "Converted 1 of 3 to JPG");
    EXPECT_EQ(model.failureHeadline(), "") << "a cancelled file did not fail";
    EXPECT_EQ(model.detail(), QString::fromUtf8("saved to p · 2 cancelled"));
    EXPECT_EQ(services.posted.value(0),
              QString::fromUtf8("Converted | 1 of 3 converted before the cancel → a.jpg"));
    EXPECT_EQ(footer(), (QStringList{"clockwise Convert More", "xmark Close"}));

    // Cancelled before anything converted: no failure either.
    pick({"/p/a.png", "/p/b.png"});
    model.tapChip("jpg");
    runner.finish({}, {}, {}, {"/p/a.png", "/p/b.png"});
    EXPECT_EQ(model.state(), PopoverViewModel::State::Idle);
    EXPECT_EQ(model.transientError(), "Cancelled. No files were converted.");
    EXPECT_EQ(services.posted.value(1), "Pivana | Cancelled. No files were converted.");

    // A real failure among them still is one, and the cancelled files are counted apart.
    pick({"/p/a.png", "/p/logo.svg", "/p/c.png"});
    model.tapChip("jpg");
    runner.finish({"/p/a.png"}, {"/p/logo.svg"}, "Cannot rasterise SVG", {"/p/c.png"});
    EXPECT_EQ(model.failureHeadline(), "couldn't convert logo.svg");
    EXPECT_EQ(services.posted.value(2),
              QString::fromUtf8("Partially converted | 1 of 3 succeeded · logo.svg: Cannot "
                                "rasterise SVG · 1 cancelled"));
}

TEST_F(Popover, HidingThePanelResetsItUnlessABatchRuns) {
    appState.setPanelVisible(true);
    pick({"/p/a.png"});
    appState.setPanelVisible(false);
    EXPECT_EQ(model.state(), PopoverViewModel::State::Idle);

    appState.setPanelVisible(true);
    pick({"/p/a.png"});
    model.tapChip("jpg");
    appState.setPanelVisible(false);
    EXPECT_EQ(model.state(), PopoverViewModel::State::PickFormat);
    runner.finish({"/p/a.png"}, {});
    EXPECT_EQ(model.state(), PopoverViewModel::State::Done) << "the result lands while hidden";
    appState.setPanelVisible(true);
    appState.setPanelVisible(false);
    EXPECT_EQ(model.state(), PopoverViewModel::State::Idle);
}

TEST_F(Popover, DropsTakeTheirFileLocationsAndNothingWhileConverting) {
    // The tray controller opens the panel on what the app state announces.
    QStringList announced;
    QObject::connect(&appState, &AppState::filesDropped,
                     [&](const QStringList& files) { announced << files; });
    EXPECT_FALSE(model.dragEnter({QUrl("https://example.org/a.png")}));
    EXPECT_FALSE(model.dragHovering()) << "a refused drag shows nothing";
    EXPECT_FALSE(model.drop({QUrl("https://example.org/a.png")}));
    EXPECT_FALSE(model.drop({}));
    EXPECT_TRUE(announced.isEmpty());

    // A web link dragged along with files is left out.
    const QVariantList mixed = {QUrl::fromLocalFile("/p/a.png"), QUrl("https://example.org/b.png"),
                                QUrl::fromLocalFile("/p/c.jpg")};
    EXPECT_TRUE(model.dragEnter(mixed));
    EXPECT_TRUE(model.dragHovering());
    EXPECT_TRUE(model.drop(mixed));
    EXPECT_FALSE(model.dragHovering());
    EXPECT_EQ(announced, (QStringList{"/p/a.png", "/p/c.jpg"}));
    EXPECT_EQ(model.state(), PopoverViewModel::State::PickFormat);
    EXPECT_EQ(model.files(), announced);

    EXPECT_TRUE(model.drop({QUrl::fromLocalFile("/p/a.png"), QUrl::fromLocalFile("/p/folder")}));
    EXPECT_EQ(model.transientError(), "All files must be the same type.")
        << "folders are passed on as they are";

    // A drag that hovers as a conversion starts stops showing; drops are refused.
    announced.clear();
    pick({"/p/a.png"});
    EXPECT_TRUE(model.dragEnter({QUrl::fromLocalFile("/p/c.png")}));
    model.tapChip("jpg");
    EXPECT_FALSE(model.dragHovering());
    EXPECT_FALSE(model.dragEnter({QUrl::fromLocalFile("/p/c.png")}));
    EXPECT_FALSE(model.drop({QUrl::fromLocalFile("/p/c.png")}));
    EXPECT_FALSE(appState.dropFiles({"/p/c.png"})) << "a hand-off is refused the same way";
    EXPECT_TRUE(announced.isEmpty());
    EXPECT_EQ(model.files(), QStringList{"/p/a.png"}) << "the running batch stays";
    model.dragExit();
    runner.finish({"/p/a.png"}, {});
    EXPECT_FALSE(model.dragHovering());
}

TEST_F(Popover, BatchHandedOverWithItsFormatConvertsAsAChipWould) {
    appState.setPanelVisible(true);
    pick({"/p/a.png", "/p/b.png"});
    EXPECT_EQ(model.convertHandedOver({"/p/a.png", "/p/b.png"}, "tiff"), std::nullopt);
    ASSERT_EQ(runner.calls.size(), 1u);
    EXPECT_EQ(runner.calls[0].format, "tiff");
    EXPECT_EQ(runner.calls[0].files, (QStringList{"/p/a.png", "/p/b.png"}));
    EXPECT_EQ(model.inFlightFormat(), "tiff") << "its chip shows selected";
    runner.finish({"/p/a.png", "/p/b.png"}, {});
    EXPECT_EQ(services.posted.value(0), QString::fromUtf8("Converted | 2 files → a.tiff, b.tiff"));
}

TEST_F(Popover, BatchHandedOverWithAFormatItCannotBecomeSaysWhy) {
    // Nobody may be watching the panel: the reason is posted too, and returned.
    pick({"/p/a.png"});
    EXPECT_EQ(model.convertHandedOver({"/p/a.png"}, "mp3"), "Unsupported format: mp3");
    EXPECT_EQ(model.transientError(), "Unsupported format: mp3");
    EXPECT_EQ(services.posted, QStringList{"Pivana | Unsupported format: mp3"});

    // A batch without any target was refused when it arrived; the earlier batch is not taken.
    services.posted.clear();
    model.handleFiles({"/p/notes.zip"});
    EXPECT_EQ(model.convertHandedOver({"/p/notes.zip"}, "jpg"),
              "No supported conversion for this file.");
    EXPECT_EQ(services.posted, QStringList{"Pivana | No supported conversion for this file."})
        << "posted once, when it arrived";

    QDir().mkpath(dir.path("Out"));
    ASSERT_TRUE(settings.chooseCustomFolder(dir.path("Out")));
    QDir(dir.path("Out")).removeRecursively();
    services.posted.clear();
    pick({"/p/a.png"});
    const QString missing = "Output folder is missing. Open Settings to pick a new one.";
    EXPECT_EQ(model.convertHandedOver({"/p/a.png"}, "jpg"), missing);
    EXPECT_EQ(services.posted, QStringList{"Pivana | " + missing});
    EXPECT_TRUE(runner.calls.empty());
    EXPECT_FALSE(model.isConverting());
}
