// The key table and the redraw rate, applied to the real shared state and harp; the settings a
// recording carries.
#include <gtest/gtest.h>

#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "app/instrument/Actions.h"
#include "app/instrument/GLStuff.h"
#include "app/instrument/Harp.h"
#include "app/instrument/PerformanceSettings.h"
#include "app/instrument/Pluck.h"
#include "app/window/Keys.h"
#include "tracking/Leap.h"

namespace GLStuff {
namespace {

// The start values that start-up gives the window globals.
void ResetWindowState()
{
    gWidth = 800;
    gHeight = 600;
    gLastWidth = 800;
    gLastHeight = 600;
    gFullscreen = false;
    gFrameRate = 60.0f;
    gRefreshRate = 1000.0f / 60.0f;
    gShowHUD = true;
    SetScale(gPentatonicMajor, 5);
    std::string error;
    SetKey(kDefaultKey, error);
}

class KeysTest : public ::testing::Test {
protected:
    void SetUp() override { ResetWindowState(); }
    void TearDown() override { ResetWindowState(); }

    std::string Press(unsigned char key)
    {
        std::ostringstream out;
        lastRequest = ApplyKey(key, out);
        return out.str();
    }

    WindowRequest lastRequest = WindowRequest::kNothing;
};

TEST_F(KeysTest, ScaleKeysPublishTableAndCountTogether)
{
    struct Case {
        unsigned char key;
        const int* table;
        int count;
    };
    const Case cases[] = {{'3', gDiatonic, 7},
                          {'4', gWholeTone, 6},
                          {'2', gPentatonicMinor, 5},
                          {'1', gPentatonicMajor, 5}};
    for (const Case& c : cases) {
        EXPECT_EQ(Press(c.key), "");
        EXPECT_EQ(lastRequest, WindowRequest::kNothing);
        const ScaleChoice choice = CurrentScale();
        EXPECT_EQ(choice.table, c.table) << c.key;
        EXPECT_EQ(choice.count, c.count) << c.key;
    }
}

TEST_F(KeysTest, RedrawKeysPrintTheRateAndSlowerStopsAtOnePerSecond)
{
    EXPECT_EQ(Press('w'), "refresh rate: 61\n");
    EXPECT_NEAR(gRefreshRate, 16.393f, 0.001f);
    std::string last;
    for (int press = 0; press < 60; ++press)
        last = Press('s');
    EXPECT_EQ(last, "refresh rate: 1\n");
    EXPECT_EQ(Press('s'), "refresh rate: 1\n");
    EXPECT_FLOAT_EQ(gFrameRate, 1.0f);
    EXPECT_FLOAT_EQ(gRefreshRate, 1000.0f);
}

TEST(TimerPeriod, TruncatesTowardZero)
{
    EXPECT_EQ(TimerPeriodMs(1000.0f / 60.0f), 16);
    EXPECT_EQ(TimerPeriodMs(1000.0f / 63.0f), 15);
    EXPECT_EQ(TimerPeriodMs(1000.0f / 1001.0f), 0);
    EXPECT_EQ(TimerPeriodMs(1000.0f), 1000);
}

TEST_F(KeysTest, WindowKeysToggleAndAskTheWindowSystemAndFullScreenRemembersTheSizeItLeft)
{
    struct Step {
        unsigned char key;
        WindowRequest request;
        bool fullscreen, banner;
    };
    for (const Step& step : {Step{'f', WindowRequest::kEnterFullScreen, true, true},
                             Step{'h', WindowRequest::kNothing, true, false},
                             Step{'f', WindowRequest::kLeaveFullScreen, false, false},
                             Step{'h', WindowRequest::kNothing, false, true},
                             Step{'q', WindowRequest::kQuit, false, true}}) {
        EXPECT_EQ(Press(step.key), "") << step.key;
        EXPECT_EQ(lastRequest, step.request) << step.key;
        EXPECT_EQ(gFullscreen, step.fullscreen) << step.key;
        EXPECT_EQ(gShowHUD, step.banner) << step.key;
        EXPECT_EQ(gLastWidth, 800) << step.key;
        EXPECT_EQ(gLastHeight, 600) << step.key;
        // The window system reports the full-screen size.
        gWidth = 1920;
        gHeight = 1080;
    }
    EXPECT_FLOAT_EQ(gFrameRate, 60.0f);
}

// The key moves a semitone a press, and stops where string 30 would leave the tunable range; a
// scale that would leave it there is refused too.
TEST_F(KeysTest, PlusAndMinusMoveTheKeyWithinRange)
{
    EXPECT_EQ(Press('+'), "key: A1 (33)\n");
    Press('-');
    EXPECT_EQ(Press('='), "key: A1 (33)\n"); // + without shift
    Press('-');
    EXPECT_EQ(Press('-'), "key: G1 (31)\n");
    std::string error;
    // Pentatonic minor spans 70 semitones over 30 strings: 54 + 70 = 124 is the last that fits.
    SetScale(gPentatonicMinor, 5);
    ASSERT_TRUE(SetKey(54, error)) << error;
    EXPECT_EQ(Press('+').rfind("key G3 refused: string 30 would sound note 125", 0), 0u);
    EXPECT_EQ(CurrentScale().key, 54);
    ASSERT_TRUE(SetKey(0, error)) << error;
    EXPECT_FALSE(SetKey(-1, error));
    SetScale(gDiatonic, 7);
    ASSERT_TRUE(SetKey(73, error)) << error; // 73 + 51
    EXPECT_NE(Press('2').find("refused"), std::string::npos);
    EXPECT_EQ(CurrentScale().table, gDiatonic);
}

// Plays nothing; keeps the lines a recording being made would get.
class NotingSource : public Leap::FrameSource {
public:
    bool next(Leap::SourceEvent&) override
    {
        std::unique_lock<std::mutex> hold(fLock);
        fWake.wait(hold, [this] { return fStopped; });
        return false;
    }
    void stop() override
    {
        std::lock_guard<std::mutex> hold(fLock);
        fStopped = true;
        fWake.notify_all();
    }
    void recalibrate() override { annotate("recalibrate"); }
    void annotate(const std::string& message) override
    {
        std::lock_guard<std::mutex> hold(fLock);
        fNoted.push_back(message);
    }
    std::vector<std::string> Take()
    {
        std::lock_guard<std::mutex> hold(fLock);
        return std::exchange(fNoted, {});
    }

private:
    std::mutex fLock;
    std::condition_variable fWake;
    bool fStopped = false;
    std::vector<std::string> fNoted;
};

// A key and the settings line that says the same are one change: each records the same line,
// once, however many steps the change takes.
TEST_F(KeysTest, AKeyAndItsSettingsLineRecordTheSameLineOnce)
{
    Harp* harp = Harp::GetInstance();
    while (harp->GetNumStrings() > Harp::kMinStrings)
        harp->RemoveString();
    SetTouch(false);
    auto owned = std::make_unique<NotingSource>();
    NotingSource* source = owned.get();
    Leap::Listener quiet;
    Leap::Controller controller(&quiet, std::move(owned));
    UseTracking(&controller);
    struct Change {
        unsigned char key;
        const char* line;
        void (*undo)();
    };
    const Change changes[] = {
        {'3', R"({"instrument":{"scale":"diatonic"}})", [] { SetScale(gPentatonicMajor, 5); }},
        {'+', R"({"instrument":{"key":33}})",
         [] {
             std::string error;
             SetKey(kDefaultKey, error);
         }},
        {'t', R"({"instrument":{"touch":true}})", [] { SetTouch(false); }},
        {'o', R"({"instrument":{"voice":"concert"}})",
         [] { Harp::GetInstance()->SetVoice(Harp::VoiceKind::kClassic); }},
        {'a', R"({"instrument":{"strings":2}})", [] { Harp::GetInstance()->RemoveString(); }},
    };
    for (const Change& change : changes) {
        Press(change.key);
        const std::vector<std::string> byKey = source->Take();
        change.undo();
        PerformanceSettings settings;
        std::string error;
        ASSERT_TRUE(PerformanceSettings::Parse(change.line, settings, error)) << error;
        std::ostringstream refused;
        EXPECT_TRUE(settings.Apply(refused)) << refused.str();
        const std::vector<std::string> byLine = source->Take();
        ASSERT_EQ(byKey.size(), 1u) << change.key;
        EXPECT_EQ(byLine, byKey) << change.key;
        // The recorded line carries the change itself ({"instrument":{ ... }}).
        const std::string setting(change.line + 15, std::strlen(change.line) - 17);
        EXPECT_NE(byKey[0].find(setting), std::string::npos) << byKey[0];
        change.undo();
    }
    Press('c'); // the camera takes the player's position anew
    EXPECT_EQ(source->Take(), std::vector<std::string>{"recalibrate"});
    // From one string to thirty: one line, not one a string.
    PerformanceSettings thirty;
    thirty.strings = Harp::kMaxStrings;
    std::ostringstream refused;
    thirty.Apply(refused);
    EXPECT_EQ(source->Take().size(), 1u);
    EXPECT_EQ(harp->GetNumStrings(), Harp::kMaxStrings);
    UseTracking(nullptr);
    while (harp->GetNumStrings() > Harp::kMinStrings)
        harp->RemoveString();
}

// A recording's settings line: the harp's limits and the four scales by name, nothing else.
TEST(PerformanceSettings, ALineTakesOneToThirtyStringsAndTheFourScalesByName)
{
    const std::pair<const char*, bool> instruments[] = {
        {R"({"strings":1})", true},
        {R"({"strings":30})", true},
        {R"({"strings":0})", false},
        {R"({"strings":31})", false},
        {R"({"scale":"pentatonic-major"})", true},
        {R"({"scale":"pentatonic-minor"})", true},
        {R"({"scale":"diatonic"})", true},
        {R"({"scale":"whole-tone"})", true},
        {R"({"scale":"chromatic"})", false},
        {R"({"key":0})", true},
        {R"({"key":127})", true},
        {R"({"key":128})", false},
        {R"({"touch":true})", true},
        {R"({"touch":1})", false},
        {R"({"scale":"scala","tuning":{"description":"fifths","cents":[701.955,1200.0]}})", true},
        {R"({"scale":"scala","tuning":{"description":"none","cents":[]}})", false},
        {R"({"scale":"scala"})", false},
    };
    for (const auto& [instrument, accepted] : instruments) {
        const std::string line = std::string(R"({"instrument":)") + instrument + "}";
        PerformanceSettings read;
        std::string error;
        EXPECT_EQ(PerformanceSettings::Parse(line, read, error), accepted) << line;
        EXPECT_EQ(error.empty(), accepted) << line << ": " << error;
        if (accepted) {
            EXPECT_EQ(read.Line(), line);
        }
    }
}

} // namespace
} // namespace GLStuff
