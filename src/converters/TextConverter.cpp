#include "converters/TextConverter.h"

#include "converters/OfficeWork.h"
#include "converters/TextDecoding.h"
#include "engine/CheckedFile.h"
#include "engine/Error.h"
#include "engine/RouteTable.h"

#include <QAbstractTextDocumentLayout>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHash>
#include <QPainter>
#include <QPalette>
#include <QPdfWriter>
#include <QTextBlockFormat>
#include <QTextCursor>
#include <QTextDocument>

namespace pivana::TextConverter {

namespace {

// Points: US Letter with one-inch margins.
constexpr double pageWidth = 612;
constexpr double pageHeight = 792;
constexpr double margin = 72;
constexpr double areaWidth = 468;
constexpr double areaHeight = 648;

QByteArray readAllOf(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        throw ConversionError::fileOperation(QStringLiteral("Cannot read"), path,
                                             file.errorString());
    }
    return file.readAll();
}

// The raw text, in the system's interface font at 12 points, black. Read by the rule every
// target of a text file follows (the office tool reads it so too).
void loadPlainText(QTextDocument& document, const QString& source) {
    const std::optional<QString> text = decodePlainText(readAllOf(source));
    if (!text) {
        throw ConversionError::processFailed(
            QStringLiteral("The file's contents are not in the format its name says"));
    }
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPointSizeF(12);
    document.setDefaultFont(font);
    document.setDefaultStyleSheet(QString());
    document.setPlainText(*text);
}

// White paper and black ink whatever the desktop's colours: the layout paints text that has no
// colour of its own in the palette it is given, which is the application's unless we say.
QAbstractTextDocumentLayout::PaintContext paperContext(const QRectF& clip) {
    QAbstractTextDocumentLayout::PaintContext context;
    context.palette = QPalette(QColor(Qt::white));
    for (const QPalette::ColorRole ink : {QPalette::Text, QPalette::WindowText}) {
        context.palette.setColor(ink, Qt::black);
    }
    context.palette.setColor(QPalette::Base, Qt::white);
    context.clip = clip;
    return context;
}

}  // namespace

bool isPlainText(const QString& extension) {
    return extension == u"txt" || extension == u"md";
}

QString officeFormat(const QString& target) {
    static const QHash<QString, QString> formats = {{"txt", "txt"},   {"rtf", "rtf"},
                                                    {"html", "html"}, {"docx", "docx"},
                                                    {"odt", "odt"},   {"md", "txt"}};
    return formats.value(target);
}

void renderPdf(QTextDocument& document, const QString& path) {
    // The PDF writer goes on after a failed write; the file tells us afterwards.
    CheckedFile file(path);
    QPdfWriter writer(&file);
    writer.setResolution(72);  // one unit is one point
    writer.setPageSize(QPageSize(QSizeF(pageWidth, pageHeight), QPageSize::Point, QString(),
                                 QPageSize::ExactMatch));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    document.documentLayout()->setPaintDevice(&writer);
    document.setDocumentMargin(0);
    document.setPageSize(QSizeF(areaWidth, areaHeight));

    QPainter painter;
    if (!painter.begin(&writer)) {
        throw ConversionError::processFailed(QStringLiteral("Cannot create PDF context"));
    }
    // The layout decides the page count, so the loop always ends; an empty document has one.
    const int pages = std::max(1, document.pageCount());
    for (int page = 0; page < pages; ++page) {
        if (page > 0) {
            writer.newPage();
        }
        painter.save();
        painter.translate(margin, margin - page * areaHeight);
        const QRectF area(0, page * areaHeight, areaWidth, areaHeight);
        painter.setClipRect(area);
        document.documentLayout()->draw(&painter, paperContext(area));
        painter.restore();
    }
    const bool ended = painter.end();
    file.finish();
    if (!ended) {
        throw ConversionError::fileOperation(QStringLiteral("Cannot save"), path,
                                             QStringLiteral("the PDF could not be written"));
    }
}

void typesetHtml(const QString& html, const QString& pdf) {
    QTextDocument document;
    document.setHtml(QString::fromUtf8(readAllOf(html)));
    // LibreOffice marks the first paragraph of some documents with a page break before it,
    // which would leave the first page blank.
    QTextCursor start(&document);
    QTextBlockFormat format = start.blockFormat();
    format.setPageBreakPolicy(QTextFormat::PageBreak_Auto);
    start.setBlockFormat(format);
    renderPdf(document, pdf);
}

Written convert(const ConversionJob& job) {
    if (job.target == u"pdf" && RouteTable::extensionKey(job.source) == u"md") {
        QTextDocument document;
        loadPlainText(document, job.source);
        job.batch.reportProgress(0.5);
        renderPdf(document, job.output.path());
        return job.output.written();
    }
    OfficeWork work(job);
    runOfficeWork(work, job.batch);
    return work.finish();
}

}  // namespace pivana::TextConverter
