#pragma once

#include <cstddef>
#include <ctime>
#include <string>

// The name of a captured picture when nobody names one.
inline constexpr const char* kDefaultNamePattern = "pixlane-%Y%m%d-%H%M%S-k{channel}.bmp";

// What a name pattern fills in besides the time fields.
struct CNameFields {
    int m_iChannel = 0;
    int m_nWidth = 0;
    int m_nHeight = 0;
    int m_nSeq = 0;  // the picture's number in this run, from 1
};

// The longest name pattern: no file name is longer.
inline constexpr size_t kMaxNamePattern = 4096;

// A name pattern holds strftime fields (%Y, %m, %d, %H, %M, %S, ... in local time; %% is a
// percent sign) and {channel}, {width}, {height} and {seq} (four digits at least); folders
// are separated by "/". Why the pattern cannot name files, in German; empty when it can.
// A name holds no control characters and only UTF-8; its last part is no "." or "..".
// With insideFolder the names must stay inside the folder they are used in: no "/" at
// the start and no "..".
std::string NamePatternProblem(const std::string& pattern, bool insideFolder = false);

// Why a name that a pattern gave cannot be used, by the same rules; empty when it can
// (a time field may give what the pattern did not show, "..%p" giving "..").
std::string ExpandedNameProblem(const std::string& name, bool insideFolder);

// The file name the pattern gives for the fields at this (local) time; the pattern must
// have no problem.
std::string ExpandNamePattern(const std::string& pattern, const std::tm& when,
                              const CNameFields& fields);

// A regular expression (PCRE) of every name the pattern can give: its fixed text as it
// stands, each field as the text it can give (digits for the numbers, any text within a
// folder for the names of the locale), and the "-1", "-2", ... that a taken name gets
// before its extension. Names are matched whole, "/" between folders.
std::string NamePatternRegex(const std::string& pattern);

// Whether the folder can take the window's auto-saved pictures: a whole path, which names
// the same folder wherever the window was started.
bool IsAutoSaveFolder(const std::string& folder);
