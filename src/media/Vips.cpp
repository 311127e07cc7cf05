#include "media/Vips.h"

#include <vips/vips.h>

#include <mutex>

namespace pivana::media {

bool ensureVipsStarted(const char* programName) {
    static std::once_flag once;
    static bool started = false;
    std::call_once(once, [programName] {
        started = VIPS_INIT(programName) == 0;
        if (started) {
            vips_cache_set_max(0);
        }
    });
    return started;
}

std::string takeVipsError() {
    const std::string text = vips_error_buffer();
    vips_error_clear();
    std::string line;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        line = text.substr(start, end - start);
        if (!line.empty()) {
            break;
        }
        start = end + 1;
    }
    // The operation's name is a single short word before ": "; a colon later in the sentence is
    // part of the message.
    const auto colon = line.find(": ");
    if (colon != std::string::npos && colon < 32 && line.find(' ') > colon) {
        line = line.substr(colon + 2);
    }
    return line.empty() ? "unknown libvips error" : line;
}

}  // namespace pivana::media
