#include "app/CommandLine.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("pivana"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PIVANA_VERSION));
    QStringList arguments = QCoreApplication::arguments();
    if (!pivana::isCommandLineRequest(arguments)) {
        // Until the tray app lands, plain `pivana` explains the headless commands.
        arguments = {arguments.value(0), QStringLiteral("--help")};
    }
    return pivana::runCommandLine(arguments, stdout, stderr);
}
