#include "engine/ConversionResult.h"

namespace pivana {

void ConversionResult::addSuccess(const QString& source, const QStringList& outputs,
                                  const QStringList& replaced) {
    succeeded << source;
    outcomes.push_back({source, outputs, replaced, std::nullopt});
}

void ConversionResult::addFailure(const QString& source, const Error& error) {
    failed.push_back({source, error});
    outcomes.push_back({source, {}, {}, error});
}

QStringList ConversionResult::writtenFiles() const {
    QStringList files;
    for (const FileOutcome& outcome : outcomes) {
        for (const QString& output : outcome.outputs) {
            // Pictures put together into one PDF each name it.
            if (!files.contains(output)) {
                files << output;
            }
        }
    }
    return files;
}

}  // namespace pivana
