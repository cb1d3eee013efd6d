#pragma once

// Small helpers the whole-fetch benchmarks share.

#include <sys/resource.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "image/Image.h"
#include "sim/PtySimServer.h"
#include "sim/TestPicture.h"

namespace bench {

constexpr int kBlockSize = 180;

// What the module puts on the line for a fetch of this many standard blocks: acceptance
// and "i,", then per block the length, the data and the check byte.
inline uint64_t ModuleBytes(int blocks) {
    return 8 + uint64_t(blocks) * (2 + kBlockSize + 1);
}

inline double CpuSeconds() {
    rusage ru{};
    ::getrusage(RUSAGE_SELF, &ru);
    return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

inline double Median(std::vector<double> v) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Pixels of the fetched grey image that differ from the picture the module sent.
inline int WrongPixels(const CImage& img, const CGreyPicture& pic) {
    if (img.Width() != pic.m_nWidth || img.Height() != pic.m_nHeight || !img.HasBits())
        return pic.m_nWidth * pic.m_nHeight;
    int wrong = 0;
    for (int y = 0; y < pic.m_nHeight; ++y) {
        const uint8_t* row = img.Bits() + size_t(img.Height() - 1 - y) * size_t(img.Width());
        for (int x = 0; x < pic.m_nWidth; ++x)
            wrong += row[x] != pic.At(x, y);
    }
    return wrong;
}

// Serves the peer on a pseudo-terminal and points the port's environment variable at it;
// false, with the reason printed, when there is no pseudo-terminal.
inline bool ServeOnPty(CPtySimServer& server, CSimPeer& peer, const char* portVariable) {
    std::string device;
    std::string error;
    if (!server.Start(peer, device, &error)) {
        std::printf("  pseudo-terminal: %s\n", error.c_str());
        return false;
    }
    ::setenv(portVariable, device.c_str(), 1);
    return true;
}

}  // namespace bench
