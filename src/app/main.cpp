#include "app/CommandLine.h"
#include "app/SingleInstance.h"
#include "app/StatusBarController.h"
#include "app/TerminationSignals.h"
#include "platform/DisplayPlatform.h"
#include "platform/FreedesktopServices.h"
#include "platform/TrayIcon.h"
#include "settings/Settings.h"
#include "ui/AppState.h"

#include <malloc.h>

#include <QApplication>
#include <QGuiApplication>
#include <QIcon>
#include <QQuickWindow>
#include <QtQml/qqmlextensionplugin.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>

// The panel's QML module is linked in statically.
Q_IMPORT_QML_PLUGIN(PivanaPlugin)

namespace {

// The command line speaks for itself; Qt's notes about fonts and runtime folders would only
// bury its output.
void quietMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtFatalMsg) {
        std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
        std::abort();
    }
}

QStringList rawArguments(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    return arguments;
}

// Typesetting a PDF needs fonts, and so a GUI application (drawing off screen without a
// display); everything else starts faster without one.
std::unique_ptr<QCoreApplication> headlessApplication(int& argc, char* argv[],
                                                      const QStringList& arguments) {
    const bool typesetting =
        arguments.value(1) == u"--to" && arguments.value(2).toLower() == u"pdf";
    if (!typesetting) {
        return std::make_unique<QCoreApplication>(argc, argv);
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    return std::make_unique<QGuiApplication>(argc, argv);
}

int runHeadless(int argc, char* argv[], const QStringList& arguments) {
    qInstallMessageHandler(quietMessages);
    const std::unique_ptr<QCoreApplication> app = headlessApplication(argc, argv, arguments);
    QCoreApplication::setApplicationName(QStringLiteral("pivana"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PIVANA_VERSION));
    return pivana::runCommandLine(arguments, stdout, stderr);
}

void describeTrayApplication() {
    QApplication::setApplicationName(QStringLiteral("pivana"));
    QApplication::setApplicationDisplayName(QStringLiteral("Pivana"));
    QApplication::setApplicationVersion(QStringLiteral(PIVANA_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("io.pivana.Pivana"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/Pivana/icons/pivana.svg")));
    QApplication::setQuitOnLastWindowClosed(false);
}

// The panel is a few flat shapes, symbols and lines of text in a 300-pixel window: Qt Quick's
// software renderer draws it in a few milliseconds, and the app then never loads an OpenGL
// driver, which stays mapped for as long as the app runs (Mesa's software one brings LLVM, some
// 50 MB resident). Who asks for a renderer of their own still gets it.
void useSoftwarePanelRenderer() {
    if (qEnvironmentVariableIsEmpty("QT_QUICK_BACKEND") &&
        qEnvironmentVariableIsEmpty("QSG_RHI_BACKEND")) {
        QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    }
}

// How long the closed panel stays built; the environment can shorten it (tests, benchmarks).
int panelReleaseDelayMs() {
    bool valid = false;
    const int seconds = qEnvironmentVariableIntValue("PIVANA_PANEL_RELEASE_SECONDS", &valid);
    return valid && seconds >= 0 ? seconds * 1000
                                 : pivana::StatusBarController::defaultReleaseDelayMs;
}

void print(const QString& line) {
    std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
}

int runTrayApp(int argc, char* argv[], const pivana::HandOff& request) {
    // The tray app idles between batches and starts only a few threads: two shared allocator
    // arenas instead of one per thread keep less memory scattered and unreturned.
    mallopt(M_ARENA_MAX, 2);
    const pivana::DisplayPlatform::Choice platform =
        pivana::DisplayPlatform::chooseForEnvironment();
    if (!platform.message.isEmpty()) {
        print(platform.message);
    }
    if (!platform.runs) {
        return 1;
    }
    if (!platform.platform.isEmpty()) {
        qputenv("QT_QPA_PLATFORM", platform.platform);
    }
    QApplication app(argc, argv);
    describeTrayApplication();
    useSoftwarePanelRenderer();

    // One Pivana a user: hand the files to the running one, which says whether it took them.
    if (const auto answer = pivana::SingleInstance::handOff(request)) {
        if (!answer->taken) {
            print(answer->reason);
            return 1;
        }
        return 0;
    }

    pivana::FreedesktopServices services;
    pivana::AppState appState(services);
    const std::unique_ptr<pivana::TrayIcon> tray = pivana::createTrayIcon();
    pivana::StatusBarController controller(appState, pivana::Settings::shared(), *tray,
                                           panelReleaseDelayMs());
    pivana::SingleInstance instance(
        [&controller](const pivana::HandOff& handOff) { return controller.takeHandOff(handOff); });
    instance.listen();

    if (!request.files.isEmpty()) {
        const pivana::HandOffAnswer answer = controller.takeHandOff(request);
        if (!answer.taken) {
            print(answer.reason);  // the panel and a notification say it too
        }
    } else if (!tray->hostAvailable()) {
        controller.showPanel();  // without a tray the panel is the only way in
    }
    // Stopped by the session or from a terminal: quit as Quit does. A batch still running is
    // cancelled, and its tools and staging files gone, before the app ends.
    pivana::QuitOnSignals signals;
    QObject::connect(&signals, &pivana::QuitOnSignals::received, &app, &QCoreApplication::quit);
    return app.exec();
}

}  // namespace

int main(int argc, char* argv[]) {
    const QStringList arguments = rawArguments(argc, argv);
    if (pivana::isCommandLineRequest(arguments)) {
        return runHeadless(argc, argv, arguments);
    }
    const std::optional<pivana::HandOff> request = pivana::handOffRequest(arguments, stderr);
    if (!request) {
        return 2;
    }
    // Refused out loud, as a hand-off to a busy app is; nothing starts or shows.
    if (const auto refusal = pivana::handOffRefusal(*request)) {
        print(*refusal);
        return 1;
    }
    return runTrayApp(argc, argv, *request);
}
