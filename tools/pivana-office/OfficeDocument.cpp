#include "OfficeDocument.h"

#include "engine/Error.h"
#include "engine/ToolRunner.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QUrl>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace pivana::office {

namespace {

using namespace std::chrono_literals;

// Generous: a long document on a slow machine takes a minute; a hung office never ends.
constexpr auto timeLimit = 180s;
const QString officeProgram = QStringLiteral("/usr/lib/libreoffice/program/soffice.bin");
// The system's Python, which has LibreOffice's UNO bindings.
const QString pythonProgram = QStringLiteral("/usr/bin/python3");

struct Source {
    QString importFilter;
    QString kind;  // for messages: "a DOCX document"
};

// The import filter for each source extension: named, so that LibreOffice never guesses (it
// would read random bytes as plain text and "succeed").
const QHash<QString, Source>& sources() {
    static const QHash<QString, Source> table = {
        {"docx", {"MS Word 2007 XML", "a DOCX document"}},
        {"odt", {"writer8", "an ODT document"}},
        {"rtf", {"Rich Text Format", "an RTF document"}},
        {"html", {"HTML (StarWriter)", "an HTML document"}},
        {"htm", {"HTML (StarWriter)", "an HTML document"}},
        {"txt", {"HTML (StarWriter)", "a text file"}},
        {"md", {"HTML (StarWriter)", "a text file"}},
        {"pptx", {"Impress MS PowerPoint 2007 XML", "a PowerPoint presentation"}},
        {"key", {"Apple Keynote", "a Keynote presentation"}},
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

bool isPresentation(const QString& extension) {
    return extension == u"pptx" || extension == u"key";
}

bool isPlainText(const QString& extension) {
    return extension == u"txt" || extension == u"md";
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        throw OfficeError(QStringLiteral("cannot open the file: ") + file.errorString());
    }
    return file.readAll();
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush()) {
        throw OfficeError(QStringLiteral("cannot write the output: ") + file.errorString());
    }
}

// The file's contents must be what its extension says.
void checkSignature(const QByteArray& head, const QString& extension, const QString& kind) {
    bool matches = true;
    if (extension == u"docx" || extension == u"odt" || extension == u"pptx" ||
        extension == u"key") {
        matches = head.startsWith("PK\x03\x04");
    } else if (extension == u"rtf") {
        matches = head.trimmed().startsWith("{\\rtf") || head.startsWith("\xef\xbb\xbf{\\rtf");
    } else if (extension == u"html" || extension == u"htm") {
        matches = !head.contains('\0');
    }
    if (!matches) {
        throw OfficeError(
            QStringLiteral("the file is not %1 (its contents do not match its extension)")
                .arg(kind));
    }
}

QString profileDirectory() {
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    return QDir(cache).filePath(QStringLiteral("pivana/libreoffice"));
}

// Conversions on the private profile take turns: two offices on one profile lose work.
class ProfileLock {
public:
    explicit ProfileLock(const QString& profile) {
        QDir().mkpath(profile);
        m_fd = ::open(QFile::encodeName(profile + QStringLiteral(".lock")).constData(),
                      O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (m_fd < 0 || ::flock(m_fd, LOCK_EX) != 0) {
            throw OfficeError(QStringLiteral("cannot use the LibreOffice profile in ") + profile);
        }
    }
    ~ProfileLock() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    ProfileLock(const ProfileLock&) = delete;
    ProfileLock& operator=(const ProfileLock&) = delete;

private:
    int m_fd = -1;
};

QString firstLine(const QByteArray& text) {
    for (const QByteArray& line : text.split('\n')) {
        const QByteArray trimmed = line.trimmed();
        if (!trimmed.isEmpty() && !trimmed.startsWith("Warning: failed to launch javaldx")) {
            return QString::fromUtf8(trimmed);
        }
    }
    return {};
}

void requireOffice() {
    if (!QFileInfo(officeProgram).isExecutable()) {
        throw OfficeError(QStringLiteral("LibreOffice is not installed"));
    }
}

// The export filter, its options after a colon as LibreOffice's command line takes them.
QString exportFilter(const Target& target, bool presentation) {
    if (target.extension == u"pdf") {
        return presentation ? QStringLiteral("impress_pdf_Export")
                            : QStringLiteral("writer_pdf_Export");
    }
    return target.filter;
}

OfficeError timedOut() {
    return OfficeError(
        QStringLiteral("LibreOffice did not finish within %1 seconds and was stopped")
            .arg(std::chrono::duration_cast<std::chrono::seconds>(timeLimit).count()));
}

// A conversion on the office's own command line, on a profile of its own: the shared one may
// still belong to an office on its way out.
QStringList commandLine(const QString& input, const QString& importFilter, const Target& target,
                        bool presentation, const QString& work) {
    const QString profile = QDir(work).filePath(QStringLiteral("profile"));
    return {QStringLiteral("-env:UserInstallation=") + QUrl::fromLocalFile(profile).toString(),
            "--headless",
            "--invisible",
            "--norestore",
            "--nologo",
            "--nodefault",
            "--nolockcheck",
            "--infilter=" + importFilter,
            "--convert-to",
            target.extension + ":" + exportFilter(target, presentation),
            "--outdir",
            work,
            input};
}

ProcessOutcome runOfficeProgram(const QStringList& arguments) {
    ProcessOptions options;
    options.timeout = timeLimit;
    // On a new profile the office sets it up, exits with this status and wants to be started
    // again (its launcher script would do that for us).
    constexpr int restartRequested = 81;
    ProcessOutcome outcome = runProcess(officeProgram, arguments, options);
    for (int attempt = 0; attempt < 2 && outcome.exitStatus == restartRequested; ++attempt) {
        outcome = runProcess(officeProgram, arguments, options);
    }
    return outcome;
}

// Runs a LibreOffice of its own on `input` and returns the file it wrote into `work`: slower
// (a cold start every time), for documents that stop the long-running office. The caller holds
// the profile's lock.
QString runOfficeOnce(const QString& input, const QString& importFilter, const Target& target,
                      bool presentation, const QString& work) {
    requireOffice();
    const ProcessOutcome outcome =
        runOfficeProgram(commandLine(input, importFilter, target, presentation, work));
    const QString written =
        QDir(work).filePath(QFileInfo(input).completeBaseName() + u'.' + target.extension);
    if (outcome.timedOut) {
        throw timedOut();
    }
    if (outcome.signal != 0) {
        throw OfficeError(QStringLiteral("LibreOffice crashed"));
    }
    const QString said = firstLine(outcome.standardError);
    if (!QFileInfo(written).isFile() || QFileInfo(written).size() == 0) {
        if (said.contains(u"could not be loaded")) {
            throw OfficeError(QStringLiteral("LibreOffice could not read the document"));
        }
        throw OfficeError(
            QStringLiteral("LibreOffice could not convert it to %1%2")
                .arg(target.extension.toUpper(), said.isEmpty() ? QString() : " (" + said + ")"));
    }
    return written;
}

// Hands `input` to the office kept running on the private profile (started on first use,
// ended after a short idle time) and returns the file it wrote into `work`.
QString runOffice(const QString& input, const QString& importFilter, const Target& target,
                  bool presentation, const QString& work) {
    requireOffice();
    const QString filter = exportFilter(target, presentation);
    const QString written = QDir(work).filePath(QStringLiteral("converted.") + target.extension);
    QStringList arguments = {toolPath(QStringLiteral("office-bridge.py")),
                             QStringLiteral("convert"),
                             profileDirectory(),
                             input,
                             importFilter,
                             written,
                             filter.section(u':', 0, 0)};
    if (const QString filterOptions = filter.section(u':', 1); !filterOptions.isEmpty()) {
        arguments << filterOptions;
    }

    ProfileLock lock(profileDirectory());
    ProcessOptions options;
    options.timeout = timeLimit;
    const ProcessOutcome outcome = runProcess(pythonProgram, arguments, options);
    if (outcome.timedOut) {
        throw timedOut();
    }
    const QString said = firstLine(outcome.standardError);
    if (outcome.exitStatus != 0 || !QFileInfo(written).isFile() || QFileInfo(written).size() == 0) {
        if (said.startsWith(u"LibreOffice could not read")) {
            throw OfficeError(said);
        }
        // The long-running office failed on a document it could read (it may have crashed on
        // it): once more, in an office of its own.
        return runOfficeOnce(input, importFilter, target, presentation, work);
    }
    return written;
}

const Target& targetFor(const QString& format) {
    const auto target = targets().constFind(format);
    if (target == targets().cend()) {
        throw OfficeError(QStringLiteral("unknown output format ") + format);
    }
    return *target;
}

const Source& sourceFor(const QString& extension, const QString& format) {
    const auto source = sources().constFind(extension);
    if (source == sources().cend()) {
        throw OfficeError(QStringLiteral("pivana-office does not read .%1 files").arg(extension));
    }
    if (isPresentation(extension) && format != u"pdf") {
        throw OfficeError(QStringLiteral("a presentation converts only to PDF"));
    }
    return *source;
}

QString officeOutputFolder(const QTemporaryDir& work) {
    const QString folder = work.filePath(QStringLiteral("out"));
    QDir().mkpath(folder);
    return folder;
}

// Plain text and Markdown go to the office as HTML of ordinary paragraphs; HTML and text
// targets need no office at all.
QString convertPlainText(const QByteArray& content, const QString& title, const Source& source,
                         const Target& target, const QTemporaryDir& work) {
    if (target.extension == u"txt") {
        const QString result = work.filePath(QStringLiteral("document.txt"));
        writeFile(result, content.startsWith("\xef\xbb\xbf") ? content.mid(3) : content);
        return result;
    }
    const QString page = work.filePath(QStringLiteral("document.html"));
    writeFile(page, textAsHtml(content, title));
    if (target.extension == u"html") {
        return page;
    }
    return runOffice(page, source.importFilter, target, false, officeOutputFolder(work));
}

QString convertDocument(const QByteArray& content, const QString& extension, const Source& source,
                        const Target& target, const QTemporaryDir& work) {
    // A copy under a plain name keeps odd file names away from the office's command line.
    const QString copy = work.filePath(QStringLiteral("document.") + extension);
    writeFile(copy, content);
    return runOffice(copy, source.importFilter, target, isPresentation(extension),
                     officeOutputFolder(work));
}

// Success is an output file of the right kind, whatever the office said.
void saveResult(const QString& result, const Target& target, const QString& output) {
    const QByteArray produced = readFile(result);
    if (!target.signature.isEmpty() && !produced.startsWith(target.signature)) {
        throw OfficeError(
            QStringLiteral("LibreOffice wrote no valid %1 file").arg(target.extension.toUpper()));
    }
    if (target.extension == u"txt" && produced.startsWith("\xef\xbb\xbf")) {
        writeFile(result, produced.mid(3));  // UTF-8 needs no byte-order mark
    }
    if (::rename(QFile::encodeName(result).constData(), QFile::encodeName(output).constData()) !=
        0) {
        throw OfficeError(QStringLiteral("cannot save the output: ") +
                          QString::fromLocal8Bit(std::strerror(errno)));
    }
}

}  // namespace

QByteArray textAsHtml(const QByteArray& text, const QString& title) {
    QByteArray bytes = text;
    if (bytes.startsWith("\xef\xbb\xbf")) {
        bytes.remove(0, 3);
    }
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString decoded = utf8.decode(bytes);
    if (utf8.hasError()) {
        decoded = QString::fromLatin1(bytes);
    }
    QByteArray html = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" +
                      title.toHtmlEscaped().toUtf8() + "</title></head><body>\n";
    const QStringList lines = decoded.split(u'\n');
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

void convert(const QString& input, const QString& format, const QString& output) {
    const Target& target = targetFor(format);
    const QString extension = QFileInfo(input).suffix().toLower();
    const Source& source = sourceFor(extension, format);
    const QByteArray content = readFile(input);
    if (content.isEmpty() && !isPlainText(extension)) {
        throw OfficeError(QStringLiteral("the file is empty"));
    }
    checkSignature(content.left(65536), extension, source.kind);

    // The tool is also run on its own, from a shell, so it stages its work as the app does:
    // beside the output, so that the result is renamed into place, never copied, and a failure
    // leaves neither a partial file nor a changed one.
    QTemporaryDir work(QFileInfo(output).dir().filePath(QStringLiteral(".pivana-office-XXXXXX")));
    if (!work.isValid()) {
        throw OfficeError(QStringLiteral("cannot write in the output folder: ") +
                          work.errorString());
    }
    const QString result =
        isPlainText(extension)
            ? convertPlainText(content, QFileInfo(input).completeBaseName(), source, target, work)
            : convertDocument(content, extension, source, target, work);
    saveResult(result, target, output);
}

}  // namespace pivana::office
