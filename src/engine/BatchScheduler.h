#pragma once

#include "engine/Converter.h"

#include <functional>
#include <optional>
#include <vector>

namespace pivana {

class CancelToken;

/// A piece of a batch's work: one file, the documents that go to the office together, or the
/// pictures that become one document.
struct WorkUnit {
    std::vector<int> files;  ///< indexes in the batch, ascending
    WorkKind kind = WorkKind::Parallel;
    bool officeSession = false;  ///< the files go to the document batch entry together
    bool collection = false;     ///< the files go to the collection entry, into one output
    std::optional<int> after;    ///< a file whose unit must be done before this one starts
};

/// Runs the units (listed in the order of their first file) on up to `workers` threads, in that
/// order as far as their kinds allow: `Parallel` units side by side, an `Exclusive` unit alone
/// (later units wait for it rather than overtake it), one `Office` unit at a time, and a unit
/// with `after` only once that file is done. Once `cancel` is raised no unit starts any more;
/// each one never started goes to `skipped`. Returns when every unit has run or been skipped.
/// `run` must not throw.
void runUnits(const std::vector<WorkUnit>& units, int workers, const CancelToken* cancel,
              const std::function<void(const WorkUnit&)>& run,
              const std::function<void(const WorkUnit&)>& skipped);

}  // namespace pivana
