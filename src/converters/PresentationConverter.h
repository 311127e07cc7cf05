#pragma once

#include "engine/Converter.h"

namespace pivana::PresentationConverter {

/// Exports a pptx or key presentation to PDF with LibreOffice Impress, through pivana-office.
void convert(const QString& source, const QString& target, const SettingsSnapshot& settings,
             BatchContext& batch);

/// Whether LibreOffice Impress is installed under `officeRoot`.
bool impressInstalled(const QString& officeRoot = QStringLiteral("/usr/lib/libreoffice"));

/// `convert`, looking for LibreOffice under `officeRoot`.
void convertWith(const QString& officeRoot, const QString& source, const QString& target,
                 const SettingsSnapshot& settings, BatchContext& batch);

}  // namespace pivana::PresentationConverter
