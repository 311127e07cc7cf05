// Files dragged from another application, as a user drags them from a file manager: onto the
// open panel, onto the tray icon, and while a batch converts; and batches handed over by
// `pivana` from a terminal or a file manager's menu.
#include "e2e/TrayAppSuite.h"
#include "support/ImageFixtures.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

#include <functional>
#include <memory>
#include <vector>

using namespace pivana::test;

namespace {

const QString pivanaProgram = QStringLiteral(PIVANA_BIN_DIR "/pivana");
const QString busyLine = QStringLiteral(
    "A conversion is running, so the files were not taken. Try again once it is done.\n");

// The drag source program, started with what it drags, and what it reports.
class DragSource {
public:
    DragSource(const Desktop& desktop, const QStringList& items) : m_desktop(desktop) {
        m_process.setProcessEnvironment(desktop.environment);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QStringLiteral(PIVANA_DRAG_SOURCE), items);
    }
    ~DragSource() {
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }

    /// Where to press in its window, once it is on screen.
    QPoint handle() {
        QRect frame;
        waitUntil([&] {
            frame = said("ready") ? window() : QRect();
            return frame.isValid();
        });
        return frame.isValid() ? frame.center() : QPoint();
    }

    /// Its window, while on screen.
    QRect window() const { return m_desktop.window("^Drag source$"); }

    /// Presses in the window and moves a little, which starts the drag.
    bool start(QPoint handle) {
        xdotool({"mousemove", QString::number(handle.x()), QString::number(handle.y()), "mousedown",
                 "1"});
        // A press turns into a drag once the pointer moves far enough with the button down.
        xdotool({"mousemove_relative", "--", "20", "20"});
        return waitUntil([this] { return said("dragging"); });
    }

    /// Moves onto `target` and wiggles there, so the target hears of the drag a few times.
    void hover(QPoint target) {
        for (int step = 0; step < 4; ++step) {
            xdotool({"mousemove", QString::number(target.x() + step),
                     QString::number(target.y() + step)});
        }
    }

    /// Whether the target under the pointer offers copy.
    bool offeredCopy() {
        return waitUntil([this] { return said("action copy"); }, 10000);
    }

    /// Releases the button and returns what the target did.
    QString release() {
        xdotool({"mouseup", "1"});
        waitUntil([this] {
            said("");
            return m_output.contains("result ");
        });
        return m_output.section("result ", 1).section('\n', 0, 0);
    }

    /// Whether it has said this line so far.
    bool said(const QString& line) {
        m_process.waitForReadyRead(20);
        m_output += QString::fromUtf8(m_process.readAllStandardOutput());
        return !line.isEmpty() && m_output.split('\n').contains(line);
    }

private:
    void xdotool(const QStringList& arguments) const {
        m_desktop.run("/usr/bin/xdotool", arguments);
    }

    const Desktop& m_desktop;
    QProcess m_process;
    QString m_output;
};

// How much of the panel is drawn in the accent colour, as the drop zone is while an acceptable
// drag hovers it; nothing else on the waiting panel is.
int accentPixels(const QString& screenshot, const QRect& panel) {
    startVips();
    const QByteArray png = readAll(screenshot);
    const vips::VImage area =
        vips::VImage::new_from_buffer(png.constData(), static_cast<size_t>(png.size()), "")
            .extract_area(panel.x(), panel.y(), panel.width(), panel.height())
            .cast(VIPS_FORMAT_INT);
    const vips::VImage blue = (area[2] - area[0]) > 120;
    return static_cast<int>(blue.avg() / 255 * panel.width() * panel.height());
}

class DragAndDrop : public TrayAppSuite {
protected:
    // The target reads the dropped data from the source after the drop: sources stay until
    // the test is over.
    void TearDown() override { m_sources.clear(); }

    bool panelShown() const { return user().panelShown(); }
    // The batch of pictures shows its chips.
    bool chipsShow() const { return user().find("push button", "JPG").has_value(); }
    QRect openPanelFromTray() const { return user().openPanelFromTray(); }

    // Two pictures to drag, in a folder of the test's own.
    QStringList pictures(const QString& name) const {
        const QString dir = folder(name);
        saveImage(gradient(64, 48), dir + "/a.png");
        saveImage(gradient(48, 64), dir + "/b.png");
        return {dir + "/a.png", dir + "/b.png"};
    }

    // Converts an 8-second clip `dir`/holiday.avi to MP4 in the app, long enough to do things
    // meanwhile; true once its output is being written.
    bool startLongConversion(const QString& dir) const {
        writeLongClip(dir + "/holiday.avi");
        // As the file manager's menu asks for it; the panel opens on the progress.
        if (pivanaCommand({"--convert", "mp4", dir + "/holiday.avi"}).status != 0 ||
            !waitUntil([this] { return panelShown(); })) {
            return false;
        }
        return waitUntil([&] {
            return !QDir(dir).entryList({".pivana-*"}, QDir::Hidden | QDir::Dirs).isEmpty();
        });
    }

    // A press in the drag source, a move onto the target, a release once the target offers
    // copy. The target is found once the source is up: a new window takes the activation, which
    // closes the panel.
    QString dragOnto(const QStringList& items, const std::function<QPoint()>& target) {
        DragSource& source = *m_sources.emplace_back(std::make_unique<DragSource>(*desktop, items));
        const QPoint handle = source.handle();
        EXPECT_FALSE(handle.isNull()) << "the drag source shows its window";
        const QPoint onto = target();
        EXPECT_TRUE(source.start(handle)) << "the drag starts";
        source.hover(onto);
        EXPECT_TRUE(source.offeredCopy()) << "the target offers copy";
        return source.release();
    }

    QPoint panelCentre() const { return openPanelFromTray().center(); }

    Desktop::Result pivanaCommand(const QStringList& arguments) const {
        return desktop->run(pivanaProgram, arguments);
    }

    // Shows another virtual desktop, as a keyboard shortcut or a pager would.
    static bool switchDesktop(int number) {
        const QString wanted = QString::number(number);
        desktop->run("/usr/bin/xdotool", {"set_desktop", wanted});
        return waitUntil([&] {
            return desktop->run("/usr/bin/xdotool", {"get_desktop"}).out.trimmed() == wanted;
        });
    }

    std::vector<std::unique_ptr<DragSource>> m_sources;
};

}  // namespace

TEST_F(DragAndDrop, DragFromAFocusTakingWindowLandsOnTheOpenPanel) {
    const QStringList files = pictures("onto-panel");
    DragSource source(*desktop, files);
    const QPoint handle = source.handle();
    ASSERT_FALSE(handle.isNull());
    const QRect panel = openPanelFromTray();
    ASSERT_TRUE(panel.isValid());
    // Pressing in the other window takes the activation from the panel, which stays open.
    ASSERT_TRUE(source.start(handle));
    source.hover(panel.center());
    ASSERT_TRUE(source.offeredCopy());
    EXPECT_TRUE(panelShown()) << "open while the drag runs";
    const QString hovering = desktop->screenshot("drag-hovering-panel");
    EXPECT_GT(accentPixels(hovering, panel), 200) << "the drop zone shows the drag";

    EXPECT_EQ(source.release(), "copy");
    EXPECT_TRUE(chipsShow()) << "the panel shows the batch's chips";
    EXPECT_TRUE(panelShown());
    desktop->screenshot("dropped-on-panel");
    // A plain click elsewhere still closes it.
    closePanel();
}

TEST_F(DragAndDrop, FilesDraggedWithAWebLinkAreTakenWithoutIt) {
    const QStringList files = pictures("with-link");
    EXPECT_EQ(
        dragOnto({files[0], "https://example.org/photo.png"}, [this] { return panelCentre(); }),
        "copy");
    ASSERT_TRUE(user().click("push button", "JPG"));
    // The batch is the file alone.
    EXPECT_TRUE(waitUntil([] {
        return desktop->notifications().value(0) == QString::fromUtf8("Converted | a.png → a.jpg");
    })) << desktop->notifications().join('\n');
    closePanel();
}

TEST_F(DragAndDrop, DropOnTheTrayIconOpensThePanelOnTheBatch) {
    const QStringList files = pictures("onto-icon");
    ASSERT_FALSE(panelShown());
    EXPECT_EQ(dragOnto(files, [] { return trayIcon; }), "copy");
    ASSERT_TRUE(waitUntil([this] { return panelShown(); })) << "the drop opens the panel";
    // Away from the icon, whose tooltip would cover a corner of the panel.
    desktop->run("/usr/bin/xdotool", {"mousemove", "640", "600"});
    EXPECT_TRUE(chipsShow()) << "on the batch";
    desktop->screenshot("dropped-on-icon");
    closePanel("after the drop on the icon");
}

TEST_F(DragAndDrop, SwitchingDesktopsClosesThePanelEvenDuringADrag) {
    const QStringList files = pictures("desktops");
    DragSource source(*desktop, files);
    const QPoint handle = source.handle();
    ASSERT_FALSE(handle.isNull());
    ASSERT_TRUE(openPanelFromTray().isValid());
    ASSERT_TRUE(source.start(handle));
    source.hover(handle + QPoint(40, 0));  // over its own window
    EXPECT_TRUE(panelShown()) << "a press elsewhere that turns into a drag leaves it open";

    ASSERT_TRUE(switchDesktop(1));
    ASSERT_TRUE(switchDesktop(0));
    // Back on the first desktop the window manager shows its windows again: the drag source's,
    // and the panel's, had it stayed open.
    ASSERT_TRUE(waitUntil([&] { return source.window().isValid(); }));
    EXPECT_FALSE(panelShown());
    EXPECT_EQ(source.release(), "none");
    // Closed as far as the app knows too: one click on the icon opens it again.
    desktop->click(trayIcon);
    EXPECT_TRUE(waitUntil([this] { return panelShown(); }));
    closePanel();
}

TEST_F(DragAndDrop, WhileABatchConvertsEveryWayInIsRefused) {
    const QString dir = folder("busy");
    const QStringList files = pictures("refused");
    ASSERT_TRUE(startLongConversion(dir));
    closePanel("while converting");

    // A drag onto the icon is offered nothing, and its drop opens nothing.
    {
        DragSource source(*desktop, files);
        const QPoint handle = source.handle();
        ASSERT_FALSE(handle.isNull());
        ASSERT_TRUE(source.start(handle));
        source.hover(trayIcon);
        EXPECT_EQ(source.release(), "none");
    }
    // A hand-off says why, and so does a notification.
    const Desktop::Result opened = pivanaCommand({files[0]});
    EXPECT_EQ(opened.status, 1);
    EXPECT_EQ(opened.err, busyLine);
    const Desktop::Result converted = pivanaCommand({"--convert", "jpg", files[1]});
    EXPECT_EQ(converted.status, 1);
    EXPECT_EQ(converted.err, busyLine);
    EXPECT_FALSE(panelShown()) << "nothing opened the panel";
    EXPECT_TRUE(desktop->notifications().contains("Pivana | " + busyLine.trimmed()));

    // The running batch goes on to its end, and then the icon takes drops again.
    EXPECT_TRUE(waitUntil([&] { return exists(dir + "/holiday.mp4"); }, 180000));
    EXPECT_TRUE(waitUntil([] {
        return desktop->notifications().value(0).startsWith("Converted | holiday.avi");
    })) << desktop->notifications().join('\n');
    EXPECT_FALSE(exists(dir + "/a.jpg") || exists(QFileInfo(files[1]).path() + "/b.jpg"));
    EXPECT_EQ(dragOnto(files, [] { return trayIcon; }), "copy");
    EXPECT_TRUE(waitUntil([this] { return panelShown(); }));
    closePanel("after the batch");
}

TEST_F(DragAndDrop, ConvertCommandConvertsInTheApp) {
    const QString dir = folder("menu");
    saveImage(gradient(80, 60), dir + "/a.jpg");
    const Desktop::Result run = pivanaCommand({"--convert", "PNG", dir + "/a.jpg"});
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_TRUE(waitUntil([this] { return panelShown(); })) << "the panel shows the progress";
    EXPECT_TRUE(waitUntil([&] { return exists(dir + "/a.png"); }));
    EXPECT_TRUE(waitUntil([] {
        return desktop->notifications().value(0) == QString::fromUtf8("Converted | a.jpg → a.png");
    })) << desktop->notifications().join('\n');
    EXPECT_EQ(probe(dir + "/a.png").width, 80);

    // A format the batch cannot become converts nothing, and says so.
    const Desktop::Result wrong = pivanaCommand({"--convert", "mp3", dir + "/a.jpg"});
    EXPECT_EQ(wrong.status, 1);
    EXPECT_EQ(wrong.err, "Unsupported format: mp3\n");
    EXPECT_TRUE(waitUntil([] {
        return desktop->notifications().value(0) == "Pivana | Unsupported format: mp3";
    })) << desktop->notifications().join('\n');
    EXPECT_FALSE(exists(dir + "/a.mp3"));
    closePanel();
}
