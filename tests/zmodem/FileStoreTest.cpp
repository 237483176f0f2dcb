// The download folder: names a remote end gives, existing files, links, partial files.
#include "platform/zmodem/FileStore.h"
#include "tests/zmodem/ZmodemTestKit.h"

#include <gtest/gtest.h>
#include <unistd.h>

namespace zorv::zmodem {
namespace {

using test::Bytes;
using test::TempDir;

TEST(SafeFileName, RemoteNamesBecomePlainNames) {
    struct Case {
        std::string given, expected;
    } cases[] = {
        {"report.txt", "report.txt"},
        {"name with spaces.txt", "name with spaces.txt"},
        {"../x", "x"},
        {"../../etc/passwd", "passwd"},
        {"/etc/x", "x"},
        {"C:\\DOS\\GAME.EXE", "GAME.EXE"},
        {"dir/", "unnamed"},
        {"..", "__"},
        {".", "_"},
        {".bashrc", "_bashrc"},
        {"", "unnamed"},
        {"a\x1b[31mred\x07.txt", "a_[31mred_.txt"},
        {"tab\there\r\n", "tab_here__"},
        {"c1\x9b" "31m", "c1_31m"},
        {"x.part", "x.par_"},
        {"dev:null", "dev_null"},
    };
    for (const auto& c : cases) EXPECT_EQ(SafeFileName(c.given), c.expected) << c.given;

    std::string longName(10000, 'a');
    EXPECT_EQ(SafeFileName(longName).size(), kMaxNameLength);
    EXPECT_EQ(SafeFileName(longName + ".zip"), std::string(kMaxNameLength - 4, 'a') + ".zip");
}

struct Written {
    std::string name;
    bool finished;
};

Written Receive(DownloadFolder& folder, const FileOffer& offer, const Bytes& data, bool finish = true) {
    std::string error;
    auto f = folder.Open(offer, true, error);
    EXPECT_TRUE(f) << error;
    if (!f) return {"", false};
    int64_t pos = f->ExistingLength();
    EXPECT_TRUE(f->Write(pos, reinterpret_cast<const uint8_t*>(data.data()) + pos, data.size() - pos));
    bool finished = finish && f->Finish(static_cast<int64_t>(data.size()));
    if (!finish) f->KeepPartial();
    return {f->Name(), finished};
}

// Nothing already in the folder is replaced, and no link leads a write outside it.
TEST(DownloadFolder, NeverReplacesNorFollowsLinks) {
    TempDir dir, outside;
    test::WriteWholeFile(dir.File("taken.txt"), "mine");
    test::WriteWholeFile(outside.File("target"), "outside");
    ASSERT_EQ(symlink(outside.File("target").c_str(), dir.File("link").c_str()), 0);
    ASSERT_EQ(symlink(outside.File("target").c_str(), dir.File("trap.part").c_str()), 0);
    ASSERT_EQ(symlink(outside.File("newfile").c_str(), dir.File("dangling.part").c_str()), 0);

    DownloadFolder folder(dir.Path());
    struct Case {
        std::string offered, stored;
    } cases[] = {
        {"taken.txt", "taken.1.txt"},
        {"../taken.txt", "taken.2.txt"},
        {"link", "link.1"},
        {"trap", "trap.1"},
        {"dangling", "dangling.1"},
        {"/tmp/fresh", "fresh"},
    };
    for (const auto& c : cases) {
        Written w = Receive(folder, {c.offered, 3, 0}, "new");
        EXPECT_TRUE(w.finished) << c.offered;
        EXPECT_EQ(w.name, c.stored) << c.offered;
        Bytes got;
        EXPECT_TRUE(test::ReadWholeFile(dir.File(c.stored), got));
        EXPECT_EQ(got, "new");
    }
    Bytes got;
    test::ReadWholeFile(dir.File("taken.txt"), got);
    EXPECT_EQ(got, "mine");
    test::ReadWholeFile(outside.File("target"), got);
    EXPECT_EQ(got, "outside");
    EXPECT_FALSE(test::Exists(outside.File("newfile")));
    EXPECT_EQ(outside.Names(), std::vector<std::string>{"target"});
}

TEST(DownloadFolder, PartialFilesAreKeptAndContinued) {
    TempDir dir;
    DownloadFolder folder(dir.Path());
    Bytes data = test::RandomBytes(5000, 5);
    std::string error;
    {
        auto f = folder.Open({"data.bin", 5000, 0}, true, error);
        ASSERT_TRUE(f);
        ASSERT_TRUE(f->Write(0, reinterpret_cast<const uint8_t*>(data.data()), 2000));
        // Only the whole length completes a file.
        EXPECT_FALSE(f->Finish(5000));
        f->KeepPartial();
    }
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"data.bin.part"});

    auto again = folder.Open({"data.bin", 5000, 0}, true, error);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->ExistingLength(), 2000);
    uint32_t crc = 0;
    ASSERT_TRUE(again->ExistingCrc(2000, crc));
    EXPECT_EQ(crc, 0xFFFFFFFFu ^ [&] {
        uint32_t c = 0xFFFFFFFFu;
        for (int i = 0; i < 2000; ++i) {
            c ^= static_cast<uint8_t>(data[i]);
            for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        }
        return c;
    }());
    again.reset();

    // Refused as a continuation, the same offer gets a name of its own.
    auto fresh = folder.Open({"data.bin", 5000, 0}, false, error);
    ASSERT_TRUE(fresh);
    EXPECT_EQ(fresh->Name(), "data.1.bin");
    EXPECT_EQ(fresh->ExistingLength(), 0);

    // An empty partial file is taken up again under its own name, unless another transfer
    // is writing it.
    auto beside = folder.Open({"data.bin", 5000, 0}, false, error);
    ASSERT_TRUE(beside);
    EXPECT_EQ(beside->Name(), "data.2.bin");
    fresh.reset();
    beside.reset();
    auto retaken = folder.Open({"data.bin", 5000, 0}, false, error);
    ASSERT_TRUE(retaken);
    EXPECT_EQ(retaken->Name(), "data.1.bin");
    retaken.reset();

    // A partial copy longer than the offer cannot be a prefix of it.
    auto shorter = folder.Open({"data.bin", 1000, 0}, true, error);
    ASSERT_TRUE(shorter);
    EXPECT_EQ(shorter->ExistingLength(), 0);
}

TEST(DownloadFolder, GivenNameIsUsedForTheFirstFile) {
    TempDir dir;
    test::WriteWholeFile(dir.File("wanted.zip"), "");   // made ready, empty
    DownloadFolder folder(dir.Path(), "wanted.zip");
    EXPECT_EQ(Receive(folder, {"REMOTE.ZIP", 4, 0}, "abcd").name, "wanted.zip");
    EXPECT_EQ(Receive(folder, {"second.zip", 2, 0}, "ef").name, "second.zip");
    Bytes got;
    test::ReadWholeFile(dir.File("wanted.zip"), got);
    EXPECT_EQ(got, "abcd");

    TempDir other;
    test::WriteWholeFile(other.File("wanted.zip"), "keep me");
    DownloadFolder keep(".", other.File("wanted.zip"));   // the folder part wins
    EXPECT_EQ(Receive(keep, {"x", 4, 0}, "abcd").name, "wanted.1.zip");
    test::ReadWholeFile(other.File("wanted.zip"), got);
    EXPECT_EQ(got, "keep me");
}

// Reads come in subpackets, forwards and (after a ZRPOS) backwards, across the
// read-ahead's edges and up to the end of the file.
TEST(SendFileRead, AnyPositionGivesTheFileBytes) {
    TempDir dir;
    const Bytes data = test::RandomBytes(200000, 31);
    test::WriteWholeFile(dir.File("f.bin"), data);
    std::string error;
    auto file = OpenSendFile(dir.File("f.bin"), error);
    ASSERT_TRUE(file) << error;
    const std::vector<std::pair<int64_t, size_t>> reads = {
        {0, 8192}, {8192, 8192}, {4096, 1024}, {65530, 8192}, {131072, 100000}, {199990, 8192}, {200000, 10}, {0, 1}};
    for (const auto& [position, length] : reads) {
        std::vector<uint8_t> buffer(length);
        const long got = file->Read(position, buffer.data(), length);
        const size_t expected = std::min<size_t>(length, data.size() - position);
        ASSERT_EQ(got, long(expected)) << position;
        EXPECT_TRUE(Bytes(buffer.begin(), buffer.begin() + got) == data.substr(position, expected)) << position;
    }
}

}  // namespace
}  // namespace zorv::zmodem
