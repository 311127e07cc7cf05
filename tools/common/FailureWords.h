#pragma once

// The plain sentence of each kind of failure a helper tool reports, first on its standard error;
// the library's own words follow on the lines after it, for a person running the tool by hand.

#include <cstdio>
#include <string>
#include <string_view>

namespace pivana {

enum class FailureKind {
    NotAFile,
    Folder,
    Missing,
    ReadDenied,
    Damaged,
    WrongFormat,
    TooLarge,
    DiskFull,
    WriteDenied,
    NoFolder,
    NameTooLong,
    DiskError,
    TimedOut,
    Crashed,
    NoOutput,
    Unknown,
};

constexpr std::string_view failureSentence(FailureKind kind) {
    switch (kind) {
        case FailureKind::NotAFile:
            return "It is not a regular file";
        case FailureKind::Folder:
            return "It is a folder, not a file";
        case FailureKind::Missing:
            return "The file does not exist";
        case FailureKind::ReadDenied:
            return "You do not have permission to read the file";
        case FailureKind::Damaged:
            return "The file is damaged or incomplete";
        case FailureKind::WrongFormat:
            return "The file's contents are not in the format its name says";
        case FailureKind::TooLarge:
            return "The file is too large to convert";
        case FailureKind::DiskFull:
            return "There is not enough free space on the disk";
        case FailureKind::WriteDenied:
            return "You do not have permission to write to the output folder";
        case FailureKind::NoFolder:
            return "The output folder does not exist";
        case FailureKind::NameTooLong:
            return "The output's name is too long for the file system";
        case FailureKind::DiskError:
            return "The disk reported a read or write error";
        case FailureKind::TimedOut:
            return "The conversion took too long and was stopped";
        case FailureKind::Crashed:
            return "The converter stopped unexpectedly";
        case FailureKind::NoOutput:
            return "The conversion produced no output";
        case FailureKind::Unknown:
            return "unknown error";
    }
    return "unknown error";
}

namespace tools {

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

}  // namespace tools

}  // namespace pivana
