#include "engine/BatchSummary.h"

#include <QFileInfo>

namespace pivana::BatchSummary {

QString fileLabel(const QStringList& files) {
    if (files.size() == 1) {
        return QFileInfo(files.first()).fileName();
    }
    return QStringLiteral("%1 files").arg(files.size());
}

QString doneTitleLine(const QString& format, int succeeded, int total) {
    if (succeeded == total) {
        return QStringLiteral("Converted to ") + format.toUpper();
    }
    return QStringLiteral("Converted %1 of %2 to %3")
        .arg(succeeded)
        .arg(total)
        .arg(format.toUpper());
}

QString noTargetsMessage(const QStringList& files) {
    return files.size() == 1 ? QStringLiteral("No supported conversion for this file.")
                             : QStringLiteral("All files must be the same type.");
}

std::vector<FailedFile> failuresOf(const ConversionResult& result) {
    std::vector<FailedFile> failures;
    for (const FailedFile& failed : result.failed) {
        if (!failed.error.isCancelled()) {
            failures.push_back(failed);
        }
    }
    return failures;
}

namespace {

// Where the files that outputs replaced went, on a line of its own; empty when none was.
QString replacedLine(const ConversionResult& result) {
    qsizetype replaced = 0;
    for (const FileOutcome& outcome : result.outcomes) {
        replaced += outcome.replaced.size();
    }
    if (replaced == 0) {
        return {};
    }
    return replaced == 1
               ? QStringLiteral("\nThe file it replaced is in the Trash.")
               : QStringLiteral("\nThe %1 files it replaced are in the Trash.").arg(replaced);
}

Notice batchNotice(const QStringList& files, const ConversionResult& result,
                   const QStringList& outputs) {
    const int succeeded = static_cast<int>(result.succeeded.size());
    // Files a cancel stopped did not fail: they are told apart from those that did.
    const std::vector<FailedFile> failures = failuresOf(result);
    const int cancelled = static_cast<int>(result.failed.size() - failures.size());
    if (succeeded == 0) {
        if (failures.empty() && cancelled > 0) {
            return {QStringLiteral("Pivana"),
                    QStringLiteral("Cancelled. No files were converted.")};
        }
        QString detail = QStringLiteral("No files were converted.");
        if (!failures.empty()) {
            const FailedConversion first =
                FailedConversion::from(failures.front().path, failures.front().error);
            detail = first.name + QStringLiteral(": ") + first.reason;
        }
        return {QStringLiteral("Conversion failed"), detail};
    }
    if (failures.empty()) {
        QStringList names;
        for (const QString& output : outputs) {
            names << QFileInfo(output).fileName();
        }
        const QString converted = cancelled == 0
                                      ? fileLabel(files)
                                      : QStringLiteral("%1 of %2 converted before the cancel")
                                            .arg(succeeded)
                                            .arg(files.size());
        return {QStringLiteral("Converted"),
                converted + QStringLiteral(" \u2192 ") + names.join(QStringLiteral(", "))};
    }
    const FailedConversion first =
        FailedConversion::from(failures.front().path, failures.front().error);
    QString body = QStringLiteral("%1 of %2 succeeded \u00b7 %3: %4")
                       .arg(succeeded)
                       .arg(files.size())
                       .arg(first.name, first.reason);
    if (failures.size() > 1) {
        body += QStringLiteral(" (+%1 more)").arg(failures.size() - 1);
    }
    if (cancelled > 0) {
        body += QStringLiteral(" \u00b7 %1 cancelled").arg(cancelled);
    }
    return {QStringLiteral("Partially converted"), body};
}

}  // namespace

Notice notice(const QStringList& files, const ConversionResult& result,
              const QStringList& outputs) {
    Notice notice = batchNotice(files, result, outputs);
    notice.body += replacedLine(result);
    return notice;
}

QString savedFolder(const ConversionResult& result, const SettingsSnapshot& settings) {
    if (settings.outputFolderMode == OutputFolderMode::Custom && settings.customOutputFolder) {
        return QFileInfo(*settings.customOutputFolder).fileName();
    }
    if (result.succeeded.isEmpty()) {
        return {};
    }
    return QFileInfo(QFileInfo(result.succeeded.first()).absolutePath()).fileName();
}

}  // namespace pivana::BatchSummary
