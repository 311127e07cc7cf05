#include "CategoryRoutes.h"

#include "engine/RouteTable.h"

#include <algorithm>

namespace pivana::menus {

namespace {

constexpr FileCategory categories[] = {
    FileCategory::Image, FileCategory::Animated, FileCategory::Audio,       FileCategory::Video,
    FileCategory::Text,  FileCategory::Pdf,      FileCategory::Presentation};

// A category's full list of targets may be carried by no single source (a text file never
// offers its own format), but every source's list keeps the category's order. The merge
// places, again and again, the first target that no list puts after one not placed yet.
// Empty when the lists contradict each other.
QStringList mergedInOrder(const std::vector<QStringList>& lists) {
    QStringList all;
    for (const QStringList& list : lists) {
        for (const QString& target : list) {
            if (!all.contains(target)) {
                all << target;
            }
        }
    }
    QStringList merged;
    const auto placed = [&](const QString& target) { return merged.contains(target); };
    const auto ready = [&](const QString& target) {
        return !placed(target) &&
               std::all_of(lists.cbegin(), lists.cend(), [&](const QStringList& list) {
                   const auto at = std::find(list.cbegin(), list.cend(), target);
                   return at == list.cend() || std::all_of(list.cbegin(), at, placed);
               });
    };
    while (merged.size() < all.size()) {
        const auto next = std::find_if(all.cbegin(), all.cend(), ready);
        if (next == all.cend()) {
            return {};
        }
        merged << *next;
    }
    return merged;
}

}  // namespace

std::vector<CategoryRoutes> categoryRoutes() {
    const RouteTable& table = RouteTable::shared();
    std::vector<CategoryRoutes> result;
    for (const FileCategory category : categories) {
        CategoryRoutes routes{category, {}, {}};
        std::vector<QStringList> lists;
        for (const QString& source : table.sourceExtensions()) {
            const auto route = table.route(QStringLiteral("file.") + source);
            if (route && route->category == category) {
                routes.sources << source;
                lists.push_back(route->validTargets);
            }
        }
        routes.targets = mergedInOrder(lists);
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
