#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace pivana {

/// An opaque reference to a folder the user chose: its absolute path plus the device and inode
/// numbers it had. Stored as bytes under the "customOutputFolder" key.
struct FolderReference {
    QString path;
    quint64 device = 0;
    quint64 inode = 0;

    /// A reference to the folder at `path` as it is now; none when nothing is there.
    static std::optional<FolderReference> create(const QString& path);

    QByteArray toBytes() const;
    /// None for bytes that are not a reference.
    static std::optional<FolderReference> fromBytes(const QByteArray& bytes);

    struct Resolution {
        enum class Status { Ok, Missing } status;
        QString path;
        /// A directory is at the path but not the one referenced (replaced or restored):
        /// the reference should be made anew.
        bool stale = false;
    };
    Resolution resolve() const;
};

}  // namespace pivana
