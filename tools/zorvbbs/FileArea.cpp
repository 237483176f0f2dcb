#include "tools/zorvbbs/FileArea.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

namespace zorv::bbs {

namespace {

// A name the area could hold: one path component, not hidden, printable.
bool PlainName(const std::string& name) {
    if (name.empty() || name.size() > 255 || name[0] == '.') return false;
    for (unsigned char c : name)
        if (c < 0x20 || c == 0x7F || c == '/' || c == '\\') return false;
    return true;
}

bool SameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// The file is read through the descriptor opened inside the area, so a name changed
// on disk after the look-up cannot swap in another file.
class AreaFile : public zmodem::SendFile {
public:
    AreaFile(int fd, std::string name, int64_t size, int64_t modified)
        : fd_(fd), name_(std::move(name)), size_(size), modified_(modified) {}
    ~AreaFile() override { ::close(fd_); }
    const std::string& Name() const override { return name_; }
    int64_t Size() const override { return size_; }
    int64_t Modified() const override { return modified_; }
    long Read(int64_t position, uint8_t* buffer, size_t length) override {
        const ssize_t n = ::pread(fd_, buffer, length, position);
        return n < 0 ? -1 : static_cast<long>(n);
    }

private:
    int fd_;
    std::string name_;
    int64_t size_;
    int64_t modified_;
};

}  // namespace

FileArea::~FileArea() {
    if (dirFd_ >= 0) ::close(dirFd_);
}

bool FileArea::Open(const std::string& folder, std::string& error) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        error = "cannot open the file area " + folder + ": " + std::strerror(errno);
        return false;
    }
    if (dirFd_ >= 0) ::close(dirFd_);
    dirFd_ = fd;
    return true;
}

std::vector<FileArea::Entry> FileArea::List() const {
    std::vector<Entry> entries;
    if (dirFd_ < 0) return entries;
    const int fd = ::dup(dirFd_);
    DIR* dir = fd < 0 ? nullptr : ::fdopendir(fd);
    if (!dir) {
        if (fd >= 0) ::close(fd);
        return entries;
    }
    ::rewinddir(dir);
    while (const dirent* d = ::readdir(dir)) {
        const std::string name = d->d_name;
        struct stat st;
        if (!PlainName(name) || ::fstatat(dirFd_, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(st.st_mode))
            continue;
        entries.push_back({name, static_cast<long long>(st.st_size)});
    }
    ::closedir(dir);
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.name < b.name; });
    return entries;
}

std::unique_ptr<zmodem::SendFile> FileArea::Find(const std::string& requested, std::string& error) const {
    error = "File not found: " + requested;
    if (!PlainName(requested)) return nullptr;
    std::string onDisk;
    for (const Entry& entry : List()) {
        if (entry.name == requested) {
            onDisk = entry.name;
            break;
        }
        if (onDisk.empty() && SameName(entry.name, requested)) onDisk = entry.name;
    }
    if (onDisk.empty()) return nullptr;
    const int fd = ::openat(dirFd_, onDisk.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > 0xFFFFFFFFLL) {
        ::close(fd);
        return nullptr;
    }
    error.clear();
    return std::make_unique<AreaFile>(fd, onDisk, st.st_size, st.st_mtime);
}

}  // namespace zorv::bbs
