#include "scpi/error_queue.h"

namespace pelmora::scpi {

bool ErrorQueue::Push(Error error) {
    if (m_errors.size() < kCapacity) {
        m_errors.push_back(error);
        return true;
    }
    m_errors.back() = Error::QueueOverflow;
    return false;
}

Error ErrorQueue::Take() {
    if (m_errors.empty()) {
        return Error::None;
    }
    const Error oldest = m_errors.front();
    m_errors.pop_front();
    return oldest;
}

} // namespace pelmora::scpi
