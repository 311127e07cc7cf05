#pragma once

#include "engine/Failure.h"

#include <QString>

#include <exception>
#include <memory>
#include <optional>

namespace pivana {

/// An error value that reads well to a person. Converters throw these; the batch driver records
/// them against the file they stopped. Every error has a short description; platform errors may
/// add a failure reason and an underlying error, which `cleanReason` consults first.
class Error : public std::exception {
public:
    Error(QString domain, int code, QString description, QString failureReason = {},
          std::shared_ptr<const Error> underlying = nullptr);

    const QString& domain() const { return m_domain; }
    int code() const { return m_code; }
    const QString& description() const { return m_description; }
    const QString& failureReason() const { return m_failureReason; }
    const Error* underlying() const { return m_underlying.get(); }
    const char* what() const noexcept override { return m_what.constData(); }

    /// The kind of failure, when the error was raised as one of the known kinds.
    std::optional<FailureKind> failureKind() const { return m_kind; }
    bool isCancelled() const { return m_kind == FailureKind::Cancelled; }

    /// The driver's own error for a file whose extension has no route.
    static Error noRoute();

    /// A failed file-system operation: "<action> “<file name>”: <system reason>".
    static Error fileOperation(const QString& action, const QString& path, int errnum);
    static Error fileOperation(const QString& action, const QString& path, const QString& reason);

    /// A helper program that could not be started at all.
    static Error processLaunch(const QString& program, int errnum);

protected:
    void setFailureKind(FailureKind kind) { m_kind = kind; }

private:
    std::optional<FailureKind> m_kind;
    QString m_domain;
    int m_code;
    QString m_description;
    QString m_failureReason;
    std::shared_ptr<const Error> m_underlying;
    QByteArray m_what;
};

/// The engine's own conversion errors. `unsupportedFormat` describes itself as
/// "Unsupported format: <text>", `processFailed` as its text alone.
class ConversionError : public Error {
public:
    enum class Kind { UnsupportedFormat = 0, ProcessFailed = 1 };

    static ConversionError unsupportedFormat(const QString& text);
    static ConversionError processFailed(const QString& text);
    /// `processFailed` with the sentence of a known kind of failure, after `prefix` (a tool's
    /// "pivana-image: ", say), and `detail` on the lines after it (kept for a bug report, never
    /// shown as the reason). The kind stays readable through `failureKind()`.
    static ConversionError failure(FailureKind kind, const QString& prefix = {},
                                   const QString& detail = {});
    /// The reason of every file a cancelled batch did not convert: "Cancelled".
    static ConversionError cancelled() { return failure(FailureKind::Cancelled); }

    static inline const QString domainName = QStringLiteral("Pivana.ConversionError");
    static bool is(const Error& error, Kind kind);

private:
    ConversionError(Kind kind, const QString& description);
};

/// The one-line reason shown for a failed file: the most specific non-generic text of the
/// error, cut at its first non-empty line and, past 140 characters, at the last word boundary
/// before that, with "…" added.
QString cleanReason(const Error& error);

/// The display form of one failure: the source's file name and the reason text.
struct FailedConversion {
    QString name;
    QString reason;

    static FailedConversion from(const QString& sourcePath, const Error& error);
    bool operator==(const FailedConversion&) const = default;
};

}  // namespace pivana
