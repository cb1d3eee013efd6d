#pragma once

// ser2net as the device server of a test or a benchmark: it serves one device (the
// simulated module's pseudo-terminal) on 127.0.0.1, speaking RFC 2217 or passing the
// bytes plainly, from a configuration written into a temporary folder. Linux only, as the
// pseudo-terminals are.

#include <signal.h>

#include <QByteArray>
#include <QFile>
#include <QHostAddress>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>
#include <atomic>
#include <cstdio>
#include <memory>
#include <string>

class CDeviceServer {
  public:
    enum class EMode { kRfc2217, kTcp };

    CDeviceServer() = default;
    CDeviceServer(const CDeviceServer&) = delete;
    CDeviceServer& operator=(const CDeviceServer&) = delete;
    ~CDeviceServer() { Stop(); }

    // The ser2net program; empty when the system has none.
    static QString Program() {
        const QString onPath = QStandardPaths::findExecutable(QStringLiteral("ser2net"));
        if (!onPath.isEmpty())
            return onPath;
        return QStandardPaths::findExecutable(QStringLiteral("ser2net"),
                                              {"/usr/sbin", "/usr/local/sbin", "/sbin"});
    }

    // Serves device in the mode, on a free port the first time and on the same port after
    // a Stop; options are further lines of the connection's options section ("chardelay:
    // false"). False, with the reason, when ser2net did not start listening.
    bool Start(const std::string& device, EMode mode, std::string* error = nullptr,
               const std::string& options = {}) {
        Stop();
        m_sDevice = device;
        m_eMode = mode;
        if (!m_dir.isValid())
            return Fail(error, "no temporary folder");
        if (Program().isEmpty())
            return Fail(error, "ser2net is not installed (scripts/setup.sh installs it)");
        const bool again = m_nPort != 0;
        for (int attempt = 0; attempt < 5; ++attempt) {
            if (!again)
                m_nPort = FreePort();
            if (Launch(options) && WaitListening())
                return true;
            Stop();
        }
        return Fail(error, "ser2net does not listen on port " + std::to_string(m_nPort) + ": " +
                               m_sLog.toStdString());
    }

    // Ends ser2net (and with it every connection it serves).
    void Stop() {
        if (m_pProcess) {
            m_pProcess->kill();
            m_pProcess->waitForFinished(5000);
            m_sLog += m_pProcess->readAll();
            m_pProcess.reset();
        }
        m_nPid = 0;
    }
    // Ends ser2net at once from any thread, as a crash or a pulled cable would; Stop on
    // the thread that started it afterwards.
    void KillNow() const {
        if (m_nPid > 0)
            ::kill(static_cast<pid_t>(m_nPid), SIGKILL);
    }

    int Port() const { return m_nPort; }
    std::string Address() const {
        return std::string(m_eMode == EMode::kRfc2217 ? "rfc2217" : "tcp") +
               "://127.0.0.1:" + std::to_string(m_nPort);
    }
    const QByteArray& Log() const { return m_sLog; }

    // A port on 127.0.0.1 that nothing listens on now.
    static int FreePort() {
        QTcpServer probe;
        if (!probe.listen(QHostAddress::LocalHost, 0))
            return 0;
        return probe.serverPort();
    }

  private:
    bool Fail(std::string* error, const std::string& why) const {
        if (error != nullptr)
            *error = why;
        return false;
    }
    bool Launch(const std::string& options) {
        const QString config = m_dir.filePath(QStringLiteral("ser2net.yaml"));
        QFile file(config);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return false;
        const std::string accepter =
            std::string(m_eMode == EMode::kRfc2217 ? "telnet(rfc2217)," : "") + "tcp,127.0.0.1," +
            std::to_string(m_nPort);
        std::string yaml = "connection: &pixlane\n  accepter: " + accepter +
                           "\n  connector: serialdev," + m_sDevice +
                           ",115200n81,local\n  options:\n    kickolduser: false\n";
        if (!options.empty())
            yaml += "    " + options + "\n";
        file.write(yaml.data(), static_cast<qint64>(yaml.size()));
        file.close();
        m_pProcess = std::make_unique<QProcess>();
        m_pProcess->setProcessChannelMode(QProcess::MergedChannels);
        m_pProcess->start(Program(),
                          {"-n", "-d", "-c", config, "-P", m_dir.filePath(QStringLiteral("pid"))});
        if (!m_pProcess->waitForStarted(5000))
            return false;
        m_nPid = m_pProcess->processId();
        return true;
    }
    // Whether the port is in the system's list of listening sockets.
    bool Listening() const {
        char local[32];
        std::snprintf(local, sizeof local, "0100007F:%04X", m_nPort);
        QFile tcp(QStringLiteral("/proc/net/tcp"));
        if (!tcp.open(QIODevice::ReadOnly))
            return false;
        for (const QByteArray& line : tcp.readAll().split('\n')) {
            const QList<QByteArray> fields = line.simplified().split(' ');
            if (fields.size() > 3 && fields[1] == local && fields[3] == "0A")
                return true;
        }
        return false;
    }
    bool WaitListening() {
        for (int i = 0; i < 250; ++i) {
            if (Listening())
                return true;
            if (m_pProcess->state() != QProcess::Running)
                break;
            QThread::msleep(20);
        }
        m_sLog += m_pProcess->readAll();
        return false;
    }

    QTemporaryDir m_dir;
    std::unique_ptr<QProcess> m_pProcess;
    std::string m_sDevice;
    EMode m_eMode = EMode::kRfc2217;
    int m_nPort = 0;
    std::atomic<qint64> m_nPid{0};
    QByteArray m_sLog;
};
