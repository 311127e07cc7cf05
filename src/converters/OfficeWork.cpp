#include "converters/OfficeWork.h"

#include "converters/PresentationConverter.h"
#include "converters/TextConverter.h"
#include "engine/Error.h"
#include "engine/RouteTable.h"
#include "engine/TemporaryFile.h"
#include "engine/ToolRunner.h"

#include <QFile>

#include <cerrno>

namespace pivana {

OfficeWork::OfficeWork(const ConversionJob& job, const QString& office)
    : OfficeWork(job.source, job.target, job.output, job.batch, office) {}

OfficeWork::OfficeWork(const DocumentJob& job, const QString& target)
    : OfficeWork(job.source, target, *job.output, *job.context, officeInstallFolder) {}

OfficeWork::OfficeWork(const QString& source, const QString& target, Staging& output,
                       BatchContext& batch, const QString& office)
    : m_output(output), m_batch(batch) {
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
                throw ConversionError::fileOperation(QStringLiteral("Cannot copy"), source, errno);
            }
            input = m_input->path();
        }
    }
    // An empty note stays an empty note.
    m_mayBeEmpty = TextConverter::isPlainText(RouteTable::extensionKey(source)) &&
                   TextConverter::isPlainText(target);
    m_arguments = {QStringLiteral("-convert"), format, input, QStringLiteral("-output"),
                   m_html ? m_html->path() : m_output.path()};
}

OfficeWork::~OfficeWork() = default;

Written OfficeWork::finish() {
    if (m_html) {
        m_batch.reportProgress(0.5);
        TextConverter::typesetHtml(m_html->path(), m_output.path(), &m_batch);
    }
    Written written = m_output.written();
    written.mayBeEmpty = m_mayBeEmpty;
    return written;
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
