#include "common/MediaTool.h"

#include "common/StagedOutput.h"
#include "common/ToolFailure.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace pivana::tools {

CommandLine parseCommandLine(int argc, const char* const* argv,
                             std::initializer_list<std::string_view> optionNames) {
    CommandLine line;
    bool haveFormat = false;
    std::vector<std::string> paths;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (optionsEnded || argument.rfind("--", 0) != 0) {
            paths.push_back(argument);
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        const std::string name = argument.substr(2);
        const bool known = name == "to" || std::find(optionNames.begin(), optionNames.end(),
                                                     name) != optionNames.end();
        if (!known) {
            throw UsageError("unknown option " + argument);
        }
        if (i + 1 >= argc) {
            throw UsageError("missing value after " + argument);
        }
        const std::string value = argv[++i];
        const bool repeated = name == "to" ? haveFormat : line.options.count(name) > 0;
        if (repeated) {
            throw UsageError(argument + " given twice");
        }
        if (name == "to") {
            line.format = value;
            haveFormat = true;
        } else {
            line.options[name] = value;
        }
    }
    if (!haveFormat) {
        throw UsageError("no target format given (--to FORMAT)");
    }
    if (paths.size() != 2) {
        throw UsageError("expected INPUT and OUTPUT, got " + std::to_string(paths.size()) +
                         (paths.size() == 1 ? " path" : " paths"));
    }
    line.input = paths[0];
    line.output = paths[1];
    return line;
}

std::function<void(double)> progressLines() {
    if (!std::getenv("PIVANA_PROGRESS")) {
        return [](double) {};
    }
    return [last = -1.0](double fraction) mutable {
        fraction = std::clamp(fraction, 0.0, 1.0);
        if (fraction - last >= 0.01) {
            last = fraction;
            std::printf("progress %.3f\n", fraction);
            std::fflush(stdout);
        }
    };
}

namespace {

// A FIFO or a device could be read forever; only a regular file that can be read is converted.
bool checkInput(const std::string& input) {
    struct stat info {};
    if (::stat(input.c_str(), &info) != 0) {
        reportFailure(failureOfErrno(errno, FileAccess::Reading).value_or(FailureKind::Missing));
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        reportFailure(S_ISDIR(info.st_mode) ? FailureKind::Folder : FailureKind::NotAFile);
        return false;
    }
    return true;
}

}  // namespace

int runConversion(const std::string& input, const std::string& output,
                  const std::function<void(const std::string& staging)>& convert) {
    if (!checkInput(input)) {
        return 1;
    }
    StagedOutput staged(output);
    try {
        convert(staged.path());
    } catch (const Failure& error) {
        reportFailure(error.sentence(), error.detail());
        return 1;
    }
    if (const std::string reason = staged.commit(); !reason.empty()) {
        const int renameError = errno;  // commit's rename, still
        reportFailure(
            failureOfErrno(renameError, FileAccess::Writing).value_or(FailureKind::DiskError),
            reason);
        return 1;
    }
    return 0;
}

}  // namespace pivana::tools
