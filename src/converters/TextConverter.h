#pragma once

#include "engine/Converter.h"

class QTextDocument;

namespace pivana::TextConverter {

/// Converts a text document to another text format through pivana-office, or typesets it as a
/// PDF. Markdown is never interpreted: it is plain text everywhere.
Written convert(const ConversionJob& job);

/// Whether files of this extension (lower case) hold plain text: txt and md.
bool isPlainText(const QString& extension);

/// pivana-office's format name for a text target ("md" is "txt"); empty when there is none.
QString officeFormat(const QString& target);

/// Lays the document out on 468 x 648 point text areas and draws them at (72, 72) on US Letter
/// pages of a PDF at `path`, in time in proportion to the text whatever its shape. An empty
/// document gives one blank page. With a `batch`, reports progress and stops once it is
/// cancelled.
void renderPdf(QTextDocument& document, const QString& path, const BatchContext* batch = nullptr);

/// Typesets the office's HTML of a document (`html`) as a PDF at `pdf`, as `renderPdf` does.
void typesetHtml(const QString& html, const QString& pdf, const BatchContext* batch = nullptr);

}  // namespace pivana::TextConverter
