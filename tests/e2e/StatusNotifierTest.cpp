// The tray app on a desktop whose tray speaks StatusNotifierItem: a watcher of our own on the
// private session bus (trayer still runs, so the item must be preferred over the XEmbed tray),
// with the host's part played by the test, which reads the item and its menu and activates it
// at a point, as a panel does where the user clicked.
#include "e2e/TrayAppSuite.h"
#include "support/ImageFixtures.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QRegularExpression>

using namespace pivana::test;

namespace {

const QString itemInterface = QStringLiteral("org.kde.StatusNotifierItem");
const QString menuInterface = QStringLiteral("com.canonical.dbusmenu");

// The strings of a reply as dbus-send prints it, in order.
QStringList strings(const QString& reply) {
    QStringList found;
    static const QRegularExpression string(QStringLiteral("string \"([^\"]*)\""));
    for (const QRegularExpressionMatch& match : string.globalMatch(reply)) {
        found << match.captured(1);
    }
    return found;
}

}  // namespace

class StatusNotifierTray : public TrayAppSuite {
protected:
    static inline std::unique_ptr<QProcess> watcher;

    static void SetUpTestSuite() {
        scratch = new QTemporaryDir;
        desktop = new Desktop;
        pivana = new Pivana;
        if (desktop->start(scratch->path()) && startWatcher()) {
            startPivana();
        }
    }

    static void TearDownTestSuite() {
        stopWatcher();
        TrayAppSuite::TearDownTestSuite();
    }

    void SetUp() override {
        TrayAppSuite::SetUp();
        if (!watcher) {
            GTEST_SKIP() << "no watcher could be started";
        }
    }

    static bool startWatcher() {
        watcher = std::make_unique<QProcess>();
        watcher->setProcessEnvironment(desktop->environment);
        watcher->setProcessChannelMode(QProcess::ForwardedChannels);
        watcher->start(QStringLiteral(PIVANA_SNI_WATCHER), {});
        return watcher->waitForStarted() &&
               waitUntil([] { return !call(watcherProperty("ProtocolVersion")).isEmpty(); });
    }

    static void stopWatcher() {
        if (watcher) {
            watcher->terminate();
            watcher->waitForFinished();
            watcher.reset();
        }
    }

    /// Starts the app and waits for its item: it has no window until the panel opens.
    static void startPivana() {
        pivana->start(*desktop, {}, [] { return !registeredItem().isEmpty(); });
    }

    /// A method call on the private bus; the printed reply, empty when the call failed.
    static QString call(const QStringList& arguments) {
        const Desktop::Result result = desktop->run(
            "/usr/bin/dbus-send", QStringList{"--session", "--print-reply"} + arguments);
        // Without its first line, which tells the time and the serial number of the reply.
        return result.status == 0 ? result.out.section('\n', 1) : QString();
    }

    static QStringList watcherProperty(const QString& name) {
        return {"--dest=org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher",
                "org.freedesktop.DBus.Properties.Get", "string:org.kde.StatusNotifierWatcher",
                "string:" + name};
    }

    static QString registeredItem() {
        return strings(call(watcherProperty("RegisteredStatusNotifierItems"))).value(0);
    }

    /// The item the watcher holds: bus name and object path.
    static std::pair<QString, QString> item() {
        QString registered;
        waitUntil([&] {
            registered = registeredItem();
            return !registered.isEmpty();
        });
        return {registered.section('/', 0, 0), '/' + registered.section('/', 1)};
    }

    QString itemProperty(const QString& name) const {
        const auto [service, path] = item();
        return call({"--dest=" + service, path, "org.freedesktop.DBus.Properties.Get",
                     "string:" + itemInterface, "string:" + name});
    }

    void activate(QPoint point) const {
        const auto [service, path] = item();
        // A call without an answer: dbus-send tells by its status whether it went through.
        EXPECT_EQ(desktop
                      ->run("/usr/bin/dbus-send",
                            {"--session", "--print-reply", "--dest=" + service, path,
                             itemInterface + ".Activate", "int32:" + QString::number(point.x()),
                             "int32:" + QString::number(point.y())})
                      .status,
                  0);
    }

    /// Activates the item at `point` until the panel shows. The panel's first showing can take
    /// seconds on a busy machine, and a second activation meanwhile would close it again: it is
    /// repeated only when nothing came of the last for a long while.
    QRect openAt(QPoint point) const {
        waitUntil(
            [&] {
                activate(point);
                return waitUntil([this] { return user().panelShown(); }, 10000);
            },
            30000);
        return user().shownPanel();
    }

    /// The menu's entries: their ids and labels, from its layout.
    QList<std::pair<int, QString>> menuEntries() const {
        const auto [service, path] = item();
        const QString menu = itemProperty("Menu").section('"', 1, 1);
        const QString layout = call({"--dest=" + service, menu, menuInterface + ".GetLayout",
                                     "int32:0", "int32:-1", "array:string:label"});
        static const QRegularExpression entry(QStringLiteral(
            R"re(int32 (\d+)\s+array \[\s+dict entry\(\s+string "label"\s+variant\s+string "([^"]*)")re"));
        QList<std::pair<int, QString>> entries;
        for (const QRegularExpressionMatch& match : entry.globalMatch(layout)) {
            entries.append({match.captured(1).toInt(), match.captured(2)});
        }
        return entries;
    }
};

TEST_F(StatusNotifierTray, RegistersAnItemWithItsIconAndMenu) {
    const auto [service, path] = item();
    ASSERT_FALSE(service.isEmpty()) << "the item registers with the watcher";
    EXPECT_EQ(strings(itemProperty("Title")), QStringList{"Pivana"});
    const QString pixmaps = itemProperty("IconPixmap");
    for (const char* side : {"16", "22", "24", "32"}) {
        EXPECT_TRUE(pixmaps.contains(QString("int32 %1\n").arg(side))) << side;
    }
    QStringList labels;
    for (const auto& [id, label] : menuEntries()) {
        labels << label;
    }
    EXPECT_EQ(labels, (QStringList{"Open Pivana", "Quit"}));
    EXPECT_FALSE(desktop->panel().isValid()) << "a tray is there, so the panel waits for a click";
}

TEST_F(StatusNotifierTray, ActivationPlacesThePanelByItsPoint) {
    // The pointer is far from where the host says the icon was clicked.
    desktop->run("/usr/bin/xdotool", {"mousemove", "200", "600"});

    QRect panel = openAt({1000, 14});
    ASSERT_TRUE(panel.isValid());
    desktop->screenshot("sni-top");
    EXPECT_EQ(panel.left(), 1000 - 150) << "centred under the point";
    EXPECT_GT(panel.top(), 14) << "below the point";
    EXPECT_LE(panel.top(), 28 + 6);
    activate({1000, 14});
    EXPECT_TRUE(waitUntil([this] { return !user().panelShown(); })) << "activating again closes it";

    panel = openAt({1000, 790});
    ASSERT_TRUE(panel.isValid());
    desktop->screenshot("sni-bottom");
    EXPECT_EQ(panel.left(), 1000 - 150);
    EXPECT_EQ(panel.bottom(), 790 - 6 - 1) << "above the point";
    activate({1000, 790});
    EXPECT_TRUE(waitUntil([this] { return !user().panelShown(); }));

    // Opened another way, the panel goes where the icon was last clicked, not to the pointer.
    EXPECT_EQ(desktop->run(QStringLiteral(PIVANA_BIN_DIR "/pivana"), {}).status, 0);
    ASSERT_TRUE(waitUntil([this] { return user().panelShown(); }));
    EXPECT_EQ(user().shownPanel().bottom(), 790 - 6 - 1);
    closePanel();
}

TEST_F(StatusNotifierTray, RegistersAgainWithANewWatcher) {
    ASSERT_FALSE(item().first.isEmpty());
    stopWatcher();
    ASSERT_TRUE(startWatcher());
    EXPECT_FALSE(item().first.isEmpty()) << "the item registers with the watcher that came back";
}

TEST_F(StatusNotifierTray, ConvertsAndNotifiesAsOnAnyTray) {
    const QString dir = folder("photos");
    saveImage(gradient(64, 48), dir + "/a.png");
    ASSERT_TRUE(user().openWith({dir + "/a.png"}));
    ASSERT_TRUE(user().click("push button", "JPG"));
    EXPECT_TRUE(waitUntil([&] { return exists(dir + "/a.jpg"); }));
    EXPECT_TRUE(waitUntil([] {
        return desktop->notifications().value(0).startsWith("Converted | ");
    })) << desktop->notifications().join('\n');
    closePanel();
}

TEST_F(StatusNotifierTray, QuitInTheMenuEndsTheApp) {
    int quit = 0;
    for (const auto& [id, label] : menuEntries()) {
        quit = label == "Quit" ? id : quit;
    }
    ASSERT_NE(quit, 0);
    const auto [service, path] = item();
    call({"--dest=" + service, itemProperty("Menu").section('"', 1, 1), menuInterface + ".Event",
          "int32:" + QString::number(quit), "string:clicked", "variant:int32:0", "uint32:0"});
    EXPECT_TRUE(pivana->endsWell());
    // For the tests that may follow.
    pivana->stop(*desktop);
    startPivana();
}
