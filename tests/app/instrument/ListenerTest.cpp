#include <gtest/gtest.h>

#include "AppTestSupport.h"
#include "app/instrument/HarpListener.h"

using apptest::count;
using apptest::frameOf;
using apptest::lines;
using apptest::Tip;

namespace {

// The one listener behind a controller fed by hand; stdout is captured for the whole test.
class ListenerTest : public testing::Test {
protected:
    void SetUp() override
    {
        apptest::freshStrings(1);
        apptest::clearTracks();
        apptest::HeardNotes::Instance().take();
        testing::internal::CaptureStdout();
        auto source = std::make_unique<Leap::ManualSource>();
        fSource = source.get();
        fController = std::make_unique<Leap::Controller>(&listener, std::move(source));
    }
    void TearDown() override
    {
        if (fController)
            output();
        apptest::clearTracks();
    }
    // Stops the controller and returns everything written to stdout.
    std::vector<std::string> output()
    {
        fController.reset();
        return lines(testing::internal::GetCapturedStdout());
    }
    void push(const std::vector<std::pair<int, std::vector<Tip>>>& hands)
    {
        ASSERT_TRUE(fSource->push(frameOf(hands)));
    }
    static std::vector<int> trackIds()
    {
        std::lock_guard<std::mutex> hold(GLStuff::gLock);
        std::vector<int> ids;
        for (const auto& entry : GLStuff::gFingers)
            ids.push_back(entry.first);
        return ids;
    }
    static GLStuff::Finger track(int id)
    {
        std::lock_guard<std::mutex> hold(GLStuff::gLock);
        GLStuff::Finger copy;
        const GLStuff::Finger& found = GLStuff::gFingers.at(id);
        copy.fX = found.fX;
        copy.fY = found.fY;
        copy.fNearness = found.fNearness;
        copy.fStale = found.fStale;
        return copy;
    }

    Leap::ManualSource* fSource = nullptr;
    std::unique_ptr<Leap::Controller> fController;
};

TEST_F(ListenerTest, MapsTrackerMillimetresToWindowUnitsWithoutClamping)
{
    push({{1, {{5, 0, 250, 0}, {6, -200, 150, 300}, {7, 300, 450, -150}}}});
    const GLStuff::Finger centre = track(5);
    EXPECT_FLOAT_EQ(centre.fX, 0.5f);
    EXPECT_FLOAT_EQ(centre.fY, 0.5f);
    EXPECT_FLOAT_EQ(centre.fNearness, 1.0f);
    EXPECT_FALSE(centre.fStale);
    const GLStuff::Finger corner = track(6);
    EXPECT_FLOAT_EQ(corner.fX, 0.0f);
    EXPECT_FLOAT_EQ(corner.fY, 0.0f);
    EXPECT_FLOAT_EQ(corner.fNearness, 0.0f);
    const GLStuff::Finger beyond = track(7);
    EXPECT_FLOAT_EQ(beyond.fX, 1.25f);
    EXPECT_FLOAT_EQ(beyond.fY, 1.5f);
    EXPECT_FLOAT_EQ(beyond.fNearness, 1.5f);
}

TEST_F(ListenerTest, TracksAreInsertedOnceAndRemovedAtTheEndOfTheFirstFrameWithout)
{
    push({{1, {{5, 0, 250, 10}, {6, 50, 250, 10}}}});
    push({{1, {{5, 10, 250, 10}, {6, 60, 250, 10}}}});
    EXPECT_EQ(trackIds(), (std::vector<int>{5, 6}));
    EXPECT_FLOAT_EQ(track(5).fX, 0.525f);

    push({{1, {{6, 70, 250, 10}}}});
    EXPECT_EQ(trackIds(), std::vector<int>{6});
    push({});
    EXPECT_TRUE(trackIds().empty());
    push({{1, {}}, {2, {{5, 0, 250, 10}}}}); // a hand without fingers adds nothing
    EXPECT_EQ(trackIds(), std::vector<int>{5});
    EXPECT_FLOAT_EQ(track(5).fX, 0.5f);

    const auto out = output();
    EXPECT_EQ(count(out, "inserted finger: 5"), 2);
    EXPECT_EQ(count(out, "inserted finger: 6"), 1);
    EXPECT_EQ(out.front(), "Initialized");
}

TEST_F(ListenerTest, ANewTrackStartsFromZeroAndMayPluckOnItsFirstFrame)
{
    // One string, at 0.5. A fingertip first seen beyond the plane at 0.6 came "from" 0: it
    // crosses the string. Staying there, or moving on to 0.7, crosses nothing.
    push({{1, {{3, 40, 250, -10}}}});
    push({{1, {{3, 40, 250, -10}}}});
    push({{1, {{3, 80, 250, -10}}}});
    output();
    EXPECT_EQ(apptest::HeardNotes::Instance().take(), std::vector<int>{32});
}

TEST_F(ListenerTest, FingersPluckInTheTrackersOrderOfHandsAndFingers)
{
    apptest::freshStrings(10);
    // Hand 4 first with finger 9 near string 7 (0.75), then hand 1 with finger 2 near string 1
    // (0.15): both start left of their strings above the plane, then cross beyond it. Ids in the
    // map run the other way round, so only the tracker's order gives 49 before 34.
    push({{4, {{9, 88, 200, 20}}}, {1, {{2, -148, 200, 20}}}});
    push({{4, {{9, 104, 200, -20}}}, {1, {{2, -132, 200, -20}}}});
    output();
    EXPECT_EQ(apptest::HeardNotes::Instance().take(), (std::vector<int>{49, 34}));
}

TEST_F(ListenerTest, ReportsConnectionChangesAndLeavesTracksToTheNextFrame)
{
    ASSERT_TRUE(fSource->connect());
    push({{1, {{5, 0, 250, 10}}}});
    ASSERT_TRUE(fSource->disconnect());
    EXPECT_EQ(trackIds(), std::vector<int>{5});
    ASSERT_TRUE(fSource->connect());
    const auto out = output();
    EXPECT_EQ(out, (std::vector<std::string>{"Initialized", "Connected", "inserted finger: 5",
                                             "Disconnected", "Connected"}));
}

} // namespace
