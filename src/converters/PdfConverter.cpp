#include "converters/PdfConverter.h"

#include "engine/BatchContext.h"
#include "engine/Error.h"
#include "engine/ToolRunner.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>

namespace pivana::PDFConverter {

namespace {

// The pages pivana-image wrote, page-1 onwards, in page order.
QStringList pagesIn(const QString& folder, const QString& extension) {
    QStringList pages;
    for (int number = 1;; ++number) {
        const QString page = QStringLiteral("%1/page-%2.%3").arg(folder).arg(number).arg(extension);
        if (!QFileInfo::exists(page)) {
            return pages;
        }
        pages << page;
    }
}

}  // namespace

Written convert(const ConversionJob& job) {
    const QString& source = job.source;
    const QString& target = job.target;
    const bool jpeg = target == u"jpg" || target == u"jpeg";
    if (!jpeg && target != u"png") {
        throw ConversionError::unsupportedFormat(target);
    }
    const QString folder = outputFolder(source, job.settings);
    const QString base = QFileInfo(source).completeBaseName();
    // The tool draws the pages into the staging folder of the output's own name, beside the
    // outputs, so they are staged under their final names without a copy.
    const QString rendered = QFileInfo(job.output.path()).absolutePath();

    QStringList arguments = {QStringLiteral("--to"), jpeg ? QStringLiteral("jpg") : target};
    if (jpeg) {
        arguments << QStringLiteral("--quality")
                  << QString::number(job.settings.jpegQualityPercent());
    }
    arguments << QStringLiteral("--pages") << source << rendered;
    ProcessOptions options;
    options.cancel = job.batch.toolCancel();
    options.environment = {QStringLiteral("PIVANA_PROGRESS=1")};
    options.onOutputLine = [&job](const QByteArray& line) {
        if (line.startsWith("progress ")) {
            job.batch.reportProgress(line.mid(9).toDouble());
        }
    };
    // The tool's sentences stand alone ("Cannot open PDF"), as poppler's answers did when the
    // app rendered pages itself.
    runTool({}, toolPath(QStringLiteral("pivana-image")), arguments, options);

    const QStringList pages = pagesIn(rendered, jpeg ? QStringLiteral("jpg") : target);
    if (pages.isEmpty()) {
        throw ConversionError::failure(FailureKind::NoOutput);
    }
    // Each page is staged under its final name; the driver moves them into place all together
    // or not at all.
    Written written;
    for (qsizetype index = 0; index < pages.size(); ++index) {
        const QString name =
            pages.size() > 1 ? QStringLiteral("%1_page%2.%3").arg(base).arg(index + 1).arg(target)
                             : QStringLiteral("%1.%2").arg(base, target);
        const QString path = QDir(folder).filePath(name);
        if (std::rename(QFile::encodeName(pages[index]).constData(),
                        QFile::encodeName(job.output.pathFor(path)).constData()) != 0) {
            throw ConversionError::failure(
                failureOfErrno(errno, FileAccess::Writing).value_or(FailureKind::DiskError));
        }
        written.outputs << path;
    }
    return written;
}

}  // namespace pivana::PDFConverter
