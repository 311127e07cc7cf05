#include "app/CommandLine.h"

#include <QGuiApplication>

#include <cstdio>
#include <cstdlib>

namespace {

// The command line speaks for itself; Qt's notes about fonts and runtime folders would only
// bury its output.
void quietMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtFatalMsg) {
        std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
        std::abort();
    }
}

}  // namespace

int main(int argc, char* argv[]) {
    qInstallMessageHandler(quietMessages);
    // Typesetting documents needs fonts, so even the command line is a GUI application; without
    // a display it draws off screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("pivana"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PIVANA_VERSION));
    QStringList arguments = QCoreApplication::arguments();
    if (!pivana::isCommandLineRequest(arguments)) {
        // Until the tray app lands, plain `pivana` explains the headless commands.
        arguments = {arguments.value(0), QStringLiteral("--help")};
    }
    return pivana::runCommandLine(arguments, stdout, stderr);
}
