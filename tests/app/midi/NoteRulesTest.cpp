// The MIDI note rules on a clock the test sets: what three seconds, a repluck and a shared note
// send, message by message, without a MIDI system (removal and quit: MidiOutTest on JACK).
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "app/midi/NoteRules.h"

namespace {

using Message = std::array<std::uint8_t, 3>;
using Clock = NoteRules::Clock;
using std::chrono::milliseconds;

Message on(int note, int velocity = 127)
{
    return {0x90, static_cast<std::uint8_t>(note), static_cast<std::uint8_t>(velocity)};
}
Message off(int note)
{
    return {0x80, static_cast<std::uint8_t>(note), 64};
}

class NoteRulesTest : public testing::Test {
protected:
    std::vector<Message> fSent;
    NoteRules fRules{[this](const Message& message) { fSent.push_back(message); }};
    const Clock::time_point fStart = Clock::now();
};

TEST_F(NoteRulesTest, EachNoteEndsOnItsOwnClockOrWhenItsStringOrItsNoteIsPluckedAgain)
{
    fRules.Pluck(2, 37, 127, fStart);
    fRules.Pluck(3, 39, 90, fStart + milliseconds(1500));
    Clock::time_point next;
    ASSERT_TRUE(fRules.NextEnd(next));
    EXPECT_EQ(next, fStart + NoteRules::kNoteLength);

    fRules.EndExpired(fStart + milliseconds(2999));
    EXPECT_EQ(fSent, (std::vector<Message>{on(37), on(39, 90)}));
    fRules.EndExpired(fStart + milliseconds(3000));
    EXPECT_EQ(fSent, (std::vector<Message>{on(37), on(39, 90), off(37)}));
    ASSERT_TRUE(fRules.NextEnd(next));
    EXPECT_EQ(next, fStart + milliseconds(4500));

    // A repluck of string 3 ends its note first and restarts its clock; string 5 then takes
    // note 44 after string 4 had it.
    fSent.clear();
    fRules.Pluck(3, 39, 127, fStart + milliseconds(4000));
    fRules.Pluck(4, 44, 127, fStart + milliseconds(4000));
    fRules.Pluck(5, 44, 127, fStart + milliseconds(4100));
    fRules.EndExpired(fStart + milliseconds(6999));
    EXPECT_EQ(fSent, (std::vector<Message>{off(39), on(39), on(44), off(44), on(44)}));
    fRules.EndExpired(fStart + milliseconds(7000));
    EXPECT_EQ(fSent.size(), 6u);
    EXPECT_EQ(fSent.back(), off(39));
}

} // namespace
