#include "engine/TemporaryFile.h"

#include "engine/Error.h"

#include <QDir>
#include <QFile>
#include <QUuid>

#include <cerrno>

namespace pivana {

namespace {

QString freshName() {
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

}  // namespace

TemporaryFile::TemporaryFile(const QString& extension)
    : m_path(QDir(QDir::tempPath()).filePath(freshName() + u'.' + extension)) {}

TemporaryFile::~TemporaryFile() {
    QFile::remove(m_path);
}

TemporaryDirectory::TemporaryDirectory()
    : m_path(QDir(QDir::tempPath()).filePath(QStringLiteral("pivana-") + freshName())) {
    if (!QDir().mkdir(m_path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner)) {
        throw ConversionError::fileOperation(QStringLiteral("Cannot create the temporary folder"),
                                             m_path, errno);
    }
}

TemporaryDirectory::~TemporaryDirectory() {
    QDir(m_path).removeRecursively();
}

QString TemporaryDirectory::filePath(const QString& name) const {
    return QDir(m_path).filePath(name);
}

}  // namespace pivana
