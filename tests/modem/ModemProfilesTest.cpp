#include <gtest/gtest.h>

#include "modem/ModemProfiles.h"
#include "tests/support/FakeComm.h"
#include "tests/support/TestWorld.h"
#include "util/Error.h"

namespace zorv {
namespace {

class TaglessComm : public test::FakeComm {
public:
    using FakeComm::FakeComm;
    std::string Tag() const override { throw Error(ErrorNumber::OperationNotValid, "Tag is not available"); }
};

class ModemProfilesTest : public ::testing::Test {
protected:
    void SetUp() override { ResetCommSlots(); }
    void TearDown() override { ResetCommSlots(); }

    test::FakeComm Comm(const std::string& tag) {
        test::FakeComm comm(world.pump);
        comm.SetTag(tag);
        return comm;
    }

    test::TestWorld world;
};

TEST(FixedText, PadsWithBlanksAndCutsToWidth) {
    struct Case { std::string text; std::string expected; };
    const Case cases[] = {
        {"", "     "},
        {"AT", "AT   "},
        {"ATDT9", "ATDT9"},
        {"ATDT9,", "ATDT9"},
        {std::string("A\0B", 3), std::string("A\0B  ", 5)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FixedWidth(c.text, 5), c.expected) << c.text;
        FixedText<5> field;
        field = c.text;
        EXPECT_EQ(field.Text(), c.expected) << c.text;
    }
}

TEST_F(ModemProfilesTest, FirstLookupCreatesABlankSlotOne) {
    auto comm = Comm("COM1");
    EXPECT_EQ(CommSlotCount(), 0);
    ASSERT_EQ(FINDCOMMSLOT(comm), 1);
    EXPECT_EQ(SlotTag(1), "COM1");
    const ModemProfile& profile = SlotProfile(1);
    EXPECT_EQ(profile, ModemProfile{});
    EXPECT_EQ(profile.ModemNumber, 0);
    EXPECT_EQ(profile.Dial.Text(), std::string(30, ' '));
    EXPECT_EQ(profile.Connect.Text(), std::string(40, ' '));
}

TEST_F(ModemProfilesTest, SlotsFollowTheTagExactly) {
    auto first = Comm("Line1");
    auto twin = Comm("Line1");
    auto upper = Comm("LINE1");
    EXPECT_EQ(FINDCOMMSLOT(first), 1);
    EXPECT_EQ(FINDCOMMSLOT(twin), 1);   // same Tag, same slot
    EXPECT_EQ(FINDCOMMSLOT(upper), 2);  // letter case counts
    SlotProfile(1).Dial = "ATDP";

    // A Tag changed after the first lookup gets a new slot; the old one stays.
    first.SetTag("Line9");
    EXPECT_EQ(FINDCOMMSLOT(first), 3);
    EXPECT_EQ(FINDCOMMSLOT(twin), 1);
    EXPECT_EQ(SlotProfile(1).Dial.Text().substr(0, 5), "ATDP ");
    EXPECT_EQ(SlotProfile(3), ModemProfile{});
    EXPECT_EQ(CommSlotCount(), 3);
}

TEST_F(ModemProfilesTest, UnreadableTagGetsTheEmptyTagsSlot) {
    TaglessComm tagless(world.pump);
    auto untagged = Comm("");
    EXPECT_EQ(FINDCOMMSLOT(tagless), 1);
    EXPECT_EQ(SlotTag(1), "");
    EXPECT_EQ(FINDCOMMSLOT(untagged), 1);
    EXPECT_EQ(FINDCOMMSLOT(tagless), 1);
}

TEST_F(ModemProfilesTest, ProfileHeldByReferenceSurvivesNewSlots) {
    auto comm = Comm("A");
    ModemProfile& held = SlotProfile(FINDCOMMSLOT(comm));
    held.Hangup = "ATH^M";
    for (int i = 0; i < 200; ++i) {
        auto other = Comm("B" + std::to_string(i));
        FINDCOMMSLOT(other);
    }
    held.Busy = "LINE BUSY";
    EXPECT_EQ(&held, &SlotProfile(1));
    EXPECT_EQ(SlotProfile(1).Busy.Text().substr(0, 10), "LINE BUSY ");
    EXPECT_THROW(SlotProfile(0), std::out_of_range);
    EXPECT_THROW(SlotProfile(202), std::out_of_range);
}

}  // namespace
}  // namespace zorv
