// The converters this build ships, by category.
#include "engine/Converter.h"

namespace pivana {

const ConverterTable& ConverterTable::standard() {
    static const ConverterTable table = [] {
        ConverterTable converters;
        return converters;
    }();
    return table;
}

}  // namespace pivana
