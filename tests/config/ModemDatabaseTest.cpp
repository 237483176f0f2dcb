#include <QTemporaryDir>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include "config/ModemDatabase.h"
#include "tests/support/TestWorld.h"

namespace zorv {
namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteRaw(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

std::string Header(int32_t count) {
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((static_cast<uint32_t>(count) >> (8 * i)) & 0xFF);
    return bytes;
}

ModemRecord Modem(const std::string& make, const std::string& model, int32_t number, int32_t nextOfMake = 0,
                  int16_t deleted = 0) {
    ModemRecord record;
    record.Deleted = deleted;
    record.NextOfMake = nextOfMake;
    record.ModemNumber = number;
    record.Make = make;
    record.ModemName = model;
    record.InitString = "ATZ^M";
    record.HighestBaud = 14400;
    return record;
}

std::string FileOf(const std::vector<ModemRecord>& records, int32_t header) {
    std::string bytes = Header(header);
    for (const ModemRecord& record : records) bytes += EncodeModemRecord(record);
    return bytes;
}

// The six-record file of a make that lies in records 3 and 4.
std::vector<ModemRecord> SixModems() {
    return {Modem("Alpha", "A1", 1), Modem("Alpha", "A2", 2), Modem("Bravo", "B1", 3),
            Modem("Bravo", "B2", 4), Modem("Charlie", "C1", 5), Modem("Delta", "D1", 6)};
}

class ModemDatabaseTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    std::string Folder() const { return dir.path().toStdString(); }
    std::string DatPath() const { return Folder() + "/MODEMS.DAT"; }
    std::vector<std::string> Entries() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(Folder()))
            names.push_back(entry.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }
    std::vector<std::string> Boxes() const {
        std::vector<std::string> texts;
        for (const auto& box : world.ui.boxes) texts.push_back(box.text);
        return texts;
    }
    std::vector<std::string> ModelsInFile() const {
        std::vector<std::string> models;
        const std::string bytes = ReadAll(DatPath());
        for (std::size_t at = 4; at + 447 <= bytes.size(); at += 447)
            models.push_back(bytes.substr(at + 35, 2));
        return models;
    }

    QTemporaryDir dir;
    test::TestWorld world;
};

TEST(ModemRecordLayout, FieldsSitAtTheirOffsetsLittleEndian) {
    ModemRecord record;
    record.Deleted = -1;
    record.NextOfMake = 0x01020304;
    record.ModemNumber = -2;
    record.Make = "Make";
    record.ModemName = "Model";
    record.InitString = "ATZ^M";
    record.Attention = "AT";
    record.Hangup = "ATH0^M";
    record.Reset = "ATZ";
    record.Answer = "ATA";
    record.Dial = "ATDT";
    record.Busy = "BUSY";
    record.HighestBaud = 57600;
    record.Connect = "CONNECT";
    const std::string bytes = EncodeModemRecord(record);
    ASSERT_EQ(bytes.size(), 447u);
    struct Case { std::size_t offset; std::string expected; };
    const Case cases[] = {
        {0, "\xFF\xFF"},
        {2, "\x04\x03\x02\x01"},
        {6, "\xFE\xFF\xFF\xFF"},
        {10, "Make" + std::string(21, ' ')},
        {35, "Model" + std::string(35, ' ')},
        {75, "ATZ^M" + std::string(123, ' ')},
        {203, "AT" + std::string(28, ' ')},
        {233, "ATH0^M" + std::string(44, ' ')},
        {283, "ATZ" + std::string(27, ' ')},
        {313, "ATA" + std::string(27, ' ')},
        {343, "ATDT" + std::string(26, ' ')},
        {373, "BUSY" + std::string(26, ' ')},
        {403, std::string("\x00\xE1\x00\x00", 4)},  // 57600
        {407, "CONNECT" + std::string(33, ' ')},
    };
    for (const Case& c : cases) EXPECT_EQ(bytes.substr(c.offset, c.expected.size()), c.expected) << c.offset;
    EXPECT_EQ(DecodeModemRecord(bytes), record);
}

TEST(ModemRecordLayout, BytesOutsidePrintableAsciiRoundTripUnchanged) {
    std::string raw(447, '\0');
    for (std::size_t i = 0; i < raw.size(); ++i) raw[i] = static_cast<char>((i * 131 + 7) & 0xFF);
    EXPECT_EQ(EncodeModemRecord(DecodeModemRecord(raw)), raw);
}

TEST(ModemDatabasePath, JoinsWithOneSlash) {
    EXPECT_EQ(JoinPath("/opt/zorv/bin", "MODEMS.DAT"), "/opt/zorv/bin/MODEMS.DAT");
    EXPECT_EQ(JoinPath("/", "MODEMS.DAT"), "/MODEMS.DAT");
    EXPECT_EQ(ModemDatabase("/opt/zorv/bin/").BackupPath(), "/opt/zorv/bin/MODEMS.BAK");
}

TEST_F(ModemDatabaseTest, LoadTrustsTheRecordsPresent) {
    struct Case { const char* what; int32_t header; int records; std::size_t trailing; int expected; };
    const Case cases[] = {
        {"trailing partial record ignored", 3, 3, 100, 3},
        {"header counts more than present", 9, 2, 0, 2},
        {"header counts fewer than present", 1, 4, 446, 4},
        {"negative header", -5, 1, 0, 1},
        {"empty database", 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        std::vector<ModemRecord> records;
        for (int i = 1; i <= c.records; ++i) records.push_back(Modem("M", "X" + std::to_string(i), i));
        WriteRaw(DatPath(), FileOf(records, c.header) + std::string(c.trailing, 'Z'));
        ModemDatabase db(Folder());
        ASSERT_TRUE(db.Load()) << c.what;
        EXPECT_EQ(db.ModemCount(), c.expected) << c.what;
        if (c.expected > 0) {
            EXPECT_EQ(db.Record(c.expected).ModemName.Text().substr(0, 2), "X" + std::to_string(c.expected));
        }
    }
    WriteRaw(DatPath(), "\x01\x00");  // not even a whole header
    ModemDatabase db(Folder());
    EXPECT_TRUE(db.Load());
    EXPECT_EQ(db.ModemCount(), 0);
    EXPECT_TRUE(world.ui.boxes.empty());
}

TEST_F(ModemDatabaseTest, HighestModemNumberCountsLiveRecordsOnly) {
    WriteRaw(DatPath(), FileOf({Modem("A", "1", 40), Modem("A", "2", 90, 0, -1), Modem("B", "3", 12)}, 3));
    ModemDatabase db(Folder());
    ASSERT_TRUE(db.Load());
    EXPECT_EQ(db.HighestModemNumber(), 40);
}

TEST_F(ModemDatabaseTest, FileCheckMessages) {
    const std::string missing = "Can not find MODEMS.DAT. Please copy it to where your .EXE file is.";
    {
        ModemDatabase db(Folder());
        EXPECT_FALSE(db.Load());
        EXPECT_FALSE(db.PackDatabase());
        EXPECT_FALSE(CheckDatabaseFile(DatPath(), "Could not delete modem."));
    }
    std::filesystem::create_directory(DatPath());
    EXPECT_FALSE(CheckDatabaseFile(DatPath(), "Could not pack modem database."));
    WriteRaw(Folder() + "/file", "x");
    EXPECT_FALSE(CheckDatabaseFile(Folder() + "/file/MODEMS.DAT", ""));
    EXPECT_EQ(Boxes(), (std::vector<std::string>{
                           missing,
                           missing + "\nCould not pack modem database.",
                           missing + "\nCould not delete modem.",
                           "There is a directory called " + DatPath() +
                               "!\nPlease remove the directory and copy\nMODEMS.DAT to where your .EXE file is.",
                           "Run-time error 76\nNot a directory",
                       }));
    EXPECT_EQ(world.ui.boxes[0].title, "ZORVDIAL");
    EXPECT_FALSE(std::filesystem::exists(Folder() + "/MODEMS.BAK"));
}

TEST_F(ModemDatabaseTest, DeleteChangesExactlyTwoBytes) {
    const std::string before = FileOf(SixModems(), 6);
    WriteRaw(DatPath(), before);
    ModemDatabase db(Folder());
    ASSERT_TRUE(db.Load());
    ASSERT_TRUE(db.DeleteMark(2));
    std::string expected = before;
    expected[451] = '\xFF';
    expected[452] = '\xFF';
    EXPECT_EQ(ReadAll(DatPath()), expected);
    EXPECT_EQ(db.Record(2).Deleted, -1);
}

TEST_F(ModemDatabaseTest, DeleteOfAMissingFileKeepsTheTableMark) {
    WriteRaw(DatPath(), FileOf(SixModems(), 6));
    ModemDatabase db(Folder());
    ASSERT_TRUE(db.Load());
    std::filesystem::remove(DatPath());
    EXPECT_FALSE(db.DeleteMark(3));
    EXPECT_EQ(db.Record(3).Deleted, -1);
    EXPECT_EQ(Boxes(), std::vector<std::string>{
                           "Can not find MODEMS.DAT. Please copy it to where your .EXE file is.\nCould not delete modem."});
}

TEST_F(ModemDatabaseTest, AddOrEditOnAMissingFileCreatesNothing) {
    WriteRaw(DatPath(), FileOf(SixModems(), 6));
    ModemDatabase db(Folder());
    ASSERT_TRUE(db.Load());
    std::filesystem::remove(DatPath());
    EXPECT_FALSE(db.Append(Modem("", "B3", 0), "Bravo"));
    EXPECT_FALSE(db.Update(1, Modem("", "A9", 0)));
    EXPECT_FALSE(std::filesystem::exists(DatPath()));
    EXPECT_EQ(db.ModemCount(), 6);
    EXPECT_EQ(db.Record(4).NextOfMake, 0);
    EXPECT_EQ(Boxes(), (std::vector<std::string>{"Run-time error 53\nNo such file or directory",
                                                 "Run-time error 53\nNo such file or directory"}));
}

TEST_F(ModemDatabaseTest, WriteToARecordNoLongerInTheFileNeverExtendsIt) {
    WriteRaw(DatPath(), FileOf(SixModems(), 6));
    ModemDatabase db(Folder());
    ASSERT_TRUE(db.Load());
    const std::string shorter = FileOf({Modem("Alpha", "A1", 1)}, 1);
    WriteRaw(DatPath(), shorter);
    EXPECT_FALSE(db.DeleteMark(5));
    EXPECT_FALSE(db.Update(4, Modem("x", "y", 0)));
    EXPECT_EQ(ReadAll(DatPath()), shorter);
    ASSERT_EQ(world.ui.boxes.size(), 2u);
    EXPECT_EQ(world.ui.boxes[0].text, "Run-time error 63\nBad record number\nCould not delete modem.");
}

TEST_F(ModemDatabaseTest, AppendJoinsTheMakesChain) {
    WriteRaw(DatPath(), FileOf(SixModems(), 6));
    ModemDatabase db(Folder());
    ASSERT_TRUE(db.Load());
    ModemRecord entered = Modem("", "B3", 0);
    ASSERT_TRUE(db.Append(entered, "  bRAVO "));

    ModemDatabase reread(Folder());
    ASSERT_TRUE(reread.Load());
    ASSERT_EQ(reread.ModemCount(), 7);
    EXPECT_EQ(ReadAll(DatPath()).substr(0, 4), Header(7));
    EXPECT_EQ(reread.Record(4).NextOfMake, 7);
    EXPECT_EQ(reread.Record(7).Make.Text(), reread.Record(4).Make.Text());  // "Bravo", case as stored
    EXPECT_EQ(reread.Record(7).ModemNumber, 7);
    EXPECT_EQ(reread.Record(7).NextOfMake, 0);
    EXPECT_EQ(reread.MakeChain(3, "BRAVO"), (std::vector<int>{3, 4, 7}));
    EXPECT_EQ(db.ModemTable(), reread.ModemTable());
    EXPECT_EQ(db.HighestModemNumber(), 7);

    // A make of its own starts a chain: the make as typed, blanks removed.
    ASSERT_TRUE(db.Append(Modem("", "E1", 0), "  Echo Tech  "));
    ASSERT_TRUE(reread.Load());
    EXPECT_EQ(reread.Record(8).Make.Text(), "Echo Tech" + std::string(16, ' '));
    EXPECT_EQ(reread.Record(8).ModemNumber, 8);
}

TEST_F(ModemDatabaseTest, AppendOverwritesATrailingPartialRecord) {
    WriteRaw(DatPath(), FileOf({Modem("Alpha", "A1", 1)}, 5) + std::string(200, 'Q'));
    ModemDatabase db(Folder());
    ASSERT_TRUE(db.Load());
    ASSERT_TRUE(db.Append(Modem("", "A2", 0), "alpha"));
    EXPECT_EQ(ReadAll(DatPath()).size(), 4u + 2 * 447);
    ASSERT_TRUE(db.Load());
    EXPECT_EQ(db.MakeChain(1, "Alpha"), (std::vector<int>{1, 2}));
}

TEST_F(ModemDatabaseTest, PackPutsChainedRecordsTogether) {
    std::vector<ModemRecord> records = SixModems();
    records[3].NextOfMake = 7;
    records.push_back(Modem("Bravo", "B3", 7));
    const std::string before = FileOf(records, 7);
    WriteRaw(DatPath(), before);
    ModemDatabase db(Folder());
    ASSERT_TRUE(db.Load());
    ASSERT_TRUE(db.PackDatabase());
    EXPECT_EQ(ModelsInFile(), (std::vector<std::string>{"A1", "A2", "B1", "B2", "B3", "C1", "D1"}));
    EXPECT_EQ(ReadAll(DatPath()).substr(0, 4), Header(7));
    for (const ModemRecord& record : db.ModemTable()) EXPECT_EQ(record.NextOfMake, 0);
    EXPECT_EQ(ReadAll(Folder() + "/MODEMS.BAK"), before);
    EXPECT_EQ(Entries(), (std::vector<std::string>{"MODEMS.BAK", "MODEMS.DAT"}));
    EXPECT_FALSE(world.ui.waitPointer);
}

TEST_F(ModemDatabaseTest, PackKeepsAppendedRecordsWhoseLinkWasDeleted) {
    std::vector<ModemRecord> records = SixModems();
    records[3].NextOfMake = 7;
    records[3].Deleted = -1;  // B2 carried the link to B3
    records.push_back(Modem("Bravo", "B3", 7));
    WriteRaw(DatPath(), FileOf(records, 7));
    ModemDatabase db(Folder());
    ASSERT_TRUE(db.Load());
    EXPECT_EQ(db.MakeChain(3, "Bravo"), (std::vector<int>{3, 4, 7}));
    ASSERT_TRUE(db.PackDatabase());
    EXPECT_EQ(ModelsInFile(), (std::vector<std::string>{"A1", "A2", "B1", "B3", "C1", "D1"}));
    EXPECT_EQ(db.MakeChain(3, "Bravo"), (std::vector<int>{3, 4}));
}

TEST_F(ModemDatabaseTest, PackDropsDeletedRecordsAndTheBackupKeepsThem) {
    std::vector<ModemRecord> records;
    for (int i = 1; i <= 9; ++i) records.push_back(Modem("M", "M" + std::to_string(i), i));
    records[1].Deleted = -1;
    records[6].Deleted = -1;
    WriteRaw(DatPath(), FileOf(records, 9) + "tail");
    ModemDatabase db(Folder());
    ASSERT_TRUE(db.Load());
    ASSERT_TRUE(db.PackDatabase());
    EXPECT_EQ(ReadAll(DatPath()).size(), 4u + 7 * 447);
    EXPECT_EQ(ReadAll(DatPath()).substr(0, 4), Header(7));
    EXPECT_EQ(ModelsInFile(), (std::vector<std::string>{"M1", "M3", "M4", "M5", "M6", "M8", "M9"}));
    EXPECT_EQ(ReadAll(Folder() + "/MODEMS.BAK").size(), 4u + 9 * 447 + 4);
    EXPECT_EQ(db.ModemCount(), 7);
}

// A file size limit makes the writes fail the way a full disk does.
TEST_F(ModemDatabaseTest, PackThatCannotWriteLeavesTheDatabaseWhole) {
    const std::string before = FileOf(SixModems(), 6);
    WriteRaw(DatPath(), before);
    ModemDatabase db(Folder());
    ASSERT_TRUE(db.Load());
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 1000;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool packed = db.PackDatabase();
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(packed);
    EXPECT_EQ(ReadAll(DatPath()), before);
    EXPECT_EQ(Entries(), std::vector<std::string>{"MODEMS.DAT"});
    ASSERT_EQ(world.ui.boxes.size(), 1u);
    EXPECT_EQ(world.ui.boxes[0].text.rfind("Could not pack modem database.\n", 0), 0u) << world.ui.boxes[0].text;
    EXPECT_FALSE(world.ui.waitPointer);
}

TEST_F(ModemDatabaseTest, FindModelRecordTakesTheFirstAtFullWidth) {
    WriteRaw(DatPath(), FileOf({Modem("A", "Other", 1), Modem("B", "Twin", 2, 0, -1), Modem("C", "Twin", 3)}, 3));
    ModemDatabase db(Folder());
    ASSERT_TRUE(db.Load());
    EXPECT_EQ(db.FindModelRecord(FixedWidth("Twin", 40)), 2);
    EXPECT_EQ(db.FindModelRecord("Twin"), 4);  // list entries are full width
    EXPECT_EQ(db.FindModelRecord(FixedWidth("Missing", 40)), 4);
}

TEST_F(ModemDatabaseTest, MakeChainEndsOnALoopOrAPointerOutOfRange) {
    WriteRaw(DatPath(), FileOf({Modem("Loop", "L1", 1, 2), Modem("loop ", "L2", 2, 1), Modem("Far", "F1", 3, 99),
                                Modem("Far", "F2", 4, -3)},
                               4));
    ModemDatabase db(Folder());
    ASSERT_TRUE(db.Load());
    EXPECT_EQ(db.MakeChain(1, " LOOP"), (std::vector<int>{1, 2}));
    EXPECT_EQ(db.MakeChain(3, "Far"), (std::vector<int>{3}));
    EXPECT_EQ(db.MakeChain(4, "Far"), (std::vector<int>{4}));
    EXPECT_EQ(db.FirstRecordOfMake("far"), 3);
}

TEST_F(ModemDatabaseTest, UpdateKeepsIdentityFieldsAndHeader) {
    std::vector<ModemRecord> records = SixModems();
    records[3].NextOfMake = 6;
    const std::string before = FileOf(records, 6);
    WriteRaw(DatPath(), before);
    ModemDatabase db(Folder());
    ASSERT_TRUE(db.Load());
    ModemRecord edited = Modem("Changed Make", "B2 Plus", 999, 0, 0);
    edited.Dial = "ATDP";
    edited.HighestBaud = 33600;
    ASSERT_TRUE(db.Update(4, edited));
    const std::string after = ReadAll(DatPath());
    EXPECT_EQ(after.substr(0, 4 + 3 * 447), before.substr(0, 4 + 3 * 447));
    EXPECT_EQ(after.substr(4 + 4 * 447), before.substr(4 + 4 * 447));
    const ModemRecord stored = DecodeModemRecord(after.substr(4 + 3 * 447, 447));
    EXPECT_EQ(stored.Make.Text().substr(0, 6), "Bravo ");
    EXPECT_EQ(stored.ModemNumber, 4);
    EXPECT_EQ(stored.NextOfMake, 6);
    EXPECT_EQ(stored.ModemName.Text().substr(0, 8), "B2 Plus ");
    EXPECT_EQ(stored.Dial.Text().substr(0, 5), "ATDP ");
    EXPECT_EQ(stored.HighestBaud, 33600);
    EXPECT_EQ(db.Record(4), stored);
}

TEST_F(ModemDatabaseTest, OversizedFileIsRefused) {
    WriteRaw(DatPath(), Header(1));
    std::filesystem::resize_file(DatPath(), 4 + static_cast<std::uintmax_t>(kMaxModemRecords + 1) * 447);
    ModemDatabase db(Folder());
    EXPECT_FALSE(db.Load());
    EXPECT_EQ(db.ModemCount(), 0);
    EXPECT_FALSE(db.PackDatabase());
    EXPECT_EQ(Boxes(), (std::vector<std::string>{"MODEMS.DAT is too large: it holds more than 32767 modems.",
                                                 "MODEMS.DAT is too large: it holds more than 32767 modems.\n"
                                                 "Could not pack modem database."}));
    EXPECT_EQ(Entries(), std::vector<std::string>{"MODEMS.DAT"});
}

}  // namespace
}  // namespace zorv
