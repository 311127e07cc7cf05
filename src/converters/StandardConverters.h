#pragma once

#include "engine/Converter.h"

namespace pivana {

/// The converters this build ships, one per category, for the app and the command line to hand
/// to their `BatchDriver`.
const ConverterTable& standardConverters();

/// Gives back the memory the converters that work in this process (text typesetting) freed
/// during a batch: the allocator keeps free pages for the next allocation otherwise.
void releaseConverterMemory();

}  // namespace pivana
