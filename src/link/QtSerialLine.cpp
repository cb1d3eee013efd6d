#include "link/QtSerialLine.h"

#include <QSerialPort>
#include <chrono>
#include <cstdlib>

#include "link/Clock.h"
#include "link/Trace.h"
#include "platform/SerialPorts.h"

namespace {
using SteadyClock = std::chrono::steady_clock;

// Whole milliseconds to the deadline, rounded up so that a wait never ends before it.
int RemainingMs(SteadyClock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - SteadyClock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}
}  // namespace

CQtSerialLine::~CQtSerialLine() {
    if (m_pPort != nullptr && m_pPort->isOpen())
        m_pPort->close();
}

std::unique_ptr<CQtSerialLine> CQtSerialLine::OpenDevice(const std::string& device,
                                                         std::string* error, bool* busy,
                                                         CSerialDriver* driver) {
    if (busy != nullptr)
        *busy = false;
    std::unique_ptr<CQtSerialLine> line(new CQtSerialLine);
    line->m_pPort = std::make_unique<QSerialPort>();
    line->m_sDevice = device;
    line->m_pPort->setPortName(QString::fromStdString(device));
    if (!line->m_pPort->open(QIODevice::ReadWrite)) {
        if (error != nullptr)
            *error = line->m_pPort->errorString().toStdString();
        PixTrace("open %s: %s", device.c_str(), line->m_pPort->errorString().toUtf8().constData());
        if (busy != nullptr)
            *busy =
                line->m_pPort->error() != QSerialPort::DeviceNotFoundError &&
                SerialDeviceHeld(device, line->m_pPort->error() == QSerialPort::PermissionError);
        return nullptr;
    }
    const intptr_t native = NativeLine(line->m_pPort->handle());
    if (!LockSerialLine(native)) {
        if (error != nullptr)
            *error = "device busy";
        PixTrace("open %s: device busy", device.c_str());
        if (busy != nullptr)
            *busy = true;
        line->m_pPort->close();
        return nullptr;
    }
    // Without it the adapter's timer holds up the end of every block; a device that does
    // not offer it is used as it is.
    if (!RequestLowLatency(native, driver))
        PixTrace("open %s: no low latency", device.c_str());
    return line;
}

bool CQtSerialLine::GetState(CLineState& state) {
    state.m_nBaudRate = static_cast<uint32_t>(m_pPort->baudRate());
    state.m_nByteSize = static_cast<uint8_t>(m_pPort->dataBits());
    switch (m_pPort->parity()) {
        case QSerialPort::EvenParity:
            state.m_nParity = CLineState::kEvenParity;
            break;
        default:
            state.m_nParity = CLineState::kNoParity;
            break;
    }
    switch (m_pPort->stopBits()) {
        case QSerialPort::OneAndHalfStop:
            state.m_nStopBits = CLineState::kOne5StopBits;
            break;
        case QSerialPort::TwoStop:
            state.m_nStopBits = CLineState::kTwoStopBits;
            break;
        default:
            state.m_nStopBits = CLineState::kOneStopBit;
            break;
    }
    state.m_nRtsControl = m_nRtsControl;
    return true;
}

bool CQtSerialLine::SetState(const CLineState& state) {
    bool ok = m_pPort->setBaudRate(static_cast<qint32>(state.m_nBaudRate));
    if (state.m_nByteSize >= 5 && state.m_nByteSize <= 8) {
        ok = m_pPort->setDataBits(static_cast<QSerialPort::DataBits>(state.m_nByteSize)) && ok;
    } else {
        ok = false;
    }
    ok = m_pPort->setParity(state.m_nParity == CLineState::kEvenParity ? QSerialPort::EvenParity
                                                                       : QSerialPort::NoParity) &&
         ok;
    QSerialPort::StopBits stop = QSerialPort::OneStop;
    if (state.m_nStopBits == CLineState::kOne5StopBits)
        stop = QSerialPort::OneAndHalfStop;
    if (state.m_nStopBits == CLineState::kTwoStopBits)
        stop = QSerialPort::TwoStop;
    // Where the system offers one or two stop bits only, the serial back end would quietly
    // take one and a half as one.
    if (stop == QSerialPort::OneAndHalfStop && !OffersOneAndHalfStopBits()) {
        PixTrace("stop bits %d not offered, using two", state.m_nStopBits);
        stop = QSerialPort::TwoStop;
    }
    if (!m_pPort->setStopBits(stop)) {
        // One and a half stop bits exist only on some drivers; two is the nearest.
        PixTrace("stop bits %d not offered, using two", state.m_nStopBits);
        ok = m_pPort->setStopBits(QSerialPort::TwoStop) && ok;
    }
    // Only the RTS line is set; output never waits for CTS. Neither Qt nor termios offers
    // a handshake on RTS alone: hardware flow control would also hold every write back
    // until CTS comes, and on a cable without CTS nothing would leave. The RTS handshake
    // keeps RTS asserted while the port is open, since the driver's input buffer is
    // always ready to take bytes; toggling RTS around writes is not offered either, so
    // that mode asserts it too.
    ok = m_pPort->setFlowControl(QSerialPort::NoFlowControl) && ok;
    if (state.m_nRtsControl == CLineState::kRtsToggle)
        PixTrace("RTS toggle not offered by the serial back end, using RTS on");
    // A pseudo-terminal has no modem-control lines: a refused RTS is no failure.
    if (!m_pPort->setRequestToSend(state.m_nRtsControl != CLineState::kRtsDisable)) {
        PixTrace("RTS line not settable on this device");
        m_pPort->clearError();
    }
    m_nRtsControl = state.m_nRtsControl;
    return ok;
}

bool CQtSerialLine::GetTimeouts(CLineTimeouts& timeouts) {
    timeouts = m_timeouts;
    return true;
}

bool CQtSerialLine::SetTimeouts(const CLineTimeouts& timeouts) {
    m_timeouts = timeouts;
    return true;
}

bool CQtSerialLine::CheckGone(int error) {
    if (m_bGone)
        return true;
    m_bGone = SerialLineGone(
        NativeLine(m_pPort->handle()), m_sDevice,
        error == QSerialPort::ResourceError || error == QSerialPort::DeviceNotFoundError);
    if (m_bGone)
        PixTrace("line %s gone", m_sDevice.c_str());
    return m_bGone;
}

bool CQtSerialLine::Write(const uint8_t* data, size_t n, size_t& written) {
    written = 0;
    if (m_bGone)
        return false;
    const auto limit = std::chrono::milliseconds(uint64_t{m_timeouts.m_nWriteConstant} +
                                                 uint64_t{m_timeouts.m_nWriteMultiplier} * n);
    const auto deadline = SteadyClock::now() + limit;
    const qint64 queued = m_pPort->write(reinterpret_cast<const char*>(data), qint64(n));
    if (queued < 0) {
        CheckGone(m_pPort->error());
        return false;
    }
    while (m_pPort->bytesToWrite() > 0) {
        const int left = RemainingMs(deadline);
        if (left == 0)
            break;
        if (!m_pPort->waitForBytesWritten(left)) {
            const QSerialPort::SerialPortError error = m_pPort->error();
            if (error != QSerialPort::TimeoutError && error != QSerialPort::NoError) {
                PixTrace("write: %s", m_pPort->errorString().toUtf8().constData());
                m_pPort->clearError();
                if (CheckGone(error)) {
                    m_pPort->clear(QSerialPort::Output);
                    return false;
                }
            }
            break;
        }
    }
    const qint64 pending = m_pPort->bytesToWrite();
    written = static_cast<size_t>(queued - pending);
    if (pending > 0) {
        // What could not go out within the time-out is dropped, as a driver would.
        m_pPort->clear(QSerialPort::Output);
    }
    return true;
}

bool CQtSerialLine::Read(uint8_t* buf, size_t n, size_t& received) {
    received = 0;
    if (m_bGone)
        return false;
    const auto limit = std::chrono::milliseconds(uint64_t{m_timeouts.m_nReadConstant} +
                                                 uint64_t{m_timeouts.m_nReadMultiplier} * n);
    const auto deadline = SteadyClock::now() + limit;
    while (received < n) {
        const qint64 got =
            m_pPort->read(reinterpret_cast<char*>(buf) + received, qint64(n - received));
        if (got < 0) {
            CheckGone(m_pPort->error());
            return false;
        }
        received += static_cast<size_t>(got);
        if (received >= n)
            break;
        const int left = RemainingMs(deadline);
        if (left == 0)
            break;
        if (!m_pPort->waitForReadyRead(left)) {
            const QSerialPort::SerialPortError error = m_pPort->error();
            const bool failed = error != QSerialPort::TimeoutError && error != QSerialPort::NoError;
            if (failed)
                PixTrace("read: %s", m_pPort->errorString().toUtf8().constData());
            m_pPort->clearError();
            if (failed) {
                if (CheckGone(error))
                    return false;
                // Any other failure of the line reads as silence until the time-out.
                CSystemClock().Sleep(static_cast<uint32_t>(RemainingMs(deadline)));
                break;
            }
        }
    }
    return true;
}

bool CQtSerialLine::Purge(int directions) {
    if (m_bGone)
        return false;
    if (m_pPort->clear(static_cast<QSerialPort::Directions>(directions)))
        return true;
    CheckGone(m_pPort->error());
    return false;
}

bool CQtSerialLine::PurgeRx() {
    return Purge(QSerialPort::Input);
}

bool CQtSerialLine::PurgeTx() {
    return Purge(QSerialPort::Output);
}

bool CQtSerialLine::SetDataTerminalReady(bool on) {
    if (m_pPort->setDataTerminalReady(on))
        return true;
    // A pseudo-terminal has no modem-control lines.
    PixTrace("DTR line not settable on this device");
    m_pPort->clearError();
    return false;
}

std::unique_ptr<CSerialLine> CQtLineFactory::OpenLine(const CLineAddress& address) {
    return CQtSerialLine::OpenDevice(address.DeviceName(), nullptr, &m_bBusy);
}
