#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>

#include "config/ModemCatalogSource.h"
#include "config/ModemDatabase.h"
#include "tests/support/TestWorld.h"

namespace zorv {
namespace {

TEST(ModemCatalogSource, ParsesBlocksWithDefaultsAndNumbers) {
    const std::string source =
        "# two makes\r\n"
        "Make=Acme\r\n"
        "Model=Fast 2400\r\n"
        "HighestBaud=2400\r\n"
        "Init=AT&F^M\r\n"
        "\r\n"
        "Make = Acme \n"
        "Model=Faster\n"
        "HighestBaud=9600\n"
        "Init=ATZ^M\n"
        "Busy=LINE BUSY\n"
        "\n\n"
        "Make=Null Modem\n"
        "Model=Null Modem\n"
        "HighestBaud=115200\n"
        "Init=\n"
        "Dial=";
    const CatalogParseResult parsed = ParseModemCatalog(source, "modems.txt");
    ASSERT_EQ(parsed.error, "");
    ASSERT_EQ(parsed.records.size(), 3u);
    const ModemRecord& second = parsed.records[1];
    EXPECT_EQ(second.ModemNumber, 2);
    EXPECT_EQ(second.Make.Text(), FixedWidth("Acme", 25));
    EXPECT_EQ(second.Busy.Text(), FixedWidth("LINE BUSY", 30));
    EXPECT_EQ(second.Hangup.Text(), FixedWidth("ATH^M", 50));
    EXPECT_EQ(second.Connect.Text(), FixedWidth("CONNECT", 40));
    EXPECT_EQ(second.HighestBaud, 9600);
    EXPECT_EQ(parsed.records[2].InitString.Text(), std::string(128, ' '));
    EXPECT_EQ(parsed.records[2].Dial.Text(), std::string(30, ' '));
    EXPECT_EQ(parsed.records[0].Deleted, 0);
}

TEST(ModemCatalogSource, RejectsBadInputWithItsLine) {
    const std::string good = "Make=A\nModel=M\nHighestBaud=2400\nInit=ATZ^M\n";
    struct Case { std::string source; std::string error; };
    const Case cases[] = {
        {"Make=A\nModel M\n", "src:2: expected Key=Value, found \"Model M\""},
        {"Make=A\nSpeed=9600\n", "src:2: unknown key \"Speed\""},
        {"Make=A\nMake=B\n", "src:2: \"Make\" given twice for one modem"},
        {"Make=" + std::string(26, 'x') + "\n", "src:1: \"Make\" is longer than 25 characters"},
        {"Make=A\nModel=M\nHighestBaud=fast\n", "src:3: HighestBaud must be a positive number, found \"fast\""},
        {"Make=A\nModel=M\nHighestBaud=0\n", "src:3: HighestBaud must be a positive number, found \"0\""},
        {"Make=A\nModel=M\nHighestBaud=99999999999\n", "src:3: HighestBaud must be a positive number, found \"99999999999\""},
        {"Make=A\nModel=\xE9t\xE9\n", "src:2: character 233 is not printable ASCII"},
        {"Make=A\nModel=M\x01\n", "src:2: character 1 is not printable ASCII"},
        {"\n\nMake=A\nModel=M\nInit=\n", "src:3: the modem starting here has no \"HighestBaud\""},
        {"Make=\nModel=M\n", "src:1: \"Make\" is empty"},
        {good + "\n" + good, "src:6: model \"M\" appears twice for make \"A\""},
        {good + "\nMake=B\nModel=M\nHighestBaud=1\nInit=\n\n" + "Make=a\nModel=N\nHighestBaud=1\nInit=\n",
         "src:11: the modems of make \"a\" must stand together"},
        {"# nothing but a comment\n", "src:1: no modems in the catalogue"},
        {std::string(2000, '#'), "src:1: line longer than 1024 characters"},
    };
    for (const Case& c : cases) {
        const CatalogParseResult parsed = ParseModemCatalog(c.source, "src");
        EXPECT_EQ(parsed.error, c.error) << c.source;
        EXPECT_TRUE(parsed.records.empty()) << c.source;
    }
}

// The catalogue the build places beside the program.
TEST(ShippedCatalog, LoadsAndHoldsNullModem) {
    const char* binDir = std::getenv("ZORV_BIN_DIR");
    if (!binDir) GTEST_SKIP() << "run through ctest, which names the build's bin folder";
    ASSERT_TRUE(std::filesystem::exists(std::string(binDir) + "/MODEMS.DAT")) << "build the modems_dat target";
    test::TestWorld world;
    ModemDatabase db(binDir);
    ASSERT_TRUE(db.Load());
    EXPECT_GE(db.ModemCount(), 30);
    const int nullModem = db.FindModelRecord(FixedWidth("Null Modem", 40));
    ASSERT_LE(nullModem, db.ModemCount());
    EXPECT_EQ(db.Record(nullModem).Make.Text(), FixedWidth("Null Modem", 25));
    EXPECT_EQ(db.HighestModemNumber(), db.ModemCount());
    // Every make's models lie together, so each make's chain reaches all of them.
    for (int n = 1; n <= db.ModemCount(); ++n) {
        const std::string make = db.Record(n).Make.Text();
        int total = 0;
        for (const ModemRecord& record : db.ModemTable()) total += record.Make == db.Record(n).Make ? 1 : 0;
        EXPECT_EQ(db.MakeChain(db.FirstRecordOfMake(make), make).size(), static_cast<std::size_t>(total)) << make;
    }
    EXPECT_TRUE(world.ui.boxes.empty());
}

}  // namespace
}  // namespace zorv
