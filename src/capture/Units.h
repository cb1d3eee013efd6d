#pragma once

#include <cstdint>
#include <string>

// Durations, sizes and rates as users write and read them: one reading of each for every
// option, setting and dialog that takes one.

// How long pictures are kept at most: ten years.
inline constexpr int64_t kMaxKeepSeconds = 3650LL * 24 * 3600;
// What a keep duration and a free size may be, for the texts that refuse one (German).
inline constexpr const char* kKeepValues =
    "eine Dauer wie 12h, 30d oder 365d bis 3650 Tage; eine Zahl allein sind Minuten";
inline constexpr const char* kFreeSizeValues =
    "eine Größe wie 500M oder 2G, 1 bis 999999 mit K, M, G oder T";

// A duration: a whole number (at most nine digits) with s, m, h or d after it (a plain
// number is minutes), at most max seconds; false when the text is none.
bool ParseDuration(const std::string& text, int64_t max, int64_t& seconds);
// A keep duration: more than nothing and at most kMaxKeepSeconds.
inline bool ParseKeepDuration(const std::string& text, int64_t& seconds) {
    int64_t value = 0;
    if (!ParseDuration(text, kMaxKeepSeconds, value) || value == 0)
        return false;
    seconds = value;
    return true;
}
// A free size: 1 to 999999 with K, M, G or T after it (powers of 1024); a plain number
// is bytes. False when the text is none.
bool ParseFreeSize(const std::string& text, uint64_t& bytes);

// A rate as "10.986 B/s", the thousands separated by full stops.
std::string BytesPerSecondText(int64_t rate);
