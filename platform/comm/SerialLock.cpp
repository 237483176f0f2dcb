#include "platform/comm/SerialLock.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "util/Error.h"

namespace zorv {

namespace {

std::string LockFolder() {
    for (const char* folder : {"/run/lock", "/var/lock"})
        if (access(folder, W_OK) == 0) return folder;
    return "";
}

bool ProcessAlive(long pid) { return pid > 0 && (kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM); }

}  // namespace

std::string SerialLock::LockFilePath(const std::string& devicePath) {
    const std::string folder = LockFolder();
    if (folder.empty()) return "";
    char real[PATH_MAX];
    std::string name = realpath(devicePath.c_str(), real) ? std::string(real) : devicePath;
    if (name.rfind("/dev/", 0) == 0) name = name.substr(5);
    for (char& c : name)
        if (c == '/') c = '_';
    return folder + "/LCK.." + name;
}

long SerialLock::ReadLockOwner(const std::string& lockPath) {
    int fd = open(lockPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return 0;
    char text[64] = {};
    const ssize_t n = read(fd, text, sizeof text - 1);
    close(fd);
    if (n <= 0) return 0;
    if (n == 4) {
        // Some old programs write the id as a binary int.
        int binary;
        std::memcpy(&binary, text, 4);
        if (binary > 0) return binary;
    }
    return std::strtol(text, nullptr, 10);
}

void SerialLock::Acquire(const std::string& devicePath) {
    Release();
    const std::string lockPath = LockFilePath(devicePath);
    if (lockPath.empty()) return;

    // Write the whole file under a private name first, then link it into place: the
    // link either fails because a lock exists or makes a complete lock appear at once,
    // so no other program ever reads a lock file without its process id.
    const std::string temp = lockPath + ".tmp" + std::to_string(getpid());
    int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) return;  // the folder refuses us: rely on the flock
    char text[16];
    const int length = std::snprintf(text, sizeof text, "%10ld\n", static_cast<long>(getpid()));
    const bool written = write(fd, text, length) == length;
    close(fd);
    if (!written) {
        unlink(temp.c_str());
        return;
    }

    for (int attempt = 0; attempt < 3; ++attempt) {
        if (link(temp.c_str(), lockPath.c_str()) == 0) {
            unlink(temp.c_str());
            lockPath_ = lockPath;
            return;
        }
        if (errno != EEXIST) break;
        const long owner = ReadLockOwner(lockPath);
        struct stat info {};
        // A lock without an id may be one another program is still writing.
        const bool fresh = owner == 0 && stat(lockPath.c_str(), &info) == 0 && time(nullptr) - info.st_mtime < 2;
        if (ProcessAlive(owner) || fresh) {
            unlink(temp.c_str());
            throw Error(ErrorNumber::DeviceUnavailable,
                        "Device " + devicePath + " is locked by process " + std::to_string(owner));
        }
        unlink(lockPath.c_str());  // stale: its process is gone
    }
    unlink(temp.c_str());
    throw Error(ErrorNumber::DeviceUnavailable, "Device " + devicePath + " cannot be locked");
}

void SerialLock::Release() {
    if (lockPath_.empty()) return;
    if (ReadLockOwner(lockPath_) == static_cast<long>(getpid())) unlink(lockPath_.c_str());
    lockPath_.clear();
}

}  // namespace zorv
