#pragma once

// The MP4 family of movie files (mp4, mov, m4v, and m4a for sound alone): which FFmpeg writer
// makes each, which streams go in unchanged, and how the others are encoded. One place for these
// rules, so that every movie Pivana writes, from a video or from a GIF, follows them.

#include "media/Media.h"
#include "media/StreamTranscoder.h"

#include <string>
#include <string_view>

namespace pivana::media {

/// FFmpeg's writer for a target of the family, as engine/Formats.h names it: "mov", "ipod" for
/// m4v and m4a (Apple's flavours of MPEG-4), and "mp4" for anything else.
const char* movieMuxer(std::string_view target);

/// Whether a stream of this codec goes into a file of the target container unchanged. What does
/// not is encoded: pictures as H.264, sound as AAC.
bool canCopy(AVCodecID codec, std::string_view target);

/// H.264 at a quality-based rate, for pictures that cannot be copied.
EncoderSettings h264Encoder();

/// The filters that make decoded pictures of `stream` fit for `h264Encoder`: 4:2:0 chroma for
/// every player, and one more row or column when a side is odd, as H.264 in 4:2:0 needs.
std::string h264Filters(const AVStream* stream);

/// AAC at 128 kbit/s a channel, for sound that cannot be copied.
EncoderSettings aacEncoder();

/// The filters that make decoded sound of `stream` fit for `aacEncoder`.
std::string aacFilters(const AVStream* stream);

}  // namespace pivana::media
