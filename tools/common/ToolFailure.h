#pragma once

// How a helper tool reports a failure to whoever started it. The app shows the first line of the
// tool's standard error, after the tool's prefix ("pivana-image: "), as the file's reason; so
// that line is one plain sentence about the input: no file name (the app shows it beside the
// reason), no path, no library's own words. The sentences of engine/Failure.h cover the common
// kinds (damaged, not this format, too large, disk full, permission); a converter's own fixed
// texts ("Cannot open PDF") stay as they are. Anything more, the library's own message included,
// goes on the lines after it, for a person running the tool by hand.

#include "engine/Failure.h"

#include <cstdio>
#include <string>
#include <string_view>

namespace pivana::tools {

/// Writes the report on standard error: `sentence`, then `detail` (if any) on the next line.
inline void reportFailure(std::string_view sentence, std::string_view detail = {}) {
    std::string report(sentence);
    report += '\n';
    if (!detail.empty()) {
        report += detail;
        if (report.back() != '\n') {
            report += '\n';
        }
    }
    std::fputs(report.c_str(), stderr);
}

inline void reportFailure(FailureKind kind, std::string_view detail = {}) {
    reportFailure(failureSentence(kind), detail);
}

}  // namespace pivana::tools
