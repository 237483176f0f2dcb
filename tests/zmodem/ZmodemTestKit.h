#pragma once
// Shared pieces of the transfer tests: files in memory and on disk, and an in-memory
// line between two sessions that runs on virtual time and can damage what it carries.
#include "platform/zmodem/FileStore.h"
#include "platform/zmodem/TransferSession.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace zorv::zmodem::test {

using Bytes = std::string;

Bytes RandomBytes(size_t length, uint32_t seed);
Bytes EveryByteValue(size_t repeats);

class MemorySendFile : public SendFile {
public:
    MemorySendFile(std::string name, Bytes data) : name_(std::move(name)), data_(std::move(data)) {}
    const std::string& Name() const override { return name_; }
    int64_t Size() const override { return static_cast<int64_t>(data_.size()); }
    int64_t Modified() const override { return 1700000000; }
    long Read(int64_t position, uint8_t* buffer, size_t length) override;

private:
    std::string name_;
    Bytes data_;
};

struct NamedData {
    std::string name;
    Bytes data;
};
std::vector<std::unique_ptr<SendFile>> MemoryFiles(const std::vector<NamedData>& files);

// A fresh folder under the system's temporary folder, removed with its contents.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }
    std::vector<std::string> Names() const;   // sorted

private:
    std::string path_;
};

bool ReadWholeFile(const std::string& path, Bytes& out);
void WriteWholeFile(const std::string& path, const Bytes& data);
bool Exists(const std::string& path);

// The checks every transfer suite makes of a download folder.
std::vector<std::string> Names(const std::vector<NamedData>& files);
void PutFiles(const TempDir& dir, const std::vector<NamedData>& files);
// Every file is in the folder, whole, under its own name; with `nothingElse` no other
// file is there.
void ExpectReceived(const TempDir& dir, const std::vector<NamedData>& files, bool nothingElse = true);
// A file under a final name is never wrong: it is equal to what was sent under that name
// (NAME.part files are partial by name). With `nothingElse` a final name that was not
// sent at all fails too.
void ExpectNoWrongFile(const TempDir& dir, const std::vector<NamedData>& files, bool nothingElse = true);

struct Faults {
    double flipRate = 0;        // chance per byte that one bit flips
    double dropRate = 0;        // chance per byte that it is lost
    bool backChannelToo = true; // damage the receiver's answers as well
    double stallAt = -1;        // the line carries nothing from this time ...
    double stallFor = 0;        // ... for this long
    int64_t cutAfter = -1;      // carrier drops after this many bytes towards the receiver
    uint32_t seed = 1;
};

struct LinkResult {
    int senderStatus = 0;
    int receiverStatus = 0;
    std::vector<int> senderStatuses;
    std::vector<int> receiverStatuses;
    double seconds = 0;
};

// Runs both sessions over a line of about 2 MB/s until both have finished (or the
// virtual time limit). `beforeStep` may act on the sessions (abort one, say).
LinkResult RunLink(TransferSession& sender, TransferSession& receiver, const Faults& faults = {},
                   double limitSeconds = 3600, const std::function<void(double)>& beforeStep = {});

}  // namespace zorv::zmodem::test
