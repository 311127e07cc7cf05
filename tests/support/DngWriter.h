#pragma once

#include <string>

namespace pivana::test {

/// Writes a small but complete DNG: an RGGB colour filter array with the tags a RAW developer
/// needs; red grows to the right, blue downwards, or every sensor value the same when `flat`
/// (what a decoder makes of missing data). Returns false when the file cannot be written.
bool writeDng(const std::string& path, int width, int height, bool flat = false);

/// Makes a DNG written by `writeDng` look cut short: its sensor data is said to start so close
/// to the end of the file that only `fractionLeft` of it is there. Returns false when the file
/// is not such a DNG.
bool cutDngSensorData(const std::string& path, double fractionLeft);

/// Writes a 32-bit float grey TIFF without the photometric tag (as scientific software does),
/// values from 0 on the left to almost 1 on the right.
bool writeFloatGreyTiffWithoutPhotometric(const std::string& path, int width, int height);

}  // namespace pivana::test
