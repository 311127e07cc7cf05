#include "converters/MediaTools.h"

#include "engine/ToolRunner.h"

namespace pivana {

namespace {

// Re-encoding a feature film on a small machine takes longer than the film lasts, and a long
// audiobook takes many minutes to become AAC: the tools' usual ten minutes would fail real work.
// The limit stays, for a decoder that loops on a damaged file.
constexpr std::chrono::hours mediaTimeLimit{8};

}  // namespace

void runMediaTool(const QString& tool, const QString& prefix, const QStringList& arguments,
                  BatchContext* batch) {
    ProcessOptions options;
    options.environment = {QStringLiteral("PIVANA_PROGRESS=1")};
    options.timeout = mediaTimeLimit;
    if (batch) {
        options.cancel = batch->toolCancel();
        options.onOutputLine = [batch](const QByteArray& line) {
            if (line.startsWith("progress ")) {
                batch->reportProgress(line.mid(9).toDouble());
            }
        };
    }
    runTool(prefix, toolPath(tool), arguments, options);
}

Written convertWithVideoTool(const ConversionJob& job, const QString& format) {
    runMediaTool(QStringLiteral("pivana-video"), {},
                 {QStringLiteral("--to"), format, job.source, job.output.path()}, &job.batch);
    return job.output.written();
}

}  // namespace pivana
