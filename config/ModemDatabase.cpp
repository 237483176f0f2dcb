#include "config/ModemDatabase.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

#include "config/AtomicFile.h"
#include "config/ProgramPlace.h"
#include "util/Error.h"
#include "util/UiServices.h"

namespace zorv {

namespace {

constexpr std::size_t kHeaderSize = 4;
constexpr std::size_t kRecordSize = kModemRecordSize;
// The longest file we read: the largest table plus a trailing partial record.
constexpr std::size_t kMaxDatabaseBytes = kHeaderSize + kMaxModemRecords * kRecordSize + (kRecordSize - 1);

constexpr const char* kMissingMessage = "Can not find MODEMS.DAT. Please copy it to where your .EXE file is.";
constexpr const char* kTooLargeMessage = "MODEMS.DAT is too large: it holds more than 32767 modems.";
constexpr const char* kPackFailedLine = "Could not pack modem database.";
// The catalogue is nobody's secret: a new MODEMS.DAT or MODEMS.BAK is readable by all.
constexpr unsigned kCatalogFileMode = 0644;
// The classic number for a record position that is not in the file.
constexpr int kBadRecordNumber = 63;

// A failed file call, as the run-time error the program would report for it.
Error FileError(int code) {
    int number = ErrorNumber::DeviceIO;
    if (code == ENOENT) number = ErrorNumber::FileNotFound;
    else if (code == ENOTDIR || code == ENAMETOOLONG) number = ErrorNumber::PathNotFound;
    else if (code == EACCES || code == EPERM || code == EROFS) number = ErrorNumber::PermissionDenied;
    return Error(number, std::strerror(code));
}

void ShowRunTimeError(const Error& error, const std::string& extraLine = "") {
    std::string text = "Run-time error " + std::to_string(error.number()) + "\n" + error.description();
    if (!extraLine.empty()) text += "\n" + extraLine;
    MsgBox(text);
}

void PutInt(std::string& out, std::size_t at, int64_t value, int bytes) {
    uint64_t bits = static_cast<uint64_t>(value);
    for (int i = 0; i < bytes; ++i) out[at + static_cast<std::size_t>(i)] = static_cast<char>((bits >> (8 * i)) & 0xFF);
}

uint32_t GetBits(std::string_view in, std::size_t at, int bytes) {
    uint32_t bits = 0;
    for (int i = 0; i < bytes; ++i)
        bits |= static_cast<uint32_t>(static_cast<unsigned char>(in[at + static_cast<std::size_t>(i)])) << (8 * i);
    return bits;
}

int32_t GetInt32(std::string_view in, std::size_t at) { return static_cast<int32_t>(GetBits(in, at, 4)); }
int16_t GetInt16(std::string_view in, std::size_t at) { return static_cast<int16_t>(GetBits(in, at, 2)); }

template <std::size_t Width>
void PutText(std::string& out, std::size_t at, const FixedText<Width>& text) {
    std::memcpy(out.data() + at, text.data(), Width);
}

template <std::size_t Width>
void GetText(std::string_view in, std::size_t at, FixedText<Width>& text) {
    std::memcpy(text.data(), in.data() + at, Width);
}

// Reads the whole file, up to the largest database we accept.
enum class ReadResult { Ok, TooLarge };
ReadResult ReadDatabaseBytes(const std::string& path, std::string& content) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw FileError(errno);
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        int code = errno;
        ::close(fd);
        throw FileError(code);
    }
    if (static_cast<uint64_t>(info.st_size) > kMaxDatabaseBytes) {
        ::close(fd);
        return ReadResult::TooLarge;
    }
    content.assign(static_cast<std::size_t>(info.st_size), '\0');
    std::size_t done = 0;
    while (done < content.size()) {
        ssize_t got = ::read(fd, content.data() + done, content.size() - done);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            int code = errno;
            ::close(fd);
            throw FileError(code);
        }
        if (got == 0) break;  // the file shrank while we read it
        done += static_cast<std::size_t>(got);
    }
    content.resize(done);
    ::close(fd);
    return ReadResult::Ok;
}

std::vector<ModemRecord> RecordsPresent(std::string_view content) {
    std::vector<ModemRecord> records;
    if (content.size() < kHeaderSize) return records;
    const std::size_t count = (content.size() - kHeaderSize) / kRecordSize;
    records.reserve(count);
    for (std::size_t n = 0; n < count; ++n)
        records.push_back(DecodeModemRecord(content.substr(kHeaderSize + n * kRecordSize, kRecordSize)));
    return records;
}

// Writes pieces of the existing file in place and flushes them to disk.
void WriteInPlace(const std::string& path, const std::vector<std::pair<std::size_t, std::string>>& pieces,
                  std::size_t requiredLength) {
    int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) throw FileError(errno);
    auto fail = [fd](int code) {
        ::close(fd);
        throw FileError(code);
    };
    struct stat info {};
    if (::fstat(fd, &info) != 0) fail(errno);
    if (static_cast<uint64_t>(info.st_size) < requiredLength) {
        // The record is no longer in the file (it was changed behind our back): writing
        // there would leave a hole of zero bytes in the middle of the database.
        ::close(fd);
        throw Error(kBadRecordNumber, "Bad record number");
    }
    for (const auto& [offset, bytes] : pieces) {
        std::size_t done = 0;
        while (done < bytes.size()) {
            ssize_t written = ::pwrite(fd, bytes.data() + done, bytes.size() - done,
                                       static_cast<off_t>(offset + done));
            if (written < 0 && errno == EINTR) continue;
            if (written < 0) fail(errno);
            done += static_cast<std::size_t>(written);
        }
    }
    if (::fdatasync(fd) != 0) fail(errno);
    if (::close(fd) != 0) throw FileError(errno);
}

std::size_t RecordOffset(int n) { return kHeaderSize + static_cast<std::size_t>(n - 1) * kRecordSize; }

std::string HeaderBytes(int count) {
    std::string header(kHeaderSize, '\0');
    PutInt(header, 0, count, 4);
    return header;
}

std::string TrimSpaces(std::string_view text) {
    std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return "";
    std::size_t last = text.find_last_not_of(' ');
    return std::string(text.substr(first, last - first + 1));
}

// Sets the wait pointer for as long as it lives.
class WaitPointer {
public:
    WaitPointer() { Ui().SetWaitPointer(true); }
    ~WaitPointer() { Ui().SetWaitPointer(false); }
};

}  // namespace

std::string EncodeModemRecord(const ModemRecord& record) {
    std::string out(kRecordSize, '\0');
    PutInt(out, 0, record.Deleted, 2);
    PutInt(out, 2, record.NextOfMake, 4);
    PutInt(out, 6, record.ModemNumber, 4);
    PutText(out, 10, record.Make);
    PutText(out, 35, record.ModemName);
    PutText(out, 75, record.InitString);
    PutText(out, 203, record.Attention);
    PutText(out, 233, record.Hangup);
    PutText(out, 283, record.Reset);
    PutText(out, 313, record.Answer);
    PutText(out, 343, record.Dial);
    PutText(out, 373, record.Busy);
    PutInt(out, 403, record.HighestBaud, 4);
    PutText(out, 407, record.Connect);
    return out;
}

ModemRecord DecodeModemRecord(std::string_view in) {
    if (in.size() < kRecordSize) throw std::invalid_argument("a modem record needs 447 bytes");
    ModemRecord record;
    record.Deleted = GetInt16(in, 0);
    record.NextOfMake = GetInt32(in, 2);
    record.ModemNumber = GetInt32(in, 6);
    GetText(in, 10, record.Make);
    GetText(in, 35, record.ModemName);
    GetText(in, 75, record.InitString);
    GetText(in, 203, record.Attention);
    GetText(in, 233, record.Hangup);
    GetText(in, 283, record.Reset);
    GetText(in, 313, record.Answer);
    GetText(in, 343, record.Dial);
    GetText(in, 373, record.Busy);
    record.HighestBaud = GetInt32(in, 403);
    GetText(in, 407, record.Connect);
    return record;
}

std::string EncodeModemDatabase(const std::vector<ModemRecord>& records) {
    std::string out = HeaderBytes(static_cast<int>(records.size()));
    out.reserve(kHeaderSize + records.size() * kRecordSize);
    for (const ModemRecord& record : records) out += EncodeModemRecord(record);
    return out;
}

bool WriteModemDatabaseFile(const std::string& path, const std::vector<ModemRecord>& records, std::string* error) {
    if (records.size() > static_cast<std::size_t>(kMaxModemRecords)) {
        if (error) *error = kTooLargeMessage;
        return false;
    }
    return WriteFileAtomically(path, EncodeModemDatabase(records), error, kCatalogFileMode);
}

std::string JoinPath(const std::string& directory, const std::string& fileName) {
    if (!directory.empty() && directory.back() == '/') return directory + fileName;
    return directory + "/" + fileName;
}

bool CheckDatabaseFile(const std::string& path, const std::string& extraLine) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        if (errno == ENOENT) {
            std::string text = kMissingMessage;
            if (!extraLine.empty()) text += "\n" + extraLine;
            MsgBox(text);
        } else {
            ShowRunTimeError(FileError(errno));
        }
        return false;
    }
    if (S_ISDIR(info.st_mode)) {
        MsgBox("There is a directory called " + path + "!\nPlease remove the directory and copy\n"
               "MODEMS.DAT to where your .EXE file is.");
        return false;
    }
    return true;
}

std::string MakeKey(std::string_view make) {
    std::string key = TrimSpaces(make);
    for (char& c : key) {
        unsigned char u = static_cast<unsigned char>(c);
        if ((u >= 'a' && u <= 'z') || (u >= 0xE0 && u <= 0xFE && u != 0xF7)) c = static_cast<char>(u - 32);
    }
    return key;
}

ModemDatabase::ModemDatabase(std::string directory)
    : directory_(directory.empty() ? ExecutableDirectory() : std::move(directory)),
      databasePath_(JoinPath(directory_, kDatabaseFileName)) {}

std::string ModemDatabase::BackupPath() const { return JoinPath(directory_, kBackupFileName); }

const ModemRecord& ModemDatabase::Record(int n) const {
    if (n < 1 || n > ModemCount()) throw std::out_of_range("no modem record " + std::to_string(n));
    return table_[static_cast<std::size_t>(n - 1)];
}

bool ModemDatabase::Load() {
    table_.clear();
    highestModemNumber_ = 0;
    databasePath_ = JoinPath(directory_, kDatabaseFileName);
    if (!CheckDatabaseFile(databasePath_, "")) return false;
    std::string content;
    try {
        if (ReadDatabaseBytes(databasePath_, content) == ReadResult::TooLarge) {
            MsgBox(kTooLargeMessage);
            return false;
        }
    } catch (const Error& error) {
        ShowRunTimeError(error);
        return false;
    }
    table_ = RecordsPresent(content);
    for (const ModemRecord& record : table_)
        if (IsLiveRecord(record) && record.ModemNumber > highestModemNumber_) highestModemNumber_ = record.ModemNumber;
    return true;
}

int ModemDatabase::FindModelRecord(const std::string& entry) const {
    for (int n = 1; n <= ModemCount(); ++n)
        if (Record(n).ModemName.Text() == entry) return n;
    return ModemCount() + 1;
}

std::vector<int> ModemDatabase::MakeChain(int start, const std::string& make) const {
    std::vector<int> chain;
    std::vector<bool> seen(static_cast<std::size_t>(ModemCount()) + 1, false);
    const std::string key = MakeKey(make);
    int r = start;
    while (r >= 1 && r <= ModemCount() && !seen[static_cast<std::size_t>(r)] && MakeKey(Record(r).Make.Text()) == key) {
        seen[static_cast<std::size_t>(r)] = true;
        chain.push_back(r);
        const int32_t next = Record(r).NextOfMake;
        r = next != 0 ? next : r + 1;
    }
    return chain;
}

int ModemDatabase::FirstRecordOfMake(const std::string& make) const {
    const std::string key = MakeKey(make);
    for (int n = 1; n <= ModemCount(); ++n)
        if (IsLiveRecord(Record(n)) && MakeKey(Record(n).Make.Text()) == key) return n;
    return 0;
}

bool ModemDatabase::Append(const ModemRecord& entered, const std::string& make) {
    if (ModemCount() >= kMaxModemRecords) {
        MsgBox(kTooLargeMessage);
        return false;
    }
    const int m = ModemCount() + 1;
    ModemRecord added = entered;
    added.Deleted = 0;
    added.NextOfMake = 0;
    // Wraps instead of overflowing on a file whose numbers reach the top of the range.
    added.ModemNumber = static_cast<int32_t>(static_cast<uint32_t>(highestModemNumber_) + 1u);

    const std::string trimmed = TrimSpaces(make);
    int last = 0;
    if (int first = FirstRecordOfMake(trimmed); first != 0) {
        std::vector<int> chain = MakeChain(first, trimmed);
        if (!chain.empty()) last = chain.back();
    }
    std::vector<std::pair<std::size_t, std::string>> pieces;
    ModemRecord lastRecord;
    if (last != 0) {
        added.Make = Record(last).Make;
        lastRecord = Record(last);
        lastRecord.NextOfMake = m;
        pieces.emplace_back(RecordOffset(last), EncodeModemRecord(lastRecord));
    } else {
        added.Make = trimmed;
    }
    pieces.emplace_back(RecordOffset(m), EncodeModemRecord(added));
    pieces.emplace_back(0, HeaderBytes(m));
    try {
        // The end of the records present: a trailing partial record is overwritten.
        WriteInPlace(databasePath_, pieces, RecordOffset(m) > kHeaderSize ? RecordOffset(m) : 0);
    } catch (const Error& error) {
        ShowRunTimeError(error);
        return false;
    }
    if (last != 0) table_[static_cast<std::size_t>(last - 1)] = lastRecord;
    table_.push_back(added);
    highestModemNumber_ = added.ModemNumber;
    return true;
}

bool ModemDatabase::Update(int n, const ModemRecord& edited) {
    if (n < 1 || n > ModemCount()) return false;
    ModemRecord record = Record(n);
    record.ModemName = edited.ModemName;
    record.HighestBaud = edited.HighestBaud;
    record.InitString = edited.InitString;
    record.Attention = edited.Attention;
    record.Hangup = edited.Hangup;
    record.Reset = edited.Reset;
    record.Answer = edited.Answer;
    record.Dial = edited.Dial;
    record.Busy = edited.Busy;
    record.Connect = edited.Connect;
    try {
        WriteInPlace(databasePath_, {{RecordOffset(n), EncodeModemRecord(record)}}, RecordOffset(n) + kRecordSize);
    } catch (const Error& error) {
        ShowRunTimeError(error);
        return false;
    }
    table_[static_cast<std::size_t>(n - 1)] = record;
    return true;
}

bool ModemDatabase::DeleteMark(int n) {
    if (n < 1 || n > ModemCount()) return false;
    table_[static_cast<std::size_t>(n - 1)].Deleted = -1;
    databasePath_ = JoinPath(directory_, kDatabaseFileName);
    if (!CheckDatabaseFile(databasePath_, "Could not delete modem.")) return false;
    try {
        WriteInPlace(databasePath_, {{RecordOffset(n), std::string("\xFF\xFF", 2)}}, RecordOffset(n) + kRecordSize);
    } catch (const Error& error) {
        ShowRunTimeError(error, "Could not delete modem.");
        return false;
    }
    return true;
}

bool ModemDatabase::PackDatabase() {
    if (!CheckDatabaseFile(databasePath_, kPackFailedLine)) return false;
    WaitPointer wait;
    std::string content;
    try {
        if (ReadDatabaseBytes(databasePath_, content) == ReadResult::TooLarge) {
            MsgBox(std::string(kTooLargeMessage) + "\n" + kPackFailedLine);
            return false;
        }
    } catch (const Error& error) {
        ShowRunTimeError(error, kPackFailedLine);
        return false;
    }
    // The backup first: the database is replaced only once its old content is safe.
    std::string error;
    if (!WriteFileAtomically(BackupPath(), content, &error, kCatalogFileMode)) {
        MsgBox(std::string(kPackFailedLine) + "\n" + error);
        return false;
    }

    std::vector<ModemRecord> work;
    for (const ModemRecord& record : RecordsPresent(content))
        if (IsLiveRecord(record)) work.push_back(record);

    // Each make's live records go together, in file order, behind the make's first live
    // record: the records appended to a make and joined to it by NextOfMake come back
    // beside their make. Grouping by the make itself rather than by the links keeps
    // them together also when the record that carried the link was deleted, whose
    // link a pack would otherwise lose, leaving them out of their make's chain.
    std::vector<ModemRecord> packed;
    packed.reserve(work.size());
    std::vector<bool> written(work.size(), false);
    for (std::size_t i = 0; i < work.size(); ++i) {
        if (written[i]) continue;
        for (std::size_t j = i; j < work.size(); ++j) {
            if (written[j] || !(work[j].Make == work[i].Make)) continue;
            ModemRecord record = work[j];
            record.NextOfMake = 0;
            packed.push_back(record);
            written[j] = true;
        }
    }

    if (!WriteModemDatabaseFile(databasePath_, packed, &error)) {
        MsgBox(std::string(kPackFailedLine) + "\n" + error);
        return false;
    }
    return Load();
}

}  // namespace zorv
