// pivana-office: converts one document with LibreOffice, headless.
//
//   pivana-office -convert FORMAT INPUT -output OUTPUT
//
//   FORMAT: txt rtf html docx odt, or pdf (documents and presentations).
//
// LibreOffice runs on a private profile under the user's cache folder, never the user's own, so
// it works while they have LibreOffice open; conversions on that profile take turns. Every import
// and export filter is named, the input's contents must match its extension, and success is an
// output file of the right kind (LibreOffice itself exits 0 whatever happened). Plain text and
// Markdown arrive as ordinary paragraphs. Exit status 0 on success; on failure one line on
// standard error and OUTPUT left as it was.
#include "OfficeDocument.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    if (arguments.size() != 5 || arguments[0] != "-convert" || arguments[3] != "-output") {
        std::fputs("usage: pivana-office -convert FORMAT INPUT -output OUTPUT\n", stderr);
        return 2;
    }
    const QString format = arguments[1];
    const QString input = QFileInfo(arguments[2]).absoluteFilePath();
    const QString output = QFileInfo(arguments[4]).absoluteFilePath();
    try {
        pivana::office::convert(input, format, output);
    } catch (const pivana::office::OfficeError& error) {
        std::fprintf(stderr, "%s: %s\n", QFileInfo(input).fileName().toLocal8Bit().constData(),
                     error.what());
        return 1;
    }
    return 0;
}
