#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>

namespace pivana {

/// How a helper process ended.
struct ProcessOutcome {
    int exitStatus = -1;       ///< valid when `signal` is 0 and it did not time out
    int signal = 0;            ///< the signal that ended it, or 0
    bool timedOut = false;     ///< ended by us after the time limit
    QByteArray standardError;  ///< everything it wrote to standard error
};

struct ProcessOptions {
    /// 0 waits as long as it takes; otherwise the process is killed after this long.
    std::chrono::milliseconds timeout{0};
    /// Added to the environment the process inherits ("NAME=value").
    QStringList environment;
    /// Called with each line the process writes to standard output (without the newline).
    std::function<void(const QByteArray& line)> onOutputLine;
};

/// Starts `program` (an absolute path) with one argument per item, no shell, standard input
/// from /dev/null, and waits for it. Throws an `Error` when it cannot be started.
ProcessOutcome runProcess(const QString& program, const QStringList& arguments,
                          const ProcessOptions& options = {});

/// Runs one of our tools and throws `processFailed` with `prefix` followed by its standard error
/// when it does not exit with status 0 (naming the signal when it crashed).
void runTool(const QString& prefix, const QString& program, const QStringList& arguments,
             const ProcessOptions& options = {});

/// The absolute path of a helper tool: beside the running executable, or in the install's
/// libexec/pivana folder. Throws when it is in neither.
QString toolPath(const QString& name);

/// Makes `toolPath` look in this folder first (tests and benchmarks point it at the build tree).
void setToolDirectory(const QString& directory);

}  // namespace pivana
