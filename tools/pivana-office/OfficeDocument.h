#pragma once

#include "OfficeRunner.h"

#include <QString>

#include <functional>
#include <optional>
#include <vector>

namespace pivana::office {

/// One document to convert, the format it becomes (txt rtf html docx odt, or pdf), and the file
/// its result goes to.
struct Document {
    QString input;
    QString format;
    QString output;
};

/// Whether the tool writes this format.
bool writesFormat(const QString& format);

/// Converts each document to its format, in one session with the office, and calls `done` with
/// each one's index as it finishes (in any order): with nothing when its output was written
/// (atomically), else why not.
void convertAll(const std::vector<Document>& documents,
                const std::function<void(size_t, const std::optional<Failure>&)>& done);

/// Plain text (or Markdown, never interpreted) as an HTML document of ordinary paragraphs, one
/// per line.
QByteArray textAsHtml(const QString& text, const QString& title);

}  // namespace pivana::office
