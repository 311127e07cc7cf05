#include "converters/StandardConverters.h"

#include "converters/AudioConverter.h"
#include "converters/DocumentBatch.h"
#include "converters/GifConverter.h"
#include "converters/ImageConverter.h"
#include "converters/PdfConverter.h"
#include "converters/PresentationConverter.h"
#include "converters/TextConverter.h"
#include "converters/VideoConverter.h"
#include "engine/RouteTable.h"

#include <malloc.h>

#include <QSet>

namespace pivana {

namespace {

// Plain text and Markdown become text, HTML or a typeset PDF without the office; everything
// else a text document becomes goes through it.
bool needsOffice(const QString& source, const QString& target) {
    static const QSet<QString> withoutOffice = {"pdf", "txt", "md", "html"};
    return !TextConverter::isPlainText(RouteTable::extensionKey(source)) ||
           !withoutOffice.contains(target);
}

// Decoders in tool processes and text typeset in process run side by side; encoding a movie
// (or sampling one into a GIF) keeps every core busy by itself; documents go through the one
// office.
WorkKind standardWorkKind(FileCategory category, const QString& source, const QString& target) {
    switch (category) {
        case FileCategory::Image:
        case FileCategory::Pdf:
        case FileCategory::Audio:
            return WorkKind::Parallel;
        case FileCategory::Animated:
            return RouteTable::isMovie(target) ? WorkKind::Exclusive : WorkKind::Parallel;
        case FileCategory::Video:
            return RouteTable::isMovie(target) || target == u"gif" ? WorkKind::Exclusive
                                                                   : WorkKind::Parallel;
        case FileCategory::Text:
            return needsOffice(source, target) ? WorkKind::Office : WorkKind::Parallel;
        case FileCategory::Presentation:
            return WorkKind::Office;
    }
    return WorkKind::Parallel;
}

}  // namespace

const ConverterTable& standardConverters() {
    static const ConverterTable table = [] {
        ConverterTable converters;
        converters.image = ImageConverter::convert;
        converters.gifToVideo = GIFConverter::gifToVideo;
        converters.audio = AudioConverter::convert;
        converters.video = VideoConverter::convert;
        converters.text = TextConverter::convert;
        converters.pdf = PDFConverter::convert;
        converters.presentation = PresentationConverter::convert;
        converters.workKind = standardWorkKind;
        converters.documentBatch = DocumentBatch::convert;
        converters.imageCollection = ImageConverter::convertTogether;
        return converters;
    }();
    return table;
}

void releaseConverterMemory() {
    ::malloc_trim(0);
}

}  // namespace pivana
