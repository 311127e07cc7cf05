#include "settings/LaunchAtLogin.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTextStream>

namespace pivana {

LaunchAtLogin::LaunchAtLogin(QString configHome)
    : m_configHome(configHome.isEmpty()
                       ? QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
                       : std::move(configHome)) {}

QString LaunchAtLogin::entryPath() const {
    return QDir(m_configHome).filePath(QStringLiteral("autostart/io.pivana.Pivana.desktop"));
}

bool LaunchAtLogin::isEnabled() const {
    QFile file(entryPath());
    if (!file.open(QIODevice::ReadOnly)) {
        return false;
    }
    QTextStream lines(&file);
    while (!lines.atEnd()) {
        const QString line = lines.readLine().trimmed();
        if (line.compare(QStringLiteral("Hidden=true"), Qt::CaseInsensitive) == 0 ||
            line.compare(QStringLiteral("X-GNOME-Autostart-enabled=false"), Qt::CaseInsensitive) ==
                0) {
            return false;
        }
    }
    return true;
}

QString LaunchAtLogin::setEnabled(bool enabled, const QString& program) const {
    const QString path = entryPath();
    if (!enabled) {
        if (QFile::exists(path) && !QFile::remove(path)) {
            return QStringLiteral("Cannot remove %1").arg(path);
        }
        return {};
    }
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        return QStringLiteral("Cannot create the folder %1").arg(QFileInfo(path).absolutePath());
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return file.errorString();
    }
    // Started at login, Pivana waits quietly in the tray.
    const QByteArray entry =
        "[Desktop Entry]\n"
        "Type=Application\n"
        "Name=Pivana\n"
        "Comment=File converter in the tray\n"
        "Exec=" +
        QFile::encodeName(program) +
        "\n"
        "Icon=io.pivana.Pivana\n"
        "Terminal=false\n"
        "X-GNOME-Autostart-enabled=true\n";
    file.write(entry);
    if (!file.commit()) {
        return file.errorString();
    }
    return {};
}

}  // namespace pivana
