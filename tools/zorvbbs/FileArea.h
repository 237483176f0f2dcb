#pragma once
// The board's file area: the plain files directly inside one folder. A caller names a
// file by its name alone (letter case ignored); anything that could reach outside the
// folder (a path, "..", a hidden name, a symbolic link, a device) is never served.
#include <memory>
#include <string>
#include <vector>

#include "platform/zmodem/FileStore.h"

namespace zorv::bbs {

class FileArea {
public:
    FileArea() = default;
    ~FileArea();
    FileArea(const FileArea&) = delete;
    FileArea& operator=(const FileArea&) = delete;

    bool Open(const std::string& folder, std::string& error);

    struct Entry {
        std::string name;
        long long size = 0;
    };
    // The files a caller may download, by name.
    std::vector<Entry> List() const;

    // The file the caller asked for, ready to send; null with `error` (a text fit for
    // the caller) when there is no such file in the area.
    std::unique_ptr<zmodem::SendFile> Find(const std::string& requested, std::string& error) const;

private:
    int dirFd_ = -1;
};

}  // namespace zorv::bbs
