#include "app/CommandLine.h"
#include "app/SingleInstance.h"
#include "app/StatusBarController.h"
#include "app/TerminationSignals.h"
#include "platform/FreedesktopServices.h"
#include "platform/TrayIcon.h"
#include "settings/Settings.h"
#include "ui/AppState.h"

#include <QApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QIcon>
#include <QtQml/qqmlextensionplugin.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

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

QStringList absolutePaths(const QStringList& files) {
    QStringList paths;
    for (const QString& file : files) {
        paths << QFileInfo(file).absoluteFilePath();
    }
    return paths;
}

int runTrayApp(int argc, char* argv[], const QStringList& arguments) {
    // A Wayland client cannot place its own panel under the tray icon; XWayland can.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") &&
        qgetenv("XDG_SESSION_TYPE") == "wayland") {
        qputenv("QT_QPA_PLATFORM", "xcb");
    }
    QApplication app(argc, argv);
    describeTrayApplication();

    // One Pivana a user: hand the files to the running one.
    const QStringList files = absolutePaths(pivana::trayAppFiles(arguments));
    if (pivana::SingleInstance::handOff(files)) {
        return 0;
    }
    pivana::SingleInstance instance;
    instance.listen();

    pivana::FreedesktopServices services;
    pivana::AppState appState(services);
    pivana::QtTrayIcon tray;
    pivana::StatusBarController controller(appState, pivana::Settings::shared(), tray);
    // Files from another `pivana` arrive as a drop does. Without files, or while a batch
    // converts and the files are refused, the panel still opens.
    QObject::connect(&instance, &pivana::SingleInstance::received, &controller,
                     [&appState, &controller](const QStringList& received) {
                         if (!appState.dropFiles(received)) {
                             controller.showPanel();
                         }
                     });
    if (!appState.dropFiles(files) && !tray.hostAvailable()) {
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
    return runTrayApp(argc, argv, arguments);
}
