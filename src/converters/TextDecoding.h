#pragma once

#include <QByteArray>
#include <QString>

#include <string_view>

namespace pivana {

/// The sentence for text whose character encoding cannot be told.
inline constexpr std::string_view unknownEncoding =
    "The text encoding of the file cannot be determined";

/// The text of a plain-text (or Markdown) file, read in its own encoding, by one rule for every
/// target. A byte-order mark says UTF-8, -16 or -32 (and is dropped); text that is valid UTF-8
/// is UTF-8; UTF-16 and -32 without a mark are told by their zero bytes; anything else is
/// whatever encoding a detector made for the job recognises (the Windows and ISO code pages,
/// Shift-JIS, EUC-JP and -KR, GB18030, Big5...). Throws `Failure` when the bytes are no text
/// (a text file never holds NUL or control characters other than tab, line and page breaks and
/// escape), or when no encoding can be told with confidence.
QString decodePlainText(const QByteArray& bytes);

}  // namespace pivana
