#include "converters/TextConverter.h"

#include "converters/OfficeWork.h"
#include "converters/TextDecoding.h"
#include "engine/CheckedFile.h"
#include "engine/Error.h"
#include "engine/QuietStandardError.h"
#include "engine/RouteTable.h"

#include <QAbstractTextDocumentLayout>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHash>
#include <QPainter>
#include <QPalette>
#include <QPdfWriter>
#include <QTextBlock>
#include <QTextBlockFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>

#include <vector>

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
    const QString text = decodePlainText(readAllOf(source));
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPointSizeF(12);
    document.setDefaultFont(font);
    document.setDefaultStyleSheet(QString());
    document.setPlainText(text);
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

// A paragraph is laid out and drawn as one piece, and Qt's line breaking looks ahead to the next
// break opportunity from every line it starts: so a paragraph of megabytes, or a run of
// thousands of characters with no space, takes time that grows with the square of its length.
// Past these lengths a run gets a zero-width space (an invisible break opportunity) every few
// characters, and a paragraph continues in a new one at its last break opportunity.
constexpr qsizetype longestRun = 200;
constexpr qsizetype breakEvery = 8;
constexpr qsizetype longestParagraph = 4000;
const QString zeroWidthSpace(QChar(0x200b));

struct Cut {
    qsizetype offset;
    bool newParagraph;  // else a break opportunity
};

// Where a paragraph's text needs break opportunities or a new paragraph, in order.
std::vector<Cut> cutsIn(const QString& text, bool mayEndParagraph) {
    std::vector<Cut> cuts;
    qsizetype run = 0;
    qsizetype paragraphStart = 0;
    qsizetype lastBreak = -1;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].isSpace() || text[i] == zeroWidthSpace[0]) {
            run = 0;
            lastBreak = i + 1;
        } else if (++run > longestRun && run % breakEvery == 1) {
            cuts.push_back({i, false});
            lastBreak = i;
        }
        if (mayEndParagraph && i - paragraphStart >= longestParagraph &&
            lastBreak > paragraphStart) {
            cuts.push_back({lastBreak, true});
            paragraphStart = lastBreak;
        }
    }
    return cuts;
}

// The format of the paragraph a piece of a long one continues in, or is continued by: no space
// or page break between the two, and no first-line indent.
QTextBlockFormat joined(QTextBlockFormat format, bool continues, bool continued) {
    QTextFormat::PageBreakFlags breaks = format.pageBreakPolicy();
    if (continues) {
        format.setTopMargin(0);
        format.setTextIndent(0);
        breaks &= ~QTextFormat::PageBreak_AlwaysBefore;
    }
    if (continued) {
        format.setBottomMargin(0);
        breaks &= ~QTextFormat::PageBreak_AlwaysAfter;
    }
    format.setPageBreakPolicy(breaks);
    return format;
}

// Makes every paragraph short enough, and every run breakable enough, for layout and drawing to
// take time in proportion to the text. Ordinary text is left as it is. A list item is never
// continued, which would number a new item.
void keepParagraphsShort(QTextDocument& document, const BatchContext* batch) {
    QTextCursor cursor(&document);
    cursor.beginEditBlock();
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        if (block.length() <= longestRun) {
            continue;
        }
        const std::vector<Cut> cuts = cutsIn(block.text(), !block.textList());
        const QTextBlockFormat format = block.blockFormat();
        const int start = block.position();
        bool lastPiece = true;
        for (auto cut = cuts.rbegin(); cut != cuts.rend(); ++cut) {
            cursor.setPosition(start + static_cast<int>(cut->offset));
            if (cut->newParagraph) {
                cursor.insertBlock(joined(format, true, !lastPiece));
                lastPiece = false;
                cursor.movePosition(QTextCursor::PreviousBlock);
                cursor.setBlockFormat(joined(cursor.blockFormat(), false, true));
            } else {
                cursor.insertText(zeroWidthSpace);
            }
            if (batch && (cut - cuts.rbegin()) % 4096 == 0) {
                batch->throwIfCancelled();
            }
        }
    }
    cursor.endEditBlock();
}

// Lays the document out a few paragraphs at a time, so that a cancel is seen on the way.
void layOut(QTextDocument& document, const BatchContext* batch) {
    constexpr int paragraphsAtATime = 32;
    int count = 0;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        if (++count % paragraphsAtATime == 0) {
            document.documentLayout()->blockBoundingRect(block);
            if (batch) {
                batch->throwIfCancelled();
            }
        }
    }
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

void renderPdf(QTextDocument& document, const QString& path, const BatchContext* batch) {
    // The pictures of a document are decoded as it is laid out and drawn.
    const QuietStandardError quiet;
    document.setUndoRedoEnabled(false);
    keepParagraphsShort(document, batch);
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
    layOut(document, batch);

    QPainter painter;
    if (!painter.begin(&writer)) {
        throw ConversionError::processFailed(QStringLiteral("Cannot create PDF context"));
    }
    // The layout decides the page count, so the loop always ends; an empty document has one.
    const int pages = std::max(1, document.pageCount());
    for (int page = 0; page < pages; ++page) {
        if (batch) {
            batch->reportProgress(0.5 + 0.5 * page / pages);
        }
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

void typesetHtml(const QString& html, const QString& pdf, const BatchContext* batch) {
    QTextDocument document;
    {
        const QuietStandardError quiet;
        document.setHtml(QString::fromUtf8(readAllOf(html)));
    }
    // LibreOffice marks the first paragraph of some documents with a page break before it,
    // which would leave the first page blank.
    QTextCursor start(&document);
    QTextBlockFormat format = start.blockFormat();
    format.setPageBreakPolicy(QTextFormat::PageBreak_Auto);
    start.setBlockFormat(format);
    renderPdf(document, pdf, batch);
}

Written convert(const ConversionJob& job) {
    if (job.target == u"pdf" && RouteTable::extensionKey(job.source) == u"md") {
        QTextDocument document;
        loadPlainText(document, job.source);
        job.batch.reportProgress(0.5);
        renderPdf(document, job.output.path(), &job.batch);
        return job.output.written();
    }
    OfficeWork work(job);
    runOfficeWork(work, job.batch);
    return work.finish();
}

}  // namespace pivana::TextConverter
