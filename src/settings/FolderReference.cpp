#include "settings/FolderReference.h"

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

namespace pivana {

namespace {

std::optional<struct stat> statOf(const QString& path) {
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0) {
        return std::nullopt;
    }
    return info;
}

}  // namespace

std::optional<FolderReference> FolderReference::create(const QString& path) {
    const QString absolute = QDir(path).absolutePath();
    const auto info = statOf(absolute);
    if (!info || !S_ISDIR(info->st_mode)) {
        return std::nullopt;
    }
    return FolderReference{absolute, static_cast<quint64>(info->st_dev),
                           static_cast<quint64>(info->st_ino)};
}

QByteArray FolderReference::toBytes() const {
    QJsonObject object;
    object.insert("path", path);
    object.insert("device", QString::number(device));
    object.insert("inode", QString::number(inode));
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<FolderReference> FolderReference::fromBytes(const QByteArray& bytes) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        return std::nullopt;
    }
    const QJsonObject object = document.object();
    const QString path = object.value("path").toString();
    bool deviceOk = false;
    bool inodeOk = false;
    const quint64 device = object.value("device").toString().toULongLong(&deviceOk);
    const quint64 inode = object.value("inode").toString().toULongLong(&inodeOk);
    if (path.isEmpty() || !QDir::isAbsolutePath(path) || !deviceOk || !inodeOk) {
        return std::nullopt;
    }
    return FolderReference{path, device, inode};
}

FolderReference::Resolution FolderReference::resolve() const {
    const auto info = statOf(path);
    if (!info || !S_ISDIR(info->st_mode)) {
        return {Resolution::Status::Missing, path, false};
    }
    const bool stale =
        static_cast<quint64>(info->st_dev) != device || static_cast<quint64>(info->st_ino) != inode;
    return {Resolution::Status::Ok, path, stale};
}

}  // namespace pivana
