#include "support/FakeConverters.h"

#include "engine/OutputFile.h"
#include "support/TestSupport.h"

#include <QFile>

namespace pivana::test {

void copyConverter(const QString& source, const QString& target, const SettingsSnapshot& settings,
                   BatchContext& batch) {
    OutputFile output(outputPath(source, target, settings), source, batch);
    QFile file(output.stagingPath());
    if (!file.open(QIODevice::WriteOnly)) {
        throw ConversionError::processFailed("cannot write");
    }
    file.write(target.toUtf8() + ":" + readAll(source));
    file.close();
    batch.reportProgress(0.5);
    output.commit();
    removeSourceIfAsked(source, settings);
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
