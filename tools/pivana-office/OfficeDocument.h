#pragma once

#include <QString>

#include <stdexcept>

namespace pivana::office {

class OfficeError : public std::runtime_error {
public:
    explicit OfficeError(const QString& message) : std::runtime_error(message.toStdString()) {}
};

/// Converts `input` to `format` and writes it atomically to `output`.
void convert(const QString& input, const QString& format, const QString& output);

/// Plain text (or Markdown, never interpreted) as an HTML document of ordinary paragraphs, one
/// per line. Text that is not UTF-8 is read as Latin-1.
QByteArray textAsHtml(const QByteArray& text, const QString& title);

}  // namespace pivana::office
