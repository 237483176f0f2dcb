#include "platform/zmodem/FileStore.h"

#include "platform/zmodem/ZmodemCrc.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace zorv::zmodem {
namespace {

constexpr const char* kPartSuffix = ".part";

bool endsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

std::string numbered(const std::string& base, int n) {
    if (n == 0) return base;
    size_t dot = base.rfind('.');
    if (dot == std::string::npos || dot == 0) return base + "." + std::to_string(n);
    return base.substr(0, dot) + "." + std::to_string(n) + base.substr(dot);
}

bool entryExists(int dirFd, const std::string& name, struct stat* st = nullptr) {
    struct stat local;
    return fstatat(dirFd, name.c_str(), st ? st : &local, AT_SYMLINK_NOFOLLOW) == 0 ||
           errno != ENOENT;
}

class DiskReceivedFile : public ReceivedFile {
public:
    DiskReceivedFile(int dirFd, std::string name, int fd, int64_t existing, int64_t modified,
                     bool mayReplaceEmpty)
        : dirFd_(dirFd), name_(std::move(name)), fd_(fd), existing_(existing), length_(existing),
          modified_(modified), mayReplaceEmpty_(mayReplaceEmpty) {
        buffer_.reserve(kBufferSize);
    }
    ~DiskReceivedFile() override {
        if (fd_ >= 0) KeepPartial();
    }

    const std::string& Name() const override { return name_; }
    int64_t ExistingLength() const override { return existing_; }

    bool ExistingCrc(int64_t length, uint32_t& crc) override {
        if (length > existing_) return false;
        std::vector<uint8_t> chunk(65536);
        uint32_t running = 0xFFFFFFFFu;
        int64_t done = 0;
        while (done < length) {
            size_t want = static_cast<size_t>(std::min<int64_t>(length - done, chunk.size()));
            ssize_t got = pread(fd_, chunk.data(), want, done);
            if (got <= 0) return false;
            running = Crc32Update(running, chunk.data(), static_cast<size_t>(got));
            done += got;
        }
        crc = ~running;
        return true;
    }

    bool Write(int64_t position, const uint8_t* data, size_t length) override {
        if (fd_ < 0 || position != length_) return false;
        buffer_.insert(buffer_.end(), data, data + length);
        length_ += static_cast<int64_t>(length);
        return buffer_.size() < kBufferSize || flush();
    }

    bool Finish(int64_t length) override {
        if (fd_ < 0 || length != length_ || !flush()) return false;
        struct stat st;
        if (fstat(fd_, &st) != 0 || st.st_size != length) return false;
        if (modified_ > 0) {
            struct timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(modified_), 0}};
            futimens(fd_, times);
        }
        if (fsync(fd_) != 0) return false;
        close(fd_);
        fd_ = -1;
        std::string part = name_ + kPartSuffix;
        for (int n = 0; n < 1000; ++n) {
            std::string target = numbered(name_, n);
            if (renameat2(dirFd_, part.c_str(), dirFd_, target.c_str(), RENAME_NOREPLACE) == 0) {
                name_ = target;
                fsync(dirFd_);
                return true;
            }
            if (errno != EEXIST) return false;
            // The caller named this file: an empty file of that name (made ready for
            // the transfer) holds nothing to lose.
            struct stat existing;
            if (n == 0 && mayReplaceEmpty_ &&
                fstatat(dirFd_, target.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0 &&
                S_ISREG(existing.st_mode) && existing.st_size == 0 &&
                renameat(dirFd_, part.c_str(), dirFd_, target.c_str()) == 0) {
                fsync(dirFd_);
                return true;
            }
        }
        return false;
    }

    void KeepPartial() override {
        if (fd_ < 0) return;
        flush();
        fsync(fd_);
        close(fd_);
        fd_ = -1;
    }

private:
    static constexpr size_t kBufferSize = 1 << 16;

    bool flush() {
        size_t done = 0;
        while (done < buffer_.size()) {
            ssize_t n = write(fd_, buffer_.data() + done, buffer_.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(done));
                return false;
            }
            done += static_cast<size_t>(n);
        }
        buffer_.clear();
        return true;
    }

    int dirFd_;
    std::string name_;
    int fd_;
    int64_t existing_;
    int64_t length_;
    int64_t modified_;
    bool mayReplaceEmpty_;
    std::vector<uint8_t> buffer_;
};

class DiskSendFile : public SendFile {
public:
    DiskSendFile(int fd, std::string name, int64_t size, int64_t modified)
        : fd_(fd), name_(std::move(name)), size_(size), modified_(modified) {}
    ~DiskSendFile() override { close(fd_); }
    const std::string& Name() const override { return name_; }
    int64_t Size() const override { return size_; }
    int64_t Modified() const override { return modified_; }
    // The sender asks for one subpacket at a time; the file is read 64 KB at a time
    // ahead of it, so a send makes a few large reads instead of many small ones.
    long Read(int64_t position, uint8_t* buffer, size_t length) override {
        if (length > kReadAhead) return readAt(position, buffer, length);
        if (position < aheadAt_ || position + static_cast<int64_t>(length) > aheadAt_ + aheadLength_) {
            const long n = readAt(position, ahead_.data(), kReadAhead);
            if (n < 0) return n;
            aheadAt_ = position;
            aheadLength_ = n;
        }
        const int64_t from = position - aheadAt_;
        const size_t n = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(length), aheadLength_ - from));
        std::memcpy(buffer, ahead_.data() + from, n);
        return static_cast<long>(n);
    }

private:
    static constexpr size_t kReadAhead = 1 << 16;

    // Reads up to `length` bytes; fewer only at the end of the file.
    long readAt(int64_t position, uint8_t* buffer, size_t length) {
        size_t done = 0;
        while (done < length) {
            const ssize_t n = pread(fd_, buffer + done, length - done, position + static_cast<int64_t>(done));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return -1;
            if (n == 0) break;
            done += static_cast<size_t>(n);
        }
        return static_cast<long>(done);
    }

    std::vector<uint8_t> ahead_ = std::vector<uint8_t>(kReadAhead);
    int64_t aheadAt_ = 0;
    int64_t aheadLength_ = 0;
    int fd_;
    std::string name_;
    int64_t size_;
    int64_t modified_;
};

}  // namespace

std::string SafeFileName(const std::string& remoteName) {
    std::string name = remoteName;
    size_t slash = name.find_last_of("/\\");
    if (slash != std::string::npos) name = name.substr(slash + 1);
    for (char& ch : name) {
        auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0) || c == ':') ch = '_';
    }
    size_t lead = 0;
    while (lead < name.size() && (name[lead] == '.' || name[lead] == ' ')) ++lead;
    if (lead > 0) name = std::string(lead, '_') + name.substr(lead);
    if (name.size() > kMaxNameLength) {
        // Keep the extension when cutting: it says what the file is.
        size_t dot = name.rfind('.');
        std::string ext = (dot != std::string::npos && name.size() - dot <= 16) ? name.substr(dot) : "";
        name = name.substr(0, kMaxNameLength - ext.size()) + ext;
    }
    if (endsWith(name, kPartSuffix)) name.back() = '_';
    if (name.empty()) name = "unnamed";
    return name;
}

DownloadFolder::DownloadFolder(std::string folder, std::string givenName)
    : folder_(std::move(folder)), givenName_(std::move(givenName)) {
    size_t slash = givenName_.rfind('/');
    if (slash != std::string::npos) {
        folder_ = slash == 0 ? "/" : givenName_.substr(0, slash);
        givenName_ = givenName_.substr(slash + 1);
    }
    if (givenName_ == "." || givenName_ == "..") givenName_.clear();
    if (folder_.empty()) folder_ = ".";
    dirFd_ = open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd_ < 0) openErrno_ = errno;
}

DownloadFolder::~DownloadFolder() {
    if (dirFd_ >= 0) close(dirFd_);
}

std::unique_ptr<ReceivedFile> DownloadFolder::Open(const FileOffer& offer, bool allowResume,
                                                   std::string& error) {
    if (dirFd_ < 0) {
        error = "cannot open the download folder " + folder_ + ": " + std::strerror(openErrno_);
        return nullptr;
    }
    bool given = !givenName_.empty() && !givenUsed_;
    std::string base = given ? givenName_ : SafeFileName(offer.name);
    for (int n = 0; n < 1000; ++n) {
        std::string name = numbered(base, n);
        bool takenByEmptyGiven = false;
        struct stat st;
        if (entryExists(dirFd_, name, &st)) {
            takenByEmptyGiven = given && n == 0 && S_ISREG(st.st_mode) && st.st_size == 0;
            if (!takenByEmptyGiven) continue;
        }
        std::string part = name + kPartSuffix;
        if (entryExists(dirFd_, part, &st)) {
            // An empty partial file is where an earlier try of this file stopped before
            // its first byte: taking it up again is the same as starting afresh.
            bool continuable = st.st_size == 0 || (allowResume && (offer.size < 0 || st.st_size <= offer.size));
            if (!S_ISREG(st.st_mode) || !continuable) continue;
            int fd = openat(dirFd_, part.c_str(), O_RDWR | O_APPEND | O_NOFOLLOW | O_CLOEXEC);
            struct stat opened;
            // A partial file another transfer is writing right now is not ours to take.
            if (fd < 0 || flock(fd, LOCK_EX | LOCK_NB) != 0 || fstat(fd, &opened) != 0 ||
                !S_ISREG(opened.st_mode)) {
                if (fd >= 0) close(fd);
                continue;
            }
            givenUsed_ = givenUsed_ || given;
            return std::make_unique<DiskReceivedFile>(dirFd_, name, fd, opened.st_size, offer.modified,
                                                      takenByEmptyGiven);
        }
        int fd = openat(dirFd_, part.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            error = "cannot create " + part + ": " + std::strerror(errno);
            return nullptr;
        }
        flock(fd, LOCK_EX | LOCK_NB);
        givenUsed_ = givenUsed_ || given;
        return std::make_unique<DiskReceivedFile>(dirFd_, name, fd, 0, offer.modified, takenByEmptyGiven);
    }
    error = "no free name for " + base;
    return nullptr;
}

std::unique_ptr<SendFile> OpenSendFile(const std::string& path, std::string& error) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = "cannot open " + path + ": " + std::strerror(errno);
        return nullptr;
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        error = path + " is not a regular file";
        return nullptr;
    }
    if (st.st_size > 0xFFFFFFFFLL) {
        close(fd);
        error = path + " is larger than a transfer can carry (4 GB)";
        return nullptr;
    }
    size_t slash = path.rfind('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    return std::make_unique<DiskSendFile>(fd, name, st.st_size, st.st_mtime);
}

}  // namespace zorv::zmodem
