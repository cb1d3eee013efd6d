#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "image/PictureCheck.h"

// The capture journal: one JSON object a line, each appended whole; read from the end back,
// its rotated copies included. Journal.cpp names every field of a line, and no other file
// does: what is written goes through the events below, what is read comes as a CJournalEntry.

// One line of the capture journal: a picture attempt, or a dial, picture-parameter write
// or hang-up that failed.
struct CCaptureEvent {
    QDateTime m_time;      // when it began
    std::string m_sEvent;  // "picture", "dial", "params" or "hangup"
    int m_iChannel = 0;    // the camera channel; 0 for a dial or hang-up (null)
    int m_nWidth = 0;      // the picture settings of the capture
    int m_nHeight = 0;
    int m_iMode = 0;
    bool m_bColour = false;
    uint64_t m_nBytes = 0;  // bytes received on the line meanwhile
    double m_dSeconds = 0;  // how long it took, retries and their waits included
    int m_nTries = 0;
    // "ok", "refused", "broken" (a check byte or length was wrong), "stopped" (broken off
    // on request), "failed", or "latest_failed" (the picture was saved, its latest copy not)
    std::string m_sResult;
    std::string m_sFile;     // the absolute path of the saved picture, or empty
    std::string m_sMessage;  // the German text shown, or empty
    std::string m_sModem;    // the modem's own word that failed a dial ("BUSY"), or empty
    std::string m_sSite;     // the site of the book it was for, or empty
    // The check of a picture kept: its verdict, mean, spread and hash; nothing when the
    // picture was not checked.
    std::optional<CPictureVerdict> m_check;
};

// The event as one JSON object on one line, ended by "\n".
QByteArray JournalLine(const CCaptureEvent& event);

// Appends the event's line to the journal file whole or not at all, so that the file
// never holds a broken line; missing folders are created. On failure the reason (German)
// goes to *error.
bool AppendJournal(const std::string& path, const CCaptureEvent& event, std::string* error);

// The line of a whole capture round.
struct CRoundEvent {
    QDateTime m_time;              // when the round began
    std::string m_sDevice;         // the device of the line it used
    std::string m_sSite;           // the site of the book it was for, or empty
    double m_dDialSeconds = 0;     // the dial, both tries; 0 without one
    double m_dOffHookSeconds = 0;  // from the first dial command to the hang-up; 0 for a cable
    int m_nPicturesOk = 0;
    int m_nPicturesFailed = 0;
    uint64_t m_nBytes = 0;  // bytes received on the line in the whole round
    // "ok" (every picture kept, the hang-up confirmed), "partial", "failed" (no picture
    // kept) or "stopped" (ended early on request)
    std::string m_sResult;
};

QByteArray JournalLine(const CRoundEvent& event);
bool AppendJournal(const std::string& path, const CRoundEvent& event, std::string* error);

// Hands the whole lines of a journal to take, newest first, from the journal itself and
// then from its rotated copies (path.1, path.2.gz, ...; compressed ones when this build
// reads gzip), until take returns false. A last line without its line break is handed
// like the others: one being written at this moment is the beginning of a JSON object,
// which no reader takes for one. Only regular files are read, bounded (see InputFile.h):
// a line longer than 64 KiB is skipped. False, with the reason (German), when the journal
// cannot be read, or when a rotated copy could not (named, and the older ones read).
// A line is valid until take returns.
bool ReadJournalBackwards(const std::string& path, const std::function<bool(QByteArrayView)>& take,
                          std::string* error);

// One line of a journal as read: the fields its readers use (the status page, retention,
// the sites dialog). The texts point into the line, or into the entry's own copies when
// the line had to be parsed whole; they are valid while both the entry and the line live.
struct CJournalEntry {
    CJournalEntry() = default;
    // A copy's texts would point into the original's copies.
    CJournalEntry(const CJournalEntry&) = delete;
    CJournalEntry& operator=(const CJournalEntry&) = delete;

    std::string_view m_time, m_event, m_result, m_site, m_message, m_file;
    std::string_view m_device;  // the line a round used
    // A checked picture's verdict ("ok", "dark", ...) and hash (16 hex digits); empty when
    // the line has none.
    std::string_view m_check, m_hash;
    int m_iChannel = 0;  // 0 unless a whole number
    double m_dBytes = 0, m_dSeconds = 0, m_dRate = 0, m_dOffhook = 0;
    double m_dMean = 0, m_dSpread = 0;

    // The line's time in seconds since 1970; false when it is no time. Read directly in
    // the form capture writes, any other form through QDateTime.
    bool Epoch(qint64& epoch) const;
    QDateTime Time() const;

    // A picture line whose picture was kept.
    bool IsGoodPicture() const;
    // The check of the line; Ok when it has none or an unknown word.
    EPictureCheck Check() const;

    std::string m_own[9];  // the texts of a line parsed whole
};

// The entry of one line; false when the line is no JSON object. A line as capture writes
// it (strings, numbers, true, false and null without escapes) is scanned for the fields
// alone, any other through QJsonDocument: the same entry either way.
bool ParseJournalLine(QByteArrayView line, CJournalEntry& entry);

// Hands the journal's lines to take as ReadJournalBackwards does, each as its entry; a line
// that is no JSON object (one being written at this moment, say) as null.
using CJournalTake = std::function<bool(const CJournalEntry* entry)>;
bool ReadJournal(const std::string& path, const CJournalTake& take, std::string* error);

// The hashes of the newest good pictures of the site's channel in the journal (lines
// naming another site, or none when a site is given, are passed over), newest first, at
// most count of them. A good picture without a hash ends them: what came before it is no
// run of the same picture. At most kMaxHashLines lines are read. False with the reason
// (German) when the journal could not be read; a journal that is not there has none.
inline constexpr int kMaxHashLines = 20000;
bool RecentPictureHashes(const std::string& path, const std::string& site, int channel, int count,
                         std::vector<uint64_t>& hashes, std::string* error);
