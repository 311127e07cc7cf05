#include "common/MediaTool.h"

#include "common/StagedOutput.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace pivana::tools {

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

std::string sentenceFor(const media::MediaError& error) {
    return error.what();
}

namespace {

void report(const std::string& sentence) {
    std::fprintf(stderr, "%s\n", sentence.c_str());
}

// A FIFO or a device could be read forever; only a regular file that can be read is converted.
bool checkInput(const std::string& input) {
    struct stat info {};
    if (::stat(input.c_str(), &info) != 0 || ::access(input.c_str(), R_OK) != 0) {
        report(std::strerror(errno));
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        report("It is not a regular file");
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
    } catch (const media::MediaError& error) {
        report(sentenceFor(error));
        return 1;
    }
    if (const std::string reason = staged.commit(); !reason.empty()) {
        report(reason);
        return 1;
    }
    return 0;
}

}  // namespace pivana::tools
