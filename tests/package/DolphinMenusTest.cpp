// The Dolphin service menus written at build time, read back as Dolphin reads them: a menu
// shows when every selected file's MIME type is listed (or inherits a listed one) and is not
// excluded, and then offers its actions in order.
#include "engine/RouteTable.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QMap>
#include <QMimeDatabase>
#include <QSet>

#include <algorithm>
#include <map>

namespace {

using pivana::RouteTable;

struct ServiceMenu {
    QMap<QString, QMap<QString, QString>> groups;

    QStringList list(const QString& key, QChar separator) const {
        return groups.value("Desktop Entry").value(key).split(separator, Qt::SkipEmptyParts);
    }
    QStringList actions() const { return list("Actions", u';'); }

    bool shownFor(const QString& file) const {
        const QMimeType type = QMimeDatabase().mimeTypeForFile(file, QMimeDatabase::MatchExtension);
        const auto matches = [&](const QString& listed) {
            return type.name() == listed || type.inherits(listed);
        };
        const QStringList listed = list("MimeType", u';');
        const QStringList excluded = list("ExcludeServiceTypes", u',');
        return std::any_of(listed.cbegin(), listed.cend(), matches) &&
               std::none_of(excluded.cbegin(), excluded.cend(), matches);
    }
};

ServiceMenu readMenu(const QString& path) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path;
    ServiceMenu menu;
    QString group;
    for (const QString& line : QString::fromUtf8(file.readAll()).split(u'\n')) {
        if (line.startsWith(u'[')) {
            group = line.mid(1, line.size() - 2);
        } else if (const qsizetype equals = line.indexOf(u'='); equals > 0) {
            menu.groups[group][line.left(equals)] = line.mid(equals + 1);
        }
    }
    return menu;
}

struct DolphinMenus : testing::Test {
    std::map<QString, ServiceMenu> byCategory;

    void SetUp() override {
        const QDir folder(PIVANA_SERVICE_MENU_DIR);
        for (const QString& name : folder.entryList({"pivana-convert-*.desktop"})) {
            const QString category = name.mid(15).chopped(8);
            byCategory[category] = readMenu(folder.filePath(name));
        }
    }

    // The menus Dolphin would show for the selection, by category.
    QStringList shownFor(const QStringList& files) const {
        QStringList shown;
        for (const auto& [category, menu] : byCategory) {
            if (std::all_of(files.cbegin(), files.cend(),
                            [&](const QString& file) { return menu.shownFor(file); })) {
                shown << category;
            }
        }
        return shown;
    }
};

}  // namespace

TEST_F(DolphinMenus, EachCategoryOffersEveryTargetOfItsSourcesInThePanelsOrder) {
    const RouteTable& table = RouteTable::shared();
    std::map<QString, QSet<QString>> targetsByCategory;
    for (const QString& source : table.sourceExtensions()) {
        const auto route = table.route("x." + source);
        const QString category = pivana::categoryName(route->category);
        ASSERT_TRUE(byCategory.count(category)) << "no menu for " << category;
        // What the menu holds of this source's targets, in the menu's order: all of them, in
        // the order the panel shows them for a file of this source.
        QStringList offered = byCategory[category].actions();
        offered.removeIf(
            [&](const QString& target) { return !route->validTargets.contains(target); });
        EXPECT_EQ(offered, route->validTargets) << source;
        targetsByCategory[category].unite(
            {route->validTargets.cbegin(), route->validTargets.cend()});
    }
    for (const auto& [category, menu] : byCategory) {
        const QStringList actions = menu.actions();
        EXPECT_EQ(QSet<QString>(actions.cbegin(), actions.cend()), targetsByCategory[category]);
        EXPECT_EQ(actions.size(), targetsByCategory[category].size()) << category;
    }
}

TEST_F(DolphinMenus, EachActionHandsTheSelectionToTheApp) {
    for (const auto& [category, menu] : byCategory) {
        EXPECT_EQ(menu.groups.value("Desktop Entry").value("X-KDE-Submenu"), "Convert with Pivana");
        EXPECT_EQ(menu.groups.value("Desktop Entry").value("X-KDE-Protocols"), "file");
        for (const QString& target : menu.actions()) {
            const auto action = menu.groups.value("Desktop Action " + target);
            EXPECT_EQ(action.value("Name"), target.toUpper());
            EXPECT_EQ(action.value("Exec"), "pivana --convert " + target + " %F");
        }
    }
}

TEST_F(DolphinMenus, ShowTheCategoryOfEverySourceAndOfNothingElse) {
    const RouteTable& table = RouteTable::shared();
    for (const QString& source : table.sourceExtensions()) {
        const QString file = "x." + source;
        if (!QMimeDatabase().mimeTypeForFile(file, QMimeDatabase::MatchExtension).isDefault()) {
            EXPECT_EQ(shownFor({file}), QStringList{pivana::categoryName(*table.category(file))})
                << source;
        }
    }
    EXPECT_EQ(shownFor({"a.JPG", "b.png", "c.dng", "d.webp"}), QStringList{"image"});
    EXPECT_EQ(shownFor({"a.txt", "b.md", "c.html", "d.docx"}), QStringList{"text"});
    // Kinds of text, XML and TIFF that inherit from a source's type but have no route.
    for (const char* stranger : {"main.c", "data.csv", "run.sh", "app.log", "page.xml", "notes.zip",
                                 "photo.crw", "x.odp"}) {
        EXPECT_EQ(shownFor({stranger}), QStringList{}) << stranger;
    }
    EXPECT_EQ(shownFor({"a.gif", "b.png"}), QStringList{});
    EXPECT_EQ(shownFor({"a.pdf", "b.docx"}), QStringList{});
}
