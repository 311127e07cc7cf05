#pragma once

#include <QString>

#include <vips/vips8>

namespace pivana {

/// Starts libvips in this process once; later calls do nothing.
void ensureVipsStarted();

/// The first line of libvips' error text, after which the error buffer is cleared (it would
/// otherwise keep growing with every failure).
QString takeVipsError();

}  // namespace pivana
