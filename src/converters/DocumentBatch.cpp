#include "converters/DocumentBatch.h"

#include "converters/OfficeWork.h"
#include "engine/ToolRunner.h"

#include <algorithm>
#include <functional>
#include <memory>

namespace pivana::DocumentBatch {

namespace {

using Outcomes = std::vector<std::optional<Error>>;

// One tool run for the documents planned. With several, the tool reports each as it finishes
// on a line of its own, "N ok" or "N failed SENTENCE" (N counting from 1 in the order given).
class Session {
public:
    Session(const std::vector<DocumentJob>& jobs, Outcomes& outcomes,
            std::function<void(size_t, const Written&)> commit)
        : m_jobs(jobs), m_outcomes(outcomes), m_commit(std::move(commit)), m_work(jobs.size()) {}

    void plan(const QString& target) {
        for (size_t job = 0; job < m_jobs.size(); ++job) {
            try {
                m_work[job] = std::make_unique<OfficeWork>(m_jobs[job], target);
                m_planned.push_back(job);
            } catch (const Error& error) {
                m_outcomes[job] = error;
            }
        }
    }

    void run() {
        std::vector<size_t> waiting = m_planned;
        while (!waiting.empty()) {
            if (waiting.size() == 1) {
                announce(waiting.front());
                runAlone(waiting.front());
                return;
            }
            m_running = waiting;
            m_announced = 0;
            announceNext();
            if (!runSession()) {
                return;
            }
            // The tool died of a signal nobody sent it on purpose: the document it was on
            // costs only itself, and the documents after it go on in a new run.
            waiting.clear();
            for (const size_t job : m_running) {
                if (m_work[job]) {
                    waiting.push_back(job);
                }
            }
            if (!waiting.empty()) {
                m_outcomes[waiting.front()] = ConversionError::failure(
                    FailureKind::Crashed, m_work[waiting.front()]->prefix());
                m_work[waiting.front()].reset();
                waiting.erase(waiting.begin());
            }
        }
    }

private:
    // One run of the tool for the documents of `m_running`. False when it is over for all of
    // them (each reported, or failed for a reason all share: Cancel, a limit, no tool); true when
    // the tool crashed, or was killed by someone else, before it reported them all.
    bool runSession() {
        QStringList arguments;
        for (const size_t job : m_running) {
            arguments << m_work[job]->arguments();
        }
        ProcessOptions options;
        options.cancel = m_jobs.front().context->toolCancel();
        options.timeout = toolTimeLimit * static_cast<int>(m_running.size());
        options.memoryLimit = toolMemoryLimit;
        options.onOutputLine = [this](const QByteArray& line) { reported(line); };
        ProcessOutcome outcome;
        try {
            outcome = runProcess(toolPath(QStringLiteral("pivana-office")), arguments, options);
        } catch (const Error& error) {
            failUnreported(error);
            return false;
        }
        if (outcome.signal != 0 && !outcome.cancelled && !outcome.timedOut && !outcome.overMemory) {
            return true;
        }
        failUnreported(outcome);
        return false;
    }

    // One document: the tool reports it as it reports any single conversion.
    void runAlone(size_t job) {
        try {
            runOfficeWork(*m_work[job], *m_jobs[job].context);
            m_commit(job, m_work[job]->finish());
        } catch (const Error& error) {
            m_outcomes[job] = error;
        }
        m_work[job].reset();
    }

    void announce(size_t job) { m_jobs[job].context->announceStart(); }

    // Tells the batch the office has reached the next document.
    void announceNext() {
        if (m_announced < m_running.size()) {
            announce(m_running[m_announced++]);
        }
    }

    void reported(const QByteArray& line) {
        bool number = false;
        const qsizetype space = line.indexOf(' ');
        const size_t position = line.left(space).toULongLong(&number);
        if (!number || position < 1 || position > m_running.size()) {
            return;
        }
        const size_t job = m_running[position - 1];
        const QByteArray result = line.mid(space + 1);
        if (!m_work[job] || (result != "ok" && !result.startsWith("failed "))) {
            return;
        }
        if (result == "ok") {
            finish(job);
        } else {
            m_outcomes[job] = ConversionError::processFailed(
                m_work[job]->prefix() + QString::fromUtf8(result.mid(sizeof("failed ") - 1)));
        }
        m_work[job].reset();  // its temporary files go now
        announceNext();
    }

    void finish(size_t job) {
        try {
            m_commit(job, m_work[job]->finish());
        } catch (const Error& error) {
            m_outcomes[job] = error;
        } catch (const std::exception& error) {
            m_outcomes[job] = ConversionError::processFailed(QString::fromUtf8(error.what()));
        }
    }

    // The tool ended before it reported these documents: killed (Cancel, a time or memory
    // limit) or crashed. Its standard error would name another document, so it is not used.
    void failUnreported(const ProcessOutcome& outcome) {
        ProcessOutcome bare = outcome;
        bare.standardError.clear();
        for (const size_t job : m_running) {
            if (m_work[job]) {
                m_outcomes[job] = toolFailure(m_work[job]->prefix(), bare)
                                      .value_or(ConversionError::failure(FailureKind::Unknown,
                                                                         m_work[job]->prefix()));
            }
        }
    }

    void failUnreported(const Error& error) {
        for (const size_t job : m_running) {
            if (m_work[job]) {
                m_outcomes[job] = error;
            }
        }
    }

    const std::vector<DocumentJob>& m_jobs;
    Outcomes& m_outcomes;
    std::function<void(size_t, const Written&)> m_commit;  // by the job's index in this run
    std::vector<std::unique_ptr<OfficeWork>> m_work;
    std::vector<size_t> m_planned;  // the jobs that go to the tool, in order
    std::vector<size_t> m_running;  // the jobs of the tool's current run, in order
    size_t m_announced = 0;         // of m_running
};

}  // namespace

Outcomes convert(const std::vector<DocumentJob>& jobs, const QString& target,
                 const SettingsSnapshot&, const DocumentCommit& commit) {
    // A long batch goes to the tool in runs of at most this many documents: its command line
    // stays well within the system's limit however long the paths, and only one run's outputs
    // are staged at a time.
    constexpr size_t documentsPerRun = 100;
    Outcomes outcomes(jobs.size());
    for (size_t first = 0; first < jobs.size(); first += documentsPerRun) {
        const auto begin = jobs.begin() + static_cast<std::ptrdiff_t>(first);
        const std::vector<DocumentJob> some(
            begin,
            begin + static_cast<std::ptrdiff_t>(std::min(documentsPerRun, jobs.size() - first)));
        if (some.front().context->isCancelled()) {
            std::fill(outcomes.begin() + static_cast<std::ptrdiff_t>(first), outcomes.end(),
                      ConversionError::cancelled());
            break;
        }
        Outcomes part(some.size());
        Session session(some, part, [&commit, first](size_t job, const Written& written) {
            commit(first + job, written);
        });
        session.plan(target);
        session.run();
        std::move(part.begin(), part.end(), outcomes.begin() + static_cast<std::ptrdiff_t>(first));
    }
    return outcomes;
}

}  // namespace pivana::DocumentBatch
