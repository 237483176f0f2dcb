#pragma once
// Writing a file as a whole without ever leaving a half-written one behind: the new
// content goes to a temporary file in the same folder, is flushed to disk, and is then
// renamed over the old file. A crash, a full disk or a second writer leaves either the
// old file or the new one, never a truncated mix.
#include <string>

namespace zorv {

// Replaces (or creates) `path` with `content`. An existing file keeps its permission
// bits; a new one gets `newFileMode` (by default readable and writable by its owner
// only). A symbolic link at
// `path` is followed, so the file it names is replaced and the link stays. On failure
// returns false, leaves `path` untouched, removes the temporary file and, when
// `error` is given, describes the cause there.
bool WriteFileAtomically(const std::string& path, const std::string& content, std::string* error = nullptr,
                         unsigned newFileMode = 0600);

}  // namespace zorv
