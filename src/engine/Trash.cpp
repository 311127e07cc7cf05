// The freedesktop Trash, just enough to keep a file an output replaces: a hard link in the
// Trash's files/ folder and its .trashinfo record.
#include "engine/Trash.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUrl>

#include <cerrno>
#include <optional>

namespace pivana {

namespace {

std::optional<dev_t> deviceOf(const QByteArray& path) {
    struct stat info {};
    if (::lstat(path.constData(), &info) != 0) {
        return std::nullopt;
    }
    return info.st_dev;
}

// The folder, with its files/ and info/ inside, owned by us and private; false when it cannot be.
bool makeTrash(const QString& folder) {
    for (const QString& sub : {QStringLiteral("files"), QStringLiteral("info")}) {
        if (!QDir().mkpath(folder + u'/' + sub)) {
            return false;
        }
    }
    struct stat info {};
    const QByteArray encoded = QFile::encodeName(folder);
    return ::lstat(encoded.constData(), &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == ::getuid() && ::chmod(encoded.constData(), 0700) == 0;
}

// The top of the mount that holds `folder`: the last folder upwards on the same device.
QString mountTop(const QString& folder, dev_t device) {
    QString top = QDir::cleanPath(folder);
    while (top != u'/') {
        const QString parent = QFileInfo(top).path();
        if (deviceOf(QFile::encodeName(parent)) != device) {
            break;
        }
        top = parent;
    }
    return top;
}

// $topdir/.Trash/$uid, only where $topdir/.Trash is a real folder with the sticky bit: anything
// else could be a trap set by another user.
std::optional<QString> sharedTrash(const QString& top) {
    const QString shared = QDir(top).filePath(QStringLiteral(".Trash"));
    struct stat info {};
    if (::lstat(QFile::encodeName(shared).constData(), &info) != 0 || !S_ISDIR(info.st_mode) ||
        (info.st_mode & S_ISVTX) == 0) {
        return std::nullopt;
    }
    const QString mine = shared + u'/' + QString::number(::getuid());
    return makeTrash(mine) ? std::optional(mine) : std::nullopt;
}

// Where a file of `folder` goes: the Trash folder, and the top of the volume whose paths it
// records relative to that top (empty for the home Trash, which records absolute paths).
struct Place {
    QString trash;
    QString top;
};

std::optional<Place> placeFor(const QString& folder) {
    const auto device = deviceOf(QFile::encodeName(folder));
    if (!device) {
        return std::nullopt;
    }
    const QString home = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                         QStringLiteral("/Trash");
    QDir().mkpath(QFileInfo(home).path());
    if (deviceOf(QFile::encodeName(QFileInfo(home).path())) == device) {
        return makeTrash(home) ? std::optional(Place{home, {}}) : std::nullopt;
    }
    const QString top = mountTop(folder, *device);
    if (auto shared = sharedTrash(top)) {
        return Place{*shared, top};
    }
    const QString own = QDir(top).filePath(QStringLiteral(".Trash-%1").arg(::getuid()));
    return makeTrash(own) ? std::optional(Place{own, top}) : std::nullopt;
}

QString candidateName(const QFileInfo& name, int attempt) {
    if (attempt == 1) {
        return name.fileName();
    }
    return QStringLiteral("%1 (%2)%3")
        .arg(name.completeBaseName())
        .arg(attempt)
        .arg(name.suffix().isEmpty() ? QString() : u'.' + name.suffix());
}

}  // namespace

std::optional<QString> trashFolderFor(const QString& path) {
    const auto place = placeFor(QFileInfo(path).absolutePath());
    return place ? std::optional(place->trash) : std::nullopt;
}

std::optional<QString> keepInTrash(const QString& path) {
    const QFileInfo name(QFileInfo(path).absoluteFilePath());
    const auto place = placeFor(name.absolutePath());
    if (!place) {
        return std::nullopt;
    }
    const QString recorded = place->top.isEmpty()
                                 ? name.absoluteFilePath()
                                 : QDir(place->top).relativeFilePath(name.absoluteFilePath());
    const QByteArray record =
        "[Trash Info]\nPath=" + QUrl::toPercentEncoding(recorded, "/") +
        "\nDeletionDate=" + QDateTime::currentDateTime().toString(Qt::ISODate).toUtf8() + '\n';
    const QByteArray source = QFile::encodeName(name.absoluteFilePath());
    for (int attempt = 1; attempt < 1000; ++attempt) {
        const QString trashed = candidateName(name, attempt);
        const QByteArray info = QFile::encodeName(place->trash + QStringLiteral("/info/") +
                                                  trashed + QStringLiteral(".trashinfo"));
        // The record is claimed first, with O_EXCL: the name is then ours among other programs
        // that trash files at the same time.
        const int fd = ::open(info.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0 && errno == EEXIST) {
            continue;
        }
        if (fd < 0) {
            return std::nullopt;
        }
        const bool written = ::write(fd, record.constData(), record.size()) == record.size();
        if (::close(fd) != 0 || !written) {
            ::unlink(info.constData());
            return std::nullopt;
        }
        const QString file = place->trash + QStringLiteral("/files/") + trashed;
        if (::linkat(AT_FDCWD, source.constData(), AT_FDCWD, QFile::encodeName(file).constData(),
                     0) == 0) {
            return file;
        }
        const int linkError = errno;
        ::unlink(info.constData());
        if (linkError != EEXIST) {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

}  // namespace pivana
