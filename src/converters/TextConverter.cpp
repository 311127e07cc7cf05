#include "converters/TextConverter.h"

#include "engine/Error.h"
#include "engine/OutputFile.h"
#include "engine/RouteTable.h"
#include "engine/TemporaryFile.h"
#include "engine/ToolRunner.h"

#include <QAbstractTextDocumentLayout>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHash>
#include <QPainter>
#include <QPalette>
#include <QPdfWriter>
#include <QStringDecoder>
#include <QTextBlockFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QUrl>

#include <cerrno>

namespace pivana::TextConverter {

namespace {

const QString toolPrefix = QStringLiteral("pivana-office: ");

// Points: US Letter with one-inch margins.
constexpr double pageWidth = 612;
constexpr double pageHeight = 792;
constexpr double margin = 72;
constexpr double areaWidth = 468;
constexpr double areaHeight = 648;

void runOffice(const QString& format, const QString& input, const QString& output,
               const BatchContext& batch) {
    ProcessOptions options;
    options.cancel = batch.toolCancel();
    // The office the tool keeps running between conversions outlives this run, and with it
    // the temporary folder it was started with.
    options.privateTemporaryFolder = false;
    runTool(toolPrefix, toolPath(QStringLiteral("pivana-office")),
            {"-convert", format, input, "-output", output}, options);
}

QByteArray readAllOf(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        throw Error::fileOperation(QStringLiteral("Cannot read"), path, file.errorString());
    }
    return file.readAll();
}

// The raw text, in the system's interface font at 12 points, black.
void loadPlainText(QTextDocument& document, const QString& source) {
    QByteArray bytes = readAllOf(source);
    if (bytes.startsWith("\xef\xbb\xbf")) {
        bytes.remove(0, 3);
    }
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8.decode(bytes);
    if (utf8.hasError()) {
        throw Error::fileOperation(QStringLiteral("Cannot read"), source,
                                   QStringLiteral("it is not UTF-8 text"));
    }
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

}  // namespace

QString officeFormat(const QString& target) {
    static const QHash<QString, QString> formats = {{"txt", "txt"},   {"rtf", "rtf"},
                                                    {"html", "html"}, {"docx", "docx"},
                                                    {"odt", "odt"},   {"md", "txt"}};
    return formats.value(target);
}

void renderPdf(QTextDocument& document, const QString& path) {
    QPdfWriter writer(path);
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
    if (!painter.end()) {
        throw Error::fileOperation(QStringLiteral("Cannot save"), path,
                                   QStringLiteral("the PDF could not be written"));
    }
}

void convert(const QString& source, const QString& target, const SettingsSnapshot& settings,
             BatchContext& batch) {
    const bool markdown = RouteTable::extensionKey(source) == u"md";
    if (target == u"pdf") {
        OutputFile output(outputPath(source, target, settings), source, batch);
        QTextDocument document;
        if (markdown) {
            loadPlainText(document, source);
        } else {
            TemporaryFile html(QStringLiteral("html"));
            runOffice(QStringLiteral("html"), source, html.path(), batch);
            document.setHtml(QString::fromUtf8(readAllOf(html.path())));
            // LibreOffice marks the first paragraph of some documents with a page break before
            // it, which would leave the first page blank.
            QTextCursor start(&document);
            QTextBlockFormat format = start.blockFormat();
            format.setPageBreakPolicy(QTextFormat::PageBreak_Auto);
            start.setBlockFormat(format);
        }
        batch.reportProgress(0.5);
        renderPdf(document, output.stagingPath());
        output.commit();
        removeSourceIfAsked(source, settings);
        return;
    }

    const QString format = officeFormat(target);
    if (format.isEmpty()) {
        throw ConversionError::unsupportedFormat(target);
    }
    OutputFile output(outputPath(source, target, settings), source, batch);
    if (markdown) {
        // The office tool is handed plain text, never Markdown.
        TemporaryFile copy(QStringLiteral("txt"));
        if (!QFile::copy(source, copy.path())) {
            throw Error::fileOperation(QStringLiteral("Cannot copy"), source, errno);
        }
        runOffice(format, copy.path(), output.stagingPath(), batch);
    } else {
        runOffice(format, source, output.stagingPath(), batch);
    }
    output.commit();
    removeSourceIfAsked(source, settings);
}

}  // namespace pivana::TextConverter
