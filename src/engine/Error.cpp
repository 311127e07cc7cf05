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

namespace ConversionError {

Error unsupportedFormat(const QString& text) {
    return processFailed(QStringLiteral("Unsupported format: ") + text);
}

Error processFailed(const QString& text) {
    // The first line that says anything is the sentence; what follows it is detail.
    QStringList lines = text.split(u'\n');
    while (lines.size() > 1 && trimSpacesAndTabs(lines.front()).remove(u'\r').isEmpty()) {
        lines.removeFirst();
    }
    QString sentence = lines.takeFirst();
    if (sentence.endsWith(u'\r')) {
        sentence.chop(1);
    }
    return Error(sentence.toStdString(), lines.join(u'\n').toStdString());
}

Error failure(FailureKind kind, const QString& prefix, const QString& detail) {
    return Error(kind, detail.toStdString(), prefix.toStdString());
}

Error cancelled() {
    return Error(FailureKind::Cancelled);
}

Error noRoute() {
    return Error(std::string("Unsupported format"));
}

Error fileOperation(const QString& action, const QString& path, int errnum) {
    return fileOperation(action, path, systemReason(errnum));
}

Error fileOperation(const QString& action, const QString& path, const QString& reason) {
    return processFailed(
        QStringLiteral("%1 \u201c%2\u201d: %3").arg(action, QFileInfo(path).fileName(), reason));
}

Error processLaunch(const QString& program, int errnum) {
    return processFailed(QStringLiteral("Cannot start %1: %2")
                             .arg(QFileInfo(program).fileName(), systemReason(errnum)));
}

}  // namespace ConversionError

QString sentenceOf(const Error& error) {
    return QString::fromStdString(error.sentence());
}

QString detailOf(const Error& error) {
    return QString::fromStdString(error.detail());
}

QString cleanReason(const Error& error) {
    return shortened(trimSpacesAndTabs(sentenceOf(error)));
}

FailedConversion FailedConversion::from(const QString& sourcePath, const Error& error) {
    return {QFileInfo(sourcePath).fileName(), cleanReason(error)};
}

}  // namespace pivana
