// The converters this build ships, by category.
#include "converters/ImageConverter.h"
#include "engine/Converter.h"

namespace pivana {

const ConverterTable& ConverterTable::standard() {
    static const ConverterTable table = [] {
        ConverterTable converters;
        converters.image = ImageConverter::convert;
        return converters;
    }();
    return table;
}

}  // namespace pivana
