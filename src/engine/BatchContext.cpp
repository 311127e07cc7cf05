#include "engine/BatchContext.h"

#include <algorithm>

namespace pivana {

void BatchContext::beginFile(int index) {
    m_index = index;
    m_currentOutputs.clear();
}

void BatchContext::reportProgress(double fraction) const {
    if (m_observer && m_observer->fileProgress) {
        m_observer->fileProgress(m_index, std::clamp(fraction, 0.0, 1.0));
    }
}

bool BatchContext::wasWrittenInThisBatch(const QString& absolutePath) const {
    return m_written.contains(absolutePath);
}

void BatchContext::recordOutput(const QString& absolutePath) {
    m_written.insert(absolutePath);
    m_currentOutputs << absolutePath;
}

}  // namespace pivana
