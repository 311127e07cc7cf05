#pragma once

#include <string>

namespace pivana::test {

/// Writes a small but complete DNG: an RGGB colour filter array with the tags a RAW developer
/// needs; red grows to the right, blue downwards. Returns false when the file cannot be written.
bool writeDng(const std::string& path, int width, int height);

}  // namespace pivana::test
