#include "engine/Error.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

using namespace pivana;

TEST(ConversionErrorText, DescribesItsKindAndKeepsDetailBehindTheSentence) {
    EXPECT_EQ(cleanReason(ConversionError::unsupportedFormat("pdf")), "Unsupported format: pdf");
    EXPECT_EQ(cleanReason(ConversionError::noRoute()), "Unsupported format");
    const Error tool = ConversionError::processFailed(
        "\n  \npivana-image: The file is damaged or incomplete\r\nTIFFReadDirectory: bogus");
    EXPECT_EQ(sentenceOf(tool), "pivana-image: The file is damaged or incomplete");
    EXPECT_EQ(detailOf(tool), "TIFFReadDirectory: bogus");
    EXPECT_FALSE(tool.kind().has_value());
}

TEST(ConversionErrorText, PlatformErrorsNameTheFileAndTheCause) {
    const Error error =
        ConversionError::fileOperation("Cannot delete the original", "/x/My Photo.heic", ENOENT);
    EXPECT_EQ(
        cleanReason(error),
        QString::fromUtf8(
            "Cannot delete the original \u201cMy Photo.heic\u201d: No such file or directory"));
    EXPECT_EQ(
        cleanReason(ConversionError::processLaunch("/usr/libexec/pivana/pivana-image", EACCES)),
        "Cannot start pivana-image: Permission denied");
}

struct ReasonCase {
    const char* name;
    Error error;
    QString expected;
};

class CleanReason : public testing::TestWithParam<ReasonCase> {};

TEST_P(CleanReason, PicksAndTrimsTheSentence) {
    EXPECT_EQ(cleanReason(GetParam().error), GetParam().expected);
}

Error text(const QString& text) {
    return ConversionError::processFailed(text);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, CleanReason,
    testing::Values(
        ReasonCase{"firstNonEmptyLine", text("\n\n  pivana-image: bad file  \nmore detail"),
                   "pivana-image: bad file"},
        ReasonCase{"toolPrefixWithTrailingNewline", text("pivana-image: cannot read x.jpg\n"),
                   "pivana-image: cannot read x.jpg"},
        ReasonCase{"blank", text("  "), ""},
        ReasonCase{"exactly140Kept", text(QString(140, u'a')), QString(140, u'a')},
        ReasonCase{"141Shortened", text(QString(141, u'a')), QString(140, u'a') + QChar(0x2026)},
        ReasonCase{
            "longTextEndsAtAWholeWord",
            text(QString("pivana-image: ") + QString("damaged ").repeated(16) + "and unreadable"),
            QString("pivana-image: ") + QString("damaged ").repeated(15).trimmed() + QChar(0x2026)},
        ReasonCase{"noSeparatorLeftBeforeTheEllipsis",
                   text(QString(130, u'a') + ", unreadableunreadable"),
                   QString(130, u'a') + QChar(0x2026)},
        ReasonCase{"astralCharactersCountOnce", text(QString::fromUtf8("\U0001F600").repeated(141)),
                   QString::fromUtf8("\U0001F600").repeated(140) + QChar(0x2026)}),
    [](const testing::TestParamInfo<ReasonCase>& row) { return std::string(row.param.name); });

TEST(FailedConversionRecord, UsesFileNameAndReason) {
    const FailedConversion failure = FailedConversion::from(
        "/home/u/Pictures/logo.svg", ConversionError::processFailed("Cannot rasterise SVG"));
    EXPECT_EQ(failure, (FailedConversion{"logo.svg", "Cannot rasterise SVG"}));
}

TEST(FailureWords, EachKindHasItsOwnShortPlainSentence) {
    QStringList seen;
    for (int value = 0; value <= static_cast<int>(FailureKind::Unknown); ++value) {
        const auto kind = static_cast<FailureKind>(value);
        const Error error = ConversionError::failure(kind, "pivana-image: ");
        const QString sentence = cleanReason(error).mid(QString("pivana-image: ").size());
        EXPECT_FALSE(seen.contains(sentence)) << sentence;
        seen << sentence;
        EXPECT_LE(sentence.size(), 70) << sentence << ": well under the 140 of a reason";
        EXPECT_FALSE(sentence.endsWith('.')) << sentence;
        EXPECT_FALSE(sentence.contains('/')) << sentence;
        EXPECT_EQ(error.kind(), kind);
    }
    EXPECT_TRUE(ConversionError::cancelled().isCancelled());
    EXPECT_EQ(cleanReason(ConversionError::failure(FailureKind::Unknown, "pivana-office: ")),
              "pivana-office: unknown error");
    EXPECT_EQ(cleanReason(ConversionError::failure(FailureKind::Crashed, "", "signal 11\nmore")),
              "The converter stopped unexpectedly")
        << "the detail is kept, never shown";
}

TEST(FailureWords, SystemErrorsReadByWhatFailed) {
    struct Row {
        int errnum;
        FileAccess access;
        std::optional<FailureKind> kind;
    };
    const Row rows[] = {
        {ENOSPC, FileAccess::Writing, FailureKind::DiskFull},
        {EDQUOT, FileAccess::Writing, FailureKind::DiskFull},
        {EACCES, FileAccess::Reading, FailureKind::ReadDenied},
        {EACCES, FileAccess::Writing, FailureKind::WriteDenied},
        {EROFS, FileAccess::Writing, FailureKind::WriteDenied},
        {ENOENT, FileAccess::Reading, FailureKind::Missing},
        {ENOENT, FileAccess::Writing, FailureKind::NoFolder},
        {ENAMETOOLONG, FileAccess::Writing, FailureKind::NameTooLong},
        {EIO, FileAccess::Reading, FailureKind::DiskError},
        {ENOMEM, FileAccess::Reading, FailureKind::TooLarge},
        {EINVAL, FileAccess::Reading, std::nullopt},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(failureOfErrno(row.errnum, row.access), row.kind) << std::strerror(row.errnum);
    }
}
