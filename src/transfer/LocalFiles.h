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
