#pragma once

#include <QIODevice>
#include <QString>

namespace pivana {

/// A file for writers in the app itself (the PDF typesetter) that do not look at their device's
/// errors: every write goes straight to the file, and the first error is kept, so the caller
/// can fail with it after the writer is done instead of keeping a cut-off file.
class CheckedFile : public QIODevice {
public:
    /// Creates or truncates `path` for writing; throws the reason it cannot.
    explicit CheckedFile(const QString& path);
    ~CheckedFile() override;

    /// Writes what is still buffered to the disk and closes the file; throws the first error
    /// any write met (a full disk as such), or the flush's.
    void finish();

    bool isSequential() const override { return true; }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override;

private:
    int m_fd = -1;
    int m_error = 0;
};

}  // namespace pivana
