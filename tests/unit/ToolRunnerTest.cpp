#include "engine/Error.h"
#include "engine/ToolRunner.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <signal.h>

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

TEST(ToolRunner, NonZeroExitFailsWithPrefixAndStandardError) {
    const QString reason = reasonOf([] {
        runTool("pivana-test: ", "/bin/sh", {"-c", "echo 'cannot read x.png' >&2; exit 3"});
    });
    EXPECT_EQ(reason, "pivana-test: cannot read x.png");
    EXPECT_EQ(reasonOf([] { runTool("pivana-test: ", "/bin/false", {}); }),
              "pivana-test: exited with status 1");
    EXPECT_EQ(reasonOf([] { runTool("pivana-test: ", "/bin/true", {}); }), "no error");
}

TEST(ToolRunner, CrashNamesTheSignal) {
    const QString reason = reasonOf([] {
        runTool("pivana-test: ", "/bin/sh", {"-c", "kill -SEGV $$"});
    });
    EXPECT_EQ(reason, "pivana-test: crashed with signal SIGSEGV (Segmentation fault)");
}

TEST(ToolRunner, HungToolIsStoppedAfterTheTimeLimit) {
    ProcessOptions options;
    options.timeout = 300ms;
    const ProcessOutcome outcome = runProcess("/bin/sleep", {"30"}, options);
    EXPECT_TRUE(outcome.timedOut);
    EXPECT_EQ(outcome.signal, 0);
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
