#include "converters/PresentationConverter.h"

#include "engine/Error.h"
#include "engine/OutputFile.h"
#include "engine/ToolRunner.h"

#include <QDir>
#include <QFileInfo>

namespace pivana::PresentationConverter {

bool impressInstalled(const QString& officeRoot) {
    const QDir root(officeRoot);
    return QFileInfo(root.filePath(QStringLiteral("program/soffice.bin"))).isExecutable() &&
           QFileInfo::exists(root.filePath(QStringLiteral("share/registry/impress.xcd")));
}

void convertWith(const QString& officeRoot, const QString& source, const QString& target,
                 const SettingsSnapshot& settings, BatchContext& batch) {
    if (target != u"pdf") {
        throw ConversionError::unsupportedFormat(target);
    }
    if (!impressInstalled(officeRoot)) {
        throw ConversionError::processFailed(QStringLiteral(
            "LibreOffice Impress is not installed. Install it to convert PPTX and KEY files."));
    }
    OutputFile output(outputPath(source, target, settings), source, batch);
    ProcessOptions options;
    options.cancel = batch.toolCancel();
    // The office the tool keeps running between conversions outlives this run, and with it
    // the temporary folder it was started with.
    options.privateTemporaryFolder = false;
    runTool(QStringLiteral("Presentation export failed: "),
            toolPath(QStringLiteral("pivana-office")),
            {"-convert", "pdf", source, "-output", output.stagingPath()}, options);
    output.commit();
    removeSourceIfAsked(source, settings);
}

void convert(const QString& source, const QString& target, const SettingsSnapshot& settings,
             BatchContext& batch) {
    convertWith(QStringLiteral("/usr/lib/libreoffice"), source, target, settings, batch);
}

}  // namespace pivana::PresentationConverter
