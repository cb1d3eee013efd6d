#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class CImage;

// The descriptor of this process that the path names ("/dev/stdout", "/dev/fd/N",
// "/proc/self/fd/N", also behind symbolic links); -1 when it names none.
int TargetDescriptor(const std::string& path);

// Writes the bytes to what the path names, the way the user means it:
// - a descriptor of this process (see TargetDescriptor) is written where it stands;
// - a symbolic link is followed: its target gets the bytes and the link stays;
// - a regular file, or a name that does not exist yet, gets a temporary file in its
//   folder that replaces it only once every byte is written, synced to the disk and the
//   file closed without an error, keeping the mode (and, where allowed, the owner) of the
//   file it replaces; a file that nobody may write is not replaced; on failure the target
//   and its folder are left as they were;
// - anything else that exists (a FIFO, a terminal, a device) is written directly,
//   never replaced.
// On failure the reason, in German, goes to *error (when given) and the result is false.
//
// With ETargetWrite::KeepExisting nothing that exists is ever written: the bytes go to a
// temporary file in the target's folder, which takes the first free name of path,
// path-1, path-2, ... (the number before the extension) in one atomic step once every
// byte is on disk; *written (when given) receives that name. A name that is a device, a
// FIFO or a socket is refused, so that no file turns up beside it. Nothing is left behind
// when it fails.
enum class ETargetWrite { Replace, KeepExisting };
bool WriteTargetFile(const std::string& path, const std::vector<uint8_t>& bytes, std::string* error,
                     ETargetWrite mode = ETargetWrite::Replace, std::string* written = nullptr);

// Writes the files into the folder (which must exist) as one set: each goes to a
// temporary file first, and only once all of them are complete on the disk are they given
// their names, in the order given, so that the last (an index that links the others)
// comes last. A symbolic link under a name is replaced by the file, never written
// through; a regular file that is replaced passes on its mode. Anything else under a name,
// a file nobody may write or a failed write leaves every name as it was and no temporary
// behind, with the reason (German, naming the file) in *error. (Only a rename that fails
// after others, which a folder that took every temporary hardly does, leaves those before
// it renamed.)
struct CFileOfSet {
    std::string m_sName;  // within the folder
    std::vector<uint8_t> m_bytes;
};
bool WriteFileSet(const std::string& folder, const std::vector<CFileOfSet>& files,
                  std::string* error);

// Writes a file that another program makes (a film): fill gets the name of a temporary
// file in the target's folder, empty and with the mode of the file it will replace, and
// writes it whole by that name (false, with the reason in why, when it cannot). The
// temporary then replaces the target as WriteTargetFile does, once it is on the disk; on
// failure nothing is left behind. Only a regular file, or a name that does not exist yet,
// is written; the link to one is followed.
using CFillTemporary = std::function<bool(const std::string& temp, std::string& why)>;
bool WriteTargetFileBy(const std::string& path, const CFillTemporary& fill, std::string* error);

// A file that its mode gives nobody to write (0444): the writer leaves it as it is, also
// for root, whom the system would let write it.
bool IsReadOnlyFile(const std::string& path);

// Makes the folder and the folders above it that are missing. False, with the reason in
// German naming the folder that could not be made, otherwise.
bool MakeFolders(const std::string& folder, std::string* error);

// Appends the bytes to the file (made when missing) as a whole or not at all: what a full
// disk lets through of them is cut off again, so that the file ends as it did. Other runs
// of the program that append to the same file wait for each other. Only a regular file
// (also behind a link) is appended to: a FIFO, a device or a folder is refused at once,
// without waiting for a reader. False, with the reason in German, when the bytes are not
// all on the disk.
bool AppendWhole(const std::string& path, const std::vector<uint8_t>& bytes, std::string* error);

// The name with "-n" before its extension ("bild.bmp", 2: "bild-2.bmp"); n 0 is the name.
std::string NumberedName(const std::string& path, int n);

// The image's BMP file, written as WriteTargetFile writes; false when there is no image.
bool WriteBmpFile(const std::string& path, const CImage& image, std::string* error);
