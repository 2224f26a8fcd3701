// The key table and the redraw rate, applied to the real shared state and harp.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "GLStuff.h"
#include "Harp.h"
#include "Keys.h"

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

TEST(KeyTable, OnlyTheTwelveLowerCaseKeysAndDigitsHaveAnAction)
{
    const std::string active = "1234azfhwscq";
    for (int code = 0; code < 256; ++code) {
        const unsigned char key = static_cast<unsigned char>(code);
        const bool expectAction = active.find(static_cast<char>(key)) != std::string::npos;
        EXPECT_EQ(ActionForKey(key) != KeyAction::kNone, expectAction) << "key code " << code;
    }
    EXPECT_EQ(ActionForKey('q'), KeyAction::kQuit);
    EXPECT_EQ(ActionForKey('a'), KeyAction::kAddString);
    EXPECT_EQ(ActionForKey('z'), KeyAction::kRemoveString);
}

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
        EXPECT_EQ(gScale, c.table) << c.key;
        EXPECT_EQ(gScaleIntervals, c.count) << c.key;
    }
}

TEST_F(KeysTest, FasterRedrawPrintsTheRateAndKeepsTheTimerAtSixteenMs)
{
    EXPECT_EQ(Press('w'), "refresh rate: 61\n");
    EXPECT_FLOAT_EQ(gFrameRate, 61.0f);
    EXPECT_NEAR(gRefreshRate, 16.393f, 0.001f);
    EXPECT_EQ(TimerPeriodMs(gRefreshRate), 16);
}

TEST_F(KeysTest, SlowerRedrawStopsAtOnePerSecondAndStillPrints)
{
    std::string last;
    for (int press = 0; press < 59; ++press) {
        last = Press('s');
    }
    EXPECT_EQ(last, "refresh rate: 1\n");
    EXPECT_FLOAT_EQ(gRefreshRate, 1000.0f);
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

TEST_F(KeysTest, FullScreenRemembersTheWindowSizeItLeft)
{
    EXPECT_EQ(Press('f'), "");
    EXPECT_EQ(lastRequest, WindowRequest::kEnterFullScreen);
    EXPECT_TRUE(gFullscreen);
    EXPECT_EQ(gLastWidth, 800);
    EXPECT_EQ(gLastHeight, 600);

    // The window system reports the full-screen size, then the player leaves.
    gWidth = 1920;
    gHeight = 1080;
    Press('f');
    EXPECT_EQ(lastRequest, WindowRequest::kLeaveFullScreen);
    EXPECT_FALSE(gFullscreen);
    EXPECT_EQ(gLastWidth, 800);
    EXPECT_EQ(gLastHeight, 600);
}

TEST_F(KeysTest, BannerKeyToggles)
{
    Press('h');
    EXPECT_FALSE(gShowHUD);
    Press('h');
    EXPECT_TRUE(gShowHUD);
}

TEST_F(KeysTest, StringKeysStayWithinTheHarpLimits)
{
    Harp* harp = Harp::GetInstance();
    while (harp->GetNumStrings() > Harp::kMinStrings) {
        Press('z');
    }
    Press('z');
    EXPECT_EQ(harp->GetNumStrings(), 1);
    for (int press = 0; press < 9; ++press) {
        Press('a');
    }
    EXPECT_EQ(harp->GetNumStrings(), 10);
    for (int press = 0; press < 25; ++press) {
        Press('a');
    }
    EXPECT_EQ(harp->GetNumStrings(), Harp::kMaxStrings);
    for (int press = 0; press < 40; ++press) {
        Press('z');
    }
    EXPECT_EQ(harp->GetNumStrings(), 1);
}

TEST_F(KeysTest, UpperCaseAndUnlistedKeysChangeNothing)
{
    const int strings = Harp::GetInstance()->GetNumStrings();
    for (unsigned char key : std::string("AFHQSWZ056789 \r\x1b")) {
        EXPECT_EQ(Press(key), "") << key;
        EXPECT_EQ(lastRequest, WindowRequest::kNothing) << key;
    }
    EXPECT_EQ(Harp::GetInstance()->GetNumStrings(), strings);
    EXPECT_EQ(CurrentScale().table, gPentatonicMajor);
    EXPECT_FLOAT_EQ(gFrameRate, 60.0f);
    EXPECT_TRUE(gShowHUD);
    EXPECT_FALSE(gFullscreen);
}

TEST_F(KeysTest, QuitOnlyAsksTheWindowToEnd)
{
    EXPECT_EQ(Press('q'), "");
    EXPECT_EQ(lastRequest, WindowRequest::kQuit);
    EXPECT_FLOAT_EQ(gFrameRate, 60.0f);
}

} // namespace
} // namespace GLStuff
