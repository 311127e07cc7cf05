#pragma once

#include "engine/Error.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace pivana {

struct FailedFile {
    QString path;
    Error error;
};

/// What became of one input file.
struct FileOutcome {
    QString source;
    /// The files written: one, or one per page for a multi-page PDF. Empty when it failed. The
    /// pictures of a batch made into one PDF all name that PDF.
    QStringList outputs;
    /// The outputs that took the name of an older file, which went to the Trash.
    QStringList replaced;
    /// Why it failed; none when it converted.
    std::optional<Error> error;

    bool succeeded() const { return !error.has_value(); }
};

/// The outcome of one batch. Every input file appears exactly once in `outcomes` and once in
/// either `succeeded` or `failed`; all three lists are in input order. Build it with `addSuccess`
/// and `addFailure`, which keep the three in step.
struct ConversionResult {
    QStringList succeeded;
    std::vector<FailedFile> failed;
    std::vector<FileOutcome> outcomes;

    void addSuccess(const QString& source, const QStringList& outputs,
                    const QStringList& replaced = {});
    void addFailure(const QString& source, const Error& error);

    /// Every file written, in input order, each once.
    QStringList writtenFiles() const;
};

}  // namespace pivana
