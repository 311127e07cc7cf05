#pragma once

#include <string>

namespace pivana::test {

/// Writes a small but complete DNG: an RGGB colour filter array with the tags a RAW developer
/// needs; red grows to the right, blue downwards, or every sensor value the same when `flat`
/// (what a decoder makes of missing data). Returns false when the file cannot be written.
bool writeDng(const std::string& path, int width, int height, bool flat = false);

/// Writes a linear DNG, as raw converters and some phones do: a small preview, then the picture
/// in demosaiced camera RGB, three samples a pixel, shown turned by the EXIF `orientation`; red
/// grows to the right, blue downwards, green stays mid-grey.
bool writeLinearDng(const std::string& path, int width, int height, int orientation = 1);

/// Writes a small RGB TIFF whose one strip is said to be in compression `scheme` (its bytes are
/// not): a well-formed file in a compression libtiff may lack.
bool writeTiffCompressedAs(const std::string& path, int scheme);

/// Makes a DNG written by `writeDng` look cut short: its sensor data is said to start so close
/// to the end of the file that only `fractionLeft` of it is there. Returns false when the file
/// is not such a DNG.
bool cutDngSensorData(const std::string& path, double fractionLeft);

/// Writes a 32-bit float grey TIFF without the photometric tag (as scientific software does),
/// values from 0 on the left to almost 1 on the right.
bool writeFloatGreyTiffWithoutPhotometric(const std::string& path, int width, int height);

}  // namespace pivana::test
