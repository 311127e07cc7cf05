#pragma once

#include "engine/Converter.h"

namespace pivana::PDFConverter {

/// Renders every page of a PDF at twice its size on white, as PNG or JPEG: name.png for a
/// one-page document, name_page1.png, name_page2.png... otherwise.
Written convert(const ConversionJob& job);

}  // namespace pivana::PDFConverter
