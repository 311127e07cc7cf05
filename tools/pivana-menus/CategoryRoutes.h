#pragma once

#include "engine/FileCategory.h"

#include <QStringList>

#include <vector>

namespace pivana::menus {

/// What the route table says about one category as a whole: its source extensions and every
/// target any of them offers, in the order the panel shows them.
struct CategoryRoutes {
    FileCategory category;
    QStringList sources;
    QStringList targets;
};

/// Every category that has at least one source, in the category order.
std::vector<CategoryRoutes> categoryRoutes();

/// Every target format of the table, each once, sorted.
QStringList allTargets();

}  // namespace pivana::menus
