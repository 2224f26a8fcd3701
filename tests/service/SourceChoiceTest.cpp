#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <utility>

#include "IdleSource.h"
#include "Leap.h"
#include "RecordingSource.h"
#include "ServiceSource.h"
#include "SourceSetting.h"

namespace {

// Sets an environment variable for one scope.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const char* value) : fName(name)
    {
        if (const char* old = std::getenv(name))
            fOld = std::make_unique<std::string>(old);
        if (value)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }
    ~ScopedVariable()
    {
        if (fOld)
            ::setenv(fName, fOld->c_str(), 1);
        else
            ::unsetenv(fName);
    }

private:
    const char* fName;
    std::unique_ptr<std::string> fOld;
};

template <typename Source> bool is(const std::unique_ptr<Leap::FrameSource>& source)
{
    return dynamic_cast<Source*>(source.get()) != nullptr;
}

TEST(SourceChoice, TheServiceIsTheDefaultAndCanBeNamedWithAnAddress)
{
    {
        ScopedVariable unset("QUORVEL_TRACKING", nullptr);
        ScopedVariable noRecording("QUORVEL_TRACKING_RECORD", nullptr);
        EXPECT_TRUE(is<Leap::ServiceSource>(Leap::makeSourceFromEnvironment()));
    }
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
    }
}

TEST(SourceChoice, ARecordingPathWrapsWhicheverSourceIsChosen)
{
    ScopedVariable none("QUORVEL_TRACKING", "none");
    {
        ScopedVariable recording("QUORVEL_TRACKING_RECORD", "/dev/null");
        EXPECT_TRUE(is<Leap::RecordingSource>(Leap::makeSourceFromEnvironment()));
    }
    ScopedVariable empty("QUORVEL_TRACKING_RECORD", "");
    EXPECT_TRUE(is<Leap::IdleSource>(Leap::makeSourceFromEnvironment()));
}

} // namespace
