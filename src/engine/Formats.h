#pragma once

// The formats Pivana converts between, in one place: each category's sources and its targets in
// the order the panel offers them, which targets are movies, and what each movie and audio target
// is written as. The route table is built from these lists, and the converters, pivana-audio,
// pivana-video and pivana-menus ask them; the tools are programs without Qt, so this header needs
// nothing but the standard library.

#include <algorithm>
#include <array>
#include <cstddef>
#include <string_view>

namespace pivana::formats {

/// How an audio target is written.
struct AudioEncoding {
    std::string_view format;  ///< the target's extension
    const char* encoder;      ///< FFmpeg's encoder
    const char* muxer;        ///< FFmpeg's writer
    bool lossy;               ///< encoded at a bit rate (the "Audio bitrate" setting)
    bool coverArt;            ///< the container carries a cover picture
    long minBitRate = 0;      ///< what the encoder accepts, for a lossy target (bits/s)
    long maxBitRate = 0;
};

/// A movie container and FFmpeg's writer for it. M4V (and M4A, for sound alone) are Apple's
/// flavours of MPEG-4, written by the "ipod" muxer; WebM is the web's Matroska.
struct MovieContainer {
    std::string_view format;
    const char* muxer;
};

/// The audio targets, in the panel's order.
inline constexpr std::array audioEncodings = {
    // FFmpeg's AAC encoder brings a rate within what its frames hold by itself.
    AudioEncoding{"m4a", "aac", "ipod", true, true, 8000, 1000000},
    AudioEncoding{"wav", "pcm_s16le", "wav", false, false},
    AudioEncoding{"aiff", "pcm_s16be", "aiff", false, true},
    AudioEncoding{"aac", "aac", "adts", true, false, 8000, 1000000},
    AudioEncoding{"flac", "flac", "flac", false, true},
    // LAME writes MPEG-1 layer III up to 320 kbit/s; Opus carries up to 256 kbit/s a channel.
    AudioEncoding{"mp3", "libmp3lame", "mp3", true, true, 8000, 320000},
    AudioEncoding{"opus", "libopus", "ogg", true, true, 6000, 510000},
};

/// The movie targets, in the panel's order.
inline constexpr std::array movieContainers = {
    MovieContainer{"mp4", "mp4"},
    MovieContainer{"mov", "mov"},
    MovieContainer{"m4v", "ipod"},
    MovieContainer{"webm", "webm"},
};

/// How `format` is written as an audio target; null when it is not one.
constexpr const AudioEncoding* audioEncoding(std::string_view format) {
    const auto* found =
        std::find_if(audioEncodings.begin(), audioEncodings.end(),
                     [format](const AudioEncoding& e) { return e.format == format; });
    return found == audioEncodings.end() ? nullptr : found;
}

/// Whether `format` (a lower-case extension) is an audio target.
constexpr bool isAudio(std::string_view format) {
    return std::any_of(audioEncodings.begin(), audioEncodings.end(),
                       [format](const AudioEncoding& e) { return e.format == format; });
}

/// The movie container `format` names; null when it is not one.
constexpr const MovieContainer* movieContainer(std::string_view format) {
    const auto* found =
        std::find_if(movieContainers.begin(), movieContainers.end(),
                     [format](const MovieContainer& c) { return c.format == format; });
    return found == movieContainers.end() ? nullptr : found;
}

/// Whether `format` (a lower-case extension) is a movie: mp4, mov, m4v or webm.
constexpr bool isMovie(std::string_view format) {
    return std::any_of(movieContainers.begin(), movieContainers.end(),
                       [format](const MovieContainer& c) { return c.format == format; });
}

namespace detail {

template <typename Entry, std::size_t N>
constexpr std::array<std::string_view, N> namesOf(const std::array<Entry, N>& table) {
    std::array<std::string_view, N> names{};
    std::transform(table.begin(), table.end(), names.begin(),
                   [](const Entry& entry) { return entry.format; });
    return names;
}

template <std::size_t... N>
constexpr std::array<std::string_view, (N + ...)> joined(
    const std::array<std::string_view, N>&... lists) {
    std::array<std::string_view, (N + ...)> all{};
    auto* at = all.begin();
    ((at = std::copy(lists.begin(), lists.end(), at)), ...);
    return all;
}

}  // namespace detail

// Each category's sources, and its targets in the panel's order. A source is never offered as
// its own target; how each source's list is cut from its category's is the route table's rule.

inline constexpr auto imageSources = std::to_array<std::string_view>(
    {"jpg", "jpeg", "png", "webp", "heic", "tiff", "bmp", "svg", "avif", "exr", "psd"});
/// Camera RAW files: images that are offered every image target.
inline constexpr auto rawSources =
    std::to_array<std::string_view>({"dng", "cr2", "cr3", "nef", "arw", "raf", "rw2", "orf", "pef",
                                     "erf", "3fr", "dcr", "mrw", "srw", "nrw", "srf", "sr2"});
/// "pdf" is the one target that takes the batch's pictures together: one document, a page each.
inline constexpr auto imageTargets = std::to_array<std::string_view>(
    {"jpg", "png", "heic", "avif", "exr", "tiff", "gif", "bmp", "psd", "webp", "pdf"});

/// An animated GIF becomes a movie or one still image.
inline constexpr auto animatedSources = std::to_array<std::string_view>({"gif"});
inline constexpr auto animatedTargets =
    std::to_array<std::string_view>({"mp4", "mov", "jpg", "png", "heic", "tiff", "bmp", "webm"});

inline constexpr auto audioTargets = detail::namesOf(audioEncodings);
inline constexpr auto audioSources =
    std::to_array<std::string_view>({"mp3", "m4a", "wav", "aiff", "aac", "flac", "opus", "ogg"});

inline constexpr auto movieTargets = detail::namesOf(movieContainers);
inline constexpr auto videoSources =
    std::to_array<std::string_view>({"mp4", "mov", "m4v", "avi", "mkv", "webm"});
/// A video becomes another movie, a GIF, or its soundtrack.
inline constexpr auto videoTargets =
    detail::joined(movieTargets, std::to_array<std::string_view>({"gif"}), audioTargets);
// The video converter knows these three ways out and no other.
static_assert(std::all_of(videoTargets.begin(), videoTargets.end(), [](std::string_view target) {
    return isMovie(target) || target == "gif" || isAudio(target);
}));

/// Text documents convert among themselves.
inline constexpr auto textFormats =
    std::to_array<std::string_view>({"pdf", "docx", "odt", "html", "rtf", "txt", "md"});

/// A PDF is routed as a document of pages (not as text), each page an image.
inline constexpr auto pdfSources = std::to_array<std::string_view>({"pdf"});
inline constexpr auto pdfTargets = std::to_array<std::string_view>({"png", "jpg"});

inline constexpr auto presentationSources = std::to_array<std::string_view>({"pptx", "key"});
inline constexpr auto presentationTargets = std::to_array<std::string_view>({"pdf"});

}  // namespace pivana::formats
