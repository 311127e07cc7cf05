#pragma once

namespace pivana {

/// While one of these is alive, whatever is written on the process's standard error goes
/// nowhere. For in-process work whose libraries report what they meet on standard error
/// themselves (libpng on each broken picture of a document being typeset, fontconfig), which
/// would otherwise reach the terminal of `pivana --to` beside our own plain reasons. Any number
/// may be alive at once, on any threads: standard error comes back when the last one goes.
class QuietStandardError {
public:
    QuietStandardError();
    ~QuietStandardError();
    QuietStandardError(const QuietStandardError&) = delete;
    QuietStandardError& operator=(const QuietStandardError&) = delete;
};

}  // namespace pivana
