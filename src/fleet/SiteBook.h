#pragma once

#include <QByteArray>
#include <optional>
#include <string>
#include <vector>

#include "capture/FetchRequest.h"
#include "fleet/Target.h"

// How a site's module is reached.
enum class ESiteLink {
    kStored,  // as the settings say
    kModem,   // dialled through the modem at the site's number
    kCable,   // on the line itself, nothing dialled
};

// One site of the book: where its module is and what its pictures are. A value left open
// (0, empty, nullopt, kStored) is taken from the settings.
struct CSite {
    std::string m_sName;
    std::string m_sDescription;
    std::string m_sDevice;  // the line's device, in place of a port number
    int m_iCom = 0;         // the port number 1..9
    int m_iBaudrate = 0;
    std::string m_sNumber;  // the telephone number of the modem at the site
    ESiteLink m_eLink = ESiteLink::kStored;
    std::vector<int> m_channels;
    CRequestChanges m_picture;  // the picture's width, height, mode, colour, expert fields
    std::string m_sFolder;      // where its pictures go
    std::string m_sPattern;     // their names
    std::string m_sJournal;     // its journal, in its folder unless absolute
    // dark_below=, uniform_below=, frozen_after=, between= or daylight=
    CCheckChanges m_check;

    // Where it was read: the book's file and the line of its header.
    std::string m_sFile;
    int m_nLine = 0;

    // The values, without where they were read.
    bool SameValues(const CSite& other) const;
    // The folder of a capture: the site's own, else a folder named like the site.
    std::string CaptureFolder() const;
    // The journal of a capture: the site's own, else "journal.jsonl", in the folder (the
    // capture's folder unless one is given).
    std::string CaptureJournal(const std::string& folder = {}) const;
};

// An entry of a book that was skipped, and the problem that names it.
struct CSkippedEntry {
    std::string m_sName;
    std::string m_sFile;
    size_t m_nProblem = 0;  // its index in m_problems
};

// The book: the sites by name, and what was wrong in its files.
struct CSiteBook {
    std::vector<CSite> m_sites;  // in the order of the files and their lines
    // "FILE:LINE: ..." for every entry skipped, and every book that could not be read, in
    // German.
    std::vector<std::string> m_problems;
    std::vector<CSkippedEntry> m_skipped;

    const CSite* Find(const std::string& name) const;
};

// The user's book, in the folder of the user's settings (where the settings store puts
// an INI file of that name, found without opening it).
std::string UserSiteBookPath();
// The book for every user and for services that sites --system writes: in the first
// folder of XDG_CONFIG_DIRS (/etc/xdg unless set), beside the settings there.
std::string SystemSiteBookPath();
// The books for every user: that one, then the one in each further folder of
// XDG_CONFIG_DIRS, in their order.
std::vector<std::string> SystemSiteBookPaths();
// The user's book, then the system's.
std::vector<std::string> SiteBookPaths();
// Those paths for a message, separated by commas.
std::string SiteBookPathsText();

// Reads the books in this order; a name in an earlier book hides the same name in a later
// one. A missing book is an empty one; a book that is no regular file, or larger than
// kMaxTextFileBytes, is named and skipped. A bad entry (a name that is no site name or is
// given twice in one book, an unknown key, a bad value, an unsafe number, a channel out of
// range, a quote left open, a ";" outside quotes, a line longer than 64 KiB) is named with
// its file and line and skipped, with the entry of another book that counts in its place;
// the other entries work.
CSiteBook ReadSiteBooks(const std::vector<std::string>& files);
// Every book of SiteBookPaths.
CSiteBook ReadSiteBook();
// One book's text, read as the file named.
CSiteBook ParseSiteBook(const QByteArray& text, const std::string& file);

// Why the name cannot be a site's (German); empty when it can. A site name is also the
// name of its system service: letters, digits, "-", "_" and ".", not "all".
std::string SiteNameProblem(const std::string& name);

// Why the site cannot stand in a book as it is (German: its name's, a value's or the
// values' own reason, as reading the book would give it); empty when it can.
std::string SiteEntryProblem(const CSite& site);

// The text with the site's entry in place of the entries of its name, or added at the end
// after a blank line; every other line stays as it was. False, with the reason in German,
// when the site's values cannot be written so that they read back as they are.
bool SiteBookWith(const QByteArray& before, const CSite& site, QByteArray& after, std::string& why);
// The text without the entries of that name (each with the blank line before it); the
// other lines stay as they were. found tells whether there was one.
QByteArray SiteBookWithout(const QByteArray& before, const std::string& name, bool& found);

// The same on the book's file, under its lock, replaced only whole. False, with the reason
// in German in *error, when nothing was changed; found tells whether the name was there.
// A site with a problem (SiteEntryProblem) is refused before anything is touched.
bool StoreSite(const std::string& path, const CSite& site, std::string* error);
bool RemoveSite(const std::string& path, const std::string& name, bool& found, std::string* error);

// The time and result of the site's last journal line, when its journal is there (the
// journal as capture keeps it, relative names from the working folder, read as
// ReadJournal reads it); empty otherwise.
struct CLastCapture {
    std::string m_sTime;
    std::string m_sResult;
};
CLastCapture LastCapture(const CSite& site);

// Values that the book and pixlane-cli's options read alike.
// A whole decimal number within min..max.
bool ParseWholeNumber(const std::string& text, int min, int max, int& value);
// "all", or channels 1..8 separated by commas.
bool ParseChannelList(const std::string& text, std::vector<int>& channels);
// "OFFSET,BLOCKSIZE,BLOCKCOUNT", hexadecimal with at most 5, 2 and 4 digits.
bool ParseExpertFields(const std::string& text, std::string& offset, std::string& size,
                       std::string& count);
// The channels as the book writes them ("1,3,5").
std::string ChannelListText(const std::vector<int>& channels);
