#include "engine/Error.h"

#include <QFileInfo>
#include <QStringList>

#include <cstring>

namespace pivana {

namespace {

QString systemReason(int errnum) {
    return QString::fromLocal8Bit(std::strerror(errnum));
}

QString trimSpacesAndTabs(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    auto blank = [](QChar c) { return c == u' ' || c == u'\t'; };
    while (begin < end && blank(text[begin])) {
        ++begin;
    }
    while (end > begin && blank(text[end - 1])) {
        --end;
    }
    return text.mid(begin, end - begin);
}

bool isGeneric(const QString& text) {
    const QString lower = text.toLower();
    // Both spellings, with a straight or a typographic apostrophe.
    return lower.contains(u"operation couldn't be completed") ||
           lower.contains(u"operation couldn\u2019t be completed") ||
           lower.contains(u"operation could not be completed");
}

// Past 140 characters (code points, so a cut never splits a character outside the BMP), the
// text ends at the last space within them, so no word is cut in two; a text without such a space
// is cut at 140.
QString shortened(const QString& line) {
    constexpr qsizetype limit = 140;
    const QList<uint> codePoints = line.toUcs4();
    if (codePoints.size() <= limit) {
        return line;
    }
    qsizetype end = limit;
    // A space right after the limit ends a whole word too.
    while (end > 0 && codePoints[end] != u' ') {
        --end;
    }
    // Whatever separated the last whole word from the cut goes too: "…" follows a word.
    const auto separator = [](uint c) {
        return c == u' ' || c == u'\t' || c == u',' || c == u';' || c == u':' || c == u'.' ||
               c == u'-';
    };
    while (end > 0 && separator(codePoints[end - 1])) {
        --end;
    }
    if (end == 0) {
        end = limit;
    }
    return QString::fromUcs4(reinterpret_cast<const char32_t*>(codePoints.constData()), end) +
           QChar(0x2026);
}

}  // namespace

Error::Error(QString domain, int code, QString description, QString failureReason,
             std::shared_ptr<const Error> underlying)
    : m_domain(std::move(domain)),
      m_code(code),
      m_description(std::move(description)),
      m_failureReason(std::move(failureReason)),
      m_underlying(std::move(underlying)),
      m_what(m_description.toUtf8()) {}

Error Error::noRoute() {
    return Error(QStringLiteral("Pivana"), 1, QStringLiteral("Unsupported format"));
}

Error Error::fileOperation(const QString& action, const QString& path, int errnum) {
    return fileOperation(action, path, systemReason(errnum));
}

Error Error::fileOperation(const QString& action, const QString& path, const QString& reason) {
    const QString name = QFileInfo(path).fileName();
    return Error(QStringLiteral("Pivana.FileSystem"), 0,
                 QStringLiteral("%1 \u201c%2\u201d: %3").arg(action, name, reason));
}

Error Error::processLaunch(const QString& program, int errnum) {
    return Error(QStringLiteral("Pivana.Process"), errnum,
                 QStringLiteral("Cannot start %1: %2")
                     .arg(QFileInfo(program).fileName(), systemReason(errnum)));
}

ConversionError::ConversionError(Kind kind, const QString& description)
    : Error(domainName, static_cast<int>(kind), description) {}

ConversionError ConversionError::unsupportedFormat(const QString& text) {
    return ConversionError(Kind::UnsupportedFormat, QStringLiteral("Unsupported format: ") + text);
}

ConversionError ConversionError::processFailed(const QString& text) {
    return ConversionError(Kind::ProcessFailed, text);
}

ConversionError ConversionError::failure(FailureKind kind, const QString& prefix,
                                         const QString& detail) {
    const std::string_view sentence = failureSentence(kind);
    ConversionError error(
        Kind::ProcessFailed,
        prefix + QString::fromUtf8(sentence.data(), static_cast<qsizetype>(sentence.size())) +
            (detail.isEmpty() ? QString() : u'\n' + detail));
    error.setFailureKind(kind);
    return error;
}

bool ConversionError::is(const Error& error, Kind kind) {
    return error.domain() == domainName && error.code() == static_cast<int>(kind);
}

QString cleanReason(const Error& error) {
    QStringList candidates;
    if (const Error* underlying = error.underlying()) {
        candidates << underlying->description();
    }
    candidates << error.failureReason() << error.description();

    QStringList texts;
    for (const QString& candidate : candidates) {
        const QString trimmed = trimSpacesAndTabs(candidate);
        if (!trimmed.isEmpty()) {
            texts << trimmed;
        }
    }
    if (texts.isEmpty()) {
        return {};
    }

    QString chosen = texts.first();
    for (const QString& text : texts) {
        if (!isGeneric(text)) {
            chosen = text;
            break;
        }
    }

    QString line;
    for (const QString& candidateLine : chosen.split(u'\n')) {
        QString stripped = candidateLine;
        if (stripped.endsWith(u'\r')) {
            stripped.chop(1);
        }
        if (!stripped.isEmpty()) {
            line = stripped;
            break;
        }
    }
    return shortened(trimSpacesAndTabs(line));
}

FailedConversion FailedConversion::from(const QString& sourcePath, const Error& error) {
    return {QFileInfo(sourcePath).fileName(), cleanReason(error)};
}

}  // namespace pivana
