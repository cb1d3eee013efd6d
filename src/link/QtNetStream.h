#pragma once

#include "link/NetStream.h"

// Connections through QtNetwork's TCP socket in blocking use. A name is looked up on a
// thread of its own, so that a resolver that hangs costs no more than the time given.
class CQtNetConnector : public CNetConnector {
  public:
    std::unique_ptr<CNetStream> Connect(const CNetAddress& address, uint32_t ms, ENetRefusal& why,
                                        std::string& detail) override;
};
