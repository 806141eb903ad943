#include "server/posix/loop_supply_posix.h"
#include "server/supply_executor.h"

namespace pelmora::server {

std::unique_ptr<SupplyExecutor> MakeSupplyExecutor(asio::io_context& io, CSerialChannel& channel,
                                                   SupplyLine line, ByteTrace& trace,
                                                   ReturnWatch& watch,
                                                   SupplyExecutor::Events events) {
    return std::make_unique<LoopSupply>(io, channel, std::move(line), trace, watch,
                                        std::move(events));
}

} // namespace pelmora::server
