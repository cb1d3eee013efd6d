#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

struct CNetAddress;

// What a wait for bytes of a connection brought.
enum class ENetWait {
    kData,    // bytes arrived
    kQuiet,   // nothing within the time given
    kClosed,  // the far end closed the connection, or it broke
};

// One open TCP connection, used blocking on the calling thread. Times are given in
// milliseconds by the caller, who measures them on its own clock.
class CNetStream {
  public:
    virtual ~CNetStream() = default;
    // Sends the bytes, waiting up to ms for them to leave; sent tells how many did. False
    // when the connection broke.
    virtual bool Send(const char* data, size_t n, uint32_t ms, size_t& sent) = 0;
    // Appends to into what has arrived, waiting up to ms when nothing has. Bytes that came
    // before the far end closed are handed out first; kClosed comes after them.
    virtual ENetWait Receive(std::string& into, uint32_t ms) = 0;
};

// Why a connection could not be made.
enum class ENetRefusal {
    kNone,
    kRefused,      // nothing listens there, or the server turned the connection away
    kUnknownHost,  // the name does not resolve
    kTimedOut,     // no answer within the time given (the name's lookup included)
    kUnreachable,  // no route to that network or host
    kOther,
};

// Makes connections.
class CNetConnector {
  public:
    virtual ~CNetConnector() = default;
    // Connects within ms (looking the name up included); null, with the cause, when it
    // cannot. detail receives the system's own words for the trace.
    virtual std::unique_ptr<CNetStream> Connect(const CNetAddress& address, uint32_t ms,
                                                ENetRefusal& why, std::string& detail) = 0;
};
