#include "converters/MediaTools.h"

#include "engine/OutputFile.h"
#include "engine/ToolRunner.h"

namespace pivana {

void runMediaTool(const QString& tool, const QString& prefix, const QStringList& arguments,
                  BatchContext* batch) {
    ProcessOptions options;
    options.environment = {QStringLiteral("PIVANA_PROGRESS=1")};
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

void convertWithVideoTool(const QString& source, const QString& format,
                          const SettingsSnapshot& settings, BatchContext& batch) {
    OutputFile output(outputPath(source, format, settings), source, batch);
    runMediaTool(QStringLiteral("pivana-video"), {},
                 {source, QStringLiteral("-f"), format, output.stagingPath()}, &batch);
    output.commit();
    removeSourceIfAsked(source, settings);
}

}  // namespace pivana
