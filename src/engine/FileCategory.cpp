#include "engine/FileCategory.h"

namespace pivana {

QString categoryName(FileCategory category) {
    switch (category) {
        case FileCategory::Image:
            return QStringLiteral("image");
        case FileCategory::Animated:
            return QStringLiteral("animated");
        case FileCategory::Audio:
            return QStringLiteral("audio");
        case FileCategory::Video:
            return QStringLiteral("video");
        case FileCategory::Text:
            return QStringLiteral("text");
        case FileCategory::Pdf:
            return QStringLiteral("pdf");
        case FileCategory::Presentation:
            return QStringLiteral("presentation");
    }
    return {};
}

}  // namespace pivana
