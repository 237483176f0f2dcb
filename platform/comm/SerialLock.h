#pragma once
// The UUCP lock file other serial programs on Linux look for: LCK..<device name> in
// /run/lock (or /var/lock) holding the owner's process id as ten ASCII digits and a
// line feed. A lock whose process is gone is stale and removed. When neither folder
// can be written, no lock file is made: the flock that SerialComm also takes still
// keeps out the programs that check that.
#include <string>

namespace zorv {

class SerialLock {
public:
    SerialLock() = default;
    SerialLock(const SerialLock&) = delete;
    SerialLock& operator=(const SerialLock&) = delete;
    ~SerialLock() { Release(); }

    // Raises zorv::Error DeviceUnavailable when a live process holds the device.
    void Acquire(const std::string& devicePath);
    // Removes the lock file if it is still ours.
    void Release();
    bool Held() const { return !lockPath_.empty(); }

    // "/dev/ttyUSB0" -> "<lock folder>/LCK..ttyUSB0", "/dev/pts/3" -> ".../LCK..pts_3";
    // links are followed first so every name of one device shares one lock.
    static std::string LockFilePath(const std::string& devicePath);
    // The process id written in a lock file, 0 when none can be read.
    static long ReadLockOwner(const std::string& lockPath);

private:
    std::string lockPath_;
};

}  // namespace zorv
