#pragma once

#include <QString>
#include <QStringList>

namespace pivana {

/// The kind of a source file, decided by its extension alone.
enum class FileCategory { Image, Animated, Audio, Video, Text, Pdf, Presentation };

/// Lower-case name of a category, for messages ("image", "animated", ...).
QString categoryName(FileCategory category);

/// A source extension's category and the ordered targets it may become.
struct ConversionRoute {
    FileCategory category;
    QStringList validTargets;

    bool operator==(const ConversionRoute&) const = default;
};

}  // namespace pivana
