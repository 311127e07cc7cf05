#pragma once

#include "engine/Converter.h"

namespace pivana {

/// The converters this build ships, one per category, for the app and the command line to hand
/// to their `BatchDriver`.
const ConverterTable& standardConverters();

/// Gives back the memory the converters that work in this process freed during a batch: the
/// allocator keeps free pages for the next allocation otherwise. (libvips keeps no cache of its
/// own here: see `ensureVipsStarted`.)
void releaseConverterMemory();

}  // namespace pivana
