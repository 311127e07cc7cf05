#include "engine/Converter.h"

#include "engine/RouteTable.h"

namespace pivana {

const ConverterEntry& ConverterTable::entryFor(FileCategory category, const QString& target) const {
    switch (category) {
        case FileCategory::Image:
            return image;
        case FileCategory::Animated:
            // A GIF becomes a movie by its own path; as a still image it goes the image way.
            if (RouteTable::isMovie(target)) {
                return gifToVideo;
            }
            return image;
        case FileCategory::Audio:
            return audio;
        case FileCategory::Video:
            return video;
        case FileCategory::Text:
            return text;
        case FileCategory::Pdf:
            return pdf;
        case FileCategory::Presentation:
            return presentation;
    }
    return image;
}

}  // namespace pivana

namespace pivana {

bool ConverterTable::collects(FileCategory category, const QString& target) const {
    return imageCollection && category == FileCategory::Image && target == u"pdf";
}

WorkKind ConverterTable::workKindFor(FileCategory category, const QString& source,
                                     const QString& target) const {
    return workKind ? workKind(category, source, target) : WorkKind::Parallel;
}

}  // namespace pivana
