#pragma once

// The kinds of failure pivana-image reports, each with its plain sentence.
#include <string_view>

namespace pivana::image {

enum class Failure {
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
};

constexpr std::string_view sentence(Failure kind) {
    switch (kind) {
        case Failure::NotAFile:
            return "It is not a regular file";
        case Failure::Folder:
            return "It is a folder, not a file";
        case Failure::Missing:
            return "The file does not exist";
        case Failure::ReadDenied:
            return "You do not have permission to read the file";
        case Failure::Damaged:
            return "The file is damaged or incomplete";
        case Failure::WrongFormat:
            return "The file's contents are not in the format its name says";
        case Failure::TooLarge:
            return "The file is too large to convert";
        case Failure::DiskFull:
            return "There is not enough free space on the disk";
        case Failure::WriteDenied:
            return "You do not have permission to write to the output folder";
        case Failure::NoFolder:
            return "The output folder does not exist";
        case Failure::NameTooLong:
            return "The output's name is too long for the file system";
        case Failure::DiskError:
            return "The disk reported a read or write error";
    }
    return "unknown error";
}

}  // namespace pivana::image
