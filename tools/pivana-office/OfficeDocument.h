#pragma once

#include "OfficeRunner.h"

#include <QString>

#include <functional>
#include <optional>
#include <vector>

namespace pivana::office {

/// One document to convert, and the file its result goes to.
struct Document {
    QString input;
    QString output;
};

/// Converts each document to `format` (txt rtf html docx odt, or pdf), in one session with the
/// office, and calls `done` with each one's index as it finishes (in any order): with nothing
/// when its output was written (atomically), else why not. Throws `std::invalid_argument` for a
/// format it does not write.
void convertAll(const QString& format, const std::vector<Document>& documents,
                const std::function<void(size_t, const std::optional<OfficeError>&)>& done);

/// Plain text (or Markdown, never interpreted) as an HTML document of ordinary paragraphs, one
/// per line.
QByteArray textAsHtml(const QString& text, const QString& title);

}  // namespace pivana::office
