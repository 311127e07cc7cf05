#include "converters/PdfConverter.h"

#include "engine/Error.h"

#include <poppler-qt6.h>

#include <QDir>
#include <QFileInfo>
#include <QImageWriter>

#include <mutex>
#include <optional>

namespace pivana::PDFConverter {

namespace {

// 72 points to the inch, drawn at twice that.
constexpr double renderDpi = 144.0;

void silencePoppler() {
    static std::once_flag once;
    // Damaged files make poppler report every problem on standard error; failures are reported
    // by value instead.
    std::call_once(
        once, [] { Poppler::setDebugErrorFunction([](const QString&, const QVariant&) {}, {}); });
}

// The document, ready to render: opened, unlocked, with at least one page, on white paper.
std::unique_ptr<Poppler::Document> openDocument(const QString& source) {
    silencePoppler();
    std::unique_ptr<Poppler::Document> document = Poppler::Document::load(source);
    if (!document) {
        throw ConversionError::processFailed(QStringLiteral("Cannot open PDF"));
    }
    if (document->isLocked()) {
        throw ConversionError::processFailed(QStringLiteral("The PDF is protected by a password"));
    }
    // A document without pages would give no image at all: that is a failure, and the source
    // stays even under "Replace original".
    if (document->numPages() < 1) {
        throw ConversionError::processFailed(QStringLiteral("The PDF has no pages"));
    }
    document->setPaperColor(Qt::white);
    document->setRenderHint(Poppler::Document::Antialiasing);
    document->setRenderHint(Poppler::Document::TextAntialiasing);
    return document;
}

// PNG, or JPEG at the quality given.
void writePage(const Poppler::Page& page, int number, const QString& path,
               std::optional<int> jpegQuality) {
    QImage image = page.renderToImage(renderDpi, renderDpi);
    if (image.isNull()) {
        throw ConversionError::processFailed(QStringLiteral("Cannot render page %1").arg(number));
    }
    // Keep the page opaque: transparent areas are white, as on paper.
    image = image.convertToFormat(QImage::Format_RGB32);
    QImageWriter writer(path, jpegQuality ? "jpeg" : "png");
    if (jpegQuality) {
        writer.setQuality(*jpegQuality);
    }
    if (!writer.write(image)) {
        throw ConversionError::processFailed(
            QStringLiteral("Cannot encode image for page %1").arg(number));
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
    const std::unique_ptr<Poppler::Document> document = openDocument(source);
    const int pages = document->numPages();
    const QString folder = outputFolder(source, job.settings);
    const QString base = QFileInfo(source).completeBaseName();
    const std::optional<int> quality =
        jpeg ? std::optional(job.settings.jpegQualityPercent()) : std::nullopt;
    // Every page is staged, and the driver moves them into place all together or not at all.
    Written written;
    for (int index = 0; index < pages; ++index) {
        job.batch.reportProgress(static_cast<double>(index) / pages);
        const std::unique_ptr<Poppler::Page> page = document->page(index);
        if (!page) {
            continue;
        }
        const QString name =
            pages > 1 ? QStringLiteral("%1_page%2.%3").arg(base).arg(index + 1).arg(target)
                      : QStringLiteral("%1.%2").arg(base, target);
        const QString path = QDir(folder).filePath(name);
        writePage(*page, index + 1, job.output.pathFor(path), quality);
        written.outputs << path;
    }
    return written;
}

}  // namespace pivana::PDFConverter
