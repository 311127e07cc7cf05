#pragma once

#include <QString>

namespace pivana {

/// A path in the system temporary folder named by a fresh UUID and the given extension. The file
/// (if anything created it) is removed when the object goes out of scope, errors ignored.
class TemporaryFile {
public:
    explicit TemporaryFile(const QString& extension);
    ~TemporaryFile();
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    const QString& path() const { return m_path; }

private:
    QString m_path;
};

/// A fresh private directory in the system temporary folder, removed with its contents.
class TemporaryDirectory {
public:
    TemporaryDirectory();
    ~TemporaryDirectory();
    TemporaryDirectory(const TemporaryDirectory&) = delete;
    TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

    const QString& path() const { return m_path; }
    QString filePath(const QString& name) const;

private:
    QString m_path;
};

}  // namespace pivana
