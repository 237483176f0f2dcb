#pragma once
// MODEMS.DAT, the catalogue of modems the user picks from, and its in-memory table.
//
// File: a 4-byte little-endian record count, then 447-byte records (ModemRecord, see
// modem/ModemRecord.h for the fields) one after another, little-endian, no padding.
// Texts are blank-padded to their width. Deleted records stay in the file, marked with
// Deleted = -1 (bytes FF FF), until the database is packed.
//
// The records of one make lie together when the file is built; a modem added later to
// an existing make is appended at the end of the file and joined to its make through
// the NextOfMake of the make's previous last record. Packing puts them back together.
//
// A file not written by this program may carry a header count that differs from the
// records present: we trust the records present (the file's length), because a header
// can go stale (an add cut short between writing the record and the header) while the
// records are the data. A trailing partial record is ignored.
//
// Every operation opens the file for itself and closes it before it returns; nothing is
// held open between operations. Failures are shown in a message box and reported by
// the result false; no operation throws.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "modem/ModemRecord.h"

namespace zorv {

// The most records a MODEMS.DAT may hold: the lists that show them count with 16 bits.
inline constexpr int kMaxModemRecords = 32767;

inline constexpr const char* kDatabaseFileName = "MODEMS.DAT";
inline constexpr const char* kBackupFileName = "MODEMS.BAK";

// The 447 bytes of a record, and back. DecodeModemRecord takes the first 447 bytes of
// `bytes`, which must hold at least that many.
std::string EncodeModemRecord(const ModemRecord& record);
ModemRecord DecodeModemRecord(std::string_view bytes);

// A whole database file: header count = the number of records.
std::string EncodeModemDatabase(const std::vector<ModemRecord>& records);

// Writes `records` as a complete database file at `path`, replacing it as a whole
// (temporary file, flushed, renamed in). False, with the cause in `error`, on failure.
bool WriteModemDatabaseFile(const std::string& path, const std::vector<ModemRecord>& records,
                            std::string* error = nullptr);

// `directory` joined with `fileName` by one "/" (none added when it already ends with one).
std::string JoinPath(const std::string& directory, const std::string& fileName);

// Verifies the file before an operation; true when the operation may go on. Missing
// file, a directory of that name or any other failure of the query are shown in a
// message box (the missing-file text followed by `extraLine` when it is not empty).
bool CheckDatabaseFile(const std::string& path, const std::string& extraLine);

// True for a record not marked deleted. Only -1 marks a record deleted; that is the
// only value the program writes there.
inline bool IsLiveRecord(const ModemRecord& record) { return record.Deleted != -1; }

// A text with the blanks around it removed and in the code page's upper case, the way
// makes are compared.
std::string MakeKey(std::string_view make);

// The modem database window's table of MODEMS.DAT, and the operations on the file.
// Records are numbered from 1 in file order.
class ModemDatabase {
public:
    // The database in `directory`; by default the executable's folder.
    explicit ModemDatabase(std::string directory = "");

    const std::string& DatabasePath() const { return databasePath_; }
    std::string BackupPath() const;

    // Fills the table from the file: every record present, live and deleted. False (with
    // a message shown, and the table left empty) when the file is missing, unreadable or
    // larger than kMaxModemRecords records.
    bool Load();

    const std::vector<ModemRecord>& ModemTable() const { return table_; }
    int ModemCount() const { return static_cast<int>(table_.size()); }
    // The largest ModemNumber of the live records seen by the last load, raised by one
    // with every add.
    int32_t HighestModemNumber() const { return highestModemNumber_; }
    // Record n, 1 to ModemCount(); another number throws std::out_of_range.
    const ModemRecord& Record(int n) const;

    // The first record, in file order, whose ModemName at full width equals `entry`
    // exactly, deleted or not; ModemCount() + 1 when there is none.
    int FindModelRecord(const std::string& entry) const;

    // The records of `make` from record `start`: start, then from each record r its
    // NextOfMake when set, else r + 1, while the record exists and its make matches
    // (blanks around removed, letter case ignored). Deleted records are passed through.
    // A chain that comes back to a record already on it ends there.
    std::vector<int> MakeChain(int start, const std::string& make) const;

    // The first live record of `make` (compared as MakeChain does), 0 when there is none:
    // the record a make list entry stands for.
    int FirstRecordOfMake(const std::string& make) const;

    // Appends a new modem with the texts and HighestBaud of `entered`: it becomes record
    // ModemCount() + 1 with number HighestModemNumber() + 1. When `make` (blanks around
    // removed) names a make of the database, the new record takes that make's text as
    // stored and joins its chain; otherwise it starts the make. Writes the record, the
    // previous last record of the make, and the header.
    bool Append(const ModemRecord& entered, const std::string& make);

    // Writes record n with the edited ModemName, HighestBaud and command and response
    // strings of `edited`; its Make, ModemNumber, Deleted and NextOfMake stay.
    bool Update(int n, const ModemRecord& edited);

    // Marks record n deleted: in the table, then the two bytes FF FF in the file and
    // nothing else. The table entry stays marked also when the file check fails.
    bool DeleteMark(int n);

    // Rewrites MODEMS.DAT without the deleted records, the records of each make placed
    // together behind its first one (same make text at full width), every NextOfMake 0; MODEMS.BAK keeps the old
    // content. The new file is written beside the old one and renamed in, so a failure
    // half-way leaves the old database whole. Reloads the table.
    bool PackDatabase();

private:
    std::string directory_;
    std::string databasePath_;
    std::vector<ModemRecord> table_;
    int32_t highestModemNumber_ = 0;
};

}  // namespace zorv
