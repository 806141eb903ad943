#include "scpi/client_state.h"

namespace pelmora::scpi {

void ClientState::Report(Error error) {
    m_status.RaiseEvent(EventBitOf(error));
    if (!m_errors.Push(error)) {
        m_status.RaiseEvent(EventBitOf(Error::QueueOverflow));
    }
}

void ClientState::ProgramOver() {
    if (m_completionPending) {
        m_completionPending = false;
        m_status.RaiseEvent(esr::kOperationComplete);
    }
}

} // namespace pelmora::scpi
