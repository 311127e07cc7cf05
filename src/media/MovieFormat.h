#pragma once

// The movie files Pivana writes (mp4, mov, m4v and m4a for sound alone, of the MP4 family, and
// WebM): which FFmpeg writer makes each, which streams go in unchanged, and how the others are
// encoded. One place for these rules, so that every movie Pivana writes, from a video or from a
// GIF, follows them.

#include "media/Media.h"
#include "media/StreamTranscoder.h"

#include <string>
#include <string_view>

namespace pivana::media {

/// FFmpeg's writer for a target, as engine/Formats.h names it: "mov", "ipod" for m4v and m4a
/// (Apple's flavours of MPEG-4), "webm", and "mp4" for anything else.
const char* movieMuxer(std::string_view target);

/// The filters (each followed by a comma) that turn pictures shown rotated by `degrees` upright,
/// as a player shows them; empty for none.
std::string uprightFilter(int degrees);

/// Whether a stream of this codec goes into a file of the target container unchanged. What does
/// not is encoded by `pictureEncoder` or `soundEncoder`.
bool canCopy(AVCodecID codec, std::string_view target);

/// How pictures of `stream` that cannot be copied are encoded, each at a quality-based rate:
/// H.264 in the MP4 family; AV1 (SVT-AV1) in WebM, or VP9 for pictures smaller than AV1's
/// encoder takes.
EncoderSettings pictureEncoder(const AVStream* stream, std::string_view target);

/// The filters that make decoded pictures of `stream` fit for `pictureEncoder`: 4:2:0 chroma
/// for every player, and for H.264 and AV1 one more row or column when a side is odd, as they
/// need; in WebM upright pixels, as its writer keeps no rotation.
std::string pictureFilters(const AVStream* stream, std::string_view target);

/// Whether a picture stream written to `target` by `pictureEncoder` keeps the source's rotation
/// as a display instruction (rather than having it applied by `pictureFilters`).
bool keepsRotation(std::string_view target);

/// How sound that cannot be copied is encoded: Opus in WebM, AAC elsewhere, each at 128 kbit/s a
/// channel within what the encoder takes.
EncoderSettings soundEncoder(std::string_view target);

/// The filters that make decoded sound of `stream` fit for `soundEncoder(target)`.
std::string soundFilters(const AVStream* stream, std::string_view target);

}  // namespace pivana::media
