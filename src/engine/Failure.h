#pragma once

// The words a failed conversion is reported in. Each kind of failure a user can meet has one
// plain sentence about the file: no file name (the panel and the command line show it beside the
// reason), no path, no library's own text, well under the 140 characters a reason may have.
//
// `Failure` is the one error value of the engine, the converters and the helper tools: the app
// raises it through the `ConversionError` helpers (engine/Error.h); the tools, which are separate
// programs without Qt, throw it too and print it on their standard error (see
// tools/common/ToolFailure.h). So this header needs nothing but the standard library.

#include <cerrno>
#include <exception>
#include <optional>
#include <string>
#include <string_view>

namespace pivana {

enum class FailureKind {
    Cancelled,
    NotAFile,     ///< a FIFO, socket or device: it could be read forever
    Folder,       ///< a directory where a file was expected
    Missing,      ///< the source is gone
    ReadDenied,   ///< the source may not be read
    Damaged,      ///< the source is truncated or corrupt
    WrongFormat,  ///< the contents are not what the extension says
    TooLarge,     ///< the work would need more memory than a conversion may take
    Changed,      ///< the source was modified while it converted
    DiskFull,     ///< no space (or quota) left for the output
    WriteDenied,  ///< the output folder may not be written
    NoFolder,     ///< the output folder is gone
    NameTooLong,  ///< the output's name does not fit the file system
    DiskError,    ///< the device reported an input/output error
    TimedOut,     ///< the work did not end within its time limit
    Crashed,      ///< a helper process died of a signal
    NoOutput,     ///< the conversion ended without writing anything
    CutOff,       ///< the output ends before its format says it is complete
    Unknown,      ///< a helper failed and said nothing
};

/// The sentence shown for a failure of this kind. "unknown error" is lower case: it always
/// follows a tool's prefix ("pivana-office: unknown error").
constexpr std::string_view failureSentence(FailureKind kind) {
    switch (kind) {
        case FailureKind::Cancelled:
            return "Cancelled";
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
        case FailureKind::Changed:
            return "The file changed while it was being converted";
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
        case FailureKind::CutOff:
            return "The output was cut off before it was complete";
        case FailureKind::Unknown:
            return "unknown error";
    }
    return "unknown error";
}

/// Whether a failed system call was reading the source or writing the output.
enum class FileAccess { Reading, Writing };

/// The kind of a failed system call's error number, where it has one of its own.
constexpr std::optional<FailureKind> failureOfErrno(int errnum, FileAccess access) {
    switch (errnum) {
        case ENOSPC:
        case EDQUOT:
            return FailureKind::DiskFull;
        case EACCES:
        case EPERM:
        case EROFS:
            return access == FileAccess::Reading ? FailureKind::ReadDenied
                                                 : FailureKind::WriteDenied;
        case ENOENT:
        case ENOTDIR:
            return access == FileAccess::Reading ? FailureKind::Missing : FailureKind::NoFolder;
        case EISDIR:
            return FailureKind::Folder;
        case ENAMETOOLONG:
            return FailureKind::NameTooLong;
        case EIO:
            return FailureKind::DiskError;
        case EFBIG:
        case ENOMEM:
            return FailureKind::TooLarge;
        default:
            return std::nullopt;
    }
}

/// What went wrong with one file: the kind, where it is one of the kinds above; the plain sentence
/// a person reads (for a tool's failure, after the tool's prefix, "pivana-image: "); and the
/// detail behind it, a library's own words, kept for someone running a tool by hand or a bug
/// report and never shown as the reason. Text is UTF-8.
class Failure : public std::exception {
public:
    /// A failure of a known kind, in that kind's sentence after `prefix`.
    explicit Failure(FailureKind kind, std::string detail = {}, std::string_view prefix = {})
        : m_kind(kind),
          m_sentence(std::string(prefix) + std::string(failureSentence(kind))),
          m_detail(std::move(detail)) {}
    /// A failure in a sentence of its own ("Cannot open PDF").
    explicit Failure(std::string sentence, std::string detail = {})
        : m_sentence(std::move(sentence)), m_detail(std::move(detail)) {}

    std::optional<FailureKind> kind() const { return m_kind; }
    const std::string& sentence() const { return m_sentence; }
    const std::string& detail() const { return m_detail; }
    bool isCancelled() const { return m_kind == FailureKind::Cancelled; }
    const char* what() const noexcept override { return m_sentence.c_str(); }

private:
    std::optional<FailureKind> m_kind;
    std::string m_sentence;
    std::string m_detail;
};

}  // namespace pivana
