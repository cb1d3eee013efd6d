// The name pattern of a capture, as a person types it after -o or stores it for the
// window's auto-save: the leading bytes choose the time and the picture's fields, the rest
// is the pattern. A pattern that is accepted must name a file wherever and whenever it is
// used, and the numbered names that keep an existing file stay beside that name.
#include <climits>
#include <cstdint>
#include <ctime>
#include <string>

#include "capture/NamePattern.h"
#include "capture/TargetFile.h"
#include "fuzz/FuzzSupport.h"

namespace {

int Int32(CFuzzBytes& in) {
    const uint32_t high = in.Word();
    return static_cast<int>(static_cast<uint32_t>(high << 16 | in.Word()));
}

// A value of a broken-down time: any int, or one within the field's range as the C
// library hands it over.
int TimeField(CFuzzBytes& in, bool raw, int low, int high) {
    const int v = Int32(in);
    if (raw)
        return v;
    const int64_t span = int64_t{high} - low + 1;
    return static_cast<int>(low + (int64_t{v} - INT_MIN) % span);
}

std::tm AnyTime(CFuzzBytes& in) {
    const uint8_t how = in.Byte();
    const bool raw = (how & 1) != 0;
    std::tm t{};
    t.tm_sec = TimeField(in, raw, 0, 60);
    t.tm_min = TimeField(in, raw, 0, 59);
    t.tm_hour = TimeField(in, raw, 0, 23);
    t.tm_mday = TimeField(in, raw, 1, 31);
    t.tm_mon = TimeField(in, raw, 0, 11);
    t.tm_year = Int32(in);
    t.tm_wday = TimeField(in, raw, 0, 6);
    t.tm_yday = TimeField(in, raw, 0, 365);
    t.tm_isdst = TimeField(in, raw, -1, 1);
#if defined(__GLIBC__)
    // The zones a system names, and none.
    static const char* const kZones[] = {nullptr, "UTC", "CET", "CEST", "-03", "+0530"};
    t.tm_gmtoff = static_cast<long>(TimeField(in, raw, -26 * 3600, 26 * 3600));
    t.tm_zone = kZones[(how >> 1) % (sizeof kZones / sizeof kZones[0])];
#endif
    return t;
}

// The folder part of a name: up to and with its last "/".
std::string FolderOf(const std::string& name) {
    const size_t slash = name.rfind('/');
    return slash == std::string::npos ? std::string() : name.substr(0, slash + 1);
}

void CheckNumbered(const std::string& name, int n) {
    const std::string numbered = NumberedName(name, n);
    if (n <= 0) {
        FUZZ_CHECK(numbered == name);
        return;
    }
    FUZZ_CHECK(numbered != name);
    FUZZ_CHECK(FolderOf(numbered) == FolderOf(name));
    const std::string file = numbered.substr(FolderOf(numbered).size());
    FUZZ_CHECK(!file.empty() && file != "." && file != "..");
    FUZZ_CHECK(numbered.find('\0') == std::string::npos);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CFuzzBytes in(data, size);
    const std::tm when = AnyTime(in);
    CNameFields fields;
    fields.m_iChannel = Int32(in);
    fields.m_nWidth = Int32(in);
    fields.m_nHeight = Int32(in);
    fields.m_nSeq = Int32(in);
    const int n = static_cast<int16_t>(in.Word());
    const std::string pattern(reinterpret_cast<const char*>(in.Rest()), in.RestSize());

    const std::string problem = NamePatternProblem(pattern);
    if (!problem.empty())
        return 0;
    const std::string name = ExpandNamePattern(pattern, when, fields);
    FUZZ_CHECK(!name.empty());
    FUZZ_CHECK(name.find('\0') == std::string::npos);
    FUZZ_CHECK(name.back() != '/');
    // A relative pattern stays within the folder it is used in.
    FUZZ_CHECK((name[0] == '/') == (pattern[0] == '/'));
    // Every "{" of an accepted pattern is one of the picture's fields.
    FUZZ_CHECK(name.find('{') == std::string::npos);
    for (const int k : {0, 1, 2, 9999, n})
        CheckNumbered(name, k);
    return 0;
}
