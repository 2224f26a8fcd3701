#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <utility>

#include "tracking/DemoSource.h"
#include "tracking/IdleSource.h"
#include "tracking/Leap.h"
#include "tracking/PointerSource.h"
#include "tracking/SourceSetting.h"
#include "tracking/recording/RecordingSource.h"
#include "tracking/recording/ReplaySource.h"
#include "tracking/service/ServiceSource.h"

namespace {

template <typename Source> bool is(const std::unique_ptr<Leap::FrameSource>& source)
{
    return dynamic_cast<Source*>(source.get()) != nullptr;
}

TEST(SourceChoice, EachNameGivesItsSourceAndARefusalSaysWhyInOneLine)
{
    EXPECT_TRUE(is<Leap::ServiceSource>(Leap::makeSource({})));
    for (const char* name : {"service", "service:ws://192.168.1.20:6437/v6.json"})
        EXPECT_TRUE(is<Leap::ServiceSource>(Leap::makeSourceFromSetting(name))) << name;
    for (const char* name : {"", "none"})
        EXPECT_TRUE(is<Leap::IdleSource>(Leap::makeSourceFromSetting(name))) << name;
    EXPECT_TRUE(is<Leap::IdleSource>(Leap::makeSourceFromSetting(nullptr)));
    EXPECT_TRUE(is<Leap::DemoSource>(Leap::makeSourceFromSetting("demo")));
    EXPECT_TRUE(is<Leap::PointerSource>(Leap::makeSourceFromSetting("pointer")));
    for (const char* name : {"replay:/x.jsonl", "replay:/x.jsonl,loop"})
        EXPECT_TRUE(is<Leap::ReplaySource>(Leap::makeSourceFromSetting(name))) << name;

    const std::pair<const char*, const char*> refused[] = {
        {"service:", "not an address of the form ws://HOST:PORT/PATH"},
        {"service:wss://127.0.0.1:6437/v6.json", "only ws:// addresses are served"},
        {"services", "no source has that name"},
        {"service:127.0.0.1:6437", "not an address of the form ws://HOST:PORT/PATH"},
        {"Demo", "no source has that name"},
        {"leap", "no source has that name"},
        {"replay:", "no file named after \"replay:\""},
        {"replay:,loop", "no file named after \"replay:\""},
    };
    for (const auto& [bad, reason] : refused) {
        testing::internal::CaptureStderr();
        auto source = Leap::makeSourceFromSetting(bad);
        const std::string errors = testing::internal::GetCapturedStderr();
        EXPECT_TRUE(is<Leap::IdleSource>(source)) << bad;
        EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
        for (const std::string& part : {std::string("\"") + bad + "\"", std::string(reason),
                                        std::string("service:ws://HOST:PORT/PATH"),
                                        std::string("replay:PATH"), std::string("demo")})
            EXPECT_NE(errors.find(part), std::string::npos) << errors;
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
