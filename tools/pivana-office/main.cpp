// pivana-office: converts documents with LibreOffice, headless.
//
//   pivana-office -convert FORMAT INPUT -output OUTPUT [[-convert FORMAT] INPUT -output OUTPUT]...
//
//   FORMAT: txt rtf html docx odt, or pdf (documents and presentations). A document converts to
//   the format of the -convert before it.
//
// LibreOffice runs on a private profile under the user's cache folder, never the user's own, so
// it works while they have LibreOffice open; conversions on that profile take turns, and all the
// documents of one run go to the office in one session. Every import and export filter is named,
// the input's contents must match its extension, and success is an output file of the right kind
// (LibreOffice itself exits 0 whatever happened). Plain text and Markdown arrive as ordinary
// paragraphs. Each output is written atomically; a failed one leaves OUTPUT as it was.
//
// Exit status 0 when every document converted. With one document, a failure is reported as one
// plain sentence on the first line of standard error, the detail on the next. With several, each
// document's outcome is a line on standard output as soon as it is known, "N ok" or "N failed
// SENTENCE" (N counting from 1), and the details go to standard error.
#include "OfficeDocument.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <stdexcept>

namespace {

using pivana::Failure;
using pivana::office::Document;

constexpr const char* usage =
    "usage: pivana-office -convert FORMAT INPUT -output OUTPUT "
    "[[-convert FORMAT] INPUT -output OUTPUT]...\n";

std::vector<Document> documentsIn(const QStringList& arguments) {
    std::vector<Document> documents;
    QString format;
    qsizetype i = 0;
    while (i < arguments.size()) {
        if (arguments[i] == u"-convert" && i + 1 < arguments.size() &&
            pivana::office::writesFormat(arguments[i + 1])) {
            format = arguments[i + 1];
            i += 2;
        }
        if (format.isEmpty() || i + 2 >= arguments.size() || arguments[i + 1] != u"-output") {
            throw std::invalid_argument(usage);
        }
        documents.push_back({QFileInfo(arguments[i]).absoluteFilePath(), format,
                             QFileInfo(arguments[i + 2]).absoluteFilePath()});
        i += 3;
    }
    if (documents.empty()) {
        throw std::invalid_argument(usage);
    }
    return documents;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    std::vector<Document> documents;
    try {
        documents = documentsIn(arguments);
    } catch (const std::invalid_argument&) {
        std::fputs(usage, stderr);
        return 2;
    }
    // Whatever the tool starts runs in a folder of Pivana's own, never the caller's.
    const QString cache = pivana::office::cacheFolder();
    if (!QDir().mkpath(cache) || ::chdir(QFile::encodeName(cache).constData()) != 0) {
        [[maybe_unused]] const int ignored = ::chdir("/");
    }

    const bool several = documents.size() > 1;
    bool allConverted = true;
    auto report = [&](size_t index, const std::optional<Failure>& failure) {
        allConverted = allConverted && !failure;
        if (several) {
            const std::string line =
                std::to_string(index + 1) +
                (failure ? " failed " + failure->sentence() : std::string(" ok"));
            std::printf("%s\n", line.c_str());
            std::fflush(stdout);
        }
        if (failure && several) {
            std::fprintf(
                stderr, "%s: %s (%s)\n",
                QFile::encodeName(QFileInfo(documents[index].input).fileName()).constData(),
                failure->sentence().c_str(), failure->detail().c_str());
        } else if (failure) {
            pivana::tools::reportFailure(failure->sentence(), failure->detail());
        }
    };
    pivana::office::convertAll(documents, report);
    return allConverted ? 0 : 1;
}
