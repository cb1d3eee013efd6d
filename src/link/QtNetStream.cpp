#include "link/QtNetStream.h"

#include <QHostAddress>
#include <QHostInfo>
#include <QList>
#include <QTcpSocket>
#include <algorithm>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "link/NetAddress.h"
#include "platform/Sockets.h"

namespace {

using SteadyClock = std::chrono::steady_clock;

// Whole milliseconds to the deadline, rounded up so that a wait never ends before it.
int RemainingMs(SteadyClock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - SteadyClock::now());
    return left.count() > 0 ? static_cast<int>(std::min<int64_t>(left.count(), INT_MAX)) : 0;
}

class CQtNetStream : public CNetStream {
  public:
    explicit CQtNetStream(std::unique_ptr<QTcpSocket> socket) : m_pSocket(std::move(socket)) {}
    ~CQtNetStream() override {
        // Everything sent has left (Send waits for it): the connection ends at once, with
        // the far end told; whatever could not leave is dropped.
        m_pSocket->disconnectFromHost();
        if (m_pSocket->state() != QAbstractSocket::UnconnectedState)
            m_pSocket->abort();
    }

    bool Send(const char* data, size_t n, uint32_t ms, size_t& sent) override {
        sent = 0;
        if (m_pSocket->state() != QAbstractSocket::ConnectedState)
            return false;
        const auto deadline = SteadyClock::now() + std::chrono::milliseconds(ms);
        const qint64 queued = m_pSocket->write(data, static_cast<qint64>(n));
        if (queued < 0)
            return false;
        // The socket hands the bytes to the system only while it waits: at least one
        // turn, if only to give the system what it takes at once.
        for (bool first = true; m_pSocket->bytesToWrite() > 0; first = false) {
            const int left = RemainingMs(deadline);
            if (left == 0 && !first)
                break;
            if (!m_pSocket->waitForBytesWritten(left)) {
                if (m_pSocket->state() != QAbstractSocket::ConnectedState)
                    return false;
                break;
            }
        }
        sent = static_cast<size_t>(queued - m_pSocket->bytesToWrite());
        return true;
    }

    ENetWait Receive(std::string& into, uint32_t ms) override {
        if (m_pSocket->bytesAvailable() == 0) {
            if (m_pSocket->state() != QAbstractSocket::ConnectedState)
                return ENetWait::kClosed;
            const int wait = static_cast<int>(std::min<uint32_t>(ms, INT_MAX));
            if (!m_pSocket->waitForReadyRead(wait) && m_pSocket->bytesAvailable() == 0)
                return m_pSocket->state() == QAbstractSocket::ConnectedState ? ENetWait::kQuiet
                                                                             : ENetWait::kClosed;
        }
        const QByteArray bytes = m_pSocket->readAll();
        into.append(bytes.constData(), static_cast<size_t>(bytes.size()));
        RequestQuickAck(m_pSocket->socketDescriptor());
        return bytes.isEmpty() ? ENetWait::kQuiet : ENetWait::kData;
    }

  private:
    std::unique_ptr<QTcpSocket> m_pSocket;
};

// The addresses of a name, looked up on a thread of its own: a resolver that does not
// answer is left to finish by itself once the deadline has passed.
bool Lookup(const std::string& host, SteadyClock::time_point deadline, QList<QHostAddress>& out,
            ENetRefusal& why, std::string& detail) {
    struct CLookup {
        std::mutex m_mutex;
        std::condition_variable m_done;
        bool m_bDone = false;
        QHostInfo m_info;
    };
    auto lookup = std::make_shared<CLookup>();
    std::thread([lookup, name = QString::fromStdString(host)] {
        QHostInfo info = QHostInfo::fromName(name);
        const std::lock_guard<std::mutex> lock(lookup->m_mutex);
        lookup->m_info = std::move(info);
        lookup->m_bDone = true;
        lookup->m_done.notify_all();
    }).detach();
    std::unique_lock<std::mutex> lock(lookup->m_mutex);
    if (!lookup->m_done.wait_until(lock, deadline, [&lookup] { return lookup->m_bDone; })) {
        why = ENetRefusal::kTimedOut;
        detail = "name lookup timed out";
        return false;
    }
    if (lookup->m_info.error() != QHostInfo::NoError || lookup->m_info.addresses().isEmpty()) {
        why = ENetRefusal::kUnknownHost;
        detail = lookup->m_info.errorString().toStdString();
        return false;
    }
    out = lookup->m_info.addresses();
    return true;
}

ENetRefusal RefusalOf(QAbstractSocket::SocketError error) {
    switch (error) {
        case QAbstractSocket::ConnectionRefusedError:
            return ENetRefusal::kRefused;
        case QAbstractSocket::SocketTimeoutError:
            return ENetRefusal::kTimedOut;
        case QAbstractSocket::NetworkError:
            return ENetRefusal::kUnreachable;
        case QAbstractSocket::HostNotFoundError:
            return ENetRefusal::kUnknownHost;
        default:
            return ENetRefusal::kOther;
    }
}

}  // namespace

std::unique_ptr<CNetStream> CQtNetConnector::Connect(const CNetAddress& address, uint32_t ms,
                                                     ENetRefusal& why, std::string& detail) {
    why = ENetRefusal::kNone;
    detail.clear();
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(ms);
    QList<QHostAddress> addresses;
    QHostAddress literal;
    if (literal.setAddress(QString::fromStdString(address.m_sHost)))
        addresses.append(literal);
    else if (!Lookup(address.m_sHost, deadline, addresses, why, detail))
        return nullptr;
    // A name may stand for several addresses (IPv6 and IPv4): each is tried in turn.
    why = ENetRefusal::kTimedOut;
    for (const QHostAddress& a : addresses) {
        const int left = RemainingMs(deadline);
        if (left == 0) {
            why = ENetRefusal::kTimedOut;
            break;
        }
        auto socket = std::make_unique<QTcpSocket>();
        socket->connectToHost(a, address.m_nPort);
        if (socket->waitForConnected(left)) {
            // Every acknowledgement goes out at once rather than waiting for more to send.
            socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
            socket->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
            return std::make_unique<CQtNetStream>(std::move(socket));
        }
        why = RefusalOf(socket->error());
        detail = a.toString().toStdString() + ": " + socket->errorString().toStdString();
        socket->abort();
    }
    return nullptr;
}
