#pragma once

#include "engine/Failure.h"

#include <QString>

namespace pivana {

/// The error value converters throw and the batch driver records against the file it stopped:
/// the one `Failure` type the tools share, seen from the Qt side.
using Error = Failure;

/// The engine's ways of making an `Error` from Qt text. `unsupportedFormat` reads
/// "Unsupported format: <text>", `processFailed` its text alone: its first line is the sentence,
/// any lines after it the detail.
namespace ConversionError {

Error unsupportedFormat(const QString& text);
Error processFailed(const QString& text);
/// The sentence of a known kind of failure, after `prefix` (a tool's "pivana-image: ", say),
/// with `detail` kept behind it (never shown as the reason).
Error failure(FailureKind kind, const QString& prefix = {}, const QString& detail = {});
/// The reason of every file a cancelled batch did not convert: "Cancelled".
Error cancelled();
/// The driver's own error for a file whose extension has no route: "Unsupported format".
Error noRoute();
/// A failed file-system operation: "<action> “<file name>”: <system reason>".
Error fileOperation(const QString& action, const QString& path, int errnum);
Error fileOperation(const QString& action, const QString& path, const QString& reason);
/// A helper program that could not be started at all.
Error processLaunch(const QString& program, int errnum);

}  // namespace ConversionError

/// The error's sentence as Qt text.
QString sentenceOf(const Error& error);
/// The error's detail as Qt text.
QString detailOf(const Error& error);

/// The one-line reason shown for a failed file: the sentence, trimmed of spaces and, past 140
/// characters, cut at the last word boundary before that, with "…" added.
QString cleanReason(const Error& error);

/// The display form of one failure: the source's file name and the reason text.
struct FailedConversion {
    QString name;
    QString reason;

    static FailedConversion from(const QString& sourcePath, const Error& error);
    bool operator==(const FailedConversion&) const = default;
};

}  // namespace pivana
