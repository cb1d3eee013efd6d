#include "image/Bmp.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "image/Image.h"

namespace {

void PutLe32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<uint8_t>(v >> (8 * i));
    }
}

bool Fail(std::string* error, const std::string& what, int err) {
    if (error) {
        *error = what + (err ? std::string(": ") + std::strerror(err) : std::string());
    }
    return false;
}

// The process's file-creation mask, read without changing it (umask() would, for every
// thread at once).
mode_t CurrentUmask() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Umask:", 0) == 0) {
            return static_cast<mode_t>(std::stoul(line.substr(6), nullptr, 8));
        }
    }
    return 022;
}

bool WriteAll(int fd, const uint8_t* data, size_t size, int* err) {
    while (size > 0) {
        const ssize_t done = ::write(fd, data, size);
        if (done < 0) {
            if (errno == EINTR) {
                continue;
            }
            *err = errno;
            return false;
        }
        if (done == 0) {
            *err = EIO;
            return false;
        }
        data += done;
        size -= static_cast<size_t>(done);
    }
    return true;
}

}  // namespace

std::vector<uint8_t> BuildBmpFile(const CImage& image) {
    if (!image.HasBits()) {
        return {};
    }
    const size_t dataOffset = kBmpFileHeaderSize + image.BmiSize();
    const size_t fileSize = dataOffset + image.BitsSize();
    std::vector<uint8_t> file(fileSize);
    uint8_t* p = file.data();
    p[0] = 'B';
    p[1] = 'M';
    PutLe32(p + 2, static_cast<uint32_t>(fileSize));
    // bytes 6..9: two reserved 16-bit zeros
    PutLe32(p + 10, static_cast<uint32_t>(dataOffset));
    std::memcpy(p + kBmpFileHeaderSize, image.Bmi(), image.BmiSize());
    std::memcpy(p + dataOffset, image.Bits(), image.BitsSize());
    return file;
}

bool WriteBmpFileAtomic(const std::string& path, const CImage& image, std::string* error) {
    const std::vector<uint8_t> file = BuildBmpFile(image);
    if (file.empty()) {
        return Fail(error, "no image to write", 0);
    }
    namespace fs = std::filesystem;
    const fs::path target(path);
    if (target.filename().empty()) {
        return Fail(error, "no file name in " + path, 0);
    }
    const fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    std::string temp = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        return Fail(error, "cannot create a temporary file beside " + path, errno);
    }
    // mkstemp makes the file private; give it the mode a newly created file would get,
    // or the mode of the file it replaces.
    struct stat old {};
    const mode_t mode =
        ::stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : (0666 & ~CurrentUmask());
    int err = 0;
    bool ok = true;
    if (::fchmod(fd, mode) != 0) {
        err = errno;
        ok = false;
    }
    ok = ok && WriteAll(fd, file.data(), file.size(), &err);
    if (ok && ::fsync(fd) != 0) {
        err = errno;
        ok = false;
    }
    if (::close(fd) != 0 && ok) {
        err = errno;
        ok = false;
    }
    if (!ok) {
        ::unlink(temp.c_str());
        return Fail(error, "cannot write " + temp, err);
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        err = errno;
        ::unlink(temp.c_str());
        return Fail(error, "cannot replace " + path, err);
    }
    // Make the rename itself durable; a failure here no longer risks the file's content.
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}
