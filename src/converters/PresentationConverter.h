#pragma once

#include "engine/Converter.h"

namespace pivana::PresentationConverter {

/// Exports a pptx or key presentation to PDF with LibreOffice Impress, through pivana-office.
Written convert(const ConversionJob& job);

/// Whether LibreOffice Impress is installed under `officeRoot`.
bool impressInstalled(const QString& officeRoot = QStringLiteral("/usr/lib/libreoffice"));

/// `convert`, looking for LibreOffice under `officeRoot`.
Written convertWith(const QString& officeRoot, const ConversionJob& job);

}  // namespace pivana::PresentationConverter
