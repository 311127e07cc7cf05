#pragma once

// Libraries that report what they meet on standard error (poppler, every problem of a damaged
// PDF; GLib's warnings) would push the tool's own sentence off the first line, which belongs to
// it. While one of these is alive, that output goes nowhere; standard error comes back when it
// goes, before the failure is reported.

#include "engine/QuietStandardError.h"

namespace pivana::image {

using pivana::QuietStandardError;

}  // namespace pivana::image
