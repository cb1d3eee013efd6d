#include "capture/InputFile.h"

#include <QString>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#if PIXLANE_HAVE_ZLIB
#include <zlib.h>
#endif

#include "platform/ErrorText.h"
#include "platform/Files.h"

namespace {

// What is read at once, backwards or forwards.
constexpr qint64 kBlock = 64 * 1024;
// What a compressed file expands into at once.
constexpr qsizetype kExpandChunk = 1 << 20;

bool Fail(std::string* why, const std::string& text) {
    if (why != nullptr)
        *why = text;
    return false;
}

std::string SizeText(qint64 bytes) {
    return bytes % (1 << 20) == 0 ? std::to_string(bytes >> 20) + " MiB"
                                  : std::to_string(bytes) + " Bytes";
}

// ---- lines from the end back ----

// The lines of blocks handed from the file's end towards its beginning, each line once
// and whole, the last first. A line within a block is handed where it lies; only one that
// spans blocks is copied, once, when its beginning is read: its end waits in pieces until
// then, and is given up as soon as it is longer than a line may be.
class CBackwardLines {
  public:
    explicit CBackwardLines(const CLineTake& take) : m_take(take) {}

    // The block before the bytes handed so far; false once take wants no more. The block
    // stays as it is until the next one is handed.
    bool Prepend(const char* data, qsizetype size) {
        qsizetype end = size;
        for (qsizetype nl; (nl = LastBreak(data, end)) >= 0; end = nl)
            if (!Hand(data + nl + 1, end - nl - 1))
                return false;
        Keep(data, end);
        return true;
    }
    // The file's first line.
    bool Finish() { return Hand(nullptr, 0); }

  private:
    static qsizetype LastBreak(const char* data, qsizetype end) {
        const char* nl = end > 0 ? LastByteOf(data, static_cast<size_t>(end), '\n') : nullptr;
        return nl == nullptr ? -1 : nl - data;
    }
    void Keep(const char* data, qsizetype size) {
        if (size == 0 || m_bOverlong)
            return;
        if (m_nWaiting + size > kMaxLineBytes) {
            m_bOverlong = true;
            m_waiting.clear();
            m_nWaiting = 0;
            return;
        }
        m_waiting.emplace_back(data, size);
        m_nWaiting += size;
    }
    // The line that begins with these bytes and goes on with those waiting.
    bool Hand(const char* data, qsizetype size) {
        const bool overlong = m_bOverlong || m_nWaiting + size > kMaxLineBytes;
        QByteArrayView line(data, size);
        if (!overlong && !m_waiting.empty()) {
            // The joined line's room is used again for the next one that spans blocks.
            m_joined.resize(0);
            m_joined.reserve(size + m_nWaiting);
            m_joined.append(data, size);
            for (auto it = m_waiting.rbegin(); it != m_waiting.rend(); ++it)
                m_joined.append(*it);
            line = m_joined;
        }
        m_waiting.clear();
        m_nWaiting = 0;
        m_bOverlong = false;
        if (overlong || line.isEmpty())
            return true;
        return m_take(line);
    }

    const CLineTake& m_take;
    std::vector<QByteArray> m_waiting;  // the latest read first
    qsizetype m_nWaiting = 0;
    bool m_bOverlong = false;
    QByteArray m_joined;  // a line that spans blocks, put together
};

#if PIXLANE_HAVE_ZLIB
// The whole expansion of a gzip file (members one after the other), in chunks.
bool Expand(CInputFile& file, std::vector<QByteArray>& chunks, std::string* why) {
    z_stream z{};
    if (::inflateInit2(&z, 16 + MAX_WBITS) != Z_OK)
        return Fail(why, "nicht lesbar: " + SystemErrorText(ENOMEM));
    struct CEnd {
        z_stream& m_z;
        ~CEnd() { ::inflateEnd(&m_z); }
    } end{z};
    QByteArray input;
    qint64 total = 0;
    bool ended = false;  // the last member is complete
    for (;;) {
        if (z.avail_in == 0) {
            if (!file.ReadOn(kBlock, input, why))
                return false;
            if (input.isEmpty())
                break;
            z.next_in = reinterpret_cast<Bytef*>(input.data());
            z.avail_in = static_cast<uInt>(input.size());
        }
        if (ended) {
            ::inflateReset(&z);
            ended = false;
        }
        if (chunks.empty() || chunks.back().size() == kExpandChunk) {
            chunks.emplace_back();
            chunks.back().reserve(kExpandChunk);
        }
        QByteArray& out = chunks.back();
        const qsizetype used = out.size();
        out.resize(kExpandChunk);
        z.next_out = reinterpret_cast<Bytef*>(out.data() + used);
        z.avail_out = static_cast<uInt>(kExpandChunk - used);
        const int result = ::inflate(&z, Z_NO_FLUSH);
        const qsizetype made = kExpandChunk - used - static_cast<qsizetype>(z.avail_out);
        out.resize(used + made);
        total += made;
        if (total > kMaxExpandedBytes)
            return Fail(why, "wird entpackt größer als " + SizeText(kMaxExpandedBytes));
        if (result == Z_STREAM_END)
            ended = true;
        // Without progress it waits for input (read above) or room (the next chunk).
        else if (result != Z_OK &&
                 !(result == Z_BUF_ERROR && (z.avail_in == 0 || z.avail_out == 0)))
            return Fail(why, "ist beschädigt (kein gültiges gzip)");
    }
    if (!ended)
        return Fail(why, "ist unvollständig (das gzip endet vorzeitig)");
    if (!chunks.empty() && chunks.back().isEmpty())
        chunks.pop_back();
    return true;
}
#endif

}  // namespace

bool CInputFile::Open(const std::string& path, std::string* why) {
    m_bMissing = false;
    m_file.close();
    const int fd = OpenForReading(path);
    if (fd < 0) {
        const int reason = errno;
        if (reason == ENOENT) {
            m_bMissing = true;
            return Fail(why, "nicht gefunden");
        }
        if (const std::string kind = PathNotAFileText(path); !kind.empty())
            return Fail(why, kind);
        return Fail(why, "nicht lesbar: " + SystemErrorText(reason));
    }
    if (const std::string kind = NotAFileText(fd); !kind.empty()) {
        CloseFile(fd);
        return Fail(why, kind);
    }
    if (!m_file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        CloseFile(fd);
        return Fail(why, "nicht lesbar");
    }
    return true;
}

bool CInputFile::ReadAt(qint64 pos, qint64 n, QByteArray& bytes, std::string* why) {
    bytes.resize(n);
    if (!m_file.seek(pos) || m_file.read(bytes.data(), n) != n)
        return Fail(why, m_file.error() == QFileDevice::NoError
                             ? std::string("wurde beim Lesen kürzer")
                             : "nicht lesbar: " + m_file.errorString().toStdString());
    return true;
}

bool CInputFile::ReadOn(qint64 n, QByteArray& bytes, std::string* why) {
    bytes.resize(n);
    const qint64 got = m_file.read(bytes.data(), n);
    if (got < 0)
        return Fail(why, "nicht lesbar: " + m_file.errorString().toStdString());
    bytes.resize(got);
    return true;
}

EInput ReadInputFile(const std::string& path, qint64 limit, QByteArray& bytes, std::string* why) {
    bytes.clear();
    CInputFile file;
    if (!file.Open(path, why))
        return file.Missing() ? EInput::kMissing : EInput::kRefused;
    if (file.Size() > limit) {
        Fail(why, "ist größer als " + SizeText(limit));
        return EInput::kRefused;
    }
    return file.ReadAt(0, file.Size(), bytes, why) ? EInput::kRead : EInput::kRefused;
}

bool ReadLinesBackwards(const std::string& path, const CLineTake& take, bool& more,
                        std::string* why) {
    more = true;
    CInputFile file;
    if (!file.Open(path, why))
        return false;
    qint64 pos = file.Size();
    QByteArray block;
    CBackwardLines lines(take);
    while (pos > 0) {
        const qint64 n = std::min(pos, kBlock);
        pos -= n;
        if (!file.ReadAt(pos, n, block, why))
            return false;
        if (!lines.Prepend(block.constData(), block.size())) {
            more = false;
            return true;
        }
    }
    more = lines.Finish();
    return true;
}

bool ReadGzipLinesBackwards(const std::string& path, const CLineTake& take, bool& more,
                            std::string* why) {
    more = true;
#if PIXLANE_HAVE_ZLIB
    CInputFile file;
    if (!file.Open(path, why))
        return false;
    std::vector<QByteArray> chunks;
    if (!Expand(file, chunks, why))
        return false;
    CBackwardLines lines(take);
    for (auto it = chunks.rbegin(); it != chunks.rend(); ++it) {
        if (!lines.Prepend(it->constData(), it->size())) {
            more = false;
            return true;
        }
        *it = QByteArray();
    }
    more = lines.Finish();
    return true;
#else
    (void)path;
    (void)take;
    return Fail(why, "ist gepackt; dieses Programm liest kein gzip");
#endif
}
