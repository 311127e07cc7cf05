#include "app/CommandLine.h"

#include "app/TerminationSignals.h"
#include "converters/StandardConverters.h"
#include "engine/BatchDriver.h"
#include "engine/BatchSummary.h"
#include "engine/CancelToken.h"
#include "engine/RouteTable.h"
#include "settings/Settings.h"

#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QSet>

namespace pivana {

namespace {

const char* const usage =
    "Usage:\n"
    "  pivana [FILE...]                 open the tray app (started if needed) on the files\n"
    "  pivana --convert FORMAT FILE...  have the tray app convert the files to FORMAT\n"
    "  pivana --to FORMAT FILE...       convert the files to FORMAT with the app's settings\n"
    "  pivana --targets FILE...         list the formats the files can all be converted to\n"
    "  pivana --help                    show this help\n"
    "  pivana --version                 show the version\n"
    "\n"
    "Outputs go next to each file, or into the custom output folder chosen in Settings.\n"
    "After --, every argument is a file, even one that starts with a dash.\n"
    "--to exits with status 0 only when every file converted; Ctrl-C stops its batch, keeps\n"
    "what it converted, and exits with 130. The tray app starts if it is not running; while\n"
    "it converts a batch it takes no other, and handing it files then fails with status 1,\n"
    "as does --convert when the files cannot become FORMAT.\n";

// A file name may hold a line break or a terminal's control sequence: each line of output stays
// one line, and nothing in a name reaches the terminal as a command. Control characters show as
// \n, \t, \xHH; a backslash, so that the escapes read back unambiguously, as \\.
QString visible(const QString& text) {
    QString shown;
    shown.reserve(text.size());
    for (const QChar c : text) {
        const char16_t code = c.unicode();
        if (code == u'\\') {
            shown += QStringLiteral("\\\\");
        } else if (code == u'\n') {
            shown += QStringLiteral("\\n");
        } else if (code == u'\t') {
            shown += QStringLiteral("\\t");
        } else if (code == u'\r') {
            shown += QStringLiteral("\\r");
        } else if (code < 0x20 || (code >= 0x7f && code < 0xa0)) {
            shown += QStringLiteral("\\x%1").arg(static_cast<uint>(code), 2, 16, QChar(u'0'));
        } else {
            shown += c;
        }
    }
    return shown;
}

void print(std::FILE* stream, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

QStringList absolutePaths(const QStringList& files) {
    QStringList paths;
    for (const QString& file : files) {
        paths << QFileInfo(file).absoluteFilePath();
    }
    return paths;
}

int listTargets(const QStringList& files, std::FILE* out, std::FILE* err) {
    const QStringList targets = RouteTable::shared().commonTargets(files);
    if (targets.isEmpty()) {
        print(err, BatchSummary::noTargetsMessage(files));
        return 1;
    }
    print(out, targets.join(u' '));
    return 0;
}

// On a terminal, a batch of several files names each one as it starts: "[k/n]", the k-th file
// started (files convert side by side, so not always the k-th given).
BatchObserver progressReporter(std::FILE* err, int fileCount) {
    BatchObserver observer;
    if (fileCount > 1 && ::isatty(fileno(err))) {
        observer.fileStarted = [err, started = 0](int, int count, const QString& file) mutable {
            print(err, QStringLiteral("[%1/%2] %3")
                           .arg(++started)
                           .arg(count)
                           .arg(visible(QFileInfo(file).fileName())));
        };
    }
    return observer;
}

// One line per output written, or the file's name and why it failed, in the order given.
void printOutcomes(const ConversionResult& result, std::FILE* out) {
    QSet<QString> printed;  // pictures made into one PDF all name it
    for (const FileOutcome& outcome : result.outcomes) {
        if (outcome.error) {
            const FailedConversion shown = FailedConversion::from(outcome.source, *outcome.error);
            print(out, visible(shown.name) + QStringLiteral(": ") + visible(shown.reason));
            continue;
        }
        for (const QString& output : outcome.outputs) {
            if (!printed.contains(output)) {
                printed.insert(output);
                print(out, visible(QDir::toNativeSeparators(output)));
            }
        }
    }
}

int convertFiles(const QString& format, const QStringList& files, std::FILE* out, std::FILE* err) {
    Settings& settings = Settings::shared();
    if (const auto problem = settings.outputFolderProblem()) {
        print(err, *problem);
        return 1;
    }
    const BatchObserver observer = progressReporter(err, static_cast<int>(files.size()));
    CancelToken cancel;
    const CancelOnSignals signals(cancel);
    const ConversionResult result =
        BatchDriver(standardConverters())
            .convert(files, format, settings.snapshot(), &observer, &cancel);
    printOutcomes(result, out);

    const int succeeded = static_cast<int>(result.succeeded.size());
    if (succeeded == 0) {
        print(out, QStringLiteral("Conversion failed"));
    } else {
        print(out, BatchSummary::doneTitleLine(format, succeeded, static_cast<int>(files.size())));
    }
    // Stopped by a signal: the shell's convention, 128 and its number (130 after Ctrl-C).
    if (signals.caught() != 0) {
        return 128 + signals.caught();
    }
    return result.failed.empty() ? 0 : 1;
}

// The files of a command: everything after its leading arguments, where a first "--" only
// ends the options.
QStringList filesFrom(const QStringList& arguments, int first) {
    QStringList files = arguments.mid(first);
    if (files.value(0) == u"--") {
        files.removeFirst();
    }
    return files;
}

}  // namespace

std::optional<QString> handOffRefusal(const HandOff& handOff) {
    for (const QString& file : handOff.files) {
        const QFileInfo info(file);
        if (!info.exists()) {
            return QStringLiteral("No such file: ") + visible(file);
        }
        if (!info.isFile()) {
            return QStringLiteral("Not a file: ") + visible(file);
        }
    }
    return std::nullopt;
}

bool isCommandLineRequest(const QStringList& arguments) {
    if (arguments.size() < 2) {
        return false;
    }
    const QString& first = arguments.at(1);
    return first.startsWith(u'-') && first != u"--" && first != u"--convert";
}

std::optional<HandOff> handOffRequest(const QStringList& arguments, std::FILE* err) {
    if (arguments.value(1) != u"--convert") {
        return HandOff{absolutePaths(filesFrom(arguments, 1)), {}};
    }
    const QString format = arguments.value(2).toLower();
    const QStringList files = filesFrom(arguments, 3);
    if (format.isEmpty() || format.startsWith(u'-') || files.isEmpty()) {
        std::fputs(usage, err);
        return std::nullopt;
    }
    return HandOff{absolutePaths(files), format};
}

int runCommandLine(const QStringList& arguments, std::FILE* out, std::FILE* err) {
    const QString command = arguments.value(1);
    if (command == u"--help" || command == u"-h") {
        std::fputs(usage, out);
        return 0;
    }
    if (command == u"--version") {
        print(out, QStringLiteral("pivana ") + QStringLiteral(PIVANA_VERSION));
        return 0;
    }
    if (command == u"--targets") {
        const QStringList files = filesFrom(arguments, 2);
        if (files.isEmpty()) {
            std::fputs(usage, err);
            return 2;
        }
        return listTargets(absolutePaths(files), out, err);
    }
    if (command == u"--to") {
        const QString format = arguments.value(2).toLower();
        const QStringList files = filesFrom(arguments, 3);
        if (format.isEmpty() || format.startsWith(u'-') || files.isEmpty()) {
            std::fputs(usage, err);
            return 2;
        }
        return convertFiles(format, absolutePaths(files), out, err);
    }
    print(err, QStringLiteral("pivana: unknown option %1").arg(visible(command)));
    std::fputs(usage, err);
    return 2;
}

}  // namespace pivana
