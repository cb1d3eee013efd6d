#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

// The system's own calls for files and folders, one implementation per system. A call
// that fails leaves its reason in errno (on Windows the nearest errno to the system's
// code), so that SystemErrorText names it.

// ---- reading ----

// Opens the file for reading without waiting: a FIFO opens at once, with or without a
// writer, and a terminal does not become the controlling one. -1 when it cannot be opened.
int OpenForReading(const std::string& path);
// Why the open descriptor is not a regular file ("ist keine Datei, sondern ein Gerät");
// empty when it is one.
std::string NotAFileText(int fd);
// The same for what the path names now, links followed; empty also when it names nothing.
std::string PathNotAFileText(const std::string& path);

// ---- writing ----

// Opens what exists for writing, without creating or truncating it.
int OpenExisting(const QString& name);
// Creates a file of that name that did not exist, with the mode a new file gets.
int CreateNew(const QString& name);
// Opens the file for appending, made when missing, without waiting for a reader of a FIFO.
int OpenForAppending(const QString& name);
// Every byte, however many calls that takes; a call that fails, or writes nothing, ends it.
bool WriteAll(int fd, const uint8_t* data, size_t size);
// Puts the file's bytes on the disk. What has no disk behind it (a pipe, a terminal, a
// device) has nothing to sync, when not mustHaveDisk.
bool SyncFile(int fd, bool mustHaveDisk);
// Closes the descriptor; a file system may report a failed write only here.
bool CloseFile(int fd);
void RemoveFile(const QString& name);
// Gives the file the mode and, where this process may, the owner of the file it replaces.
// Without followLinks only a regular file of that name passes them on: a link under the
// name is replaced like a missing file, whatever it leads to.
bool TakeModeOf(int fd, const QString& replaced, bool followLinks);
// Puts the complete file in the place of the target in one step.
bool ReplaceName(const QString& temp, const QString& target);
// Gives the complete temporary file the name unless something of that name exists:
// 1 done, 0 the name is taken, -1 failed. Either way nothing that exists is touched.
int ClaimName(const QString& temp, const QString& name);
// Makes a new name last: the folder's entry is on the disk too, where the system lets a
// folder be synced.
void SyncFolder(const QString& folder);
// Makes the one folder (its parent exists).
bool MakeFolder(const QString& folder);
// Runs that append to the same file take turns while one holds it (where the system
// offers it), so that what a run cuts off again is its own.
void LockForAppending(int fd);
// The size of the open file; -1 when it cannot be told.
int64_t FileSize(int fd);
bool TruncateFile(int fd, int64_t size);

// ---- removing, relative to a folder opened once ----

// What a file or folder is, whatever name it has.
struct CFileId {
    uint64_t m_nDevice = 0;
    uint64_t m_nFile = 0;
    bool operator==(const CFileId&) const = default;
};
// False when the path names nothing that can be looked at.
bool FileIdOf(const QString& path, CFileId& id);

// A regular file as the removal found it, open, before it decides.
struct CFileSeen {
    CFileId m_id;
    int64_t m_nWritten = 0;  // last written, seconds since 1970
    QByteArray m_head;       // its first bytes, up to eight
};

enum class ERemoved { Yes, NotOwn, Failed };

// A folder, opened once and held: every way down from it is taken without following a
// link, so that a folder swapped for a link meanwhile leads nowhere, and the file looked
// at is the file removed.
class COpenFolder {
  public:
    explicit COpenFolder(const QString& root);
    ~COpenFolder();
    COpenFolder(const COpenFolder&) = delete;
    COpenFolder& operator=(const COpenFolder&) = delete;

    bool IsOpen() const;
    // Removes the file at parts (folders, then the file's name, below the folder) when the
    // folders on the way are folders (no links) that folderOk takes, and the file is a
    // regular file that fileOk takes. NotOwn when it is not there or not taken; Failed,
    // with the reason in why, when the system refused.
    ERemoved RemoveIf(const QStringList& parts,
                      const std::function<bool(const CFileId& folder)>& folderOk,
                      const std::function<bool(const CFileSeen& file)>& fileOk,
                      std::string& why) const;

  private:
    struct CState;
    std::unique_ptr<CState> m_pState;
};

// The last byte equal to byte among the size bytes at data; null when there is none. The
// system's own search where it has one (it is the inner loop of reading a journal backwards).
const char* LastByteOf(const char* data, size_t size, char byte);
