#include "ui/PickerRules.h"

#include "engine/RouteTable.h"

#include <QStringList>

namespace pivana::PickerRules {

bool shouldEnable(const QString& path, bool isFolder, std::optional<FileCategory> first) {
    if (isFolder) {
        return true;
    }
    const auto category = RouteTable::shared().category(path);
    if (!category) {
        return false;
    }
    return !first || *category == *first;
}

std::optional<FileCategory> firstCategory(const QStringList& selection) {
    if (selection.isEmpty()) {
        return std::nullopt;
    }
    return RouteTable::shared().category(selection.first());
}

}  // namespace pivana::PickerRules
