#include "app/CommandLine.h"

#include "converters/StandardConverters.h"
#include "engine/BatchDriver.h"
#include "engine/BatchSummary.h"
#include "engine/RouteTable.h"
#include "settings/Settings.h"

#include <unistd.h>

#include <QDir>
#include <QFileInfo>

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
    "--to exits with status 0 only when every file converted. The tray app starts if it is\n"
    "not running; while it converts a batch it takes no other, and handing it files then\n"
    "fails with status 1, as does --convert when the files cannot become FORMAT.\n";

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

// On a terminal, a batch of several files names each one as it starts.
BatchObserver progressReporter(std::FILE* err, int fileCount) {
    BatchObserver observer;
    if (fileCount > 1 && ::isatty(fileno(err))) {
        observer.fileStarted = [err](int index, int count, const QString& file) {
            print(err, QStringLiteral("[%1/%2] %3")
                           .arg(index + 1)
                           .arg(count)
                           .arg(QFileInfo(file).fileName()));
        };
    }
    return observer;
}

// One line per output written, or the file's name and why it failed, in the order given.
void printOutcomes(const ConversionResult& result, std::FILE* out) {
    for (const FileOutcome& outcome : result.outcomes) {
        if (outcome.error) {
            const FailedConversion shown = FailedConversion::from(outcome.source, *outcome.error);
            print(out, shown.name + QStringLiteral(": ") + shown.reason);
            continue;
        }
        for (const QString& output : outcome.outputs) {
            print(out, QDir::toNativeSeparators(output));
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
    const ConversionResult result =
        BatchDriver(standardConverters()).convert(files, format, settings.snapshot(), &observer);
    printOutcomes(result, out);

    const int succeeded = static_cast<int>(result.succeeded.size());
    if (succeeded == 0) {
        print(out, QStringLiteral("Conversion failed"));
        return 1;
    }
    print(out, BatchSummary::doneTitleLine(format, succeeded, static_cast<int>(files.size())));
    return result.failed.empty() ? 0 : 1;
}

}  // namespace

bool isCommandLineRequest(const QStringList& arguments) {
    if (arguments.size() < 2) {
        return false;
    }
    const QString& first = arguments.at(1);
    return first.startsWith(u'-') && first != u"--convert";
}

std::optional<HandOff> handOffRequest(const QStringList& arguments, std::FILE* err) {
    if (arguments.value(1) != u"--convert") {
        return HandOff{absolutePaths(arguments.mid(1)), {}};
    }
    const QString format = arguments.value(2).toLower();
    const QStringList files = arguments.mid(3);
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
        const QStringList files = arguments.mid(2);
        if (files.isEmpty()) {
            std::fputs(usage, err);
            return 2;
        }
        return listTargets(absolutePaths(files), out, err);
    }
    if (command == u"--to") {
        const QString format = arguments.value(2).toLower();
        const QStringList files = arguments.mid(3);
        if (format.isEmpty() || format.startsWith(u'-') || files.isEmpty()) {
            std::fputs(usage, err);
            return 2;
        }
        return convertFiles(format, absolutePaths(files), out, err);
    }
    print(err, QStringLiteral("pivana: unknown option %1").arg(command));
    std::fputs(usage, err);
    return 2;
}

}  // namespace pivana
