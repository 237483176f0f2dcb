#include "config/AtomicFile.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace zorv {

namespace {

bool Fail(std::string* error, const std::string& what, int code) {
    if (error) *error = what + ": " + std::strerror(code);
    return false;
}

std::string DirectoryOf(const std::string& path) {
    std::string::size_type slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

bool WriteAll(int fd, const std::string& content) {
    const char* data = content.data();
    std::size_t left = content.size();
    while (left > 0) {
        ssize_t written = ::write(fd, data, left);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += written;
        left -= static_cast<std::size_t>(written);
    }
    return true;
}

}  // namespace

bool WriteFileAtomically(const std::string& path, const std::string& content, std::string* error,
                         unsigned newFileMode) {
    std::string target = path;
    struct stat info {};
    bool exists = false;
    if (::lstat(path.c_str(), &info) == 0) {
        if (S_ISLNK(info.st_mode)) {
            char resolved[PATH_MAX];
            if (::realpath(path.c_str(), resolved) == nullptr) return Fail(error, path, errno);
            target = resolved;
            if (::stat(target.c_str(), &info) != 0) return Fail(error, target, errno);
        }
        if (S_ISDIR(info.st_mode)) return Fail(error, target, EISDIR);
        exists = true;
    } else if (errno != ENOENT) {
        return Fail(error, path, errno);
    }

    std::string pattern = target + ".XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    int fd = ::mkstemp(name.data());
    if (fd < 0) return Fail(error, target, errno);
    const std::string tempPath(name.data());

    auto abandon = [&](const std::string& what, int code) {
        ::close(fd);
        ::unlink(tempPath.c_str());
        return Fail(error, what, code);
    };

    mode_t mode = exists ? (info.st_mode & 07777) : static_cast<mode_t>(newFileMode & 0777);
    if (::fchmod(fd, mode) != 0) return abandon(tempPath, errno);
    if (!WriteAll(fd, content)) return abandon(tempPath, errno);
    if (::fsync(fd) != 0) return abandon(tempPath, errno);
    if (::close(fd) != 0) {
        int code = errno;
        ::unlink(tempPath.c_str());
        return Fail(error, tempPath, code);
    }
    if (::rename(tempPath.c_str(), target.c_str()) != 0) {
        int code = errno;
        ::unlink(tempPath.c_str());
        return Fail(error, target, code);
    }
    // The rename itself reaches the disk with the folder's entry; without this a power
    // cut could still bring back the old file.
    int dirFd = ::open(DirectoryOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

}  // namespace zorv
