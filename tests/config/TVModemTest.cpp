// The modem database window and its record editor, driven offscreen against a small
// MODEMS.DAT of their own, a FakeComm modem in virtual time and a private INI file.
#include "config/TVModem.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <utility>

#include "config/IniFile.h"
#include "config/TVModStr.h"
#include "modem/ModemProfiles.h"
#include "script/LibraryState.h"
#include "script/ResultCodes.h"
#include "tests/support/FakeComm.h"
#include "tests/support/TestWorld.h"
#include "util/QtText.h"
#include "util/TextUtils.h"

namespace zorv::test {
namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

ModemRecord Modem(const std::string& make, const std::string& model, int32_t number, int32_t baud,
                  const std::string& init, int16_t deleted = 0) {
    ModemRecord record;
    record.Deleted = deleted;
    record.ModemNumber = number;
    record.Make = make;
    record.ModemName = model;
    record.HighestBaud = baud;
    record.InitString = init;
    record.Attention = "AT";
    record.Hangup = "ATH0^M";
    record.Reset = "ATZ^M";
    record.Answer = "ATA^M";
    record.Dial = "ATDT";
    record.Busy = "BUSY";
    record.Connect = "CONNECT";
    return record;
}

// Makes in mixed letter case, a make whose only record is deleted, a null modem (with
// a blank in front of its name), a modem without "^M" in its init and one with every
// text blank.
std::vector<ModemRecord> Catalogue() {
    ModemRecord blank;
    blank.ModemNumber = 7;
    blank.Make = "Plain";
    return {Modem("Zeta", "Zeta Fast 9600", 1, 9600, "ATZ^MAT&F^M"),
            Modem("Hayes", "Smartmodem 2400", 2, 2400, "AT&F^MATM0^M"),
            Modem("Hayes", "Accura 1200", 3, 1200, "ATZ^M"),
            Modem("Gone", "Old Modem", 9, 2400, "ATZ^M", -1),
            Modem("Direct", " Null Modem", 5, 19200, "ATZ^M"),
            Modem("acme", "Quiet", 6, 14400, "ATI"),
            blank};
}

std::vector<std::string> Texts(const QListWidget* list) {
    std::vector<std::string> texts;
    for (int row = 0; row < list->count(); ++row) texts.push_back(FromQString(list->item(row)->text()));
    return texts;
}

std::string Wide(const std::string& model) { return FixedWidth(model, 40); }

// Keeps a picture of a window beside the build for review.
void Grab(QWidget& window, const QString& name) {
    const char* bin = std::getenv("ZORV_BIN_DIR");
    if (!bin) return;
    const QString folder = QString::fromLocal8Bit(bin) + "/../screenshots";
    QDir().mkpath(folder);
    window.grab().save(folder + "/" + name + ".png");
}

class TVModemTest : public ::testing::Test {
protected:
    TVModemTest() : comm(world.pump) {
        SetIniDirectory(FromQString(iniDir.path()));
        ResetCommSlots();
        SETRESULT(RC_NONE);
        comm.SetTag("Line1");
        comm.SetCommPort(3);
        CurrentCommControl = &comm;
        WriteDatabase(Catalogue());
    }
    ~TVModemTest() override {
        CurrentCommControl = nullptr;
        SetIniDirectory("");
        ResetCommSlots();
    }

    std::string Folder() const { return FromQString(dbDir.path()); }
    std::string DatPath() const { return Folder() + "/MODEMS.DAT"; }
    void WriteDatabase(const std::vector<ModemRecord>& records) {
        ASSERT_TRUE(WriteModemDatabaseFile(DatPath(), records));
    }

    template <typename T>
    T* Find(QWidget& parent, const char* name) {
        T* widget = parent.findChild<T*>(name);
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    QListWidget* List1() { return Find<QListWidget>(window, "List1"); }
    QListWidget* List2() { return Find<QListWidget>(window, "List2"); }
    QLineEdit* Port() { return Find<QLineEdit>(window, "TbPort"); }
    QPushButton* Ok() { return Find<QPushButton>(window, "BtnOkExit(0)"); }
    QPushButton* Cancel() { return Find<QPushButton>(window, "BtnOkExit(1)"); }
    QAction* Menu(int item) { return Find<QAction>(window, ("MUtil(" + std::to_string(item) + ")").c_str()); }
    QLineEdit* Box(const char* name) { return Find<QLineEdit>(window.Editor(), name); }
    std::string BoxText(const char* name) { return FromQString(Box(name)->text()); }
    std::string NumberLabel() { return FromQString(Find<QLabel>(window.Editor(), "ModemNumber")->text()); }

    std::string CurrentText(QListWidget* list) {
        return list->currentItem() ? FromQString(list->currentItem()->text()) : "<none>";
    }
    // Picks a make and a model (the model by its text without surrounding blanks).
    void Choose(const std::string& make, const std::string& model) {
        for (int row = 0; row < List1()->count(); ++row)
            if (FromQString(List1()->item(row)->text()) == make) List1()->setCurrentRow(row);
        for (int row = 0; row < List2()->count(); ++row)
            if (TrimBlanks(FromQString(List2()->item(row)->text())) == model) List2()->setCurrentRow(row);
        ASSERT_EQ(TrimBlanks(CurrentText(List2())), model);
    }

    // Shows the window modally as a host does and runs `act` once it is up; a window
    // still open afterwards is cancelled, so no test can hang on it.
    void Show(std::function<void()> act) {
        window.setWindowTitle("Line1 Modem Settings");
        QTimer::singleShot(0, &window, [this, act] {
            act();
            stillOpen = window.isVisible();
            if (stillOpen) Cancel()->click();
        });
        window.exec();
    }
    // Runs `act` on the record editor once it is up, then presses its `button`.
    void WhenEditorShown(std::function<void()> act, const char* button) {
        QTimer::singleShot(0, &window, [this, act, button] {
            act();
            Find<QPushButton>(window.Editor(), button)->click();
        });
    }

    std::vector<std::string> BoxTexts() const {
        std::vector<std::string> texts;
        for (const auto& box : world.ui.boxes) texts.push_back(box.text);
        return texts;
    }

    TestWorld world;
    FakeComm comm;
    QTemporaryDir iniDir;
    QTemporaryDir dbDir;
    TVModem window{FromQString(dbDir.path())};
    bool stillOpen = false;
};

TEST_F(TVModemTest, FirstShowingListsTheMakesAndPreselectsTheConfiguredModem) {
    // The configured modem sorts after another model of its make.
    ASSERT_TRUE(WriteIniKey("Modem_Line1", "ModemNumber", "2"));
    std::string port;
    Show([&] {
        port = FromQString(Port()->text());
        Grab(window, "TVModem");
    });
    EXPECT_EQ(Texts(List1()), (std::vector<std::string>{"acme", "Direct", "Hayes", "Plain", "Zeta"}));
    EXPECT_EQ(CurrentText(List1()), "Hayes");
    EXPECT_EQ(Texts(List2()), (std::vector<std::string>{Wide("Accura 1200"), Wide("Smartmodem 2400")}));
    EXPECT_EQ(CurrentText(List2()), Wide("Smartmodem 2400"));
    EXPECT_EQ(port, "3");
    EXPECT_EQ(window.ConfiguredModemNumber(), 2);
    EXPECT_EQ(window.Database().HighestModemNumber(), 7);  // the deleted number 9 does not count
    ASSERT_EQ(window.MakeTable().size(), 5u);
    EXPECT_EQ(window.MakeTable()[2].name.Text(), FixedWidth("Hayes", 25));
    EXPECT_EQ(window.MakeTable()[2].firstRecord, 2);
    EXPECT_TRUE(BoxTexts().empty());

    const std::pair<const char*, int> searches[] = {{"hayes ", 3}, {" ZETA", 5}, {"acme", 1}, {"Gone", 0}, {"", 0}};
    for (const auto& [criteria, position] : searches) EXPECT_EQ(window.SearchModemList(criteria), position) << criteria;

    // A later showing for another control keeps the lists and takes the new port.
    FakeComm other(world.pump);
    other.SetTag("Line2");
    other.SetCommPort(5);
    CurrentCommControl = &other;
    Show([&] { port = FromQString(Port()->text()); });
    EXPECT_EQ(port, "5");
    EXPECT_EQ(CurrentText(List2()), Wide("Smartmodem 2400"));
}

TEST_F(TVModemTest, OkTestsTheModemAndStoresIt) {
    struct Reply {
        std::string text;
        double delay;
    };
    struct Case {
        const char* name;
        std::string make, model, port;
        std::vector<Reply> replies;  // one per command sent
        bool refuseOpen;
        std::string sent;
        std::string settings;        // of the control afterwards
        std::vector<std::string> boxes;
        std::string description;     // empty: nothing stored, the window stays open
    };
    const std::vector<Case> cases = {
        {"2400 answers OK, only the first command", "Hayes", "Smartmodem 2400", "4", {{"\r\nOK\r\n", 0.2}}, false,
         "AT&F\r", "2400,N,8,1", {}, "COM4: " + Wide("Smartmodem 2400")},
        {"1200 tests at 300", "Hayes", "Accura 1200", "4", {{"OK\r\n", 0.2}}, false, "ATZ\r", "300,N,8,1", {},
         "COM4: " + Wide("Accura 1200")},
        {"ERROR, then OK to the repeat after 35 s", "Zeta", "Zeta Fast 9600", " 2.4", {{"ERROR\r\n", 0.2}, {"OK\r\n", 35}},
         false, "ATZ\rATZ\r", "2400,N,8,1", {}, "COM2: " + Wide("Zeta Fast 9600")},
        {"TIMEOUT twice", "Zeta", "Zeta Fast 9600", "4", {{"TIMEOUT\r\n", 0.2}, {"TIMEOUT\r\n", 0.2}}, false,
         "ATZ\rATZ\r", "2400,N,8,1", {"Error: You may have picked the wrong modem."}, ""},
        {"no answer: one try of 30 s", "Zeta", "Zeta Fast 9600", "4", {}, false, "ATZ\r", "2400,N,8,1",
         {"Timeout Error"}, ""},
        {"NO CARRIER", "Zeta", "Zeta Fast 9600", "4", {{"NO CARRIER\r\n", 0.2}}, false, "ATZ\r", "2400,N,8,1",
         {"Command sent ok."}, ""},
        {"null modem: no port, nothing sent", "Direct", "Null Modem", "6", {}, false, "", "9600,N,8,1", {},
         "COM6: " + Wide(" Null Modem")},
        {"init without ^M: nothing sent", "acme", "Quiet", "4", {}, false, "", "2400,N,8,1", {}, "COM4: " + Wide("Quiet")},
        {"port 0", "Zeta", "Zeta Fast 9600", "0", {}, false, "", "9600,N,8,1", {"No Port Specified"}, ""},
        {"port empty", "Zeta", "Zeta Fast 9600", "", {}, false, "", "9600,N,8,1", {"No Port Specified"}, ""},
        {"port not a number", "Zeta", "Zeta Fast 9600", "x", {}, false, "", "9600,N,8,1", {"No Port Specified"}, ""},
        {"port out of range", "Zeta", "Zeta Fast 9600", "99999", {}, false, "", "9600,N,8,1", {"No Port Specified"}, ""},
        {"port does not open", "Zeta", "Zeta Fast 9600", "4", {}, true, "", "2400,N,8,1", {"COM4 is not available"}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeComm line(world.pump);
        line.SetTag("Line1");
        line.RefuseOpen(c.refuseOpen);
        for (const Reply& reply : c.replies) line.QueueReply(reply.text, reply.delay);
        CurrentCommControl = &line;
        SetIniDirectory(FromQString(iniDir.path()) + "/" + c.name);
        world.ui.boxes.clear();
        std::string caption;
        Show([&] {
            Choose(c.make, c.model);
            Port()->setText(ToQString(c.port));
            Ok()->click();
            caption = FromQString(window.windowTitle());
        });
        EXPECT_EQ(line.sent(), c.sent);
        EXPECT_EQ(line.Settings(), c.settings);
        EXPECT_EQ(BoxTexts(), c.boxes);
        EXPECT_EQ(stillOpen, c.description.empty());
        EXPECT_EQ(window.ModemDescription(), c.description);
        EXPECT_FALSE(line.PortOpen());
        EXPECT_FALSE(world.ui.waitPointer);
        EXPECT_EQ(caption, "Line1 Modem Settings");
        EXPECT_EQ(ReadIniKey("Modem_Line1", "ModemName", 127).empty(), c.description.empty());
    }
}

TEST_F(TVModemTest, StoringWritesTheSectionAndTheControlsProfile) {
    struct Case {
        std::string make, model;
        std::vector<std::pair<std::string, std::string>> section;
        std::string description;
    };
    const std::vector<Case> cases = {
        {"Hayes", "Smartmodem 2400",
         {{"ModemNumber", "2"}, {"ModemName", "Smartmodem 2400"}, {"HighestBaud", "2400"}, {"InitString", "AT&F^MATM0^M"},
          {"Connect", "CONNECT"}, {"Attention", "AT"}, {"Hangup", "ATH0^M"}, {"Reset", "ATZ^M"}, {"Answer", "ATA^M"},
          {"Dial", "ATDT"}, {"Busy", "BUSY"}},
         "COM3: " + Wide("Smartmodem 2400")},
        // Every text blank: the values for empty fields are written, nothing is sent.
        {"Plain", "",
         {{"ModemNumber", "7"}, {"ModemName", "Generic 2400 Baud Modem"}, {"HighestBaud", "0"}, {"InitString", "AT^M"},
          {"Connect", "CONNECT"}, {"Attention", "AT"}, {"Hangup", "ATH^M"}, {"Reset", "ATZ^M"}, {"Answer", "ATA^M"},
          {"Dial", "ATDT"}, {"Busy", "BUSY"}},
         "COM3: " + std::string(40, ' ')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.make);
        ResetCommSlots();
        comm.QueueReply("OK\r\n", 0.1);
        SetIniDirectory(FromQString(iniDir.path()) + "/" + c.make);
        Show([&] {
            Choose(c.make, c.model);
            Ok()->click();
        });
        EXPECT_EQ(window.ModemDescription(), c.description);
        EXPECT_EQ(ReadIniSection("Modem_Line1"), c.section);
        // The profile holds the record's fields as stored: full width, caret notation.
        const ModemProfile& profile = SlotProfile(FINDCOMMSLOT(comm));
        const int n = window.Database().FindModelRecord(Wide(c.model));
        const ModemRecord& record = window.Database().Record(n);
        EXPECT_EQ(profile.ModemNumber, record.ModemNumber);
        EXPECT_EQ(profile.ModemName, record.ModemName);
        EXPECT_EQ(profile.HighestBaud, record.HighestBaud);
        EXPECT_EQ(profile.InitString, record.InitString);
        EXPECT_EQ(profile.Hangup.Text(), record.Hangup.Text());
        EXPECT_EQ(profile.Connect, record.Connect);
        EXPECT_EQ(profile.Busy, record.Busy);
        EXPECT_EQ(profile.Make.Text(), std::string(25, ' '));  // the make is not part of a profile
    }
}

TEST_F(TVModemTest, CancelWhileTheModemIsTestedClosesAtOnceAndStoresNothing) {
    const double start = world.pump.Now();
    bool hiddenAtCancel = false;
    Show([&] {
        Choose("Zeta", "Zeta Fast 9600");
        world.pump.After(5, [&] {
            Cancel()->click();
            hiddenAtCancel = !window.isVisible();
        });
        Ok()->click();
    });
    EXPECT_TRUE(hiddenAtCancel);
    EXPECT_LT(world.pump.Now() - start, 10);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Process Canceled By User"});
    EXPECT_EQ(window.ModemDescription(), "");
    EXPECT_FALSE(comm.PortOpen());
    EXPECT_EQ(window.windowTitle(), "Line1 Modem Settings");
    EXPECT_TRUE(ReadIniSection("Modem_Line1").empty());
}

TEST_F(TVModemTest, WhileTheModemIsTestedOkAndTheMenuWait) {
    const std::string before = ReadAll(DatPath());
    Show([&] {
        Choose("Zeta", "Zeta Fast 9600");
        world.pump.After(2, [&] {
            Ok()->click();
            List2()->itemDoubleClicked(List2()->currentItem());
            Menu(3)->trigger();
            Menu(5)->trigger();
        });
        comm.QueueReply("OK\r\n", 4);
        Ok()->click();
    });
    EXPECT_EQ(comm.sent(), "ATZ\r");
    EXPECT_TRUE(BoxTexts().empty());
    EXPECT_EQ(window.ModemDescription(), "COM3: " + Wide("Zeta Fast 9600"));
    EXPECT_EQ(ReadAll(DatPath()), before);
}

TEST_F(TVModemTest, AStoreTheIniFileCannotTakeIsReported) {
    // The settings folder would have to be made inside a file.
    SetIniDirectory(FromQString(dbDir.filePath("MODEMS.DAT")) + "/settings");
    comm.QueueReply("OK\r\n", 0.1);
    Show([&] {
        Choose("Hayes", "Smartmodem 2400");
        Ok()->click();
    });
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"The modem settings could not be saved in " + IniFilePath() + "."});
    // The modem is still the control's for this run.
    EXPECT_EQ(window.ModemDescription(), "COM3: " + Wide("Smartmodem 2400"));
    EXPECT_EQ(SlotProfile(FINDCOMMSLOT(comm)).ModemNumber, 2);
}

TEST_F(TVModemTest, EditShowsTheRecordAndWritesItBack) {
    window.LoadModemDatabase();
    Choose("Hayes", "Accura 1200");
    std::vector<std::string> shown;
    WhenEditorShown(
        [&] {
            shown = {NumberLabel(),      BoxText("Vendor"), BoxText("Model"),  BoxText("HighestBaud"),
                     BoxText("Init"),    BoxText("Hangup"), BoxText("Connect")};
            Grab(window.Editor(), "TVModStr");
            Box("Vendor")->setText("Other Make");
            Box("Model")->setText("  Accura 1200 Plus ");
            Box("HighestBaud")->setText(" 2400");
            Box("Hangup")->setText("ATH1^M");
        },
        "Command1(0)");
    Menu(1)->trigger();
    EXPECT_EQ(shown, (std::vector<std::string>{" 3", " Hayes", " Accura 1200", " 1200", "ATZ^M", "ATH0^M", "CONNECT"}));
    EXPECT_EQ(window.Editor().NewRecordMarker(), "");

    // Written in place; the make and the number stay the record's.
    ModemDatabase reread(Folder());
    ASSERT_TRUE(reread.Load());
    const ModemRecord& record = reread.Record(3);
    EXPECT_EQ(record.ModemName.Text(), Wide("Accura 1200 Plus"));
    EXPECT_EQ(record.HighestBaud, 2400);
    EXPECT_EQ(TrimBlanks(record.Hangup.Text()), "ATH1^M");
    EXPECT_EQ(TrimBlanks(record.Make.Text()), "Hayes");
    EXPECT_EQ(record.ModemNumber, 3);
    // The list names the record by its new text, so the next OK or edit finds it.
    EXPECT_EQ(CurrentText(List2()), Wide("Accura 1200 Plus"));
    EXPECT_TRUE(BoxTexts().empty());

    // A speed no record can hold is refused; the editor stays open and nothing is written.
    const std::string before = ReadAll(DatPath());
    bool editorOpen = false;
    QTimer::singleShot(0, &window, [&] {
        Box("HighestBaud")->setText("99999999999");
        Find<QPushButton>(window.Editor(), "Command1(0)")->click();
        editorOpen = window.Editor().isVisible();
        Find<QPushButton>(window.Editor(), "Command1(1)")->click();
    });
    Menu(1)->trigger();
    EXPECT_TRUE(editorOpen);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Run-time error 6: Overflow"});
    EXPECT_EQ(ReadAll(DatPath()), before);
}

TEST_F(TVModemTest, AddStartsFromTheLastRecordShownAndJoinsItsMake) {
    window.LoadModemDatabase();
    Choose("Hayes", "Smartmodem 2400");
    WhenEditorShown([] {}, "Command1(1)");
    Menu(1)->trigger();

    // Cancel in the editor: nothing written, the table as it was.
    const std::string before = ReadAll(DatPath());
    std::vector<std::string> shown;
    WhenEditorShown(
        [&] {
            shown = {NumberLabel(), BoxText("Vendor"), BoxText("Model"), BoxText("HighestBaud"), BoxText("Init"),
                     BoxText("Hangup")};
        },
        "Command1(1)");
    Menu(2)->trigger();
    EXPECT_EQ(shown, (std::vector<std::string>{" 8", " Hayes", " ", " 57600", "AT^M", "ATH0^M"}));
    EXPECT_EQ(ReadAll(DatPath()), before);
    EXPECT_EQ(window.Database().ModemCount(), 7);

    // OK: appended as record 8 of the make typed in other letter case.
    WhenEditorShown(
        [&] {
            Box("Vendor")->setText(" HAYES ");
            Box("Model")->setText(" Optima 288");
        },
        "Command1(0)");
    Menu(2)->trigger();
    EXPECT_EQ(window.Editor().NewRecordMarker(), " ");
    ASSERT_EQ(window.Database().ModemCount(), 8);
    const ModemRecord& added = window.Database().Record(8);
    EXPECT_EQ(added.ModemNumber, 8);
    EXPECT_EQ(added.HighestBaud, 57600);
    EXPECT_EQ(added.Make.Text(), FixedWidth("Hayes", 25));
    EXPECT_EQ(added.InitString.Text(), FixedWidth("AT^M", 128));
    EXPECT_EQ(window.Database().Record(3).NextOfMake, 8);
    EXPECT_EQ(ReadAll(DatPath()).size(), 4u + 8 * 447);
    // The lists were read again: the make shows its new model.
    Choose("Hayes", "Optima 288");
    EXPECT_EQ(Texts(List2()).size(), 3u);
}

TEST_F(TVModemTest, DeleteMarksTheRecordAndPackRemovesIt) {
    window.LoadModemDatabase();
    // The only model of its make: the make goes from the list, the record stays marked.
    Choose("Plain", "");
    Menu(3)->trigger();
    EXPECT_EQ(Texts(List1()), (std::vector<std::string>{"acme", "Direct", "Hayes", "Zeta"}));
    EXPECT_EQ(CurrentText(List1()), "Zeta");
    EXPECT_EQ(Texts(List2()), std::vector<std::string>{Wide("Zeta Fast 9600")});
    const std::string bytes = ReadAll(DatPath());
    EXPECT_EQ(bytes.size(), 4u + 7 * 447);
    EXPECT_EQ(bytes.substr(4 + 6 * 447, 2), "\xFF\xFF");
    EXPECT_EQ(window.SearchModemList("Plain"), 0);

    // One model of two: the other stays listed.
    Choose("Hayes", "Accura 1200");
    Menu(3)->trigger();
    EXPECT_EQ(Texts(List2()), std::vector<std::string>{Wide("Smartmodem 2400")});

    Menu(5)->trigger();
    EXPECT_EQ(window.Database().ModemCount(), 4);  // 7 less the two deleted now and the one before
    EXPECT_EQ(ReadAll(DatPath()).size(), 4u + 4 * 447);
    EXPECT_EQ(ReadAll(window.Database().BackupPath()), bytes.substr(0, 4 + 2 * 447) + "\xFF\xFF" +
                                                           bytes.substr(4 + 2 * 447 + 2));
    EXPECT_EQ(Texts(List1()), (std::vector<std::string>{"acme", "Direct", "Hayes", "Zeta"}));
    EXPECT_TRUE(BoxTexts().empty());
}

TEST_F(TVModemTest, WithoutADatabaseTheListsStayEmptyAndNothingActs) {
    ASSERT_TRUE(QFile::remove(dbDir.filePath("MODEMS.DAT")));
    Show([&] {
        EXPECT_EQ(List1()->count(), 0);
        EXPECT_EQ(List2()->count(), 0);
        Ok()->click();
        Menu(1)->trigger();
        Menu(3)->trigger();
    });
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{
                              "Can not find MODEMS.DAT. Please copy it to where your .EXE file is.",
                              "Invalid Modem in database", "Invalid Modem in database", "Invalid Modem in database"}));
    EXPECT_EQ(world.ui.beeps, 3);
    EXPECT_EQ(comm.writes().back(), "CommPort=3");  // no port was touched
}

}  // namespace
}  // namespace zorv::test
