#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace pivana {

/// The text of a plain-text (or Markdown) file, by one rule for every target: UTF-8 (a
/// byte-order mark dropped), UTF-16 with its byte-order mark, otherwise Latin-1, as older text
/// files are. None when the bytes are not text at all: a text file never holds NUL bytes or the
/// control characters below space other than tab, line and page breaks and escape.
std::optional<QString> decodePlainText(const QByteArray& bytes);

}  // namespace pivana
