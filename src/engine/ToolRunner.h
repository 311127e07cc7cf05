#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>

namespace pivana {

class CancelToken;
class Failure;
using Error = Failure;

/// How a helper process ended.
struct ProcessOutcome {
    int exitStatus = -1;       ///< valid when it ended by itself without a signal
    int signal = 0;            ///< the signal that ended it, or 0 (also 0 when we stopped it)
    bool timedOut = false;     ///< stopped by us after the time limit
    bool overMemory = false;   ///< stopped by us past the memory limit
    bool cancelled = false;    ///< stopped by us because the cancel token was raised
    QByteArray standardError;  ///< everything it wrote to standard error
};

struct ProcessOptions {
    /// 0 waits as long as it takes; otherwise the process is killed after this long.
    std::chrono::milliseconds timeout{0};
    /// 0 for none; otherwise the process is killed once its resident memory passes this many
    /// bytes. (Watched from outside, rather than by an address-space limit, which would also
    /// count the reservations of sanitizers, thread stacks and allocator arenas.)
    std::uint64_t memoryLimit = 0;
    /// When given and raised, the process's group is killed at once.
    const CancelToken* cancel = nullptr;
    /// `runTool` only: the tool gets a temporary folder of its own (TMPDIR), removed with
    /// whatever is left in it when the tool ends, however it ends. False for a tool that leaves
    /// something running that still needs its temporary folder afterwards.
    bool privateTemporaryFolder = true;
    /// Added to the environment the process inherits ("NAME=value").
    QStringList environment;
    /// Called with each line the process writes to standard output (without the newline).
    std::function<void(const QByteArray& line)> onOutputLine;
};

/// What a tool run may take unless its converter asks for other limits: generous for real work,
/// small enough that a runaway decoder never takes the machine down.
inline constexpr std::chrono::minutes toolTimeLimit{10};
inline constexpr std::uint64_t toolMemoryLimit = std::uint64_t{4} << 30;

/// Starts `program` (an absolute path) with one argument per item, no shell, standard input
/// from /dev/null, in a process group of its own, and waits for it. The process is killed
/// (SIGKILL) when the thread that started it dies, so no helper outlives the app, and inherits
/// no descriptor but its three standard ones. Throws an `Error` when it cannot be started.
ProcessOutcome runProcess(const QString& program, const QStringList& arguments,
                          const ProcessOptions& options = {});

/// Runs one of our tools, within `toolTimeLimit` and `toolMemoryLimit` unless the options set
/// limits, in a private temporary folder unless they say otherwise, and throws when it does not
/// exit with status 0: `ConversionError::cancelled()` when the token stopped it; otherwise
/// `processFailed` with `prefix` followed by the tool's standard error, or by the sentence for a
/// tool that crashed, ran out of time or memory, or failed without a word ("unknown error").
///
/// A tool reports a failure on the first line of its standard error, as one plain sentence
/// about the file (engine/Failure.h, tools/common/ToolFailure.h); the lines after it are detail
/// for a person running the tool by hand, and are never shown to the user.
void runTool(const QString& prefix, const QString& program, const QStringList& arguments,
             ProcessOptions options = {});

/// Why a run of one of our tools failed, in the engine's words, as `runTool` reports it; none
/// when it exited with status 0.
std::optional<Error> toolFailure(const QString& prefix, const ProcessOutcome& outcome);

/// The absolute path of a helper tool: beside the running executable, or in the install's
/// libexec/pivana folder. Throws when it is in neither.
QString toolPath(const QString& name);

/// Makes `toolPath` look in this folder first (tests and benchmarks point it at the build tree).
void setToolDirectory(const QString& directory);

}  // namespace pivana
