// Local file facts the transfer needs: names matched without regard to case,
// the DOS-style short name a controller stores a file under, and the stamp of
// a file's last change.
#pragma once

#include <cstdint>
#include <string>

// folder + name, where name is replaced by an existing entry of folder whose
// name differs from it only in ASCII letter case, so "PlayList.QV" and
// "Playlist.qv" reach the same file on every file system. folder ends with a
// separator (or is empty for the current folder).
std::string resolveLocalName(const std::string &folder, const std::string &name);

// The 8.3 form of one name: upper case, characters outside the DOS set dropped,
// base of at most 8 and extension of at most 3 characters. fits tells whether
// nothing but the letter case had to change.
struct DosName {
    std::string base;
    std::string extension;
    bool fits = false;
};
DosName dosNameOf(const std::string &name);

// The short name of an existing file (a native UTF-8 path): its 8.3 form, or,
// when that had to be shortened or changed, the first six base characters with
// "~1", "~2" ... numbered against the other names of the folder in sorted order.
// A name once given stays for the run, whatever files the folder gains later.
// Empty for a missing file.
std::string shortFileName(const std::string &path);

// The last write time in local time, packed day << 24 | hour << 16 |
// minute << 8 | second, seconds rounded down to even as a DOS time has them;
// 0 for a missing file.
uint32_t GetFileChangeTime(const std::string &path);

// What tells one version of a file from the next: the modification time at
// full resolution, the size, and the file's identity (device and inode, the
// volume and file index on Windows), so that a file replaced by a rename is a
// change even with the same time and size. Kept in memory only: the stored
// stamp above repeats within two seconds, an hour of the autumn clock change
// and every month.
struct FileFingerprint {
    bool exists = false;
    int64_t modifiedNs = 0;  // since 1970, UTC
    uint64_t size = 0;
    uint64_t device = 0;
    uint64_t inode = 0;
    bool operator==(const FileFingerprint &) const = default;
};
FileFingerprint fingerprintOf(const std::string &path);

// Gives path the modification time (nanoseconds since 1970, UTC); false when
// it cannot be set.
bool setModifiedNs(const std::string &path, int64_t modifiedNs);

// A folder of its own in the program folder for the copies one visit to a
// controller makes (play list, text), removed with them when the visit ends:
// visits to several controllers run at once.
class WorkFolder {
public:
    explicit WorkFolder(const std::string &progPath);
    ~WorkFolder();
    WorkFolder(const WorkFolder &) = delete;
    WorkFolder &operator=(const WorkFolder &) = delete;
    // Ends with the native separator.
    const std::string &path() const { return mPath; }

private:
    std::string mPath;
};
// Removes what an earlier run left behind when it was killed: the visits'
// folders and the halves of interrupted saves of the settings and the play list.
void removeLeftoverTemporaries(const std::string &progPath);
