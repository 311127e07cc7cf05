// Plain text read in its own encoding: every encoding a note may come in reads right, and bytes
// that are no text, or whose encoding cannot be told, fail instead of turning into wrong
// characters.
#include "converters/TextDecoding.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QStringEncoder>

using namespace pivana;

namespace {

QByteArray encoded(const char* encoding, const char* text) {
    QStringEncoder encoder(encoding);
    const QByteArray bytes = encoder.encode(QString::fromUtf8(text));
    EXPECT_FALSE(encoder.hasError()) << encoding;
    return bytes;
}

struct Encoded {
    const char* name;
    const char* encoding;
    QByteArray mark;
    const char* text;
};

class Encodings : public testing::TestWithParam<Encoded> {};

TEST_P(Encodings, ReadRight) {
    const Encoded& row = GetParam();
    EXPECT_EQ(decodePlainText(row.mark + encoded(row.encoding, row.text)),
              QString::fromUtf8(row.text));
}

INSTANTIATE_TEST_SUITE_P(
    Notes, Encodings,
    testing::Values(
        Encoded{"utf8", "UTF-8", {}, "Grüße aus Köln, 東京\n"},
        Encoded{"utf8Marked", "UTF-8", "\xef\xbb\xbf", "Grüße aus Köln\n"},
        Encoded{"utf16Marked", "UTF-16LE", "\xff\xfe", "東京 und Zürich\n"},
        Encoded{"utf16BigEndianBare", "UTF-16BE", {}, "A plain note, naïve.\n"},
        Encoded{"utf32Marked", "UTF-32LE", QByteArray("\xff\xfe\0\0", 4), "Zürich 🙂\n"},
        Encoded{"utf32Bare", "UTF-32LE", {}, "A plain note in four bytes a letter.\n"},
        Encoded{
            "windows1252", "windows-1252", {}, "Café “quoted” – résumé for Monday’s meeting.\n"},
        Encoded{
            "windows1251", "windows-1251", {}, "Привет, это заметка о встрече в понедельник.\n"},
        Encoded{"shiftJis",
                "Shift_JIS",
                {},
                "日本語のメモです。会議は月曜日の午後三時から始まります。\n"},
        Encoded{
            "eucJp", "EUC-JP", {}, "日本語のメモです。会議は月曜日の午後三時から始まります。\n"},
        Encoded{
            "eucKr", "EUC-KR", {}, "한국어 메모입니다. 회의는 월요일 오후 세 시에 시작합니다.\n"},
        Encoded{"gb18030", "GB18030", {}, "这是一份中文备忘录。会议在星期一下午三点开始。\n"},
        Encoded{"big5", "Big5", {}, "這是一份中文備忘錄。會議在星期一下午三點開始。\n"}),
    [](const testing::TestParamInfo<Encoded>& row) { return std::string(row.param.name); });

struct Undecodable {
    const char* name;
    QByteArray bytes;
    const char* sentence;
};

class NoText : public testing::TestWithParam<Undecodable> {};

TEST_P(NoText, FailsInPlainWords) {
    try {
        const QString text = decodePlainText(GetParam().bytes);
        FAIL() << "read as " << text;
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.sentence(), GetParam().sentence);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Bytes, NoText,
    testing::Values(Undecodable{"nulBytes", QByteArray("\x00\x01\x02\x9f", 4).repeated(100),
                                "The file's contents are not in the format its name says"},
                    Undecodable{"controlCharacters", QByteArray("text\x01\x02\x03 more\n"),
                                "The file's contents are not in the format its name says"},
                    Undecodable{"markedButNotUtf8",
                                QByteArray("\xef\xbb\xbf"
                                           "caf\xe9 \xff\n"),
                                "The file's contents are not in the format its name says"},
                    Undecodable{"noEncodingTold", QByteArray("x\x81\x8d\x8f\x90\x9d\n"),
                                "The text encoding of the file cannot be determined"}),
    [](const testing::TestParamInfo<Undecodable>& row) { return std::string(row.param.name); });

}  // namespace
