#pragma once

#include "engine/Converter.h"

namespace pivana::DocumentBatch {

/// The documents of a batch in one pivana-office run: one session with the office, each
/// document handed to `commit` as soon as the tool reports it done, and one outcome per job (see
/// `DocumentBatchEntry`). Cancelling the batch stops the tool at once; documents done by then
/// keep their outputs.
std::vector<std::optional<Error>> convert(const std::vector<DocumentJob>& jobs,
                                          const QString& target, const SettingsSnapshot& settings,
                                          const DocumentCommit& commit);

}  // namespace pivana::DocumentBatch
