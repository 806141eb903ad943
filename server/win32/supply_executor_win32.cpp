#include "server/supply_executor.h"
#include "server/supply_worker.h"

#include <asio/post.hpp>

namespace pelmora::server {

// A Windows port's overlapped transfers are the channel's own, so the loop cannot wait on it:
// the supply gets a thread.
std::unique_ptr<SupplyExecutor> MakeSupplyExecutor(asio::io_context& io, CSerialChannel& channel,
                                                   SupplyLine line, ByteTrace& trace,
                                                   ReturnWatch& watch,
                                                   SupplyExecutor::Events events) {
    return std::make_unique<SupplyWorker>(
        channel, std::move(line), trace, watch,
        [&io](std::function<void()> task) { asio::post(io, std::move(task)); }, std::move(events));
}

} // namespace pelmora::server
