// The tray app as a user meets it: a real X server, tray host, window manager and notification
// daemon on a private session bus; real clicks; outputs checked on disk and notifications read
// back from the daemon. Screenshots of each state land in the build tree's screenshots folder.
#include "support/ImageFixtures.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPoint>
#include <QProcess>
#include <QRect>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>

#include <functional>
#include <memory>
#include <vector>

using namespace pivana::test;

namespace {

const QString screenshots = QStringLiteral(PIVANA_BIN_DIR "/../screenshots");
// trayer sits at the top right, 28 points high, with our icon as its only one.
const QPoint trayIcon(1280 - 14, 14);

// Polls until the condition holds or the time is up; no fixed sleeps.
bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 20000) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        if (condition()) {
            return true;
        }
        QThread::msleep(50);
    }
    return condition();
}

class Desktop {
public:
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    QString home;

    bool start(const QString& scratch) {
        home = scratch;
        int display = 100 + ::getpid() % 100;
        while (QFile::exists(QString("/tmp/.X%1-lock").arg(display))) {
            ++display;
        }
        const QString name = QString(":%1").arg(display);
        if (!launch("/usr/bin/Xvfb", {name, "-screen", "0", "1280x800x24", "-nolisten", "tcp"}) ||
            !waitUntil(
                [display] { return QFile::exists(QString("/tmp/.X11-unix/X%1").arg(display)); })) {
            return false;
        }
        environment.insert("DISPLAY", name);
        environment.insert("XDG_CONFIG_HOME", home + "/config");
        environment.insert("XDG_RUNTIME_DIR", home + "/runtime");
        QDir().mkpath(home + "/runtime");
        environment.remove("QT_QPA_PLATFORM");
        environment.remove("WAYLAND_DISPLAY");

        auto bus = std::make_unique<QProcess>();
        bus->setProcessEnvironment(environment);
        bus->start("/usr/bin/dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        if (!bus->waitForReadyRead(10000)) {
            return false;
        }
        environment.insert("DBUS_SESSION_BUS_ADDRESS",
                           QString::fromUtf8(bus->readLine()).trimmed());
        m_processes.push_back(std::move(bus));

        return launch("/usr/bin/openbox", {}) &&
               launch("/usr/bin/trayer",
                      {"--edge", "top", "--align", "right", "--widthtype", "request", "--height",
                       "28", "--tint", "0x303030", "--transparent", "false"}) &&
               launch("/usr/bin/dunst", {}) &&
               waitUntil([this] { return run("/usr/bin/dunstctl", {"is-paused"}).status == 0; });
    }

    bool launch(const QString& program, const QStringList& arguments) {
        auto process = std::make_unique<QProcess>();
        process->setProcessEnvironment(environment);
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process->setStandardOutputFile(QProcess::nullDevice());
        process->start(program, arguments);
        const bool started = process->waitForStarted(10000);
        m_processes.push_back(std::move(process));
        return started;
    }

    struct Result {
        int status;
        QString out;
    };
    Result run(const QString& program, const QStringList& arguments, int timeoutMs = 20000) const {
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(program, arguments);
        if (!process.waitForFinished(timeoutMs)) {
            process.kill();
            process.waitForFinished();
            return {-1, {}};
        }
        return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput())};
    }

    void stop() {
        for (auto it = m_processes.rbegin(); it != m_processes.rend(); ++it) {
            (*it)->terminate();
            if (!(*it)->waitForFinished(3000)) {
                (*it)->kill();
                (*it)->waitForFinished();
            }
        }
        m_processes.clear();
    }

    // The panel's window while it is on screen.
    QRect panel() const {
        const Result found =
            run("/usr/bin/xdotool", {"search", "--onlyvisible", "--name", "^Pivana$"});
        const QString id = found.out.section('\n', 0, 0).trimmed();
        if (found.status != 0 || id.isEmpty()) {
            return {};
        }
        const QString shell = run("/usr/bin/xdotool", {"getwindowgeometry", "--shell", id}).out;
        auto value = [&shell](const char* key) {
            return shell.section(QString(key) + "=", 1).section('\n', 0, 0).toInt();
        };
        return {value("X"), value("Y"), value("WIDTH"), value("HEIGHT")};
    }

    void click(QPoint point) const {
        run("/usr/bin/xdotool",
            {"mousemove", QString::number(point.x()), QString::number(point.y()), "click", "1"});
    }

    QString screenshot(const QString& name) const {
        QDir().mkpath(screenshots);
        const QString path = QDir(screenshots).filePath(name + ".png");
        run("/usr/bin/import", {"-window", "root", path});
        return path;
    }

    // Summaries and bodies the notification daemon has shown, newest first. Shown ones move to
    // the history when they close, so they are closed first.
    QStringList notifications() const {
        run("/usr/bin/dunstctl", {"close-all"});
        const QJsonObject history =
            QJsonDocument::fromJson(run("/usr/bin/dunstctl", {"history"}).out.toUtf8()).object();
        QStringList shown;
        for (const QJsonValue& group : history.value("data").toArray()) {
            for (const QJsonValue& entry : group.toArray()) {
                const QJsonObject notification = entry.toObject();
                shown << notification.value("summary").toObject().value("data").toString() + " | " +
                             notification.value("body").toObject().value("data").toString();
            }
        }
        return shown;
    }

private:
    std::vector<std::unique_ptr<QProcess>> m_processes;
};

// An 8-second 1080p clip that has to be re-encoded: long enough to watch it convert.
void ffmpegClip(const QString& path) {
    QProcess process;
    process.start("/usr/bin/ffmpeg", {"-v", "error", "-y", "-nostdin", "-f", "lavfi", "-i",
                                      "testsrc2=size=1920x1080:rate=30:duration=8", "-c:v", "mpeg4",
                                      "-q:v", "4", path});
    process.waitForFinished(60000);
}

// The inside of the panel in a fresh screenshot, in grey levels (the edge is drawn against
// whatever lies behind it).
vips::VImage panelPixels(const Desktop& desktop, const QRect& panel) {
    startVips();
    // From the bytes: libvips would answer a file name it has read before from its cache.
    const QByteArray png = readAll(desktop.screenshot("locate"));
    const QRect inside = panel.adjusted(4, 4, -4, -4);
    return vips::VImage::new_from_buffer(png.constData(), static_cast<size_t>(png.size()), "")
        .extract_area(inside.x(), inside.y(), inside.width(), inside.height())
        .colourspace(VIPS_INTERPRETATION_B_W)
        .cast(VIPS_FORMAT_UCHAR)[0]
        .copy_memory();
}

// Whether the app has drawn the panel yet: a window just mapped shows as black (the empty
// screen) until its first frame, in the dark palette as much as in the light one.
bool panelDrawn(const Desktop& desktop, const QRect& panel) {
    return panel.isValid() && panelPixels(desktop, panel).avg() > 12;
}

// Lines of text on the panel, found in a screenshot: each band of rows with dark pixels, as the
// point where its ink starts (left) in the middle of the band.
std::vector<QPoint> inkLines(const Desktop& desktop, const QRect& panel) {
    if (!panel.isValid()) {
        return {};
    }
    const vips::VImage image = panelPixels(desktop, panel);
    const QRect inside = panel.adjusted(4, 4, -4, -4);
    const vips::VImage dark = (image < 160).cast(VIPS_FORMAT_UCHAR);
    std::vector<std::pair<int, int>> bands;
    bool inBand = false;
    for (int y = 0; y < inside.height(); ++y) {
        const bool ink = dark.extract_area(0, y, inside.width(), 1).max() > 0;
        if (ink && !inBand) {
            bands.emplace_back(y, y);
        }
        if (ink) {
            bands.back().second = y;
        }
        inBand = ink;
    }
    std::vector<QPoint> lines;
    for (const auto& [top, bottom] : bands) {
        const vips::VImage row = dark.extract_area(0, top, inside.width(), bottom - top + 1);
        int left = 0;
        while (left < inside.width() && row.extract_area(left, 0, 1, row.height()).max() == 0) {
            ++left;
        }
        lines.emplace_back(inside.x() + left, inside.y() + (top + bottom) / 2);
    }
    return lines;
}

// The first format chip: below the state icon and the batch's name, the first line of text.
QPoint firstChip(const Desktop& desktop, const QRect& panel) {
    const std::vector<QPoint> lines = inkLines(desktop, panel);
    return lines.size() < 3 ? QPoint() : lines[2] + QPoint(8, 0);
}

class TrayApp : public testing::Test {
protected:
    static inline Desktop* desktop = nullptr;
    static inline QTemporaryDir* scratch = nullptr;
    static inline std::unique_ptr<QProcess> pivana;

    static void SetUpTestSuite() {
        scratch = new QTemporaryDir;
        desktop = new Desktop;
        if (!desktop->start(scratch->path())) {
            return;
        }
        startPivana();
    }

    static void startPivana() {
        pivana = std::make_unique<QProcess>();
        pivana->setProcessEnvironment(desktop->environment);
        pivana->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        pivana->start(QStringLiteral(PIVANA_BIN_DIR "/pivana"), {});
        pivana->waitForStarted();
        // Its windows exist once it answers later instances.
        waitUntil([] {
            return desktop->run("/usr/bin/xdotool", {"search", "--class", "pivana"}).status == 0;
        });
    }

    static void stopPivana() {
        pivana->terminate();
        if (!pivana->waitForFinished(5000)) {
            pivana->kill();
            pivana->waitForFinished();
        }
        // The old windows are gone before a new instance starts.
        waitUntil([] {
            return desktop->run("/usr/bin/xdotool", {"search", "--class", "pivana"}).status != 0;
        });
    }

    static void TearDownTestSuite() {
        if (pivana) {
            stopPivana();
            pivana.reset();
        }
        desktop->stop();
        delete desktop;
        delete scratch;
    }

    void SetUp() override {
        if (desktop->environment.value("DBUS_SESSION_BUS_ADDRESS").isEmpty()) {
            GTEST_SKIP() << "no desktop session could be started";
        }
    }

    QString folder(const QString& name) const {
        const QString path = scratch->filePath(name);
        QDir().mkpath(path);
        return path;
    }

    bool panelShown() const { return desktop->panel().isValid(); }

    void openWith(const QStringList& files) {
        EXPECT_EQ(desktop->run(QStringLiteral(PIVANA_BIN_DIR "/pivana"), files).status, 0);
        ASSERT_TRUE(waitUntil([this] { return panelShown(); }));
    }

    // The chips fade in just after a batch arrives: wait until they can be seen.
    QPoint waitForChip() const {
        QPoint chip;
        waitUntil(
            [&] {
                const QRect panel = desktop->panel();
                chip = panel.isValid() ? firstChip(*desktop, panel) : QPoint();
                return !chip.isNull();
            },
            10000);
        return chip;
    }

    // Opens the panel with a click on the tray icon, once the tray shows the icon. The panel's
    // first showing can take seconds on a busy machine, and a second click meanwhile would close
    // it again: a click is repeated only when nothing came of it for a long while.
    QRect openPanelFromTray() const {
        waitUntil([] {
            return desktop
                       ->run("/usr/bin/xdotool", {"search", "--onlyvisible", "--class", "pivana"})
                       .status == 0;
        });
        waitUntil(
            [this] {
                if (!panelShown()) {
                    desktop->click(trayIcon);
                }
                return waitUntil([this] { return panelShown(); }, 10000);
            },
            30000);
        return shownPanel();
    }

    // The panel's frame once xdotool sees it and the app has drawn it: while the window manager
    // takes a new window in, xdotool can miss it for a moment, and its first frame can take a
    // second on a busy machine.
    QRect shownPanel() const {
        QRect panel;
        waitUntil([&] {
            panel = desktop->panel();
            return panelDrawn(*desktop, panel);
        });
        return panel;
    }

    // Where things are on the panel, from its top-left corner, as laid out in this session's
    // fonts.
    static QPoint at(const QRect& panel, int x, int y) { return panel.topLeft() + QPoint(x, y); }

    // The footer's Settings row: in the idle panel, the last line but one.
    QPoint settingsRow(const QRect& panel) const {
        QPoint row;
        waitUntil(
            [&] {
                const std::vector<QPoint> lines = inkLines(*desktop, panel);
                row = lines.size() >= 4 ? lines[lines.size() - 2] + QPoint(40, 0) : QPoint();
                return !row.isNull();
            },
            10000);
        return row;
    }

    QString storedSetting(const QString& key) const {
        return QSettings(scratch->filePath("config/pivana/pivana.conf"), QSettings::IniFormat)
            .value(key)
            .toString();
    }

    void closePanel(const char* where = "") {
        SCOPED_TRACE(where);
        // The panel closes when it loses the focus; a window manager that withheld the focus
        // from it gives it on a click, here on the panel's bare top edge.
        const QRect panel = desktop->panel();
        if (panel.isValid()) {
            desktop->click(panel.topLeft() + QPoint(panel.width() / 2, 2));
        }
        desktop->click({300, 500});
        const bool closed = waitUntil([this] { return !panelShown(); });
        if (!closed) {
            desktop->screenshot("panel-stayed-open");
        }
        EXPECT_TRUE(closed) << "a click elsewhere closes the panel";
    }
};

}  // namespace

TEST_F(TrayApp, TrayIconTogglesThePanel) {
    const QRect panel = openPanelFromTray();
    ASSERT_TRUE(panel.isValid());
    EXPECT_EQ(panel.width(), 300);
    EXPECT_GE(panel.top(), 28) << "below the tray";
    EXPECT_LE(panel.right(), 1279) << "kept on screen";
    desktop->screenshot("idle");
    desktop->click(trayIcon);
    EXPECT_TRUE(waitUntil([this] { return !panelShown(); }));
}

TEST_F(TrayApp, FilesFromTheCommandLineConvertWithOneClick) {
    const QString dir = folder("photos");
    saveImage(gradient(320, 200), dir + "/a.png");
    saveImage(gradient(200, 320, true), dir + "/b.png");
    openWith({dir + "/a.png", dir + "/b.png"});
    const QPoint chip = waitForChip();
    desktop->screenshot("pick-format");
    ASSERT_FALSE(chip.isNull());
    desktop->click(chip);  // JPG, the first target of a PNG
    EXPECT_TRUE(waitUntil([&] { return exists(dir + "/a.jpg") && exists(dir + "/b.jpg"); }));
    EXPECT_TRUE(waitUntil([] {
        return desktop->notifications().value(0) ==
               QString::fromUtf8("Converted | 2 files → a.jpg, b.jpg");
    })) << desktop->notifications().join('\n');
    EXPECT_EQ(probe(dir + "/b.jpg").width, 200);
    desktop->screenshot("done");
    closePanel();
}

TEST_F(TrayApp, LongConversionShowsItsProgress) {
    const QString dir = folder("movies");
    ffmpegClip(dir + "/holiday.avi");
    openWith({dir + "/holiday.avi"});
    const QPoint chip = waitForChip();
    ASSERT_FALSE(chip.isNull());
    desktop->click(chip);  // MP4
    // While the staged output grows, the panel shows the spinner and how far it is.
    ASSERT_TRUE(waitUntil(
        [&] { return !QDir(dir).entryList({".pivana-*"}, QDir::Hidden | QDir::Dirs).isEmpty(); }));
    desktop->screenshot("converting");
    EXPECT_TRUE(waitUntil([&] { return exists(dir + "/holiday.mp4"); }, 120000));
    EXPECT_TRUE(waitUntil(
        [] { return desktop->notifications().value(0).startsWith("Converted | holiday.avi"); }));
    closePanel();
}

TEST_F(TrayApp, FailedBatchSaysConversionFailed) {
    const QString dir = folder("broken");
    const QString broken = dir + "/scan.png";
    QFile file(broken);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("\x89PNG\r\n\x1a\nthis is not a picture");
    file.close();
    openWith({broken});
    const QPoint chip = waitForChip();
    ASSERT_FALSE(chip.isNull());
    desktop->click(chip);
    EXPECT_TRUE(waitUntil([] {
        return desktop->notifications().value(0).startsWith(
            "Conversion failed | scan.png: pivana-image: ");
    })) << desktop->notifications().join('\n');
    desktop->screenshot("failed");
    EXPECT_EQ(QDir(dir).entryList(QDir::Files | QDir::Hidden), QStringList{"scan.png"});
    closePanel();
}

TEST_F(TrayApp, SettingsAreKeptAcrossRestartsAndUsed) {
    const QString output = folder("Converted");
    QRect panel = openPanelFromTray();
    desktop->click(settingsRow(panel));
    ASSERT_TRUE(waitUntil([&] { return desktop->panel().height() > 400; }))
        << "the settings screen is taller";
    panel = shownPanel();
    desktop->screenshot("settings");

    // Replace original asks first; Enter takes the default answer, "Enable".
    desktop->click(at(panel, 242, 143));
    ASSERT_TRUE(waitUntil([] {
        return desktop->run("/usr/bin/xdotool", {"search", "--onlyvisible", "--name", "^Pivana$"})
                   .out.count('\n') == 2;
    }));
    desktop->screenshot("settings-confirm");
    desktop->run("/usr/bin/xdotool", {"key", "Return"});
    EXPECT_TRUE(waitUntil([this] { return storedSetting("replaceOriginal") == "true"; }));

    desktop->click(at(panel, 25 + 248 * 3 / 10, 253));  // the quality slider, near a third
    EXPECT_TRUE(waitUntil([this] {
        return storedSetting("jpgQuality").toDouble() > 20 &&
               storedSetting("jpgQuality").toDouble() < 50;
    })) << storedSetting("jpgQuality").toStdString();

    desktop->click(at(panel, 227, 333));  // bit rate: 192, two down is 320
    QThread::msleep(300);
    desktop->run("/usr/bin/xdotool", {"key", "Down", "Down", "Return"});
    EXPECT_TRUE(waitUntil([this] { return storedSetting("audioBitrate") == "320"; }));

    desktop->click(at(panel, 227, 99));  // output folder menu: the second item chooses a folder
    QThread::msleep(300);
    desktop->run("/usr/bin/xdotool", {"key", "Down", "Down", "Return"});
    ASSERT_TRUE(waitUntil([] {
        return desktop
                   ->run("/usr/bin/xdotool",
                         {"search", "--onlyvisible", "--name", "Choose an output folder"})
                   .status == 0;
    }));
    desktop->run("/usr/bin/xdotool", {"type", "--delay", "5", output});
    desktop->run("/usr/bin/xdotool", {"key", "Return"});
    EXPECT_TRUE(waitUntil([this] { return storedSetting("outputFolderMode") == "Custom folder"; }));
    desktop->screenshot("settings-changed");
    desktop->click(at(panel, 149, 437));  // Done
    closePanel("after choosing the settings");

    // Every value is still there after a restart.
    stopPivana();
    startPivana();
    panel = openPanelFromTray();
    desktop->click(settingsRow(panel));
    ASSERT_TRUE(waitUntil([&] { return desktop->panel().height() > 400; }));
    desktop->screenshot("settings-after-restart");
    EXPECT_EQ(storedSetting("replaceOriginal"), "true");
    EXPECT_EQ(storedSetting("audioBitrate"), "320");
    EXPECT_EQ(storedSetting("outputFolderMode"), "Custom folder");
    desktop->click(at(shownPanel(), 149, 437));
    closePanel("after the restart");

    // A conversion lands in the chosen folder and the source is gone.
    const QString dir = folder("originals");
    saveImage(gradient(120, 90), dir + "/photo.png");
    openWith({dir + "/photo.png"});
    const QPoint chip = waitForChip();
    ASSERT_FALSE(chip.isNull());
    desktop->click(chip);
    EXPECT_TRUE(waitUntil([&] { return exists(output + "/photo.jpg"); }));
    EXPECT_TRUE(waitUntil([&] { return !exists(dir + "/photo.png"); }))
        << "Replace original deletes the source";
    EXPECT_EQ(probe(output + "/photo.jpg").width, 120);
    closePanel();
}

TEST_F(TrayApp, CancelAndQuitDuringAConversionLeaveTheSourceAndNothingElse) {
    const QString dir = folder("stopped");
    ffmpegClip(dir + "/holiday.avi");
    const QByteArray source = readAll(dir + "/holiday.avi");
    const auto staging = [&] {
        return QDir(dir).entryList({".pivana-*"}, QDir::Hidden | QDir::Dirs);
    };
    const auto startConverting = [&] {
        openWith({dir + "/holiday.avi"});
        const QPoint chip = waitForChip();
        ASSERT_FALSE(chip.isNull());
        desktop->click(chip);  // MP4
        ASSERT_TRUE(waitUntil([&] { return !staging().isEmpty(); }));
    };

    // Cancel: the footer's one row while a batch converts, the panel's last line.
    startConverting();
    const QRect panel = shownPanel();
    desktop->screenshot("converting-cancel");
    const std::vector<QPoint> lines = inkLines(*desktop, panel);
    ASSERT_FALSE(lines.empty());
    desktop->click(lines.back() + QPoint(30, 0));
    EXPECT_TRUE(waitUntil([] {
        return desktop->notifications().value(0) == "Conversion failed | holiday.avi: Cancelled";
    })) << desktop->notifications().join('\n');
    EXPECT_EQ(entries(dir), QStringList{"holiday.avi"});
    closePanel();

    // Quit, here as the session asks it (SIGTERM), half way through the next attempt.
    startConverting();
    pivana->terminate();
    EXPECT_TRUE(pivana->waitForFinished(60000));
    EXPECT_EQ(pivana->exitStatus(), QProcess::NormalExit) << "it quit, it was not killed";
    EXPECT_EQ(entries(dir), QStringList{"holiday.avi"});
    EXPECT_EQ(readAll(dir + "/holiday.avi"), source);
    waitUntil([] {
        return desktop->run("/usr/bin/xdotool", {"search", "--class", "pivana"}).status != 0;
    });
    startPivana();  // for whatever runs after
}
