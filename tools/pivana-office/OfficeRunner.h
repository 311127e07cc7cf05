#pragma once

#include "common/ToolFailure.h"

#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <optional>
#include <vector>

namespace pivana::office {

using tools::readingFailure;
using tools::writingFailure;

/// A failure of one document, in its kind's sentence, with Qt text as the detail.
inline Failure failure(FailureKind kind, const QString& detail) {
    return Failure(kind, detail.toStdString());
}
/// A failure in one of the tool's own sentences, for what the common kinds do not say.
inline Failure failure(std::string_view sentence, const QString& detail) {
    return Failure(std::string(sentence), detail.toStdString());
}

/// The tool's own sentences, for what the common kinds do not say.
inline constexpr std::string_view officeMissing = "LibreOffice is not installed";
inline constexpr std::string_view officeFailed = "LibreOffice could not convert the document";
inline constexpr std::string_view officeDidNotStart = "LibreOffice could not be started";

/// One document for the office: import it from `source` with `importFilter` and export it to
/// `result` with `exportFilter` (its options after a colon, as LibreOffice's command line takes
/// them).
struct OfficeJob {
    QString source;
    QString importFilter;
    QString result;
    QString exportFilter;
    QString extension;                   ///< of the result, for the office's command line
    std::chrono::milliseconds budget{};  ///< how long the office may take; see `timeBudget`
};

/// How long the office may take over a document of `bytes`: a generous minute for starting and
/// any small document, and more in proportion to its size. PIVANA_OFFICE_TIME_SCALE, a factor,
/// shortens it for tests.
std::chrono::milliseconds timeBudget(qint64 bytes);

/// A private folder for one run of the tool, under the user's cache folder (never in a folder of
/// theirs, and never in the temporary folder). Folders that runs killed on the way left behind
/// are removed when the next run starts.
class WorkFolder {
public:
    WorkFolder();
    ~WorkFolder();
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;

    QString filePath(const QString& name) const;
    const QString& path() const { return m_path; }

private:
    QString m_path;
    int m_lock = -1;
};

/// Runs the jobs in the office kept running on the private profile, in one session, in order,
/// and calls `done` with each job's index as it finishes: with nothing when the result was
/// written, else the failure. A job the long-running office failed on, other than a document it
/// cannot read, is tried once more in an office of its own.
void runJobs(const std::vector<OfficeJob>& jobs, const WorkFolder& work,
             const std::function<void(size_t, const std::optional<Failure>&)>& done);

/// The user's cache folder for Pivana.
QString cacheFolder();

}  // namespace pivana::office
