#pragma once

#include "engine/Converter.h"

#include <QStringList>

#include <memory>

namespace pivana {

class TemporaryFile;

/// Where LibreOffice is installed.
inline const QString officeInstallFolder = QStringLiteral("/usr/lib/libreoffice");

/// One document's share of a pivana-office run: what the tool reads and writes for it, and what
/// becomes of the result. A text document becomes its target directly, or (for a PDF) HTML that
/// is typeset here; a presentation becomes a PDF. The output is claimed and staged when the work
/// is planned; `finish` says what was written, for the driver to commit.
class OfficeWork {
public:
    /// Plans converting the job's source (a text document or presentation) to its target;
    /// throws why it cannot be.
    OfficeWork(const ConversionJob& job, const QString& office = officeInstallFolder);
    /// The same for one document of an office batch.
    OfficeWork(const DocumentJob& job, const QString& target);
    ~OfficeWork();
    OfficeWork(const OfficeWork&) = delete;
    OfficeWork& operator=(const OfficeWork&) = delete;

    /// This document's arguments of the tool: "-convert FORMAT INPUT -output RESULT".
    const QStringList& arguments() const { return m_arguments; }
    /// What this document's reasons start with.
    const QString& prefix() const { return m_prefix; }
    /// After the tool wrote the result: makes the output of it (typesets the HTML of a PDF)
    /// and says what was written.
    Written finish();

private:
    OfficeWork(const QString& source, const QString& target, Staging& output, BatchContext& batch,
               const QString& office);

    Staging& m_output;
    BatchContext& m_batch;
    QStringList m_arguments;
    QString m_prefix;
    bool m_mayBeEmpty = false;
    std::unique_ptr<TemporaryFile> m_input;  // a Markdown source as plain text
    std::unique_ptr<TemporaryFile> m_html;   // the office's HTML of a document to typeset
};

/// Runs pivana-office on one document's work, within the batch's cancel token; throws its
/// failure.
void runOfficeWork(const OfficeWork& work, const BatchContext& batch);

}  // namespace pivana
