#include "support/FakeConverters.h"

#include "support/TestSupport.h"

#include <QFile>

namespace pivana::test {

Written copyConverter(const ConversionJob& job) {
    writeFile(job.output.path(), job.target.toUtf8() + ":" + readAll(job.source));
    job.batch.reportProgress(0.5);
    return job.output.written();
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        throw ConversionError::processFailed("cannot write");
    }
}

ConverterTable tableOf(const ConverterEntry& entry) {
    ConverterTable table;
    table.image = table.gifToVideo = table.audio = table.video = table.text = table.pdf =
        table.presentation = entry;
    return table;
}

QStringList failedPaths(const ConversionResult& result) {
    QStringList paths;
    for (const FailedFile& failure : result.failed) {
        paths << failure.path;
    }
    return paths;
}

QStringList reasons(const ConversionResult& result) {
    QStringList texts;
    for (const FileOutcome& outcome : result.outcomes) {
        texts << (outcome.error ? cleanReason(*outcome.error) : QString());
    }
    return texts;
}

}  // namespace pivana::test
