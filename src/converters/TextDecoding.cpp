#include "converters/TextDecoding.h"

#include "engine/Failure.h"

#include <uchardet/uchardet.h>

#include <QStringDecoder>

#include <algorithm>
#include <memory>
#include <optional>

namespace pivana {

namespace {

// Control characters are what bytes of no text turn into.
bool isTextCharacter(QChar c) {
    const char16_t u = c.unicode();
    return u >= 0x20 || u == '\t' || u == '\n' || u == '\v' || u == '\f' || u == '\r' || u == 0x1b;
}

// The C1 control characters, which an 8-bit code page read as the wrong one turns into.
bool isC1Control(QChar c) {
    return c.unicode() >= 0x80 && c.unicode() <= 0x9f;
}

// The bytes are all there is: a sequence cut off at their end is an error, not one to be
// continued.
constexpr QStringDecoder::Flags whole = QStringDecoder::Flag::Stateless;

// The whole of `bytes` in `encoding`, or none where they are not valid in it or hold what no
// text holds.
std::optional<QString> strictly(QStringDecoder decoder, const QByteArray& bytes) {
    if (!decoder.isValid()) {
        return std::nullopt;
    }
    QString text = decoder.decode(bytes);
    if (decoder.hasError() ||
        !std::all_of(text.cbegin(), text.cend(), [](QChar c) { return isTextCharacter(c); })) {
        return std::nullopt;
    }
    return text;
}

struct Mark {
    QByteArrayView bytes;
    QStringDecoder::Encoding encoding;
};

// UTF-32's marks first: UTF-32LE's starts with UTF-16LE's.
constexpr Mark byteOrderMarks[] = {
    {QByteArrayView("\xff\xfe\x00\x00", 4), QStringDecoder::Utf32LE},
    {QByteArrayView("\x00\x00\xfe\xff", 4), QStringDecoder::Utf32BE},
    {QByteArrayView("\xef\xbb\xbf", 3), QStringDecoder::Utf8},
    {QByteArrayView("\xff\xfe", 2), QStringDecoder::Utf16LE},
    {QByteArrayView("\xfe\xff", 2), QStringDecoder::Utf16BE},
};

// Zero bytes are no text in any 8-bit encoding, but they are the high bytes of Western text in
// UTF-16 or UTF-32 written without a mark: in UTF-16 every zero byte sits on the same side of
// its pair (odd offsets in little-endian), in UTF-32 the two high bytes of every four (outside
// the Basic Multilingual Plane, which plain text without a mark seldom leaves).
bool zerosFit(const QByteArray& bytes, QStringDecoder::Encoding encoding) {
    auto zeroAt = [&bytes](qsizetype offset) {
        for (qsizetype i = offset; i < bytes.size(); i += 4) {
            if (bytes[i] != '\0') {
                return false;
            }
        }
        return true;
    };
    auto zerosOnlyAt = [&bytes](qsizetype parity) {
        for (qsizetype i = 1 - parity; i < bytes.size(); i += 2) {
            if (bytes[i] == '\0') {
                return false;
            }
        }
        return true;
    };
    switch (encoding) {
        case QStringDecoder::Utf32LE:
            return bytes.size() % 4 == 0 && zeroAt(3) && zeroAt(2);
        case QStringDecoder::Utf32BE:
            return bytes.size() % 4 == 0 && zeroAt(0) && zeroAt(1);
        case QStringDecoder::Utf16LE:
            return bytes.size() % 2 == 0 && zerosOnlyAt(1);
        default:
            return bytes.size() % 2 == 0 && zerosOnlyAt(0);
    }
}

std::optional<QString> wideWithoutMark(const QByteArray& bytes) {
    for (const QStringDecoder::Encoding encoding :
         {QStringDecoder::Utf32LE, QStringDecoder::Utf32BE, QStringDecoder::Utf16LE,
          QStringDecoder::Utf16BE}) {
        if (zerosFit(bytes, encoding)) {
            if (std::optional<QString> text = strictly(QStringDecoder(encoding, whole), bytes)) {
                return text;
            }
        }
    }
    return std::nullopt;
}

struct DetectorDeleter {
    void operator()(uchardet* detector) const { uchardet_delete(detector); }
};

// The detector's name for the encoding of `bytes`, empty when it cannot tell.
QByteArray detectedEncoding(const QByteArray& bytes) {
    const std::unique_ptr<uchardet, DetectorDeleter> detector(uchardet_new());
    if (!detector || uchardet_handle_data(detector.get(), bytes.constData(),
                                          static_cast<size_t>(bytes.size())) != 0) {
        return {};
    }
    uchardet_data_end(detector.get());
    const QByteArray name(uchardet_get_charset(detector.get()));
    // Korean's extended code page, by the name Qt knows it; and Latin-1 as Windows writes it,
    // with curly quotes and dashes where Latin-1 has control characters (as browsers read it).
    if (name == "UHC") {
        return "CP949";
    }
    return name == "ISO-8859-1" ? QByteArray("windows-1252") : name;
}

}  // namespace

QString decodePlainText(const QByteArray& bytes) {
    for (const Mark& mark : byteOrderMarks) {
        if (bytes.startsWith(mark.bytes)) {
            // The decoder drops the mark.
            if (std::optional<QString> text =
                    strictly(QStringDecoder(mark.encoding, whole), bytes)) {
                return *text;
            }
            throw Failure(FailureKind::WrongFormat, "not text in the encoding its mark says");
        }
    }
    if (bytes.contains('\0')) {
        if (std::optional<QString> text = wideWithoutMark(bytes)) {
            return *text;
        }
        throw Failure(FailureKind::WrongFormat, "NUL bytes in a text file");
    }
    // Control bytes are no text in any 8-bit or multi-byte encoding either.
    if (std::any_of(bytes.cbegin(), bytes.cend(), [](char c) {
            const auto byte = static_cast<unsigned char>(c);
            return byte < 0x20 && !isTextCharacter(QChar(byte));
        })) {
        throw Failure(FailureKind::WrongFormat, "control characters in a text file");
    }
    if (std::optional<QString> text =
            strictly(QStringDecoder(QStringDecoder::Utf8, whole), bytes)) {
        return *text;
    }
    const QByteArray encoding = detectedEncoding(bytes);
    if (encoding.isEmpty()) {
        throw Failure(std::string(unknownEncoding), "no encoding recognised");
    }
    if (std::optional<QString> text = strictly(QStringDecoder(encoding.constData(), whole), bytes);
        text && std::none_of(text->cbegin(), text->cend(), isC1Control)) {
        return *text;
    }
    throw Failure(std::string(unknownEncoding),
                  "not valid text in the encoding recognised, " + encoding.toStdString());
}

}  // namespace pivana
