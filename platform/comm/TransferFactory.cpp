#include "platform/comm/TransferFactory.h"

namespace zorv {

std::unique_ptr<TransferSession> MakeTransferSession(int protocol, TransferDirection direction,
                                                     const std::string& fileName) {
    // No engine is built in yet for any protocol.
    return nullptr;
}

}  // namespace zorv
