#pragma once

#include "engine/Error.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace pivana {

struct FailedFile {
    QString path;
    Error error;
};

/// The outcome of one batch. Every input file appears exactly once, in `succeeded` or in
/// `failed`, each list in input order.
struct ConversionResult {
    QStringList succeeded;
    std::vector<FailedFile> failed;
    /// The files written for each succeeded source, in the same order as `succeeded` (one per
    /// source, or one per page for a multi-page PDF).
    std::vector<QStringList> outputs;
};

}  // namespace pivana
