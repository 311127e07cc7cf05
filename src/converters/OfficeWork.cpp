#include "converters/OfficeWork.h"

#include "converters/PresentationConverter.h"
#include "converters/TextConverter.h"
#include "engine/Error.h"
#include "engine/OutputFile.h"
#include "engine/RouteTable.h"
#include "engine/TemporaryFile.h"
#include "engine/ToolRunner.h"

#include <QFile>

#include <cerrno>

namespace pivana {

OfficeWork::OfficeWork(const QString& source, const QString& target,
                       const SettingsSnapshot& settings, BatchContext& batch, const QString& office)
    : m_source(source), m_settings(settings), m_batch(batch) {
    QString format = target;
    QString input = source;
    if (RouteTable::shared().category(source) == FileCategory::Presentation) {
        if (target != u"pdf") {
            throw ConversionError::unsupportedFormat(target);
        }
        if (!PresentationConverter::impressInstalled(office)) {
            throw ConversionError::processFailed(
                QStringLiteral("LibreOffice Impress is not installed. Install it to convert PPTX "
                               "and KEY files."));
        }
        m_prefix = QStringLiteral("Presentation export failed: ");
    } else {
        m_prefix = QStringLiteral("pivana-office: ");
        if (target == u"pdf") {
            m_html = std::make_unique<TemporaryFile>(QStringLiteral("html"));
            format = QStringLiteral("html");
        } else {
            format = TextConverter::officeFormat(target);
            if (format.isEmpty()) {
                throw ConversionError::unsupportedFormat(target);
            }
        }
        if (RouteTable::extensionKey(source) == u"md") {
            // The office tool is handed plain text, never Markdown.
            m_input = std::make_unique<TemporaryFile>(QStringLiteral("txt"));
            if (!QFile::copy(source, m_input->path())) {
                throw Error::fileOperation(QStringLiteral("Cannot copy"), source, errno);
            }
            input = m_input->path();
        }
    }
    m_output = std::make_unique<OutputFile>(outputPath(source, target, settings), source, batch);
    if (TextConverter::isPlainText(RouteTable::extensionKey(source)) &&
        TextConverter::isPlainText(target)) {
        m_output->allowEmptyResult();  // an empty note stays an empty note
    }
    m_arguments = {QStringLiteral("-convert"), format, input, QStringLiteral("-output"),
                   m_html ? m_html->path() : m_output->stagingPath()};
}

OfficeWork::~OfficeWork() = default;

void OfficeWork::finish() {
    if (m_html) {
        m_batch.reportProgress(0.5);
        TextConverter::typesetHtml(m_html->path(), m_output->stagingPath());
    }
    m_output->commit();
    removeSourceIfAsked(m_source, m_settings);
}

void runOfficeWork(const OfficeWork& work, const BatchContext& batch) {
    ProcessOptions options;
    options.cancel = batch.toolCancel();
    // The office the tool keeps running between conversions outlives this run, and with it
    // the temporary folder it was started with.
    options.privateTemporaryFolder = false;
    runTool(work.prefix(), toolPath(QStringLiteral("pivana-office")), work.arguments(), options);
}

}  // namespace pivana
