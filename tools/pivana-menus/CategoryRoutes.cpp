#include "CategoryRoutes.h"

#include "engine/RouteTable.h"

#include <algorithm>

namespace pivana::menus {

namespace {

constexpr FileCategory categories[] = {
    FileCategory::Image, FileCategory::Animated, FileCategory::Audio,       FileCategory::Video,
    FileCategory::Text,  FileCategory::Pdf,      FileCategory::Presentation};

}  // namespace

std::vector<CategoryRoutes> categoryRoutes() {
    const RouteTable& table = RouteTable::shared();
    std::vector<CategoryRoutes> result;
    for (const FileCategory category : categories) {
        CategoryRoutes routes{category, {}, table.targets(category)};
        for (const QString& source : table.sourceExtensions()) {
            if (table.category(QStringLiteral("file.") + source) == category) {
                routes.sources << source;
            }
        }
        if (!routes.sources.isEmpty()) {
            result.push_back(routes);
        }
    }
    return result;
}

QStringList allTargets() {
    QStringList targets;
    for (const CategoryRoutes& routes : categoryRoutes()) {
        targets << routes.targets;
    }
    targets.removeDuplicates();
    std::sort(targets.begin(), targets.end());
    return targets;
}

}  // namespace pivana::menus
