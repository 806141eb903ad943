#pragma once

#include "scpi/errors.h"

#include <cstddef>
#include <deque>

namespace pelmora::scpi {

// SCPI-99's error queue: first in, first out, sixteen entries. When it is full, the newest
// entry becomes -350 "Queue overflow" and further errors are lost until one is read.
class ErrorQueue {
public:
    static constexpr std::size_t kCapacity = 16;

    // False when the queue was full and the error was lost.
    bool Push(Error error);
    // The oldest error, or Error::None when there is none.
    Error Take();
    std::size_t Count() const { return m_errors.size(); }
    void Clear() { m_errors.clear(); }

private:
    std::deque<Error> m_errors;
};

} // namespace pelmora::scpi
