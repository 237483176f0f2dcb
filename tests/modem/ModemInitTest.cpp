// Modem initialization against FakeComm in virtual time, with a private INI file and,
// where a modem must be chosen, the modem database window on a small MODEMS.DAT.
#include "modem/ModemInit.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>

#include "config/IniFile.h"
#include "config/ModemDatabase.h"
#include "config/TVModem.h"
#include "modem/LineWait.h"
#include "modem/ModemProfiles.h"
#include "script/LibraryState.h"
#include "script/ResultCodes.h"
#include "script/StatusText.h"
#include "tests/support/FakeComm.h"
#include "tests/support/TestWorld.h"
#include "util/QtText.h"
#include "util/TextUtils.h"

namespace zorv::test {
namespace {

using Section = std::vector<std::pair<std::string, std::string>>;

const Section kPortSection = {{"Settings", "2400,N,8,1"}, {"DTREnable", "-1"}, {"RTSEnable", "-1"},
                              {"Handshaking", "0"},       {"Comm Port", "2"}};

constexpr const char* kNoTag =
    "You have not set the Tag property of this comm control. Telvane must identify each comm control by its Tag "
    "property. Please set the Tag property of each comm control in your project to a unique string.";

class ModemInitTest : public ::testing::Test {
protected:
    ModemInitTest() {
        SetIniDirectory(FromQString(iniDir.path()));
        ResetCommSlots();
        SETRESULT(RC_NONE);
        CancelRequested = 0;
        SetStatusHook([this](const std::string& message) { statuses.push_back(message); });
    }
    ~ModemInitTest() override {
        SetStatusHook(nullptr);
        CurrentCommControl = nullptr;
        SetIniDirectory("");
        ResetCommSlots();
    }

    void Store(const std::string& section, const Section& keys) {
        for (const auto& [key, value] : keys) ASSERT_TRUE(WriteIniKey(section, key, value));
    }
    // A control whose port set-up is stored, so loading it asks nothing; it starts
    // with the terminal screen and the receive event on, as a host's control would.
    std::unique_ptr<FakeComm> Control(const std::string& tag) {
        auto comm = std::make_unique<FakeComm>(world.pump);
        comm->SetTag(tag);
        comm->SetAutoProcess(1);
        comm->SetRThreshold(1);
        Store("Port_" + tag, kPortSection);
        return comm;
    }
    std::vector<std::string> BoxTexts() const {
        std::vector<std::string> texts;
        for (const RecordedBox& box : world.ui.boxes) texts.push_back(box.text);
        return texts;
    }

    TestWorld world;
    QTemporaryDir iniDir;
    std::vector<std::string> statuses;
};

TEST_F(ModemInitTest, InitCommandOutcomes) {
    struct Reply {
        const char* text;
        double delay;
    };
    struct Case {
        const char* name;
        Section modem;                 // besides ModemNumber=12
        std::vector<Reply> replies;    // one per command sent
        std::string sent;
        std::vector<std::string> statuses;
        std::vector<std::string> boxes;
        int result;
        double seconds;                // virtual time the initialization took, at most
    };
    const std::string generic = "Online: Generic 2400 Baud Modem";
    const std::vector<Case> cases = {
        {"defaults", {}, {{"ATZ\r\r\nOK\r\n", 0.5}}, "ATZ\r", {"Initializing Modem...", generic}, {}, RC_COMMAND_SENT, 1},
        {"only the first of two commands",
         {{"ModemName", "Fast One"}, {"InitString", "AT&F^MATE0^M"}},
         {{"OK\r\n", 0.5}},
         "AT&F\r",
         {"Initializing Modem...", "Online: Fast One"},
         {},
         RC_COMMAND_SENT,
         1},
        {"no ^M: nothing sent", {{"InitString", "ATZ"}}, {}, "", {"Initializing Modem...", generic}, {}, RC_NONE, 0},
        {"a null modem inside a longer name",
         {{"ModemName", "Cable Null Modem 9"}},
         {},
         "",
         {"Online: Cable Null Modem 9"},
         {},
         RC_NONE,
         0},
        {"ERROR, then OK within the longer second wait",
         {},
         {{"ERROR\r\n", 0.5}, {"OK\r\n", 15}},
         "ATZ\rATZ\r",
         {"Initializing Modem...", generic},
         {},
         RC_COMMAND_SENT,
         16},
        {"TIMEOUT, then OK", {}, {{"TIMEOUT\r\n", 0.5}, {"OK\r\n", 0.5}}, "ATZ\rATZ\r", {"Initializing Modem...", generic},
         {}, RC_COMMAND_SENT, 2},
        {"ERROR twice",
         {},
         {{"ERROR\r\n", 0.5}, {"ERROR\r\n", 0.5}},
         "ATZ\rATZ\r",
         {"Initializing Modem..."},
         {"Modem Setup Error: Please re-configure your modem."},
         RC_COMMAND_SENT,
         2},
        {"silent: one try of 10 seconds", {}, {}, "ATZ\r", {"Initializing Modem...", "Timeout Error"}, {}, RC_TIMEOUT, 11},
        {"another answer is named", {}, {{"NO CARRIER\r\n", 0.5}}, "ATZ\r", {"Initializing Modem...", "NO CARRIER"}, {},
         RC_COMMAND_SENT, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ResetCommSlots();
        SetIniDirectory(FromQString(iniDir.path()) + "/" + std::to_string(&c - cases.data()));
        statuses.clear();
        world.ui.boxes.clear();
        auto comm = Control("L1");
        Store("Modem_L1", {{"ModemNumber", "12"}});
        Store("Modem_L1", c.modem);
        for (const Reply& reply : c.replies) comm->QueueReply(reply.text, reply.delay);

        const double start = world.pump.Now();
        INITMODEM(*comm);
        EXPECT_LE(world.pump.Now() - start, c.seconds);
        EXPECT_EQ(comm->sent(), c.sent);
        EXPECT_EQ(statuses, c.statuses);
        EXPECT_EQ(BoxTexts(), c.boxes);
        EXPECT_EQ(GETRESULT(), c.result);
        EXPECT_TRUE(comm->PortOpen());
        EXPECT_EQ(comm->CommPort(), 2);  // the stored port set-up was loaded
        EXPECT_EQ(comm->AutoProcess(), 1);
        EXPECT_EQ(comm->RThreshold(), 1);
        EXPECT_FALSE(world.ui.waitPointer);
        EXPECT_EQ(CommSlotCount(), 1);
    }
}

TEST_F(ModemInitTest, AllKeysButTheModemNumberGiveTheDefaultProfile) {
    auto comm = Control("L1");
    Store("Modem_L1", {{"ModemNumber", "12abc"}});
    comm->QueueReply("OK\r\n", 0.5);
    INITMODEM(*comm);
    const ModemProfile& profile = SlotProfile(FINDCOMMSLOT(*comm));
    EXPECT_EQ(profile.ModemNumber, 12);
    EXPECT_EQ(TRIMCTLCHARS(profile.ModemName.Text()), "Generic 2400 Baud Modem");
    EXPECT_EQ(profile.HighestBaud, 2400);
    const std::vector<std::pair<std::string, std::string>> texts = {
        {TRIMCTLCHARS(profile.InitString.Text()), "ATZ^M"},
        {TRIMCTLCHARS(profile.Connect.Text()), "CONNECT"}, {TRIMCTLCHARS(profile.Attention.Text()), "AT"},
        {TRIMCTLCHARS(profile.Hangup.Text()), "ATH^M"},    {TRIMCTLCHARS(profile.Reset.Text()), "ATZ^M"},
        {TRIMCTLCHARS(profile.Answer.Text()), "ATA^M"},    {TRIMCTLCHARS(profile.Dial.Text()), "ATDT"},
        {TRIMCTLCHARS(profile.Busy.Text()), "BUSY"}};
    for (const auto& [actual, expected] : texts) EXPECT_EQ(actual, expected);
}

TEST_F(ModemInitTest, ASecondInitializationReloadsTheControlsOwnSlot) {
    auto comm = Control("L1");
    Store("Modem_L1", {{"ModemNumber", "3"}, {"ModemName", "First"}, {"Dial", "ATDP"}});
    comm->QueueReply("OK\r\n", 0.5);
    INITMODEM(*comm);
    Store("Modem_L1", {{"ModemNumber", "4"}, {"ModemName", "Second"}, {"Dial", "ATD"}});
    comm->QueueReply("OK\r\n", 0.5);
    INITMODEM(*comm);

    EXPECT_EQ(CommSlotCount(), 1);
    const ModemProfile& profile = SlotProfile(FINDCOMMSLOT(*comm));
    EXPECT_EQ(profile.ModemNumber, 4);
    EXPECT_EQ(TRIMCTLCHARS(profile.ModemName.Text()), "Second");
    EXPECT_EQ(TRIMCTLCHARS(profile.Dial.Text()), "ATD");
    EXPECT_EQ(statuses.back(), "Online: Second");
    EXPECT_TRUE(BoxTexts().empty());
}

TEST_F(ModemInitTest, AnEmptyTagIsRefusedOnceAnotherControlHasASlot) {
    auto lone = Control("");
    Store("Modem_", {{"ModemNumber", "1"}, {"InitString", "ATZ"}});
    INITMODEM(*lone);
    INITMODEM(*lone);  // the only control: its own slot again, no complaint
    EXPECT_TRUE(BoxTexts().empty());

    auto tagged = Control("B");
    Store("Modem_B", {{"ModemNumber", "2"}, {"InitString", "ATZ"}});
    INITMODEM(*tagged);
    EXPECT_EQ(CommSlotCount(), 2);

    auto untagged = Control("");
    untagged->SetAutoProcess(0);
    statuses.clear();
    INITMODEM(*untagged);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{kNoTag});
    EXPECT_TRUE(statuses.empty());
    EXPECT_FALSE(untagged->PortOpen());
    EXPECT_EQ(CommSlotCount(), 2);
}

TEST_F(ModemInitTest, AControlThatCannotBeUsedOrHoldsACallIsLeftAlone) {
    auto broken = Control("L1");
    Store("Modem_L1", {{"ModemNumber", "1"}});
    broken->ThrowOnCommPort(true);
    INITMODEM(*broken);
    EXPECT_EQ(GETRESULT(), RC_NO_COMM_CONTROL);
    EXPECT_FALSE(broken->PortOpen());

    auto online = Control("L1");
    online->SetPortOpen(true);
    online->SetCarrier(true);
    INITMODEM(*online);
    EXPECT_EQ(GETRESULT(), RC_MODEM_ONLINE);
    EXPECT_EQ(online->sent(), "");
    EXPECT_EQ(online->AutoProcess(), 1);
    EXPECT_TRUE(statuses.empty());
    EXPECT_TRUE(BoxTexts().empty());
}

// --- choosing the modem ---

class ModemChoiceTest : public ModemInitTest {
protected:
    ModemChoiceTest() {
        ModemRecord zeta;
        zeta.ModemNumber = 1;
        zeta.Make = "Zeta";
        zeta.ModemName = "Zeta Fast 9600";
        zeta.HighestBaud = 9600;
        zeta.InitString = "ATZ^MAT&F^M";
        zeta.Attention = "AT";
        EXPECT_TRUE(WriteModemDatabaseFile(FromQString(dbDir.path()) + "/MODEMS.DAT", {zeta}));
    }

    // Runs `act` on the modem database window once it is up; a window still open
    // afterwards is cancelled, so no test can hang on it.
    void WhenShown(std::function<void()> act) {
        QTimer::singleShot(0, &window, [this, act] {
            caption = FromQString(window.windowTitle());
            act();
            if (window.isVisible()) window.findChild<QPushButton*>("BtnOkExit(1)")->click();
        });
    }
    void ChooseZetaOnPort(const char* port) {
        auto* makes = window.findChild<QListWidget*>("List1");
        auto* models = window.findChild<QListWidget*>("List2");
        ASSERT_TRUE(makes && models);
        makes->setCurrentRow(0);
        models->setCurrentRow(0);
        window.findChild<QLineEdit*>("TbPort")->setText(port);
        window.findChild<QPushButton*>("BtnOkExit(0)")->click();
    }

    QTemporaryDir dbDir;
    TVModem window{FromQString(dbDir.path())};
    std::string caption;
};

TEST_F(ModemChoiceTest, WithoutAModemTheWindowComesFirstAndCancelSendsNothing) {
    auto comm = Control("L1");
    WhenShown([] {});
    INITMODEM(*comm, &window);
    EXPECT_EQ(caption, "L1 Modem Settings");
    EXPECT_EQ(comm->sent(), "");
    EXPECT_EQ(statuses, (std::vector<std::string>{"Initializing Modem...", "Online: "}));
    EXPECT_TRUE(comm->PortOpen());
    EXPECT_EQ(comm->AutoProcess(), 1);
}

TEST_F(ModemChoiceTest, AChosenModemIsInitializedWithItsOwnStrings) {
    auto comm = Control("L1");
    comm->QueueReply("OK\r\n", 0.5);  // the window's test of the modem
    comm->QueueReply("OK\r\n", 0.5);  // the initialization
    WhenShown([this] { ChooseZetaOnPort("2"); });
    INITMODEM(*comm, &window);
    EXPECT_EQ(comm->sent(), "ATZ\rATZ\r");
    EXPECT_EQ(statuses.back(), "Online: Zeta Fast 9600");
    EXPECT_EQ(ReadIniKey("Modem_L1", "ModemNumber", 9), "1");
    EXPECT_EQ(GETRESULT(), RC_COMMAND_SENT);
}

TEST_F(ModemChoiceTest, AnOpenPortGetsItsSettingsBackAndTheModemItsAttention) {
    for (bool confirm : {true, false}) {
        SCOPED_TRACE(confirm ? "confirmed" : "cancelled");
        auto comm = Control("L1");
        comm->SetSettings("19200,E,7,1");
        comm->SetPortOpen(true);
        comm->QueueReply("OK\r\n", 0.5);
        comm->QueueReply("OK\r\n", 0.5);
        WhenShown([&] {
            if (confirm) ChooseZetaOnPort("1");
        });
        MODEMSETTINGS(*comm, &window);
        EXPECT_EQ(caption, "L1 Modem Settings");
        EXPECT_EQ(CurrentCommControl, comm.get());
        EXPECT_TRUE(comm->PortOpen());
        EXPECT_EQ(comm->Settings(), "19200,E,7,1");
        // The stored Attention text goes out at its full width.
        EXPECT_EQ(comm->sent(), confirm ? "ATZ\rAT" + std::string(28, ' ') + "\r" : "");
    }
}

}  // namespace
}  // namespace zorv::test
