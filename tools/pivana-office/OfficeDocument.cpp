#include "OfficeDocument.h"

#include "common/StagedOutput.h"
#include "converters/TextDecoding.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace pivana::office {

namespace {

// No office document, nor any text worth converting, comes near this; a file that does (or a
// device that never ends) is refused before it is read.
constexpr qint64 maxInputBytes = qint64{512} << 20;

struct Source {
    QString importFilter;
    bool presentation = false;
};

// The import filter for each source extension: named, so that LibreOffice never guesses (it
// would read random bytes as plain text and "succeed").
const QHash<QString, Source>& sources() {
    static const QHash<QString, Source> table = {
        {"docx", {"MS Word 2007 XML"}},   {"odt", {"writer8"}},
        {"rtf", {"Rich Text Format"}},    {"html", {"HTML (StarWriter)"}},
        {"htm", {"HTML (StarWriter)"}},   {"txt", {"HTML (StarWriter)"}},
        {"md", {"HTML (StarWriter)"}},    {"pptx", {"Impress MS PowerPoint 2007 XML", true}},
        {"key", {"Apple Keynote", true}},
    };
    return table;
}

struct Target {
    QString extension;
    QString filter;
    QByteArray signature;  // what a valid output starts with, empty for any
};

const QHash<QString, Target>& targets() {
    static const QHash<QString, Target> table = {
        {"txt", {"txt", "Text (encoded):UTF8", {}}},
        {"rtf", {"rtf", "Rich Text Format", "{\\rtf"}},
        {"html", {"html", "HTML (StarWriter):EmbedImages", {}}},
        {"docx", {"docx", "MS Word 2007 XML", "PK\x03\x04"}},
        {"odt", {"odt", "writer8", "PK\x03\x04"}},
        {"pdf", {"pdf", "", "%PDF-"}},
    };
    return table;
}

bool isPlainText(const QString& extension) {
    return extension == u"txt" || extension == u"md";
}

// Bytes below space other than tab and line breaks: no HTML may hold them, and RTF only as raw
// data.
bool isControlByte(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r';
}

QString systemError(int errnum) {
    return QString::fromLocal8Bit(std::strerror(errnum));
}

// The source's bytes: a regular file of a sensible size, never a FIFO or a device.
QByteArray readSource(const QString& path) {
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0) {
        throw failure(readingFailure(errno), systemError(errno));
    }
    if (S_ISDIR(info.st_mode)) {
        throw failure(FailureKind::Folder, path);
    }
    if (!S_ISREG(info.st_mode)) {
        throw failure(FailureKind::NotAFile, path);
    }
    if (info.st_size > maxInputBytes) {
        throw failure(FailureKind::TooLarge, QString::number(info.st_size) + " bytes");
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        throw failure(readingFailure(errno), file.errorString());
    }
    return file.read(maxInputBytes);
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush()) {
        throw failure(writingFailure(errno), file.errorString());
    }
}

// The file's contents must be what its extension says.
void checkSignature(const QByteArray& content, const QString& extension) {
    const QByteArray head = content.left(65536);
    bool matches = true;
    if (extension == u"docx" || extension == u"odt" || extension == u"pptx" ||
        extension == u"key") {
        matches = head.startsWith("PK\x03\x04");
    } else if (extension == u"rtf") {
        matches = head.trimmed().startsWith("{\\rtf") || head.startsWith("\xef\xbb\xbf{\\rtf");
        // RTF is text: control bytes belong only in the raw data of a \bin control word. Without
        // one, more than a few are a body of garbage behind a valid header, which the office
        // would read as garbage text.
        if (matches && !content.contains("\\bin") &&
            std::count_if(content.cbegin(), content.cend(), isControlByte) > 16) {
            throw failure(FailureKind::Damaged, QStringLiteral("control bytes in RTF text"));
        }
    } else if (extension == u"html" || extension == u"htm") {
        matches = !head.contains('\0');
    }
    if (!matches) {
        throw failure(FailureKind::WrongFormat, extension);
    }
}

const Target& targetFor(const QString& format) {
    return *targets().constFind(format);
}

const Source& sourceFor(const QString& extension, const Target& target) {
    const auto source = sources().constFind(extension);
    if (source == sources().cend()) {
        throw failure(FailureKind::WrongFormat,
                      QStringLiteral("pivana-office does not read .%1 files").arg(extension));
    }
    if (source->presentation && target.extension != u"pdf") {
        throw failure(FailureKind::WrongFormat,
                      QStringLiteral("a presentation converts only to PDF"));
    }
    return *source;
}

QString exportFilter(const Target& target, const Source& source) {
    if (target.extension == u"pdf") {
        return source.presentation ? QStringLiteral("impress_pdf_Export")
                                   : QStringLiteral("writer_pdf_Export");
    }
    return target.filter;
}

// A document made ready: either its result is written already (plain text to text or HTML
// needs no office), or it is a job for the office.
struct Prepared {
    QString result;
    std::optional<OfficeJob> job;
};

// Checks the source and puts what the office reads into the work folder, under a plain name
// that keeps odd file names away from the office. Plain text and Markdown go to the office as
// HTML of ordinary paragraphs.
Prepared prepare(const Document& document, const Target& target, size_t index,
                 const WorkFolder& work) {
    const QString extension = QFileInfo(document.input).suffix().toLower();
    const Source& source = sourceFor(extension, target);
    const QByteArray content = readSource(document.input);
    const QString stem = QStringLiteral("document%1").arg(index);
    Prepared prepared{work.filePath(stem + QStringLiteral("-result.") + target.extension), {}};
    if (isPlainText(extension)) {
        const QString text = decodePlainText(content);
        if (target.extension == u"txt") {
            writeFile(prepared.result, text.toUtf8());
            return prepared;
        }
        const QByteArray html = textAsHtml(text, QFileInfo(document.input).completeBaseName());
        writeFile(target.extension == u"html" ? prepared.result
                                              : work.filePath(stem + QStringLiteral(".html")),
                  html);
        if (target.extension == u"html") {
            return prepared;
        }
        prepared.job = OfficeJob{work.filePath(stem + QStringLiteral(".html")),
                                 source.importFilter,
                                 prepared.result,
                                 exportFilter(target, source),
                                 target.extension,
                                 timeBudget(content.size())};
        return prepared;
    }
    if (content.isEmpty()) {
        throw failure(FailureKind::Damaged, QStringLiteral("the file is empty"));
    }
    checkSignature(content, extension);
    const QString copy = work.filePath(stem + u'.' + extension);
    writeFile(copy, content);
    prepared.job = OfficeJob{copy,
                             source.importFilter,
                             prepared.result,
                             exportFilter(target, source),
                             target.extension,
                             timeBudget(content.size())};
    return prepared;
}

// Copies the result into a hidden file beside the output and renames it over the output, so the
// user's folder never holds a partial file.
void stageBeside(const QString& result, const QString& output) {
    tools::StagedOutput staged(QFile::encodeName(output).toStdString());
    const QString staging = QFile::decodeName(QByteArray::fromStdString(staged.path()));
    if (::rename(QFile::encodeName(result).constData(), QFile::encodeName(staging).constData()) !=
        0) {
        QFile from(result);
        QFile to(staging);
        if (!from.open(QIODevice::ReadOnly) ||
            !to.open(QIODevice::NewOnly | QIODevice::WriteOnly)) {
            throw failure(writingFailure(errno), to.errorString());
        }
        while (!from.atEnd()) {
            const QByteArray block = from.read(1 << 20);
            if (to.write(block) != block.size()) {
                throw failure(writingFailure(errno), to.errorString());
            }
        }
        if (!to.flush()) {
            throw failure(writingFailure(errno), to.errorString());
        }
    }
    if (const std::string reason = staged.commit(); !reason.empty()) {
        throw failure(writingFailure(errno), QString::fromStdString(reason));
    }
}

// The office writes the markers of fields it could not import (a picture an RTF links to, say)
// into HTML as raw control bytes, which no HTML may hold.
void removeControlBytes(const QString& html) {
    QFile file(html);
    if (!file.open(QIODevice::ReadOnly)) {
        throw failure(FailureKind::NoOutput, file.errorString());
    }
    QByteArray bytes = file.readAll();
    file.close();
    if (std::any_of(bytes.cbegin(), bytes.cend(), isControlByte)) {
        bytes.removeIf(isControlByte);
        writeFile(html, bytes);
    }
}

// Success is an output file of the right kind, whatever the office said.
void finish(const QString& result, const Target& target, const QString& output) {
    QFile file(result);
    if (!file.open(QIODevice::ReadOnly)) {
        throw failure(FailureKind::NoOutput, file.errorString());
    }
    const QByteArray head = file.read(8);
    file.close();
    if (!target.signature.isEmpty() && !head.startsWith(target.signature)) {
        throw failure(officeFailed,
                      QStringLiteral("no valid %1 file").arg(target.extension.toUpper()));
    }
    if (target.extension == u"txt" && head.startsWith("\xef\xbb\xbf")) {
        QFile text(result);
        text.open(QIODevice::ReadOnly);
        writeFile(result, text.readAll().mid(3));  // UTF-8 needs no byte-order mark
    }
    if (target.extension == u"html") {
        removeControlBytes(result);
    }
    stageBeside(result, output);
}

}  // namespace

QByteArray textAsHtml(const QString& text, const QString& title) {
    QByteArray html = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" +
                      title.toHtmlEscaped().toUtf8() + "</title></head><body>\n";
    const QStringList lines = text.split(u'\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QString line = lines[i];
        if (line.endsWith(u'\r')) {
            line.chop(1);
        }
        if (i == lines.size() - 1 && line.isEmpty()) {
            break;  // the final line break ends the last paragraph, it starts no new one
        }
        html += "<p>" + line.toHtmlEscaped().toUtf8() + "</p>\n";
    }
    return html + "</body></html>\n";
}

bool writesFormat(const QString& format) {
    return targets().contains(format);
}

void convertAll(const std::vector<Document>& documents,
                const std::function<void(size_t, const std::optional<Failure>&)>& done) {
    const WorkFolder work;
    std::vector<OfficeJob> jobs;
    std::vector<size_t> jobDocuments;
    auto finished = [&](size_t index, const QString& result) {
        try {
            finish(result, targetFor(documents[index].format), documents[index].output);
            done(index, std::nullopt);
        } catch (const Failure& error) {
            done(index, error);
        }
    };
    for (size_t index = 0; index < documents.size(); ++index) {
        try {
            Prepared prepared =
                prepare(documents[index], targetFor(documents[index].format), index, work);
            if (!prepared.job) {
                finished(index, prepared.result);
                continue;
            }
            jobs.push_back(*prepared.job);
            jobDocuments.push_back(index);
        } catch (const Failure& error) {
            done(index, error);
        }
    }
    if (jobs.empty()) {
        return;
    }
    std::vector<bool> reported(jobs.size(), false);
    try {
        runJobs(jobs, work, [&](size_t job, const std::optional<Failure>& failure) {
            reported[job] = true;
            if (failure) {
                done(jobDocuments[job], failure);
            } else {
                finished(jobDocuments[job], jobs[job].result);
            }
        });
    } catch (const Failure& error) {
        // No office at all: every document still waiting fails for the same reason.
        for (size_t job = 0; job < jobs.size(); ++job) {
            if (!reported[job]) {
                done(jobDocuments[job], error);
            }
        }
    }
}

}  // namespace pivana::office
