#pragma once

#include "engine/FileCategory.h"

#include <QString>

#include <optional>

namespace pivana::PickerRules {

/// Whether the browse dialog lets the user pick this item: folders always (to open them), files
/// only when they have a route and, once a file is selected, only files of its category.
bool shouldEnable(const QString& path, bool isFolder, std::optional<FileCategory> firstCategory);

/// The category that limits the choice, from the dialog's current selection.
std::optional<FileCategory> firstCategory(const QStringList& selection);

}  // namespace pivana::PickerRules
