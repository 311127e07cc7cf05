#pragma once

// How the helper tools write their output: to a hidden file beside it, renamed over it only when
// complete, so a failed run never leaves a partial file or destroys an existing one.
//
// When the app runs a tool, the output it names is already the app's own staging file
// (engine/OutputFile.h), so the file is staged twice. Both layers stay: a tool is also run on its
// own, from a shell or a script, and must leave no partial file there either; the app's layer
// does the batch's bookkeeping besides (an output that would be the source itself, one an earlier
// file of the batch wrote, the source deleted only after the commit).

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

namespace pivana::tools {

/// The last component of a path, for messages.
inline std::string fileName(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

class StagedOutput {
public:
    explicit StagedOutput(std::string output) : m_output(std::move(output)) {
        const auto slash = m_output.find_last_of('/');
        const std::string folder =
            slash == std::string::npos ? std::string() : m_output.substr(0, slash + 1);
        const std::string name = fileName(m_output);
        const auto dot = name.find_last_of('.');
        // Same extension, so libraries that look at it choose the same format.
        const std::string extension = dot == std::string::npos ? std::string() : name.substr(dot);
        std::random_device seed;
        const std::string tail = ".part" + std::to_string(seed() % 1000000) + extension;
        m_staging = folder + "." + fitted(name, tail) + tail;
    }
    ~StagedOutput() {
        if (!m_committed) {
            ::unlink(m_staging.c_str());
        }
    }
    StagedOutput(const StagedOutput&) = delete;
    StagedOutput& operator=(const StagedOutput&) = delete;

    const std::string& path() const { return m_staging; }
    const std::string& outputPath() const { return m_output; }

    /// Renames the staged file over the output; returns the system's reason on failure.
    std::string commit() {
        if (std::rename(m_staging.c_str(), m_output.c_str()) != 0) {
            return std::strerror(errno);
        }
        m_committed = true;
        return {};
    }

private:
    // `name` cut short enough that "." + it + `tail` stays within the 255 bytes a file name may
    // have, at a character boundary: any name the output may have has a staging name.
    static std::string fitted(const std::string& name, const std::string& tail) {
        constexpr size_t nameMax = 255;
        const size_t room = nameMax > tail.size() + 1 ? nameMax - tail.size() - 1 : 0;
        if (name.size() <= room) {
            return name;
        }
        size_t end = room;
        // Back to the first byte of the character the cut falls in (UTF-8 continuation bytes
        // are 10xxxxxx).
        while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80) {
            --end;
        }
        return name.substr(0, end);
    }

    std::string m_output;
    std::string m_staging;
    bool m_committed = false;
};

}  // namespace pivana::tools
