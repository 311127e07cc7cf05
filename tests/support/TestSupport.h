#pragma once

#include "engine/BatchContext.h"
#include "engine/ConversionResult.h"
#include "engine/ToolRunner.h"
#include "settings/Snapshot.h"

#include <gtest/gtest.h>
#include <sys/types.h>

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <optional>
#include <ostream>

// Readable QString values in test failure messages.
inline std::ostream& operator<<(std::ostream& stream, const QString& text) {
    return stream << '"' << text.toStdString() << '"';
}
inline std::ostream& operator<<(std::ostream& stream, const QStringList& list) {
    return stream << '[' << list.join(", ").toStdString() << ']';
}
inline void PrintTo(const QString& text, std::ostream* stream) {
    *stream << text;
}
inline void PrintTo(const QStringList& list, std::ostream* stream) {
    *stream << list;
}

namespace pivana::test {

/// A fresh folder for one test, removed afterwards.
class Scratch {
public:
    Scratch();
    QString path(const QString& name) const;
    /// Writes `bytes` to `name` (creating folders) and returns the path.
    QString write(const QString& name, const QByteArray& bytes) const;
    const QString& root() const { return m_root; }

private:
    QTemporaryDir m_dir;
    QString m_root;
};

QByteArray readAll(const QString& path);
bool exists(const QString& path);
/// Names in a folder, hidden ones included, sorted.
QStringList entries(const QString& folder);

/// The shared sample corpus beside the checkout, or none when it is absent.
std::optional<QString> corpusFile(const QString& relative);
#define PIVANA_CORPUS_OR_SKIP(var, relative)                      \
    const auto var##Found = ::pivana::test::corpusFile(relative); \
    if (!var##Found)                                              \
        GTEST_SKIP() << "corpus file absent: " << (relative);     \
    const QString var = *var##Found

/// Runs a program from the build tree's bin folder (or at an absolute path) and collects its
/// output.
struct ProgramRun {
    int status;
    QString out;
    QString err;
};
ProgramRun runBinary(const QString& name, const QStringList& arguments,
                     const QStringList& extraEnvironment = {},
                     const QString& workingDirectory = {});

/// The processes started by this process (any of its threads) that run `program`.
QList<pid_t> childrenRunning(const QString& program);

/// Settings with everything at its default.
SettingsSnapshot defaults();

/// Points the tool lookup at the build tree.
void useBuildTools();

/// A scratch folder, settings, and the real converters of the build, for conversion tests.
struct ConversionTest : testing::Test {
    Scratch dir;
    SettingsSnapshot settings;

    void SetUp() override { useBuildTools(); }

    /// The whole batch through the driver and the standard converters.
    ConversionResult run(const QStringList& files, const QString& target,
                         const BatchObserver* observer = nullptr) const;
    /// Converts one file, failing the test when it does not convert; returns the first output.
    QString convertOne(const QString& source, const QString& target) const;
    /// The reason text of one file's failure, or "succeeded".
    QString reasonFor(const QString& source, const QString& target) const;
    /// A copy of a corpus file in the scratch folder, or empty when the corpus is absent.
    QString corpusCopy(const QString& relative) const;
};

}  // namespace pivana::test
