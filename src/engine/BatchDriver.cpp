// The batch driver: plans which files may run side by side, runs them on worker threads, and
// puts the outcomes back in input order.
#include "engine/BatchDriver.h"

#include "engine/BatchScheduler.h"
#include "engine/BatchState.h"
#include "engine/CancelToken.h"
#include "engine/Converter.h"
#include "engine/OutputFile.h"
#include "engine/RouteTable.h"

#include <sched.h>

#include <QFileInfo>
#include <QtConcurrent/QtConcurrentRun>

#include <memory>

namespace pivana {

namespace {

struct FileResult {
    QStringList outputs;
    QStringList replaced;
    std::optional<Error> error;
};

// One call of `convert`: the plan, the shared state and the results of its files.
class BatchRun {
public:
    BatchRun(const ConverterTable& table, const QStringList& files, const QString& target,
             const SettingsSnapshot& settings, const BatchObserver* observer,
             const CancelToken* cancel)
        : m_table(table),
          m_files(files),
          m_target(target),
          m_settings(settings),
          m_cancel(cancel),
          m_state(files, observer, cancel),
          m_planned(files.size()),
          m_reserved(files.size()),
          m_results(files.size()) {}

    std::vector<WorkUnit> plan();
    void run(const WorkUnit& unit);
    void skip(const WorkUnit& unit);
    ConversionResult result() const;

private:
    std::optional<Error> planFile(int index, WorkUnit& unit);
    void runFile(int index);
    void runDocuments(const std::vector<int>& files);
    void runCollection(const std::vector<int>& files);
    bool collected(int index) const;
    void commit(int index, Staging& staging, const Written& written);
    void finish(int index, std::optional<Error> error);
    const ConverterEntry& entryOf(int index) const;

    const ConverterTable& m_table;
    const QStringList& m_files;
    const QString& m_target;
    const SettingsSnapshot& m_settings;
    const CancelToken* m_cancel;
    BatchState m_state;
    std::vector<std::optional<Error>> m_planned;  // failures known before the batch starts
    std::vector<QString> m_reserved;              // each file's output name, held for it
    std::vector<FileResult> m_results;
};

// Decides a file's unit kind and holds its output name; returns why it fails at once, if it does.
std::optional<Error> BatchRun::planFile(int index, WorkUnit& unit) {
    const QString& file = m_files[index];
    const auto route = RouteTable::shared().route(file);
    if (!route) {
        return ConversionError::noRoute();
    }
    unit.kind = m_table.workKindFor(route->category, file, m_target);
    const QString output = QFileInfo(outputPath(file, m_target, m_settings)).absoluteFilePath();
    if (auto conflict = m_state.sourceConflict(output, index, file)) {
        return ConversionError::processFailed(*conflict);
    }
    unit.after = m_state.reserve(output, index);
    m_reserved[index] = output;
    return std::nullopt;
}

// Whether the file goes into the batch's one collected output (a picture into the PDF).
bool BatchRun::collected(int index) const {
    const auto route = RouteTable::shared().route(m_files[index]);
    return route && m_table.collects(route->category, m_target);
}

std::vector<WorkUnit> BatchRun::plan() {
    std::vector<WorkUnit> units;
    std::optional<size_t> session;     // the unit of the documents that go to the office together
    std::optional<size_t> collection;  // the unit of the pictures that become one document
    for (int index = 0; index < static_cast<int>(m_files.size()); ++index) {
        WorkUnit unit;
        unit.files = {index};
        // The collected output has the first picture's name, held for it alone.
        if (collected(index) && collection) {
            units[*collection].files.push_back(index);
            continue;
        }
        m_planned[index] = planFile(index, unit);
        if (collected(index)) {
            unit.collection = true;
            collection = units.size();
            units.push_back(std::move(unit));
            continue;
        }
        unit.officeSession =
            m_table.documentBatch && unit.kind == WorkKind::Office && !m_planned[index];
        // A document waiting for an earlier file has an office session of its own, after it.
        const bool together = unit.officeSession && !unit.after;
        if (together && session) {
            units[*session].files.push_back(index);
            continue;
        }
        if (together) {
            session = units.size();
        }
        units.push_back(std::move(unit));
    }
    return units;
}

const ConverterEntry& BatchRun::entryOf(int index) const {
    const auto route = RouteTable::shared().route(m_files[index]);
    const ConverterEntry& entry = m_table.entryFor(route->category, m_target);
    if (!entry) {
        throw ConversionError::processFailed(
            QStringLiteral("Converting %1 files is not available in this build")
                .arg(categoryName(route->category)));
    }
    return entry;
}

void BatchRun::run(const WorkUnit& unit) {
    if (unit.officeSession) {
        runDocuments(unit.files);
    } else if (unit.collection) {
        runCollection(unit.files);
    } else {
        runFile(unit.files.front());
    }
}

void BatchRun::runFile(int index) {
    BatchContext context(m_state, index, m_files[index]);
    context.announceStart();
    std::optional<Error> error;
    try {
        if (m_planned[index]) {
            throw *m_planned[index];
        }
        const ConverterEntry& entry = entryOf(index);
        context.checkSource();
        Staging staging(m_reserved[index], m_files[index], context);
        const Written written = entry({m_files[index], m_target, m_settings, staging, context});
        commit(index, staging, written);
    } catch (const Error& thrown) {
        error = thrown;
    } catch (const std::exception& thrown) {
        // A library exception that slipped past a converter's own boundary still fails only
        // this file.
        error = ConversionError::processFailed(QString::fromUtf8(thrown.what()));
    }
    finish(index, std::move(error));
}

void BatchRun::runDocuments(const std::vector<int>& files) {
    std::vector<std::unique_ptr<BatchContext>> contexts;
    std::vector<std::unique_ptr<Staging>> stagings;
    std::vector<DocumentJob> jobs;
    std::vector<int> jobFiles;
    for (const int index : files) {
        auto& context =
            contexts.emplace_back(std::make_unique<BatchContext>(m_state, index, m_files[index]));
        try {
            context->checkSource();
            auto& staging = stagings.emplace_back(
                std::make_unique<Staging>(m_reserved[index], m_files[index], *context));
            jobs.push_back({m_files[index], staging.get(), context.get()});
            jobFiles.push_back(index);
        } catch (const Error& error) {
            context->announceStart();
            finish(index, error);
        }
    }
    if (jobs.empty()) {
        return;
    }
    const DocumentCommit commitJob = [&](size_t job, const Written& written) {
        commit(jobFiles[job], *jobs[job].output, written);
    };
    std::vector<std::optional<Error>> outcomes;
    try {
        outcomes = m_table.documentBatch(jobs, m_target, m_settings, commitJob);
    } catch (const std::exception& error) {
        outcomes.assign(jobs.size(),
                        ConversionError::processFailed(QString::fromUtf8(error.what())));
    }
    outcomes.resize(jobs.size(), ConversionError::failure(FailureKind::Unknown));
    for (size_t job = 0; job < jobs.size(); ++job) {
        jobs[job].context->announceStart();
        finish(jobFiles[job], outcomes[job]);
    }
}

// The pictures into one output, named after the first. It is committed when it holds at least
// one picture (and none of those changed meanwhile); only then are the pictures it holds
// deleted under "Replace original". Each picture left out fails with its own reason.
void BatchRun::runCollection(const std::vector<int>& files) {
    const int first = files.front();
    std::vector<std::unique_ptr<BatchContext>> contexts;
    for (const int index : files) {
        contexts.push_back(std::make_unique<BatchContext>(m_state, index, m_files[index]));
    }
    const auto failAll = [&](const Error& error) {
        for (size_t i = 0; i < files.size(); ++i) {
            contexts[i]->announceStart();
            finish(files[i], error);
        }
    };
    if (m_planned[first]) {
        failAll(*m_planned[first]);
        return;
    }
    Staging staging(m_reserved[first], m_files[first], *contexts.front());
    std::vector<DocumentJob> jobs;
    std::vector<size_t> jobFiles;  // each job's place in `files`
    for (size_t i = 0; i < files.size(); ++i) {
        try {
            contexts[i]->checkSource();
            jobs.push_back({m_files[files[i]], &staging, contexts[i].get()});
            jobFiles.push_back(i);
        } catch (const Error& error) {
            contexts[i]->announceStart();
            finish(files[i], error);
        }
    }
    if (jobs.empty()) {
        return;
    }
    std::vector<std::optional<Error>> outcomes;
    try {
        outcomes = m_table.imageCollection(jobs, m_target, m_settings);
    } catch (const std::exception& error) {
        outcomes.assign(jobs.size(),
                        ConversionError::processFailed(QString::fromUtf8(error.what())));
    }
    outcomes.resize(jobs.size(), ConversionError::failure(FailureKind::Unknown));
    std::vector<size_t> held;
    for (size_t job = 0; job < jobs.size(); ++job) {
        if (!outcomes[job]) {
            held.push_back(job);
        }
    }
    QStringList outputs;
    try {
        for (const size_t job : held) {
            jobs[job].context->checkSourceUnchanged();
        }
        if (!held.empty()) {
            outputs = staging.commit(staging.written());
        }
    } catch (const Error& error) {
        for (const size_t job : held) {
            outcomes[job] = error;
        }
        held.clear();
    }
    for (size_t job = 0; job < jobs.size(); ++job) {
        const int index = files[jobFiles[job]];
        if (!outcomes[job]) {
            m_results[index].outputs = outputs;
            if (job == held.front()) {
                m_results[index].replaced = staging.replaced();
            }
            try {
                removeSourceIfAsked(m_files[index], m_settings);
            } catch (const Error& error) {
                outcomes[job] = error;
            }
        }
        jobs[job].context->announceStart();
        finish(index, outcomes[job]);
    }
}

// Publishes what the converter wrote and then, under "Replace original", deletes the source:
// never before every output of it is in place.
void BatchRun::commit(int index, Staging& staging, const Written& written) {
    m_results[index].outputs = staging.commit(written);
    m_results[index].replaced = staging.replaced();
    removeSourceIfAsked(m_files[index], m_settings);
}

// Records a file's outcome. A file that says it converted must have committed an output; once
// the batch is cancelled, every failure reads "Cancelled" (a killed tool has nothing better to
// say).
void BatchRun::finish(int index, std::optional<Error> error) {
    FileResult& result = m_results[index];
    if (!error && result.outputs.isEmpty()) {
        error = ConversionError::failure(FailureKind::NoOutput);
    }
    if (error && m_cancel && m_cancel->isCancelled()) {
        error = ConversionError::cancelled();
    }
    if (error) {
        result.outputs.clear();
        result.replaced.clear();
    }
    result.error = std::move(error);
    m_state.release(index);
}

void BatchRun::skip(const WorkUnit& unit) {
    for (const int index : unit.files) {
        m_results[index] = {{}, {}, ConversionError::cancelled()};
    }
}

ConversionResult BatchRun::result() const {
    ConversionResult result;
    for (int index = 0; index < static_cast<int>(m_files.size()); ++index) {
        const FileResult& file = m_results[index];
        if (file.error) {
            result.addFailure(m_files[index], *file.error);
        } else {
            result.addSuccess(m_files[index], file.outputs, file.replaced);
        }
    }
    return result;
}

}  // namespace

BatchDriver::BatchDriver(const ConverterTable& converters, int parallelism)
    : m_converters(&converters), m_parallelism(std::max(1, parallelism)) {}

int BatchDriver::usableCores() {
    cpu_set_t cores;
    if (::sched_getaffinity(0, sizeof cores, &cores) != 0) {
        return 1;
    }
    return std::max(1, CPU_COUNT(&cores));
}

ConversionResult BatchDriver::convert(const QStringList& files, const QString& target,
                                      const SettingsSnapshot& settings,
                                      const BatchObserver* observer,
                                      const CancelToken* cancel) const {
    BatchRun batch(*m_converters, files, target, settings, observer, cancel);
    runUnits(
        batch.plan(), m_parallelism, cancel, [&batch](const WorkUnit& unit) { batch.run(unit); },
        [&batch](const WorkUnit& unit) { batch.skip(unit); });
    return batch.result();
}

QFuture<ConversionResult> BatchDriver::convertInBackground(const QStringList& files,
                                                           const QString& target,
                                                           const SettingsSnapshot& settings,
                                                           const BatchObserver* observer,
                                                           const CancelToken* cancel) const {
    // The driver is copied into the task, so the caller's driver may go out of scope.
    return QtConcurrent::run([driver = *this, files, target, settings, observer, cancel] {
        return driver.convert(files, target, settings, observer, cancel);
    });
}

}  // namespace pivana
