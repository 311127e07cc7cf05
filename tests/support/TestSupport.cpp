#include "support/TestSupport.h"

#include "converters/StandardConverters.h"
#include "engine/BatchDriver.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>

namespace pivana::test {

Scratch::Scratch() : m_root(QFileInfo(m_dir.path()).canonicalFilePath()) {}

QString Scratch::path(const QString& name) const {
    return QDir(m_root).filePath(name);
}

QString Scratch::write(const QString& name, const QByteArray& bytes) const {
    const QString target = path(name);
    QDir().mkpath(QFileInfo(target).absolutePath());
    QFile file(target);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly)) << target.toStdString();
    file.write(bytes);
    return target;
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return file.readAll();
}

bool exists(const QString& path) {
    return QFileInfo::exists(path);
}

QStringList entries(const QString& folder) {
    QStringList names = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                               QDir::NoDotAndDotDot);
    names.sort();
    return names;
}

std::optional<QString> corpusFile(const QString& relative) {
    const QString path =
        QDir(QStringLiteral(PIVANA_SOURCE_DIR "/../shared/corpus")).filePath(relative);
    if (!QFileInfo(path).isFile()) {
        return std::nullopt;
    }
    return QFileInfo(path).canonicalFilePath();
}

ProgramRun runBinary(const QString& name, const QStringList& arguments,
                     const QStringList& extraEnvironment, const QString& workingDirectory) {
    QProcess process;
    process.setWorkingDirectory(workingDirectory);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString& entry : extraEnvironment) {
        const qsizetype eq = entry.indexOf(u'=');
        environment.insert(entry.left(eq), entry.mid(eq + 1));
    }
    process.setProcessEnvironment(environment);
    process.start(QDir(QStringLiteral(PIVANA_BIN_DIR)).filePath(name), arguments);
    if (!process.waitForFinished(600'000)) {
        process.kill();
        process.waitForFinished();
        return {-1, {}, QStringLiteral("timed out")};
    }
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

SettingsSnapshot defaults() {
    return {};
}

void useBuildTools() {
    setToolDirectory(QStringLiteral(PIVANA_BIN_DIR));
}

ConversionResult ConversionTest::run(const QStringList& files, const QString& target,
                                     const BatchObserver* observer) const {
    return BatchDriver(standardConverters()).convert(files, target, settings, observer);
}

QString ConversionTest::convertOne(const QString& source, const QString& target) const {
    const ConversionResult result = run({source}, target);
    if (!result.failed.empty()) {
        ADD_FAILURE() << QFileInfo(source).fileName() << " -> " << target << ": "
                      << cleanReason(result.failed.front().error);
        return {};
    }
    return result.outcomes.front().outputs.value(0);
}

QString ConversionTest::reasonFor(const QString& source, const QString& target) const {
    const ConversionResult result = run({source}, target);
    return result.failed.empty() ? QStringLiteral("succeeded")
                                 : cleanReason(result.failed.front().error);
}

QString ConversionTest::corpusCopy(const QString& relative) const {
    const auto found = corpusFile(relative);
    if (!found) {
        return {};
    }
    const QString copy = dir.path(QFileInfo(*found).fileName());
    QFile::copy(*found, copy);
    return copy;
}

QList<pid_t> childrenRunning(const QString& program) {
    QList<pid_t> found;
    for (const QString& task :
         QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        for (const QByteArray& pid : readAll("/proc/self/task/" + task + "/children").split(' ')) {
            if (!pid.trimmed().isEmpty() &&
                readAll("/proc/" + pid.trimmed() + "/cmdline").contains(program.toUtf8())) {
                found << pid.trimmed().toInt();
            }
        }
    }
    return found;
}

}  // namespace pivana::test
