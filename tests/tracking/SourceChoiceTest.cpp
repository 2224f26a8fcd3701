#include <gtest/gtest.h>

#include <memory>
#include <utility>

#include "tracking/IdleSource.h"
#include "tracking/Leap.h"
#include "tracking/SourceSetting.h"
#include "tracking/recording/RecordingSource.h"
#include "tracking/service/ServiceSource.h"

namespace {

template <typename Source> bool is(const std::unique_ptr<Leap::FrameSource>& source)
{
    return dynamic_cast<Source*>(source.get()) != nullptr;
}

TEST(SourceChoice, TheServiceIsTheDefaultAndCanBeNamedWithAnAddress)
{
    EXPECT_TRUE(is<Leap::ServiceSource>(Leap::makeSource({})));
    EXPECT_TRUE(is<Leap::ServiceSource>(Leap::makeSourceFromSetting("service")));
    EXPECT_TRUE(is<Leap::ServiceSource>(
        Leap::makeSourceFromSetting("service:ws://192.168.1.20:6437/v6.json")));

    // Each refusal says why.
    const std::pair<const char*, const char*> refused[] = {
        {"service:", "not an address of the form ws://HOST:PORT/PATH"},
        {"service:wss://127.0.0.1:6437/v6.json", "only ws:// addresses are served"},
        {"services", "no source has that name"},
        {"service:127.0.0.1:6437", "not an address of the form ws://HOST:PORT/PATH"},
    };
    for (const auto& [bad, reason] : refused) {
        testing::internal::CaptureStderr();
        auto source = Leap::makeSourceFromSetting(bad);
        const std::string errors = testing::internal::GetCapturedStderr();
        EXPECT_TRUE(is<Leap::IdleSource>(source)) << bad;
        EXPECT_NE(errors.find("service:ws://HOST:PORT/PATH"), std::string::npos) << errors;
        EXPECT_NE(errors.find(reason), std::string::npos) << errors;
        // The program refuses at start what the library would refuse later, for the same reason.
        std::string why;
        EXPECT_FALSE(Leap::checkSourceSetting(bad, why)) << bad;
        EXPECT_EQ(why, reason);
    }
}

TEST(SourceChoice, ARecordingPathWrapsWhicheverSourceIsChosen)
{
    EXPECT_TRUE(is<Leap::RecordingSource>(Leap::makeSource({"none", "/dev/null", {}})));
    EXPECT_TRUE(is<Leap::IdleSource>(Leap::makeSource({"none", "", {}})));
}

} // namespace
