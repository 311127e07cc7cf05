// tool_runner_probe DEPTH: prints its pid, then runs itself with DEPTH - 1 through runProcess,
// passing on what that prints; at depth 0 it waits for ever. For the test that kills the top one
// and looks whether the others die with it.
#include "engine/ToolRunner.h"

#include <unistd.h>

#include <QFile>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    std::printf("%d\n", static_cast<int>(::getpid()));
    std::fflush(stdout);
    const int depth = argc > 1 ? std::atoi(argv[1]) : 0;
    if (depth == 0) {
        ::pause();
        return 0;
    }
    pivana::ProcessOptions options;
    options.onOutputLine = [](const QByteArray& line) {
        std::printf("%s\n", line.constData());
        std::fflush(stdout);
    };
    pivana::runProcess(QFile::symLinkTarget(QStringLiteral("/proc/self/exe")),
                       {QString::number(depth - 1)}, options);
    return 0;
}
