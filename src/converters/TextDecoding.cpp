#include "converters/TextDecoding.h"

#include <QStringDecoder>

#include <algorithm>

namespace pivana {

namespace {

bool isTextByte(unsigned char c) {
    return c >= 0x20 || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r' || c == 0x1b;
}

}  // namespace

std::optional<QString> decodePlainText(const QByteArray& bytes) {
    if (bytes.startsWith("\xff\xfe") || bytes.startsWith("\xfe\xff")) {
        // The mark tells the byte order, and is dropped.
        QStringDecoder utf16(QStringDecoder::Utf16);
        const QString text = utf16.decode(bytes);
        return utf16.hasError() ? std::nullopt : std::optional(text);
    }
    if (!std::all_of(bytes.begin(), bytes.end(),
                     [](char c) { return isTextByte(static_cast<unsigned char>(c)); })) {
        return std::nullopt;
    }
    const QByteArray body = bytes.startsWith("\xef\xbb\xbf") ? bytes.mid(3) : bytes;
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8.decode(body);
    return utf8.hasError() ? QString::fromLatin1(body) : text;
}

}  // namespace pivana
