// The batch driver: routing, input order, files side by side, the office's batches, cancel.
#include "engine/BatchDriver.h"
#include "engine/CancelToken.h"
#include "engine/Converter.h"
#include "engine/OutputFile.h"
#include "support/FakeConverters.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QThread>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>

using namespace pivana;
using namespace pivana::test;

namespace {

ConversionResult run(const QStringList& files, const QString& target, const ConverterTable& table,
                     const SettingsSnapshot& settings = {}, const BatchObserver* observer = nullptr,
                     int parallelism = 2) {
    return BatchDriver(table, parallelism).convert(files, target, settings, observer);
}

// What ran when: how many files converted at once at most, and in what order they ended. A
// converter may wait (with a deadline, never for ever) until other files have ended.
class Concurrency {
public:
    void begin(const QString& file) {
        const std::lock_guard lock(m_mutex);
        m_running << QFileInfo(file).fileName();
        m_most = std::max(m_most, static_cast<int>(m_running.size()));
        m_runningAtStart[QFileInfo(file).fileName()] = m_running;
    }
    void end(const QString& file) {
        const std::lock_guard lock(m_mutex);
        m_running.removeOne(QFileInfo(file).fileName());
        m_ended << QFileInfo(file).fileName();
        m_changed.notify_all();
    }
    /// Waits until `count` files have ended; false when they have not within 20 s.
    bool waitForEnded(int count) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::seconds(20),
                                  [&] { return m_ended.size() >= count; });
    }
    int most() const { return m_most; }
    QStringList ended() const { return m_ended; }
    /// The files running (itself included) when `name` started.
    QStringList runningAtStart(const QString& name) const { return m_runningAtStart.value(name); }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    QStringList m_running;
    QStringList m_ended;
    QHash<QString, QStringList> m_runningAtStart;
    int m_most = 0;
};

}  // namespace

TEST(Driver, EmptyBatchGivesEmptyResult) {
    const ConversionResult result = run({}, "png", tableOf(copyConverter));
    EXPECT_TRUE(result.succeeded.isEmpty());
    EXPECT_TRUE(result.failed.empty());
    EXPECT_TRUE(result.outcomes.empty());
}

TEST(Driver, KeepsInputOrderAndGoesOnAfterFailures) {
    Scratch dir;
    const QString a = dir.write("a.wav", "A");
    const QString zip = dir.write("b.zip", "Z");
    const QString c = dir.write("c.wav", "C");
    const QString d = dir.write("d.wav", "D");
    ConverterTable table = tableOf(copyConverter);
    table.audio = [&](const ConversionJob& job) {
        if (job.source == c) {
            throw ConversionError::processFailed("bad c");
        }
        return copyConverter(job);
    };
    const ConversionResult result = run({a, zip, c, d}, "flac", table);
    EXPECT_EQ(result.succeeded, (QStringList{a, d}));
    EXPECT_EQ(failedPaths(result), (QStringList{zip, c}));
    EXPECT_EQ(cleanReason(result.failed[0].error), "Unsupported format");
    EXPECT_EQ(cleanReason(result.failed[1].error), "bad c");
    EXPECT_EQ(readAll(dir.path("d.flac")), "flac:D");

    // One outcome per input, in input order, each with its own outputs or its own error.
    ASSERT_EQ(result.outcomes.size(), 4u);
    const QStringList expectedSources = {a, zip, c, d};
    const QStringList expectedReasons = {"", "Unsupported format", "bad c", ""};
    for (int i = 0; i < 4; ++i) {
        const FileOutcome& outcome = result.outcomes[i];
        EXPECT_EQ(outcome.source, expectedSources[i]) << i;
        EXPECT_EQ(outcome.error ? cleanReason(*outcome.error) : QString(), expectedReasons[i]) << i;
        EXPECT_EQ(outcome.succeeded(), expectedReasons[i].isEmpty()) << i;
    }
    EXPECT_EQ(result.outcomes[0].outputs, QStringList{dir.path("a.flac")});
    EXPECT_TRUE(result.outcomes[2].outputs.isEmpty());
    EXPECT_EQ(result.outcomes[3].outputs, QStringList{dir.path("d.flac")});
    EXPECT_EQ(result.writtenFiles(), (QStringList{dir.path("a.flac"), dir.path("d.flac")}));
}

TEST(Driver, EachOutcomeHoldsOnlyTheOutputsOfItsOwnFile) {
    Scratch dir;
    const QString doc = dir.write("doc.pdf", "P");
    const QString broken = dir.write("broken.pdf", "X");
    const QString single = dir.write("single.pdf", "S");
    ConverterTable table;
    // Three pages per document (one for "single"); "broken" fails after writing two, as a
    // renderer that gives up half-way would.
    table.pdf = [&](const ConversionJob& job) {
        const int pages = job.source == single ? 1 : 3;
        Written written;
        for (int page = 1; page <= pages; ++page) {
            if (job.source == broken && page == 3) {
                throw ConversionError::processFailed("Cannot render page 3");
            }
            const QString name = QFileInfo(job.source).completeBaseName() +
                                 QStringLiteral("_page%1.").arg(page) + job.target;
            const QString path = QDir(outputFolder(job.source, job.settings)).filePath(name);
            writeFile(job.output.pathFor(path), "page");
            written.outputs << path;
        }
        return written;
    };
    const ConversionResult result = run({doc, broken, single}, "png", table);
    ASSERT_EQ(result.outcomes.size(), 3u);
    EXPECT_EQ(result.outcomes[0].outputs,
              (QStringList{dir.path("doc_page1.png"), dir.path("doc_page2.png"),
                           dir.path("doc_page3.png")}));
    EXPECT_FALSE(result.outcomes[1].succeeded());
    EXPECT_TRUE(result.outcomes[1].outputs.isEmpty())
        << "pages of a failed file are not reported as its outputs";
    EXPECT_EQ(result.outcomes[2].outputs, QStringList{dir.path("single_page1.png")});
}

TEST(Driver, ChoosesTheEntryByCategoryAndTarget) {
    Scratch dir;
    const QString gif = dir.write("anim.gif", "G");
    QStringList calls;
    ConverterTable table;
    table.image = [&](const ConversionJob& job) {
        calls << "image:" + job.target;
        return Written{};
    };
    table.gifToVideo = [&](const ConversionJob& job) {
        calls << "gifToVideo:" + job.target;
        return Written{};
    };
    for (const char* target : {"png", "mov", "mp4", "m4v", "jpg"}) {
        run({gif}, target, table);
    }
    EXPECT_EQ(calls, (QStringList{"image:png", "gifToVideo:mov", "gifToVideo:mp4", "gifToVideo:m4v",
                                  "image:jpg"}));
}

TEST(Driver, MissingConverterAndStrayExceptionsFailOnlyTheirFile) {
    Scratch dir;
    const QString pdf = dir.write("a.pdf", "P");
    const QString mp3 = dir.write("b.mp3", "M");
    ConverterTable table;  // no entries at all
    table.audio = [](const ConversionJob&) -> Written {
        throw std::runtime_error("library said no");
    };
    const ConversionResult result = run({pdf, mp3}, "png", table);
    ASSERT_EQ(result.failed.size(), 2u);
    EXPECT_EQ(cleanReason(result.failed[0].error),
              "Converting pdf files is not available in this build");
    EXPECT_EQ(cleanReason(result.failed[1].error), "library said no");
}

TEST(Driver, ReportsEachFileAndItsProgress) {
    Scratch dir;
    const QStringList files = {dir.write("a.txt", "a"), dir.write("b.txt", "b")};
    QStringList events;
    BatchObserver observer;
    observer.fileStarted = [&](int index, int count, const QString& file) {
        events << QStringLiteral("start %1/%2 %3")
                      .arg(index)
                      .arg(count)
                      .arg(QFileInfo(file).fileName());
    };
    observer.fileProgress = [&](int index, double fraction) {
        events << QStringLiteral("progress %1 %2").arg(index).arg(fraction);
    };
    run(files, "md", tableOf(copyConverter), {}, &observer, 1);
    EXPECT_EQ(events, (QStringList{"start 0/2 a.txt", "progress 0 0.5", "start 1/2 b.txt",
                                   "progress 1 0.5"}));
}

TEST(Driver, RunsOffTheCallingThreadAndOutlivesTheDriverThatStartedIt) {
    Scratch dir;
    const QString file = dir.write("a.txt", "t");
    const QThread* caller = QThread::currentThread();
    const QThread* worker = nullptr;
    BatchObserver observer;
    observer.fileStarted = [&](int, int, const QString&) { worker = QThread::currentThread(); };
    const ConverterTable table = tableOf(copyConverter);
    QFuture<ConversionResult> future;
    {
        const BatchDriver driver(table);
        future = driver.convertInBackground({file}, "md", {}, &observer);
    }
    future.waitForFinished();
    EXPECT_NE(worker, nullptr);
    EXPECT_NE(worker, caller);
    EXPECT_EQ(future.result().succeeded, QStringList{file});
}

TEST(Driver, CustomModeWithoutFolderWritesBesideTheSource) {
    Scratch dir;
    const QString source = dir.write("sub/a.txt", "t");
    SettingsSnapshot settings;
    settings.outputFolderMode = OutputFolderMode::Custom;
    run({source}, "rtf", tableOf(copyConverter), settings);
    EXPECT_TRUE(exists(dir.path("sub/a.rtf")));
}

TEST(Driver, OutputsAreDatedAsTheirSourcesWhereverTheyGo) {
    Scratch dir;
    const QDateTime holiday = QDateTime::fromSecsSinceEpoch(1000000000, Qt::UTC);
    const QString photo = dir.write("photo.heic", "H");
    const QString doc = dir.write("doc.pdf", "P");
    for (const QString& source : {photo, doc}) {
        QFile file(source);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.setFileTime(holiday, QFileDevice::FileModificationTime));
    }
    ConverterTable table = tableOf(copyConverter);
    table.pdf = [](const ConversionJob& job) {
        Written pages;
        for (const char* name : {"doc_page1.png", "doc_page2.png"}) {
            const QString path = QDir(outputFolder(job.source, job.settings)).filePath(name);
            writeFile(job.output.pathFor(path), "page");
            pages.outputs << path;
        }
        return pages;
    };
    SettingsSnapshot custom;
    custom.outputFolderMode = OutputFolderMode::Custom;
    custom.customOutputFolder = dir.path("out");
    QDir().mkpath(dir.path("out"));
    const QStringList written = run({photo, doc}, "png", table).writtenFiles() +
                                run({photo}, "jpg", table, custom).writtenFiles();
    ASSERT_EQ(written.size(), 4);
    for (const QString& output : written) {
        EXPECT_EQ(QFileInfo(output).lastModified().toUTC(), holiday) << output;
    }
}

// Files side by side.

TEST(DriverParallel, OutcomesStayInInputOrderWhileASlowFileEndsLast) {
    Scratch dir;
    QStringList files;
    for (const char* name : {"a.wav", "b.wav", "c.wav", "d.wav", "e.wav", "f.wav"}) {
        files << dir.write(name, name);
    }
    Concurrency seen;
    ConverterTable table = tableOf([&](const ConversionJob& job) {
        seen.begin(job.source);
        if (job.source == files[0]) {
            // The slow file: the others convert meanwhile, on the other worker.
            EXPECT_TRUE(seen.waitForEnded(5)) << "the other files waited for the slow one";
        }
        const Written written = copyConverter(job);
        seen.end(job.source);
        return written;
    });
    const ConversionResult result = run(files, "flac", table, {}, nullptr, 2);

    EXPECT_EQ(seen.ended().last(), "a.wav");
    EXPECT_EQ(seen.most(), 2) << "two at once, never more: each running file holds a decoder";
    EXPECT_EQ(result.succeeded, files);
    for (int i = 0; i < files.size(); ++i) {
        EXPECT_EQ(result.outcomes[i].outputs,
                  QStringList{dir.path(QFileInfo(files[i]).completeBaseName() + ".flac")});
    }
}

TEST(DriverParallel, ExclusiveWorkRunsAloneAndOfficeWorkOneAtATime) {
    Scratch dir;
    QStringList files;
    // p: side by side, x: alone, o: through the office (no document batch entry here).
    for (const char* name :
         {"p1.txt", "p2.txt", "x3.txt", "p4.txt", "o5.txt", "o6.txt", "p7.txt", "x8.txt"}) {
        files << dir.write(name, name);
    }
    Concurrency seen;
    ConverterTable table = tableOf([&](const ConversionJob& job) {
        seen.begin(job.source);
        const Written written = copyConverter(job);
        seen.end(job.source);
        return written;
    });
    table.workKind = [](FileCategory, const QString& source, const QString&) {
        const QChar kind = QFileInfo(source).fileName().front();
        return kind == u'x' ? WorkKind::Exclusive
                            : (kind == u'o' ? WorkKind::Office : WorkKind::Parallel);
    };
    const ConversionResult result = run(files, "md", table, {}, nullptr, 3);
    EXPECT_EQ(result.succeeded, files);
    EXPECT_EQ(seen.runningAtStart("x3.txt"), QStringList{"x3.txt"});
    EXPECT_EQ(seen.runningAtStart("x8.txt"), QStringList{"x8.txt"});
    EXPECT_FALSE(seen.runningAtStart("o6.txt").contains("o5.txt"));
    EXPECT_LE(seen.most(), 3);
}

TEST(DriverOffice, DocumentsGoToTheOfficeTogetherAndKeepTheirOwnOutcomes) {
    Scratch dir;
    const QStringList files = {dir.write("a.docx", "A"), dir.write("b.zip", "Z"),
                               dir.write("c.docx", "C"), dir.write("notes.txt", "N"),
                               dir.write("d.odt", "D"),  dir.write("a.odt", "A2")};
    QList<QStringList> sessions;
    QStringList started;
    BatchObserver observer;
    observer.fileStarted = [&](int, int, const QString& file) {
        started << QFileInfo(file).fileName();
    };
    ConverterTable table = tableOf(copyConverter);
    table.workKind = [](FileCategory, const QString& source, const QString&) {
        return source.endsWith(".txt") ? WorkKind::Parallel : WorkKind::Office;
    };
    table.documentBatch = [&](const std::vector<DocumentJob>& jobs, const QString& target,
                              const SettingsSnapshot& settings, const DocumentCommit& commit) {
        QStringList session;
        std::vector<std::optional<Error>> outcomes;
        for (size_t index = 0; index < jobs.size(); ++index) {
            const DocumentJob& job = jobs[index];
            session << QFileInfo(job.source).fileName();
            job.context->announceStart();
            if (job.source.endsWith("c.docx")) {
                outcomes.push_back(ConversionError::processFailed("The office cannot read it"));
                continue;
            }
            try {
                commit(index,
                       copyConverter({job.source, target, settings, *job.output, *job.context}));
                outcomes.emplace_back();
            } catch (const Error& error) {
                outcomes.push_back(error);
            }
        }
        sessions << session;
        return outcomes;
    };
    const ConversionResult result = run(files, "rtf", table, {}, &observer, 1);

    // a.odt also becomes a.rtf: it waits for a.docx, alone, and keeps its source.
    EXPECT_EQ(sessions, (QList<QStringList>{{"a.docx", "c.docx", "d.odt"}, {"a.odt"}}));
    EXPECT_EQ(reasons(result),
              (QStringList{"", "Unsupported format", "The office cannot read it", "", "",
                           "a.rtf was already written by an earlier file of this batch"}));
    EXPECT_EQ(result.outcomes[0].outputs, QStringList{dir.path("a.rtf")});
    EXPECT_EQ(readAll(dir.path("a.rtf")), "rtf:A");
    EXPECT_EQ(started.size(), files.size());
    EXPECT_TRUE(exists(files[5]));
}

// Cancel.

TEST(DriverCancel, NoFileStartsOnceCancelledAndEveryFileNotConvertedSaysSo) {
    Scratch dir;
    const QStringList files = {dir.write("a.wav", "A"), dir.write("b.wav", "B"),
                               dir.write("c.wav", "C"), dir.write("d.wav", "D")};
    CancelToken token;
    QStringList started;
    BatchObserver observer;
    observer.fileStarted = [&](int, int, const QString& file) {
        started << QFileInfo(file).fileName();
    };
    ConverterTable table = tableOf([&](const ConversionJob& job) {
        if (job.source == files[0]) {
            return copyConverter(job);  // committed before the cancel
        }
        // b.wav is part way when the batch is cancelled, and stops at its next report.
        writeFile(job.output.path(), "part");
        token.cancel();
        job.batch.reportProgress(0.5);
        return job.output.written();
    });
    SettingsSnapshot settings;
    settings.replaceOriginal = true;
    const ConversionResult result =
        BatchDriver(table, 1).convert(files, "flac", settings, &observer, &token);

    EXPECT_EQ(reasons(result), (QStringList{"", "Cancelled", "Cancelled", "Cancelled"}));
    EXPECT_EQ(started, (QStringList{"a.wav", "b.wav"}));
    EXPECT_EQ(entries(dir.root()), (QStringList{"a.flac", "b.wav", "c.wav", "d.wav"}))
        << "sources and committed outputs stay; nothing staged is left";
}
