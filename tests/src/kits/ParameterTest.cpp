#include "src/kits/Parameter.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <iomanip>
#include <iostream>
#include <limits>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

using namespace Kits;

namespace {

// Redirects std::cout into a string for the life of the object.
class CaptureStdout {
public:
    CaptureStdout() : fSaved(std::cout.rdbuf(fText.rdbuf())) {}
    ~CaptureStdout() { std::cout.rdbuf(fSaved); }
    std::string Text() const { return fText.str(); }

private:
    std::ostringstream fText;
    std::streambuf* fSaved;
};

// Every callback appends "<name>" to a shared log; `onCall` runs inside the callback.
struct Recorder final : Listener, Observer {
    Recorder(std::string name, std::vector<std::string>& log) : fName(std::move(name)), fLog(log) {}
    void Receive(Broadcaster* sender) override
    {
        fLog.push_back(fName);
        lastBroadcaster = sender;
        if (onCall) {
            onCall();
        }
    }
    void Notify(Observable* sender) override
    {
        fLog.push_back(fName);
        lastObservable = sender;
        if (onCall) {
            onCall();
        }
    }
    std::string fName;
    std::vector<std::string>& fLog;
    Broadcaster* lastBroadcaster = nullptr;
    Observable* lastObservable = nullptr;
    std::function<void()> onCall;
};

using Log = std::vector<std::string>;

} // namespace

TEST(ParameterLists, DuplicatesAreKeptOnceAndRemovalKeepsOrder)
{
    CaptureStdout quiet;
    Log log;
    Recorder a("a", log), b("b", log), c("c", log), stranger("x", log);
    Parameter param(1, "gain", 0.0f);

    param.AddListener(&a);
    param.AddListener(&b);
    param.AddListener(&a);
    param.AddListener(&c);
    param.Broadcast();
    EXPECT_EQ(log, (Log{"a", "b", "c"}));

    log.clear();
    param.RemoveListener(&stranger);
    param.RemoveListener(&b);
    param.RemoveListener(&b);
    param.Broadcast();
    EXPECT_EQ(log, (Log{"a", "c"}));

    log.clear();
    param.AddObserver(&c);
    param.AddObserver(&a);
    param.AddObserver(&c);
    param.AddObserver(&b);
    param.RemoveObserver(&stranger);
    param.NotifyObservers();
    EXPECT_EQ(log, (Log{"c", "a", "b"}));

    log.clear();
    param.RemoveObserver(&a);
    param.NotifyObservers();
    EXPECT_EQ(log, (Log{"c", "b"}));
}

TEST(ParameterSetValue, TellsObserversThenListenersThenPrintsTheLine)
{
    Log log;
    Recorder observer("observer", log), listener("listener", log);
    Parameter param(7, "cutoff", 1.0f);
    param.AddListener(&listener);
    param.AddObserver(&observer);

    CaptureStdout out;
    std::string printedBeforeCallbacks = "unset";
    float valueObserved = 1.0f;
    observer.onCall = [&] {
        printedBeforeCallbacks = out.Text();
        valueObserved = param.Value();
    };
    listener.onCall = [&] {
        EXPECT_EQ(param.Value(), 0.25f);
        EXPECT_EQ(out.Text(), "");
    };
    param.SetValue(0.25f);

    EXPECT_EQ(log, (Log{"observer", "listener"}));
    EXPECT_EQ(printedBeforeCallbacks, "");
    EXPECT_EQ(valueObserved, 0.25f);
    EXPECT_EQ(out.Text(), "cutoff: 0.25\n");
    EXPECT_EQ(param.Value(), 0.25f);

    // Each side sees the parameter through its own base, which a callback can cast back.
    EXPECT_EQ(listener.lastBroadcaster, static_cast<Broadcaster*>(&param));
    EXPECT_EQ(observer.lastObservable, static_cast<Observable*>(&param));
    EXPECT_EQ(static_cast<Parameter*>(observer.lastObservable), &param);
}

TEST(ParameterSetValue, StoresAnyFloatUnchanged)
{
    CaptureStdout quiet;
    Parameter param(1, "p", 0.0f);

    for (float value : {-3.5f, FLT_MAX, -FLT_MAX, FLT_MIN / 4.0f, -0.0f,
                        std::numeric_limits<float>::infinity()}) {
        param.SetValue(value);
        EXPECT_EQ(param.Value(), value);
        EXPECT_EQ(std::signbit(param.Value()), std::signbit(value));
    }

    // A NaN with a payload keeps its exact bits.
    const std::uint32_t nanBits = 0x7fc01234u;
    float nan;
    std::memcpy(&nan, &nanBits, sizeof nan);
    param.SetValue(nan);
    const float stored = param.Value();
    std::uint32_t storedBits;
    std::memcpy(&storedBits, &stored, sizeof storedBits);
    EXPECT_EQ(storedBits, nanBits);
}

TEST(ParameterText, UsesTheDefaultFormatWhateverStdoutIsSetTo)
{
    Parameter param(2, "level", 0.5f);
    EXPECT_EQ(param.Text(), "level: 0.5");
    EXPECT_EQ(param.Name(), "level");
    EXPECT_EQ(param.Id(), 2);

    const std::vector<std::pair<float, std::string>> cases = {
        {1234567.0f, "level: 1.23457e+06"},
        {0.0001f, "level: 0.0001"},
        {1e-5f, "level: 1e-05"},
        {-2.0f, "level: -2"},
        {100000.0f, "level: 100000"},
        {std::numeric_limits<float>::infinity(), "level: inf"}};
    CaptureStdout out;
    std::cout << std::fixed << std::setprecision(2);
    std::string expectedLines;
    for (const auto& [value, text] : cases) {
        param.SetValue(value);
        EXPECT_EQ(param.Text(), text);
        expectedLines += text + "\n";
    }
    std::cout.unsetf(std::ios_base::floatfield);
    std::cout.precision(6);
    EXPECT_EQ(out.Text(), expectedLines);
}

TEST(ParameterReentrancy, CallbacksChangingRegistrationsDoNotDisturbTheWalk)
{
    CaptureStdout quiet;
    Log log;
    Recorder first("first", log), second("second", log), third("third", log), late("late", log);
    Parameter param(1, "p", 0.0f);
    param.AddListener(&first);
    param.AddListener(&second);
    param.AddListener(&third);

    // first removes itself and third, and adds late: this broadcast still reaches second but no
    // longer third, and late only from the next one on.
    first.onCall = [&] {
        param.RemoveListener(&first);
        param.RemoveListener(&third);
        param.AddListener(&late);
    };
    param.SetValue(1.0f);
    EXPECT_EQ(log, (Log{"first", "second"}));

    log.clear();
    param.SetValue(2.0f);
    EXPECT_EQ(log, (Log{"second", "late"}));

    // The same for observers: removing every observer from the first callback.
    log.clear();
    Parameter other(2, "q", 0.0f);
    Recorder watcherA("A", log), watcherB("B", log);
    other.AddObserver(&watcherA);
    other.AddObserver(&watcherB);
    watcherA.onCall = [&] {
        other.RemoveObserver(&watcherA);
        other.RemoveObserver(&watcherB);
    };
    other.SetValue(1.0f);
    other.SetValue(2.0f);
    EXPECT_EQ(log, (Log{"A"}));
}

TEST(ParameterReentrancy, AListenerRemovedAndDeletedByAnotherIsNotCalled)
{
    // Under AddressSanitizer a call to the deleted one is a heap-use-after-free; without it, its
    // name in the log.
    CaptureStdout quiet;
    Log log;
    Parameter param(1, "p", 0.0f);
    Recorder owner("owner", log), observer("observer", log);
    auto* doomedListener = new Recorder("doomed listener", log);
    auto* doomedObserver = new Recorder("doomed observer", log);
    param.AddObserver(&observer);
    param.AddObserver(doomedObserver);
    param.AddListener(&owner);
    param.AddListener(doomedListener);
    observer.onCall = [&] {
        param.RemoveObserver(doomedObserver);
        delete doomedObserver;
    };
    owner.onCall = [&] {
        param.RemoveListener(doomedListener);
        delete doomedListener;
    };
    param.SetValue(1.0f);
    EXPECT_EQ(log, (Log{"observer", "owner"}));
}

TEST(ParameterManager, FindsTheFirstOfAnIdAndOwnsEachParameterOnce)
{
    EXPECT_EQ(ParameterManager::sInstance, nullptr);

    auto* gainA = new Parameter(10, "gainA", 1.0f);
    auto* gainB = new Parameter(10, "gainB", 2.0f);
    auto* pan = new Parameter(11, "pan", 0.0f);
    {
        ParameterManager registry;
        EXPECT_EQ(registry.GetParameter(10), nullptr);

        registry.AddParameter(gainA);
        registry.AddParameter(nullptr);
        registry.AddParameter(gainB);
        registry.AddParameter(gainA);
        registry.AddParameter(pan);
        registry.AddParameter(pan);

        // Would crash on a stored null entry before reaching id 11.
        EXPECT_EQ(registry.GetParameter(11), pan);
        EXPECT_EQ(registry.GetParameter(10), gainA);
        EXPECT_EQ(registry.GetParameter(12), nullptr);
        EXPECT_EQ(registry.GetParameter(-1), nullptr);
    }
    // The registry has deleted each of the three exactly once: AddressSanitizer reports a double
    // delete, LeakSanitizer a missing one.
}
