#include "app/CommandLine.h"
#include "app/FreedesktopServices.h"
#include "app/SingleInstance.h"
#include "app/StatusBarController.h"
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

int runHeadless(int argc, char* argv[], const QStringList& arguments) {
    qInstallMessageHandler(quietMessages);
    // Typesetting a PDF needs fonts, and so a GUI application (drawing off screen without a
    // display); everything else starts faster without one.
    std::unique_ptr<QCoreApplication> app;
    const bool typesetting =
        arguments.value(1) == u"--to" && arguments.value(2).toLower() == u"pdf";
    if (typesetting) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") &&
            qEnvironmentVariableIsEmpty("DISPLAY") &&
            qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
        }
        app = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    QCoreApplication::setApplicationName(QStringLiteral("pivana"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PIVANA_VERSION));
    return pivana::runCommandLine(arguments, stdout, stderr);
}

int runTrayApp(int argc, char* argv[], const QStringList& arguments) {
    // A Wayland client cannot place its own panel under the tray icon; XWayland can.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") &&
        qgetenv("XDG_SESSION_TYPE") == "wayland") {
        qputenv("QT_QPA_PLATFORM", "xcb");
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("pivana"));
    QApplication::setApplicationDisplayName(QStringLiteral("Pivana"));
    QApplication::setApplicationVersion(QStringLiteral(PIVANA_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("io.pivana.Pivana"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/Pivana/icons/pivana.svg")));
    QApplication::setQuitOnLastWindowClosed(false);

    QStringList files;
    for (const QString& file : arguments.mid(1)) {
        files << QFileInfo(file).absoluteFilePath();
    }
    // One Pivana a user: hand the files to the running one.
    if (pivana::SingleInstance::handOff(files)) {
        return 0;
    }
    pivana::SingleInstance instance;
    instance.listen();

    pivana::FreedesktopServices services;
    pivana::AppState appState(services);
    pivana::StatusBarController controller(appState, pivana::Settings::shared());
    // Files from another `pivana` arrive as a drop does. Without files, or while a batch
    // converts and the files are refused, the panel still opens.
    QObject::connect(&instance, &pivana::SingleInstance::received, &controller,
                     [&appState, &controller](const QStringList& received) {
                         if (!appState.dropFiles(received)) {
                             controller.showPanel();
                         }
                     });
    if (!appState.dropFiles(files) && !QSystemTrayIcon::isSystemTrayAvailable()) {
        controller.showPanel();  // without a tray the panel is the only way in
    }
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
