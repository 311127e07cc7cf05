#include "converters/StandardConverters.h"

#include "converters/AudioConverter.h"
#include "converters/GifConverter.h"
#include "converters/ImageConverter.h"
#include "converters/PdfConverter.h"
#include "converters/PresentationConverter.h"
#include "converters/TextConverter.h"
#include "converters/VideoConverter.h"

#include <malloc.h>

namespace pivana {

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
        return converters;
    }();
    return table;
}

void releaseConverterMemory() {
    ::malloc_trim(0);
}

}  // namespace pivana
