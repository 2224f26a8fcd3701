// A recorded two-finger glissando replayed through the controller into the harp's listener. The
// pitches the strings sound are measured on renders of the same kind of take (e2e_render).
#include <gtest/gtest.h>

#include <sstream>

#include "AppTestSupport.h"
#include "app/instrument/HarpListener.h"
#include "tracking/TestSupport.h"
#include "tracking/recording/ReplaySource.h"

namespace {

// Two fingers beyond the plane: one sweeps rightwards over strings 0..4 at half height, the
// other leftwards over strings 9..5 higher up, taking turns every 0.4 s. Window units: string i
// stands at 0.05 + 0.1 i.
std::string glissando()
{
    std::ostringstream take;
    for (int n = 0; n <= 400; ++n) {
        const double t = n * 0.01;
        const double rightward = 0.05 + 0.1 * (t - 0.2) / 0.8;
        const double leftward = 0.95 - 0.1 * (t - 0.6) / 0.8;
        take << R"({"id": )" << n << R"(, "timestamp": )" << 5000000 + n * 10000
             << R"(, "hands": [{"id": 1}, {"id": 2}], "pointables": [)"
             << R"({"id": 11, "handId": 1, "tipPosition": [)" << rightward * 400.0 - 200.0
             << R"(, 250, -20]}, {"id": 21, "handId": 2, "tipPosition": [)"
             << leftward * 400.0 - 200.0 << ", 300, -20]}]}\n";
    }
    return take.str();
}

// The harp's listener, and a witness for the end of the file.
class ListenerUntilTheEnd : public Leap::Listener {
public:
    void onInit(const Leap::Controller& c) override { listener.onInit(c); }
    void onConnect(const Leap::Controller& c) override { listener.onConnect(c); }
    void onFrame(const Leap::Controller& c) override { listener.onFrame(c); }
    void onDisconnect(const Leap::Controller& c) override
    {
        listener.onDisconnect(c);
        ended.onDisconnect(c);
    }
    trackingtest::RecordingListener ended;
};

TEST(Glissando, TwoFingersTakingTurnsPlayTenStringsInOrder)
{
    apptest::freshStrings(10);
    apptest::clearTracks();
    GLStuff::SetScale(GLStuff::gPentatonicMajor, 5);
    trackingtest::TempDir dir;
    const std::string path = dir.write("glissando.jsonl", glissando());
    testing::internal::CaptureStdout();
    {
        ListenerUntilTheEnd both;
        Leap::Controller controller(&both, std::make_unique<Leap::ReplaySource>(path, false));
        ASSERT_TRUE(both.ended.waitForEvent("disconnect"));
    }
    const std::vector<std::string> out = apptest::lines(testing::internal::GetCapturedStdout());
    apptest::clearTracks();

    std::vector<std::string> expected = {"Initialized", "Connected", "inserted finger: 11",
                                         "inserted finger: 21"};
    for (const char* note :
         {"32 freq: 51.9131", "53 freq: 174.614", "34 freq: 58.2705", "51 freq: 155.563",
          "37 freq: 69.2957", "49 freq: 138.591", "39 freq: 77.7817", "46 freq: 116.541",
          "41 freq: 87.3071", "44 freq: 103.826"}) {
        expected.push_back("trig");
        expected.push_back(std::string("note: ") + note);
    }
    expected.push_back("Disconnected");
    EXPECT_EQ(out, expected);
}

} // namespace
