#pragma once
// The INI settings store: our own reader and writer of the private-profile text format
// ("[Section]" lines, each followed by "Key=Value" lines).
//
// What callers can rely on:
//  - Section and key names are compared without regard to letter case; the first
//    section of a name and the first key of a name in it are the ones that count.
//  - A value is read with its surrounding blanks removed and cut to the caller's limit.
//    A missing file, section or key and an empty value all read as "".
//  - Nothing is cached: every call reads the file afresh, so a value written is seen by
//    the next read, also within the same run.
//  - A write creates the folder, the file, the section and the key as needed and
//    replaces an existing value, leaving every other line as it was. The new file is
//    written beside the old one, flushed to disk and renamed over it, so a crash or a
//    full disk never leaves a truncated file; a write that cannot be done returns false
//    and leaves the file as it was.
//  - Files are bounded (kMaxIniFileSize); a file that is not text is read as bytes and
//    never crashes the reader.
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace zorv {

// The largest INI file we read or rewrite. A longer file is read up to this size and
// is never rewritten (a write to it fails), so nothing of it is lost.
inline constexpr std::size_t kMaxIniFileSize = 1024 * 1024;

// The executable's file name cut at its first "." plus ".INI" ("zorvdial.INI").
std::string INIFILENAME();
// The same rule for a given executable file name ("zorv.dial.bin" gives "zorv.INI").
std::string IniFileNameOf(const std::string& executableName);

// The folder of the INI file: $XDG_CONFIG_HOME/zorvdial, else $HOME/.config/zorvdial,
// unless SetIniDirectory chose another one. Created by the first write.
std::string IniDirectory();
// Points the store at another folder (tests use a temporary one); "" goes back to the
// user's configuration folder.
void SetIniDirectory(const std::string& dir);

// IniDirectory() + "/" + INIFILENAME().
std::string IniFilePath();

// The value of `key` in `section`, surrounding blanks removed, cut to `limit` characters.
std::string ReadIniKey(const std::string& section, const std::string& key, int limit);

// Sets `key` in `section` to `value`. A value is one line: it ends at its first line
// break or NUL. False when the write could not be done (also for a section name with
// "]" or a line break, or a key name that is empty or holds "=" or a line break, which
// the format cannot hold); the file is then unchanged.
bool WriteIniKey(const std::string& section, const std::string& key, const std::string& value);

// All keys of `section` with their values (surrounding blanks removed), in file order.
std::vector<std::pair<std::string, std::string>> ReadIniSection(const std::string& section);

// The same operations on a file named by its full path, for stores kept elsewhere.
std::string ReadIniKeyIn(const std::string& path, const std::string& section, const std::string& key,
                         int limit);
bool WriteIniKeyIn(const std::string& path, const std::string& section, const std::string& key,
                   const std::string& value);
std::vector<std::pair<std::string, std::string>> ReadIniSectionIn(const std::string& path,
                                                                  const std::string& section);

}  // namespace zorv
