#include "e2e/TrayAppSession.h"

#include "support/ImageFixtures.h"
#include "support/TestSupport.h"

#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QThread>

namespace pivana::test {

const QString screenshots = QStringLiteral(PIVANA_BIN_DIR "/../screenshots");

bool waitUntil(const std::function<bool()>& condition, int timeoutMs) {
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

bool Desktop::start(const QString& scratch) {
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
    // Qt insists on a private runtime folder, and says so on standard error otherwise.
    QFile::setPermissions(home + "/runtime",
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    environment.remove("QT_QPA_PLATFORM");
    environment.remove("WAYLAND_DISPLAY");

    auto bus = std::make_unique<QProcess>();
    bus->setProcessEnvironment(environment);
    bus->start("/usr/bin/dbus-daemon", {"--session", "--nofork", "--print-address=1"});
    if (!bus->waitForReadyRead(10000)) {
        return false;
    }
    environment.insert("DBUS_SESSION_BUS_ADDRESS", QString::fromUtf8(bus->readLine()).trimmed());
    m_processes.push_back(std::move(bus));

    return launch("/usr/bin/openbox", {}) &&
           launch("/usr/bin/trayer",
                  {"--edge", "top", "--align", "right", "--widthtype", "request", "--height", "28",
                   "--tint", "0x303030", "--transparent", "false"}) &&
           launch("/usr/bin/dunst", {}) &&
           waitUntil([this] { return run("/usr/bin/dunstctl", {"is-paused"}).status == 0; });
}

bool Desktop::launch(const QString& program, const QStringList& arguments) {
    auto process = std::make_unique<QProcess>();
    process->setProcessEnvironment(environment);
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process->setStandardOutputFile(QProcess::nullDevice());
    process->start(program, arguments);
    const bool started = process->waitForStarted(10000);
    m_processes.push_back(std::move(process));
    return started;
}

Desktop::Result Desktop::run(const QString& program, const QStringList& arguments,
                             int timeoutMs) const {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        return {-1, {}, {}};
    }
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

void Desktop::stop() {
    for (auto it = m_processes.rbegin(); it != m_processes.rend(); ++it) {
        (*it)->terminate();
        if (!(*it)->waitForFinished(3000)) {
            (*it)->kill();
            (*it)->waitForFinished();
        }
    }
    m_processes.clear();
}

QRect Desktop::window(const QString& pattern) const {
    const Result found = run("/usr/bin/xdotool", {"search", "--onlyvisible", "--name", pattern});
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

void Desktop::click(QPoint point) const {
    run("/usr/bin/xdotool",
        {"mousemove", QString::number(point.x()), QString::number(point.y()), "click", "1"});
}

QString Desktop::screenshot(const QString& name) const {
    QDir().mkpath(screenshots);
    const QString path = QDir(screenshots).filePath(name + ".png");
    run("/usr/bin/import", {"-window", "root", path});
    return path;
}

// Shown notifications move to the history when they close, so they are closed first.
QStringList Desktop::notifications() const {
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

namespace {

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

}  // namespace

// A window just mapped shows as black (the empty screen) until its first frame, in the dark
// palette as much as in the light one.
bool panelDrawn(const Desktop& desktop, const QRect& panel) {
    return panel.isValid() && panelPixels(desktop, panel).avg() > 12;
}

// Each band of rows with dark pixels is a line.
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

QPoint firstChip(const Desktop& desktop, const QRect& panel) {
    const std::vector<QPoint> lines = inkLines(desktop, panel);
    return lines.size() < 3 ? QPoint() : lines[2] + QPoint(8, 0);
}

void TrayApp::SetUpTestSuite() {
    scratch = new QTemporaryDir;
    desktop = new Desktop;
    if (!desktop->start(scratch->path())) {
        return;
    }
    startPivana();
}

void TrayApp::startPivana(const std::function<bool()>& ready) {
    pivana = std::make_unique<QProcess>();
    pivana->setProcessEnvironment(desktop->environment);
    pivana->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    pivana->start(QStringLiteral(PIVANA_BIN_DIR "/pivana"), {});
    pivana->waitForStarted();
    // Its windows exist once it answers later instances.
    waitUntil(ready ? ready : [] {
        return desktop->run("/usr/bin/xdotool", {"search", "--class", "pivana"}).status == 0;
    });
}

void TrayApp::stopPivana() {
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

void TrayApp::TearDownTestSuite() {
    if (pivana) {
        stopPivana();
        pivana.reset();
    }
    desktop->stop();
    delete desktop;
    delete scratch;
}

void TrayApp::SetUp() {
    if (desktop->environment.value("DBUS_SESSION_BUS_ADDRESS").isEmpty()) {
        GTEST_SKIP() << "no desktop session could be started";
    }
}

QString TrayApp::folder(const QString& name) const {
    const QString path = scratch->filePath(name);
    QDir().mkpath(path);
    return path;
}

void TrayApp::openWith(const QStringList& files) {
    EXPECT_EQ(desktop->run(QStringLiteral(PIVANA_BIN_DIR "/pivana"), files).status, 0);
    ASSERT_TRUE(waitUntil([this] { return panelShown(); }));
}

QPoint TrayApp::waitForChip() const {
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

bool TrayApp::startLongConversion(const QString& dir) {
    ffmpegClip(dir + "/holiday.avi");
    openWith({dir + "/holiday.avi"});
    const QPoint chip = waitForChip();
    if (chip.isNull()) {
        return false;
    }
    desktop->click(chip);  // MP4
    // The staged output appears.
    return waitUntil([&] {
        return !QDir(dir).entryList({".holiday.pivana-*"}, QDir::Hidden | QDir::Files).isEmpty();
    });
}

// The panel's first showing can take seconds on a busy machine, and a second click meanwhile
// would close it again: a click is repeated only when nothing came of it for a long while.
QRect TrayApp::openPanelFromTray() const {
    waitUntil([] {
        return desktop->run("/usr/bin/xdotool", {"search", "--onlyvisible", "--class", "pivana"})
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

// While the window manager takes a new window in, xdotool can miss it for a moment, and its
// first frame can take a second on a busy machine.
QRect TrayApp::shownPanel() const {
    QRect panel;
    waitUntil([&] {
        panel = desktop->panel();
        return panelDrawn(*desktop, panel);
    });
    return panel;
}

QPoint TrayApp::settingsRow(const QRect& panel) const {
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

QString TrayApp::storedSetting(const QString& key) const {
    return QSettings(scratch->filePath("config/pivana/pivana.conf"), QSettings::IniFormat)
        .value(key)
        .toString();
}

void TrayApp::closePanel(const char* where) {
    SCOPED_TRACE(where);
    // The panel closes when it loses the focus; a window manager that withheld the focus from
    // it gives it on a click, here on the panel's bare top edge.
    const QRect panel = desktop->panel();
    if (panel.isValid()) {
        desktop->click(panel.topLeft() + QPoint(panel.width() / 2, 2));
    }
    // For half a second after a batch arrives, a click elsewhere is taken for the end of the
    // drag that brought it: click again while the panel stays.
    const bool closed = waitUntil([this] {
        desktop->click({300, 500});
        return waitUntil([this] { return !panelShown(); }, 2000);
    });
    if (!closed) {
        desktop->screenshot("panel-stayed-open");
    }
    EXPECT_TRUE(closed) << "a click elsewhere closes the panel";
}

}  // namespace pivana::test
