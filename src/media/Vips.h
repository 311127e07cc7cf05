#pragma once

// Starting libvips and reading its errors, shared by the image converter and pivana-image. Plain
// C++ (no Qt), so the tool links it without the engine.

#include <string>

namespace pivana::media {

/// Starts libvips in this process on the first call; later calls return that call's outcome.
/// When it returns false, `takeVipsError()` says why. Its cache of recent operations is off: one
/// conversion never repeats an operation, and cached ones would hold their images' pixels.
bool ensureVipsStarted(const char* programName);

/// The first non-empty line of libvips' error text, without the operation name it starts with
/// ("vips2png: "), or "unknown libvips error" when there is none. Clears libvips' error buffer,
/// which otherwise keeps every failure's text and would repeat it in the next one.
std::string takeVipsError();

}  // namespace pivana::media
