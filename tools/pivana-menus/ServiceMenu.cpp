#include "ServiceMenu.h"

#include <algorithm>

namespace pivana::menus {

namespace {

QStringList sourceMimeTypes(const QStringList& sources, const QMimeDatabase& mimes) {
    QStringList names;
    for (const QString& source : sources) {
        for (const QMimeType& type : mimes.mimeTypesForFileName(QStringLiteral("file.") + source)) {
            names << type.name();
        }
    }
    names.removeDuplicates();
    std::sort(names.begin(), names.end());
    return names;
}

// Dolphin matches a listed type and every type that inherits from it, so listing text/plain
// (for .txt) would also offer the menu on source code, logs and CSV files, none of which has a
// route. Those descendants are excluded again, except the ones our own types descend from.
QStringList inheritedStrangers(const QStringList& listed, const QMimeDatabase& mimes) {
    QStringList strangers;
    for (const QMimeType& type : mimes.allMimeTypes()) {
        if (listed.contains(type.name())) {
            continue;
        }
        const auto inherits = [&](const QString& parent) { return type.inherits(parent); };
        const auto isAncestorOf = [&](const QString& child) {
            return mimes.mimeTypeForName(child).inherits(type.name());
        };
        if (std::any_of(listed.cbegin(), listed.cend(), inherits) &&
            std::none_of(listed.cbegin(), listed.cend(), isAncestorOf)) {
            strangers << type.name();
        }
    }
    std::sort(strangers.begin(), strangers.end());
    return strangers;
}

QString desktopEntry(const QStringList& types, const QStringList& excluded,
                     const QStringList& targets) {
    QString text;
    text += QStringLiteral("[Desktop Entry]\nType=Service\n");
    text += QStringLiteral("Name=%1\nIcon=io.pivana.Pivana\n").arg(submenuTitle);
    text += QStringLiteral("MimeType=%1;\n").arg(types.join(u';'));
    if (!excluded.isEmpty()) {
        // Read as a KConfig list, which is separated by commas.
        text += QStringLiteral("ExcludeServiceTypes=%1\n").arg(excluded.join(u','));
    }
    // %F hands over local paths; a remote file would be converted in a temporary copy.
    text += QStringLiteral("X-KDE-Protocols=file\n");
    text += QStringLiteral("X-KDE-Priority=TopLevel\nX-KDE-Submenu=%1\n").arg(submenuTitle);
    text += QStringLiteral("Actions=%1;\n").arg(targets.join(u';'));
    return text;
}

QString action(const QString& target) {
    return QStringLiteral(
               "\n[Desktop Action %1]\nName=%2\nIcon=io.pivana.Pivana\n"
               "Exec=pivana --convert %1 %F\n")
        .arg(target, target.toUpper());
}

}  // namespace

QString dolphinServiceMenu(const CategoryRoutes& routes, const QMimeDatabase& mimes) {
    const QStringList types = sourceMimeTypes(routes.sources, mimes);
    if (types.isEmpty()) {
        return {};
    }
    QString text = desktopEntry(types, inheritedStrangers(types, mimes), routes.targets);
    for (const QString& target : routes.targets) {
        text += action(target);
    }
    return text;
}

}  // namespace pivana::menus
