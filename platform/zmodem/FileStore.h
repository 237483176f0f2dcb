#pragma once
// Where transferred files come from and go to. The engine only sees these interfaces,
// so it never opens a path itself; the disk versions below are what the program uses,
// tests use them on a temporary folder.
//
// Received files are written to "<name>.part" and renamed to "<name>" only once the
// whole file has arrived with good check values; a failed transfer leaves the ".part"
// file, which a later offer of the same file may continue after the file-CRC exchange
// proves it a prefix of what is offered.
#include <cstdint>
#include <memory>
#include <string>

namespace zorv::zmodem {

struct FileOffer {
    std::string name;        // as the sender gave it (untrusted)
    int64_t size = -1;       // -1: not given
    int64_t modified = 0;    // seconds since 1970, 0: not given
};

class ReceivedFile {
public:
    virtual ~ReceivedFile() = default;
    // The plain name the file will have when complete.
    virtual const std::string& Name() const = 0;
    // Length of a partial copy left by an earlier transfer that may be continued (0: none).
    virtual int64_t ExistingLength() const = 0;
    // CRC-32 of the first `length` bytes of that partial copy.
    virtual bool ExistingCrc(int64_t length, uint32_t& crc) = 0;
    // Appends checked data; `position` must be the current length.
    virtual bool Write(int64_t position, const uint8_t* data, size_t length) = 0;
    // The file is whole at `length`: flush it to disk and give it its final name.
    virtual bool Finish(int64_t length) = 0;
    // The transfer failed: flush what arrived and leave it as a partial file.
    virtual void KeepPartial() = 0;
};

class ReceiveStore {
public:
    virtual ~ReceiveStore() = default;
    // A place for an offered file. allowResume false: never pick a partial copy left by an
    // earlier transfer (it was shown not to match). Null with `error` set when impossible.
    virtual std::unique_ptr<ReceivedFile> Open(const FileOffer& offer, bool allowResume,
                                               std::string& error) = 0;
};

class SendFile {
public:
    virtual ~SendFile() = default;
    virtual const std::string& Name() const = 0;   // the name offered to the receiver
    virtual int64_t Size() const = 0;
    virtual int64_t Modified() const = 0;
    // Reads up to `length` bytes at `position`; -1 on a read error.
    virtual long Read(int64_t position, uint8_t* buffer, size_t length) = 0;
};

// Turns a name a remote end gave into a plain file name: the last path component only,
// control characters replaced, no leading dot (so never "." or ".." and never hidden),
// no name ending in ".part", at most kMaxNameLength bytes, never empty.
constexpr size_t kMaxNameLength = 200;
std::string SafeFileName(const std::string& remoteName);

// The download folder on disk. Every file is created inside it through a directory
// handle, exclusively and without following symbolic links, with default permissions.
// An existing file is never replaced: a taken name gets a number ("report.1.txt").
class DownloadFolder : public ReceiveStore {
public:
    // givenName: the local name for the first file received (the caller's choice, so not
    // reduced to a remote-safe name; a folder part in it replaces `folder`). Empty: every
    // file takes the name its sender gives.
    explicit DownloadFolder(std::string folder, std::string givenName = "");
    ~DownloadFolder() override;
    DownloadFolder(const DownloadFolder&) = delete;
    DownloadFolder& operator=(const DownloadFolder&) = delete;

    std::unique_ptr<ReceivedFile> Open(const FileOffer& offer, bool allowResume,
                                       std::string& error) override;
    const std::string& Folder() const { return folder_; }

private:
    std::string folder_;
    std::string givenName_;
    bool givenUsed_ = false;
    int dirFd_ = -1;
    int openErrno_ = 0;
};

std::unique_ptr<SendFile> OpenSendFile(const std::string& path, std::string& error);

}  // namespace zorv::zmodem
