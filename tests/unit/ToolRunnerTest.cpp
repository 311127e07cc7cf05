#include "engine/CancelToken.h"
#include "engine/Error.h"
#include "engine/ToolRunner.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <QProcess>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

using namespace pivana;
using namespace pivana::test;
using namespace std::chrono_literals;

namespace {

QString reasonOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const Error& error) {
        return cleanReason(error);
    }
    return "no error";
}

}  // namespace

TEST(ToolRunner, PassesEachArgumentUnchangedWithoutAShell) {
    Scratch dir;
    const QString odd = dir.path("it's a \"file\" $(rm -rf ~) ;|*.png");
    QStringList lines;
    ProcessOptions options;
    options.onOutputLine = [&](const QByteArray& line) { lines << QString::fromUtf8(line); };
    const ProcessOutcome outcome =
        runProcess("/usr/bin/printf", {"%s\\n", odd, "", QString::fromUtf8("Zoë 東京")}, options);
    EXPECT_EQ(outcome.exitStatus, 0);
    EXPECT_EQ(lines, (QStringList{odd, "", QString::fromUtf8("Zoë 東京")}));
}

TEST(ToolRunner, FailuresReadAsOnePlainSentenceAfterThePrefix) {
    EXPECT_EQ(reasonOf([] {
                  runTool("pivana-test: ", "/bin/sh",
                          {"-c",
                           "echo 'The file is damaged or incomplete' >&2; "
                           "echo 'libpng read error at /tmp/x' >&2; exit 3"});
              }),
              "pivana-test: The file is damaged or incomplete");
    EXPECT_EQ(reasonOf([] { runTool("pivana-office: ", "/bin/false", {}); }),
              "pivana-office: unknown error");
    EXPECT_EQ(reasonOf([] { runTool("pivana-test: ", "/bin/true", {}); }), "no error");
}

TEST(ToolRunner, ACrashIsPlainForTheUserAndNamesTheSignalForABugReport) {
    try {
        runTool("pivana-test: ", "/bin/sh", {"-c", "echo 'half way' >&2; kill -SEGV $$"});
        FAIL() << "a crash is a failure";
    } catch (const Error& error) {
        EXPECT_EQ(cleanReason(error), "pivana-test: The converter stopped unexpectedly");
        EXPECT_TRUE(detailOf(error).contains("SIGSEGV")) << detailOf(error);
        EXPECT_TRUE(detailOf(error).contains("half way")) << detailOf(error);
    }
}

TEST(ToolRunner, HungToolIsStoppedAfterTheTimeLimit) {
    ProcessOptions options;
    options.timeout = 300ms;
    const ProcessOutcome outcome = runProcess("/bin/sleep", {"30"}, options);
    EXPECT_TRUE(outcome.timedOut);
    EXPECT_EQ(outcome.signal, 0);
    EXPECT_EQ(reasonOf([&] { runTool("pivana-test: ", "/bin/sleep", {"30"}, options); }),
              "pivana-test: The conversion took too long and was stopped");
}

TEST(ToolRunner, LargeStandardErrorDoesNotDeadlock) {
    // More than a pipe buffer on each stream at once.
    const ProcessOutcome outcome = runProcess(
        "/bin/sh", {"-c", "head -c 300000 /dev/zero | tr '\\0' e >&2; head -c 300000 /dev/zero"});
    EXPECT_EQ(outcome.exitStatus, 0);
    EXPECT_EQ(outcome.standardError.size(), 300000);
}

TEST(ToolRunner, MissingProgramIsALaunchError) {
    EXPECT_EQ(reasonOf([] { runProcess("/nonexistent/pivana-nothing", {}); }),
              "Cannot start pivana-nothing: No such file or directory");
    EXPECT_EQ(
        reasonOf([] { toolPath("pivana-nothing"); }),
        "pivana-nothing is missing: it should be installed beside pivana or in libexec/pivana");
}

TEST(ToolRunner, AddedEnvironmentTakesPrecedenceOverTheInheritedOne) {
    qputenv("PIVANA_TEST_KEPT", "inherited");
    qputenv("PIVANA_TEST_REPLACED", "inherited");
    // Shares the replaced name's first letters: only whole names are replaced.
    qputenv("PIVANA_TEST_REPLACED_TOO", "inherited");
    ProcessOptions options;
    options.environment = {"PIVANA_TEST_REPLACED=added", "PIVANA_TEST_NEW=added"};
    QStringList seen;
    options.onOutputLine = [&](const QByteArray& line) {
        if (line.startsWith("PIVANA_TEST_")) {
            seen << QString::fromUtf8(line);
        }
    };
    EXPECT_EQ(runProcess("/usr/bin/env", {}, options).exitStatus, 0);
    seen.sort();
    EXPECT_EQ(seen,
              (QStringList{"PIVANA_TEST_KEPT=inherited", "PIVANA_TEST_NEW=added",
                           "PIVANA_TEST_REPLACED=added", "PIVANA_TEST_REPLACED_TOO=inherited"}));
}

TEST(ToolRunner, ACallerThatGivesUpLeavesNoToolRunning) {
    pid_t tool = 0;
    ProcessOptions options;
    options.onOutputLine = [&](const QByteArray& line) {
        tool = line.toInt();
        throw std::runtime_error("caller gave up");
    };
    EXPECT_THROW(runProcess("/bin/sh", {"-c", "echo $$; exec sleep 600"}, options),
                 std::runtime_error);
    ASSERT_GT(tool, 0);
    // Neither running nor a zombie: killed and reaped.
    EXPECT_EQ(::kill(tool, 0), -1);
    EXPECT_EQ(errno, ESRCH);
}

namespace {

// Whether a process has ended (gone, or a zombie nobody has reaped yet).
bool ended(pid_t pid) {
    const QByteArray stat = readAll(QStringLiteral("/proc/%1/stat").arg(pid));
    return stat.isEmpty() || stat.mid(stat.lastIndexOf(')') + 2, 1) == "Z";
}

// Polls until every process has ended, for at most 20 s.
bool allEnd(const QList<pid_t>& pids) {
    for (int wait = 0; wait < 400; ++wait) {
        if (std::all_of(pids.begin(), pids.end(), ended)) {
            return true;
        }
        QThread::msleep(50);
    }
    return false;
}

}  // namespace

TEST(ToolRunnerLimits, CancelKillsTheToolAndEverythingItStartedAtOnce) {
    CancelToken token;
    QList<pid_t> pids;
    ProcessOptions options;
    options.cancel = &token;
    options.onOutputLine = [&](const QByteArray& line) {
        pids << line.toInt();
        if (pids.size() == 2) {
            token.cancel();
        }
    };
    // The tool, and a helper it started that would run for ten minutes.
    const ProcessOutcome outcome =
        runProcess("/bin/sh", {"-c", "echo $$; sleep 600 & echo $!; wait"}, options);
    EXPECT_TRUE(outcome.cancelled);
    ASSERT_EQ(pids.size(), 2);
    EXPECT_TRUE(allEnd(pids));
    // Once cancelled, no tool starts at all, and the reason is the batch's.
    EXPECT_EQ(reasonOf([&] { runTool("pivana-test: ", "/bin/true", {}, options); }), "Cancelled");
}

TEST(ToolRunnerLimits, AToolPastItsMemoryLimitIsStoppedAndTheFileIsTooLarge) {
    ProcessOptions options;
    options.memoryLimit = std::uint64_t{64} << 20;
    // Touches 400 MB, then would wait for ever.
    const QStringList arguments = {"-c", "import time; b = bytearray(400 << 20); time.sleep(600)"};
    EXPECT_EQ(reasonOf([&] { runTool("pivana-test: ", "/usr/bin/python3", arguments, options); }),
              "pivana-test: The file is too large to convert");
}

TEST(ToolRunnerLimits, AToolsTemporaryFilesGoWithIt) {
    Scratch temporary;
    qputenv("TMPDIR", temporary.root().toUtf8());
    QStringList seen;
    ProcessOptions options;
    options.onOutputLine = [&](const QByteArray& line) { seen << QString::fromUtf8(line); };
    // Leaves a file in its temporary folder, as ImageMagick does when it is killed.
    runTool("pivana-test: ", "/bin/sh", {"-c", "echo $TMPDIR; echo x > $TMPDIR/magick-1234"},
            options);
    qunsetenv("TMPDIR");
    ASSERT_EQ(seen.size(), 1);
    EXPECT_TRUE(seen[0].startsWith(temporary.root() + "/")) << seen[0];
    EXPECT_EQ(entries(temporary.root()), QStringList{});
}

TEST(ToolRunnerLimits, NoHelperOutlivesTheAppThatStartedIt) {
    // The probe runs itself two levels deep through runProcess, each level printing its pid,
    // the last one waiting for ever; then the top one is killed as a crashing app would be.
    QProcess probe;
    probe.start(QStringLiteral(PIVANA_BIN_DIR "/../tests/tool_runner_probe"), {"2"});
    QList<pid_t> pids;
    for (int wait = 0; wait < 200 && pids.size() < 3; ++wait) {
        probe.waitForReadyRead(100);
        while (probe.canReadLine()) {
            pids << probe.readLine().trimmed().toInt();
        }
    }
    ASSERT_EQ(pids.size(), 3);
    ::kill(pids[0], SIGKILL);
    probe.waitForFinished();
    EXPECT_TRUE(allEnd(pids.mid(1))) << "the helpers died with their parents";
}
