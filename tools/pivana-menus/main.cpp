// pivana-menus: writes, at build time, what the desktop integration derives from the route
// table, so that the menus and the shell completion never drift from what the app converts.
//
//   pivana-menus dolphin FOLDER                 one Dolphin service menu per source category
//   pivana-menus completion TEMPLATE OUTPUT     the bash completion, with every target format
//
// Exit status 0 on success; on failure one line on standard error.
#include "CategoryRoutes.h"
#include "ServiceMenu.h"
#include "engine/FileCategory.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSaveFile>

#include <cstdio>

namespace {

bool writeFile(const QString& path, const QString& text) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text.toUtf8()) < 0 || !file.commit()) {
        std::fprintf(stderr, "pivana-menus: cannot write %s: %s\n", qPrintable(path),
                     qPrintable(file.errorString()));
        return false;
    }
    return true;
}

int writeDolphinMenus(const QString& folder) {
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "pivana-menus: cannot create %s\n", qPrintable(folder));
        return 1;
    }
    const QMimeDatabase mimes;
    for (const pivana::menus::CategoryRoutes& routes : pivana::menus::categoryRoutes()) {
        const QString category = pivana::categoryName(routes.category);
        const QString text = pivana::menus::dolphinServiceMenu(routes, mimes);
        const QString name = QStringLiteral("pivana-convert-%1.desktop").arg(category);
        if (!text.isEmpty() && !writeFile(QDir(folder).filePath(name), text)) {
            return 1;
        }
    }
    return 0;
}

int writeCompletion(const QString& templatePath, const QString& output) {
    QFile source(templatePath);
    if (!source.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "pivana-menus: cannot read %s\n", qPrintable(templatePath));
        return 1;
    }
    QString text = QString::fromUtf8(source.readAll());
    text.replace(QStringLiteral("@TARGET_FORMATS@"), pivana::menus::allTargets().join(u' '));
    return writeFile(output, text) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    if (arguments.size() == 2 && arguments[0] == u"dolphin") {
        return writeDolphinMenus(arguments[1]);
    }
    if (arguments.size() == 3 && arguments[0] == u"completion") {
        return writeCompletion(arguments[1], arguments[2]);
    }
    std::fputs(
        "usage: pivana-menus dolphin FOLDER\n"
        "       pivana-menus completion TEMPLATE OUTPUT\n",
        stderr);
    return 2;
}
