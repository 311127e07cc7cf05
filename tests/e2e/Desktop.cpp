#include "e2e/Desktop.h"

#include "support/ImageFixtures.h"
#include "support/TestSupport.h"

#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>

#include <algorithm>
#include <cmath>

namespace pivana::test {

namespace {

const QString screenshots = QStringLiteral(PIVANA_BIN_DIR "/../screenshots");
const QString accessibleScript =
    QStringLiteral(PIVANA_SOURCE_DIR "/tests/e2e/support/accessible.py");
// Debian's Python, which has the accessibility bindings: another python3 may come first on PATH.
const QString python = QStringLiteral("/usr/bin/python3");
constexpr int trayHeight = 28;

}  // namespace

void writeLongClip(const QString& path) {
    QProcess process;
    process.start("/usr/bin/ffmpeg", {"-v", "error", "-y", "-nostdin", "-f", "lavfi", "-i",
                                      "testsrc2=size=1920x1080:rate=30:duration=8", "-c:v", "mpeg4",
                                      "-q:v", "4", path});
    process.waitForFinished(60000);
}

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

bool Desktop::start(const QString& home) {
    m_home = home;
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
    // The accessibility bus, through which the tests find and operate the app's controls as a
    // screen reader does. Qt apps expose their windows on it when asked to.
    environment.insert("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
    if (!launch("/usr/libexec/at-spi-bus-launcher", {"--launch-immediately"}) || !waitUntil([this] {
            return run("/usr/bin/dbus-send", {"--session", "--print-reply", "--dest=org.a11y.Bus",
                                              "/org/a11y/bus", "org.a11y.Bus.GetAddress"})
                       .status == 0;
        })) {
        return false;
    }

    return launch("/usr/bin/openbox", {}) && startTray("0x303030") &&
           launch("/usr/bin/dunst", {}) &&
           waitUntil([this] { return run("/usr/bin/dunstctl", {"is-paused"}).status == 0; });
}

bool Desktop::startTray(const QString& background) {
    if (m_tray) {
        m_tray->terminate();
        m_tray->waitForFinished(3000);
    }
    m_tray = std::make_unique<QProcess>();
    m_tray->setProcessEnvironment(environment);
    m_tray->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_tray->setStandardOutputFile(QProcess::nullDevice());
    m_tray->start("/usr/bin/trayer",
                  {"--edge", "top", "--align", "right", "--widthtype", "pixel", "--width",
                   QString::number(trayHeight), "--height", QString::number(trayHeight),
                   "--transparent", "true", "--alpha", "0", "--tint", background});
    return m_tray->waitForStarted(10000);
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
    if (m_tray) {
        m_tray->terminate();
        m_tray->waitForFinished(3000);
        m_tray.reset();
    }
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

int Desktop::windowsNamed(const QString& pattern) const {
    const Result found = run("/usr/bin/xdotool", {"search", "--onlyvisible", "--name", pattern});
    return found.status == 0 ? static_cast<int>(found.out.count('\n')) : 0;
}

void Desktop::click(QPoint point) const {
    run("/usr/bin/xdotool",
        {"mousemove", QString::number(point.x()), QString::number(point.y()), "click", "1"});
}

void Desktop::key(const QStringList& keys) const {
    run("/usr/bin/xdotool", QStringList{"key", "--delay", "60"} + keys);
}

void Desktop::type(const QString& text) const {
    run("/usr/bin/xdotool", {"type", "--delay", "5", text});
}

QString Desktop::screenshot(const QString& name) const {
    const QString path = QDir(screenshots).filePath(name + ".png");
    QDir().mkpath(QFileInfo(path).absolutePath());
    run("/usr/bin/import", {"-window", "root", path});
    return path;
}

QByteArray Desktop::capture() const {
    const QString path = QDir(m_home).filePath("screen.png");
    run("/usr/bin/import", {"-window", "root", path});
    return readAll(path);
}

QStringList Desktop::notifications() const {
    // Shown ones move to the history when they close, so they are closed first.
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

std::vector<Control> Desktop::controls() const {
    std::vector<Control> found;
    const Result tree = run(python, {accessibleScript, "tree"});
    if (tree.status != 0) {
        return found;
    }
    for (const QString& line : tree.out.split('\n', Qt::SkipEmptyParts)) {
        const QJsonObject object = QJsonDocument::fromJson(line.toUtf8()).object();
        const QJsonArray box = object.value("extents").toArray();
        Control control;
        control.path = object.value("path").toString();
        control.role = object.value("role").toString();
        control.name = object.value("name").toString();
        control.description = object.value("description").toString();
        for (const QJsonValue& state : object.value("states").toArray()) {
            control.states << state.toString();
        }
        for (const QJsonValue& action : object.value("actions").toArray()) {
            control.actions << action.toString();
        }
        control.extents =
            QRect(box.at(0).toInt(), box.at(1).toInt(), box.at(2).toInt(), box.at(3).toInt());
        found.push_back(control);
    }
    // Qt 6.4 tells the extents in its own pixels, which QT_SCALE_FACTOR makes larger than the
    // screen's: the panel's frame, whose size on screen the window system tells, gives the ratio.
    const QRect onScreen = panel();
    const auto frame = std::find_if(found.begin(), found.end(), [](const Control& control) {
        return control.role == u"frame" && control.name == u"Pivana";
    });
    if (onScreen.isValid() && frame != found.end() && frame->extents.width() > 0 &&
        frame->extents.width() != onScreen.width()) {
        const double scale = double(onScreen.width()) / frame->extents.width();
        for (Control& control : found) {
            const QRect box = control.extents;
            control.extents = QRect(qRound(box.x() * scale), qRound(box.y() * scale),
                                    qRound(box.width() * scale), qRound(box.height() * scale));
        }
    }
    return found;
}

bool Desktop::act(const Control& control, const QString& action) const {
    return run(python, {accessibleScript, "do", control.path, action}).status == 0;
}

QString Desktop::windowId(const QString& pattern) const {
    const Result found = run("/usr/bin/xdotool", {"search", "--onlyvisible", "--name", pattern});
    return found.status == 0 ? found.out.section('\n', 0, 0).trimmed() : QString();
}

QString Desktop::windowProperty(const QString& id, const QString& property) const {
    return run("/usr/bin/xprop", {"-id", id, property}).out.trimmed();
}

void Pivana::start(const Desktop& desktop, const QStringList& changes,
                   const std::function<bool()>& ready) {
    QProcessEnvironment environment = desktop.environment;
    for (const QString& change : changes) {
        environment.insert(change.section('=', 0, 0), change.section('=', 1));
    }
    m_process = std::make_unique<QProcess>();
    m_process->setProcessEnvironment(environment);
    m_process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process->start(QStringLiteral(PIVANA_BIN_DIR "/pivana"), {});
    m_process->waitForStarted();
    // Its windows exist once it answers later instances.
    waitUntil(ready ? ready : [&desktop] {
        return desktop.run("/usr/bin/xdotool", {"search", "--class", "pivana"}).status == 0;
    });
}

bool Pivana::endsWell(int timeoutMs) {
    return m_process && m_process->waitForFinished(timeoutMs) &&
           m_process->exitStatus() == QProcess::NormalExit && m_process->exitCode() == 0;
}

void Pivana::stop(const Desktop& desktop) {
    if (!m_process) {
        return;
    }
    m_process->terminate();
    if (!m_process->waitForFinished(5000)) {
        m_process->kill();
        m_process->waitForFinished();
    }
    m_process.reset();
    // The old windows are gone before a new instance starts.
    waitUntil([&desktop] {
        return desktop.run("/usr/bin/xdotool", {"search", "--class", "pivana"}).status != 0;
    });
}

QStringList Pivana::threadNames() const {
    QStringList names;
    if (!m_process) {
        return names;
    }
    const QString tasks = QString("/proc/%1/task").arg(m_process->processId());
    for (const QString& task : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks + "/" + task + "/comm");
        if (comm.open(QIODevice::ReadOnly)) {
            names << QString::fromUtf8(comm.readAll()).trimmed();
        }
    }
    return names;
}

bool Pivana::quit(const Desktop& desktop) {
    if (!m_process) {
        return false;
    }
    m_process->terminate();
    const bool ended =
        m_process->waitForFinished(60000) && m_process->exitStatus() == QProcess::NormalExit;
    stop(desktop);
    return ended;
}

vips::VImage panelPixels(const Desktop& desktop, const QRect& panel) {
    startVips();
    // From the bytes: libvips would answer a file name it has read before from its cache.
    const QByteArray png = desktop.capture();
    // The edge is drawn against whatever lies behind it.
    const QRect inside = panel.adjusted(4, 4, -4, -4);
    return vips::VImage::new_from_buffer(png.constData(), static_cast<size_t>(png.size()), "")
        .extract_area(inside.x(), inside.y(), inside.width(), inside.height())
        .colourspace(VIPS_INTERPRETATION_B_W)
        .cast(VIPS_FORMAT_UCHAR)[0]
        .copy_memory();
}

bool PanelUser::openWith(const QStringList& files) const {
    return m_desktop.run(QStringLiteral(PIVANA_BIN_DIR "/pivana"), files).status == 0 &&
           waitUntil([this] { return panelShown(); });
}

QRect PanelUser::openPanelFromTray() const {
    waitUntil([this] {
        return m_desktop.run("/usr/bin/xdotool", {"search", "--onlyvisible", "--class", "pivana"})
                   .status == 0;
    });
    // The panel's first showing can take seconds on a busy machine, and a second click meanwhile
    // would close it again: a click is repeated only when nothing came of it for a long while.
    waitUntil(
        [this] {
            if (!panelShown()) {
                m_desktop.click(trayIcon);
            }
            return waitUntil([this] { return panelShown(); }, 10000);
        },
        30000);
    return shownPanel();
}

QRect PanelUser::shownPanel() const {
    // While the window manager takes a new window in, xdotool can miss it for a moment; the
    // panel is there for its user once its controls show on the accessibility bus.
    QRect panel;
    waitUntil([&] {
        panel = m_desktop.panel();
        if (!panel.isValid()) {
            return false;
        }
        for (const Control& control : m_desktop.controls()) {
            if (control.role == u"push button" && panel.contains(control.centre())) {
                return true;
            }
        }
        return false;
    });
    return panel;
}

std::optional<Control> PanelUser::find(const QString& role, const QString& name,
                                       int timeoutMs) const {
    std::optional<Control> found;
    waitUntil(
        [&] {
            for (const Control& control : m_desktop.controls()) {
                if ((role.isEmpty() || control.role == role) && control.name == name) {
                    found = control;
                    return true;
                }
            }
            return false;
        },
        timeoutMs);
    return found;
}

bool PanelUser::shows(const QString& role, const QString& name) const {
    const std::vector<Control> controls = m_desktop.controls();
    return std::any_of(controls.begin(), controls.end(), [&](const Control& control) {
        return (role.isEmpty() || control.role == role) && control.name == name;
    });
}

bool PanelUser::awaitKeyboard(const QString& role, const QString& name) const {
    return waitUntil([&] {
        for (const Control& control : m_desktop.controls()) {
            // Windows are the children of the app, their paths a single index.
            if (!control.path.contains('/') && control.role == role && control.name == name &&
                control.is("active")) {
                return true;
            }
        }
        return false;
    });
}

bool PanelUser::press(const QString& name) const {
    const std::optional<Control> button = find("push button", name);
    return button && m_desktop.act(*button, "Press");
}

bool PanelUser::click(const QString& role, const QString& name) const {
    const std::optional<Control> control = find(role, name);
    if (!control || control->extents.isEmpty()) {
        return false;
    }
    m_desktop.click(control->centre());
    return true;
}

bool PanelUser::settled() const {
    QByteArray last;
    return waitUntil(
        [&] {
            const QRect panel = m_desktop.panel();
            if (!panel.isValid()) {
                return false;
            }
            const vips::VImage pixels = panelPixels(m_desktop, panel);
            size_t size = 0;
            void* bytes = pixels.write_to_memory(&size);
            const QByteArray now(static_cast<const char*>(bytes), static_cast<qsizetype>(size));
            g_free(bytes);
            const bool same = now == last;
            last = now;
            return same;
        },
        10000);
}

bool PanelUser::closePanel() const {
    // The panel closes when it loses the focus; a window manager that withheld the focus from it
    // gives it on a click, here on the panel's bare top edge.
    const QRect panel = m_desktop.panel();
    if (panel.isValid()) {
        m_desktop.click(panel.topLeft() + QPoint(panel.width() / 2, 2));
    }
    // For half a second after a batch arrives a click elsewhere is taken for the end of the drag
    // that brought it: click again while the panel stays.
    const bool closed = waitUntil([this] {
        m_desktop.click({300, 500});
        return waitUntil([this] { return !panelShown(); }, 2000);
    });
    if (!closed) {
        m_desktop.screenshot("panel-stayed-open");
    }
    return closed;
}

}  // namespace pivana::test
