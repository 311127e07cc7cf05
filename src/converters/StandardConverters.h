#pragma once

#include "engine/Converter.h"

namespace pivana {

/// The converters this build ships, one per category, for the app and the command line to hand
/// to their `BatchDriver`.
const ConverterTable& standardConverters();

}  // namespace pivana
