#include "converters/PdfConverter.h"

#include "engine/BatchContext.h"
#include "engine/Error.h"
#include "engine/OutputFile.h"
#include "engine/ToolRunner.h"

#include <stdlib.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace pivana::PDFConverter {

namespace {

// A failed write to the output folder, in the words of its kind where it has one.
ConversionError writeFailure(int errnum) {
    if (const auto kind = failureOfErrno(errnum, FileAccess::Writing)) {
        return ConversionError::failure(*kind);
    }
    return ConversionError::processFailed(QStringLiteral("Cannot save the output: ") +
                                          QString::fromLocal8Bit(std::strerror(errnum)));
}

// A hidden folder of its own in the output folder, where pivana-image writes the pages; gone,
// with anything in it, on every way out. Beside the outputs, so the pages move into place
// without a copy.
class PageFolder {
public:
    explicit PageFolder(const QString& outputFolder) {
        QByteArray path = QFile::encodeName(outputFolder + QStringLiteral("/.pivana-XXXXXX"));
        if (!::mkdtemp(path.data())) {
            throw writeFailure(errno);
        }
        m_path = QFile::decodeName(path);
    }
    ~PageFolder() { QDir(m_path).removeRecursively(); }
    PageFolder(const PageFolder&) = delete;
    PageFolder& operator=(const PageFolder&) = delete;

    const QString& path() const { return m_path; }

private:
    QString m_path;
};

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

void convert(const QString& source, const QString& target, const SettingsSnapshot& settings,
             BatchContext& batch) {
    const bool jpeg = target == u"jpg" || target == u"jpeg";
    if (!jpeg && target != u"png") {
        throw ConversionError::unsupportedFormat(target);
    }
    const QString folder = outputFolder(source, settings);
    const QString base = QFileInfo(source).completeBaseName();
    const PageFolder rendered(folder);

    QStringList arguments = {QStringLiteral("--to"), jpeg ? QStringLiteral("jpg") : target};
    if (jpeg) {
        arguments << QStringLiteral("--quality") << QString::number(settings.jpegQualityPercent());
    }
    arguments << QStringLiteral("--pages") << source << rendered.path();
    ProcessOptions options;
    options.cancel = batch.toolCancel();
    options.environment = {QStringLiteral("PIVANA_PROGRESS=1")};
    options.onOutputLine = [&batch](const QByteArray& line) {
        if (line.startsWith("progress ")) {
            batch.reportProgress(line.mid(9).toDouble());
        }
    };
    // The tool's sentences stand alone ("Cannot open PDF"), as poppler's answers did when the
    // app rendered pages itself.
    runTool({}, toolPath(QStringLiteral("pivana-image")), arguments, options);

    const QStringList pages = pagesIn(rendered.path(), jpeg ? QStringLiteral("jpg") : target);
    if (pages.isEmpty()) {
        throw ConversionError::failure(FailureKind::NoOutput);
    }
    // The pages move into the group under their final names, and appear all together or not
    // at all.
    OutputGroup outputs(source, batch);
    for (qsizetype index = 0; index < pages.size(); ++index) {
        const QString name =
            pages.size() > 1 ? QStringLiteral("%1_page%2.%3").arg(base).arg(index + 1).arg(target)
                             : QStringLiteral("%1.%2").arg(base, target);
        const QString& staged = outputs.add(QDir(folder).filePath(name));
        if (std::rename(QFile::encodeName(pages[index]).constData(),
                        QFile::encodeName(staged).constData()) != 0) {
            throw writeFailure(errno);
        }
    }
    outputs.commit();
    removeSourceIfAsked(source, settings);
}

}  // namespace pivana::PDFConverter
