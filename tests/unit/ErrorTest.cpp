#include "engine/Error.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <memory>

using namespace pivana;

TEST(ConversionErrorText, DescribesItsKind) {
    EXPECT_EQ(ConversionError::unsupportedFormat("pdf").description(), "Unsupported format: pdf");
    EXPECT_EQ(ConversionError::processFailed("Cannot open PDF").description(), "Cannot open PDF");
    EXPECT_TRUE(ConversionError::is(ConversionError::unsupportedFormat("x"),
                                    ConversionError::Kind::UnsupportedFormat));
    EXPECT_FALSE(ConversionError::is(Error::noRoute(), ConversionError::Kind::UnsupportedFormat));
    EXPECT_EQ(Error::noRoute().domain(), "Pivana");
    EXPECT_EQ(Error::noRoute().code(), 1);
    EXPECT_EQ(cleanReason(Error::noRoute()), "Unsupported format");
}

TEST(ConversionErrorText, PlatformErrorsNameTheFileAndTheCause) {
    const Error error =
        Error::fileOperation("Cannot delete the original", "/x/My Photo.heic", ENOENT);
    EXPECT_EQ(
        cleanReason(error),
        QString::fromUtf8(
            "Cannot delete the original \u201cMy Photo.heic\u201d: No such file or directory"));
    EXPECT_EQ(cleanReason(Error::processLaunch("/usr/libexec/pivana/pivana-image", EACCES)),
              "Cannot start pivana-image: Permission denied");
}

struct ReasonCase {
    const char* name;
    Error error;
    QString expected;
};

class CleanReason : public testing::TestWithParam<ReasonCase> {};

TEST_P(CleanReason, PicksAndTrimsTheMostUsefulLine) {
    EXPECT_EQ(cleanReason(GetParam().error), GetParam().expected);
}

Error withUnderlying(const QString& description, const QString& reason, const QString& underlying) {
    return Error("Test", 0, description, reason, std::make_shared<Error>("Test", 1, underlying));
}

INSTANTIATE_TEST_SUITE_P(
    Rules, CleanReason,
    testing::Values(
        ReasonCase{"underlyingFirst", withUnderlying("outer", "reason", "inner"), "inner"},
        ReasonCase{"failureReasonBeforeDescription", Error("T", 0, "outer", "the reason"),
                   "the reason"},
        ReasonCase{"genericSkipped",
                   withUnderlying("File is locked", "", "The operation couldn't be completed. (x)"),
                   "File is locked"},
        ReasonCase{"genericTypographicSkipped",
                   withUnderlying("Disk full", "",
                                  QString::fromUtf8("The operation couldn\u2019t be completed.")),
                   "Disk full"},
        ReasonCase{"allGenericTakesFirst",
                   withUnderlying("The operation could not be completed", "",
                                  "The Operation Couldn't Be Completed"),
                   "The Operation Couldn't Be Completed"},
        ReasonCase{"blankCandidatesDropped", withUnderlying("real", " \t ", "\t"), "real"},
        ReasonCase{"firstNonEmptyLine",
                   Error("T", 0, "\n\n  pivana-image: bad file  \nmore detail"),
                   "pivana-image: bad file"},
        ReasonCase{"toolPrefixWithTrailingNewline",
                   Error("T", 0, "pivana-image: cannot read x.jpg\n"),
                   "pivana-image: cannot read x.jpg"},
        ReasonCase{"noCandidates", Error("T", 0, "  "), ""},
        ReasonCase{"exactly140Kept", Error("T", 0, QString(140, u'a')), QString(140, u'a')},
        ReasonCase{"141Shortened", Error("T", 0, QString(141, u'a')),
                   QString(140, u'a') + QChar(0x2026)},
        ReasonCase{
            "longTextEndsAtAWholeWord",
            Error("T", 0,
                  QString("pivana-image: ") + QString("damaged ").repeated(16) + "and unreadable"),
            QString("pivana-image: ") + QString("damaged ").repeated(15).trimmed() + QChar(0x2026)},
        ReasonCase{"noSeparatorLeftBeforeTheEllipsis",
                   Error("T", 0, QString(130, u'a') + ", unreadableunreadable"),
                   QString(130, u'a') + QChar(0x2026)},
        ReasonCase{"astralCharactersCountOnce",
                   Error("T", 0, QString::fromUtf8("\U0001F600").repeated(141)),
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
        const ConversionError error = ConversionError::failure(kind, "pivana-image: ");
        const QString sentence = cleanReason(error).mid(QString("pivana-image: ").size());
        EXPECT_FALSE(seen.contains(sentence)) << sentence;
        seen << sentence;
        EXPECT_LE(sentence.size(), 70) << sentence << ": well under the 140 of a reason";
        EXPECT_FALSE(sentence.endsWith('.')) << sentence;
        EXPECT_FALSE(sentence.contains('/')) << sentence;
        EXPECT_EQ(error.failureKind(), kind);
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
