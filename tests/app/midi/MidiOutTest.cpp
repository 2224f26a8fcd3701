// Plucks through the pluck detector, keys through the key logic and the quit path through its
// stop, heard by an RtMidi input on a real JACK server (dummy backend) connected to "Quorvel".
// The note rules message by message: NoteRulesTest; the program's output with MIDI on, off or
// missing: e2e_midi.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "../app/AppTestSupport.h"
#include "MidiTestSupport.h"
#include "app/JackServerFromEnvironment.h"
#include "app/Shutdown.h"
#include "app/instrument/GLStuff.h"
#include "app/instrument/Pluck.h"
#include "app/midi/MidiOut.h"
#include "app/window/Keys.h"
#include "support/ThreadsTogether.h"

using miditest::describe;
using miditest::Message;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kStrings = 10; // at 0.05, 0.15, ..., 0.95

bool jackdInstalled()
{
    return std::system("command -v jackd > /dev/null 2>&1") == 0;
}

// A rightward sweep that ends just past string `stringIndex`, beyond the string plane.
void sweepOver(int stringIndex)
{
    const float position = (static_cast<float>(stringIndex) + 0.5f) / kStrings;
    GLStuff::airMotion(position + 0.01f, 0.5f, -5.0f, position - 0.02f, 0.5f);
}

// Plucks the strings through the detector; what they printed is dropped.
void pluck(std::initializer_list<int> strings)
{
    testing::internal::CaptureStdout();
    for (int stringIndex : strings)
        sweepOver(stringIndex);
    testing::internal::GetCapturedStdout();
}

void pressKey(unsigned char key)
{
    std::ostringstream ignored;
    GLStuff::ApplyKey(key, ignored);
}

Message noteOn(int note)
{
    return Message{0x90, note, 127};
}
Message noteOff(int note)
{
    return Message{0x80, note, 64};
}

// Every note-on is ended by a note-off of the same note before that note sounds again, and
// nothing is left sounding; all on channel 1. Returns the number of note-ons.
int expectBalanced(const std::vector<Message>& messages)
{
    std::map<int, bool> sounding;
    int noteOns = 0;
    for (std::size_t k = 0; k < messages.size(); ++k) {
        const Message& m = messages[k];
        EXPECT_EQ(m.Channel(), 1) << "message " << k;
        if (m.IsNoteOn()) {
            EXPECT_FALSE(sounding[m.note]) << "note-on " << m.note << " twice, message " << k;
            sounding[m.note] = true;
            ++noteOns;
        } else {
            EXPECT_TRUE(m.IsNoteOff()) << "message " << k;
            EXPECT_TRUE(sounding[m.note])
                << "note-off " << m.note << " not sounding, message " << k;
            sounding[m.note] = false;
        }
    }
    for (const auto& [note, on] : sounding)
        EXPECT_FALSE(on) << "note " << note << " left sounding";
    return noteOns;
}

class MidiOutTest : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (jackdInstalled())
            sServer = new miditest::JackServer();
    }

    static void TearDownTestSuite()
    {
        delete sServer;
        sServer = nullptr;
    }

    void SetUp() override
    {
        if (sServer == nullptr)
            GTEST_SKIP() << "jackd is not installed (Debian package jackd2; scripts/deps.sh)";
        ASSERT_TRUE(sServer->Running()) << "jackd did not start:\n" << sServer->Log();
        apptest::freshStrings(kStrings);
        GLStuff::SetScale(GLStuff::gPentatonicMajor, 5);
        bool started;
        {
            miditest::JackClientNameLock names;
            started = MidiOut::GetInstance()->Start("jack", JackServerFromEnvironment(), fReport);
        }
        ASSERT_TRUE(started) << fReport.str() << "jackd:\n" << sServer->Log();
        fListener = std::make_unique<miditest::MidiListener>();
        ASSERT_TRUE(fListener->Connected()) << "no JACK port Quorvel:Quorvel";
    }

    void TearDown() override
    {
        MidiOut::GetInstance()->Stop();
        fListener.reset();
    }

    static miditest::JackServer* sServer;
    std::ostringstream fReport;
    std::unique_ptr<miditest::MidiListener> fListener;
};

miditest::JackServer* MidiOutTest::sServer = nullptr;

TEST_F(MidiOutTest, RemovingASoundingStringEndsItsNoteAndASilentOneSendsNothing)
{
    pluck({9, 0});
    fListener->WaitFor(2);
    pressKey('z'); // string 9 goes
    EXPECT_EQ(describe(fListener->WaitFor(3)), describe({noteOn(53), noteOn(32), noteOff(53)}));
    pressKey('z'); // string 8, silent
    pressKey('a');
    pressKey('a');
    MidiOut::GetInstance()->Stop(); // sends all it was given, then string 0's note-off
    EXPECT_EQ(describe(fListener->WaitFor(5, std::chrono::seconds(2))),
              describe({noteOn(53), noteOn(32), noteOff(53), noteOff(32)}));
}

TEST_F(MidiOutTest, ANoteEndsThreeSecondsAfterItsPluckEachOnItsOwnClock)
{
    const auto firstPluck = Clock::now();
    pluck({2});
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    const auto secondPluck = Clock::now();
    pluck({3});

    auto got = fListener->WaitFor(3, std::chrono::seconds(5));
    const auto firstEnded = Clock::now();
    EXPECT_EQ(describe(got), describe({noteOn(37), noteOn(39), noteOff(37)}));
    EXPECT_GE(firstEnded - firstPluck, std::chrono::milliseconds(2900));

    got = fListener->WaitFor(4, std::chrono::seconds(5));
    const auto secondEnded = Clock::now();
    EXPECT_EQ(describe(got), describe({noteOn(37), noteOn(39), noteOff(37), noteOff(39)}));
    EXPECT_GE(secondEnded - secondPluck, std::chrono::milliseconds(2900));
}

TEST_F(MidiOutTest, TheQuitPathEndsEverySoundingNoteAndThenSendsNothing)
{
    pluck({1, 4, 8});
    fListener->WaitFor(3);
    GLStuff::StopThreads();
    EXPECT_FALSE(MidiOut::GetInstance()->IsRunning());
    pluck({2});
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const auto got = fListener->Messages();
    ASSERT_EQ(got.size(), 6u) << describe(got);
    std::multiset<int> ended;
    for (std::size_t k = 3; k < got.size(); ++k) {
        EXPECT_TRUE(got[k].IsNoteOff()) << describe(got);
        ended.insert(got[k].note);
    }
    EXPECT_EQ(ended, (std::multiset<int>{34, 41, 51}));
}

// With touch a faster sweep sends a stronger note-on; without it every one is 127.
TEST_F(MidiOutTest, TouchVelocityRisesWithTheSweepsSpeed)
{
    testing::internal::CaptureStdout();
    GLStuff::SetTouch(true);
    for (float widthsPerSecond : {0.15f, 0.5f, 3.0f})
        GLStuff::airMotion(0.06f, 0.5f, -5.0f, 0.04f, 0.5f, widthsPerSecond);
    GLStuff::SetTouch(false);
    GLStuff::airMotion(0.06f, 0.5f, -5.0f, 0.04f, 0.5f, 0.15f);
    testing::internal::GetCapturedStdout();
    // Four note-ons, each repluck ending the one before, are sent before the stop: a stop ends
    // what sounds and drops what was not yet sent, which a slow (sanitized) run may leave.
    fListener->WaitFor(7, std::chrono::seconds(5));
    MidiOut::GetInstance()->Stop();
    std::vector<int> velocities;
    for (const Message& m : fListener->WaitFor(8, std::chrono::seconds(2)))
        if (m.IsNoteOn())
            velocities.push_back(m.velocity);
    ASSERT_EQ(velocities.size(), 4u);
    EXPECT_LT(velocities[0], velocities[1]);
    EXPECT_LT(velocities[1], velocities[2]);
    EXPECT_EQ(velocities[2], 127);
    EXPECT_EQ(velocities[3], 127);
}

TEST_F(MidiOutTest, TrackingPlucksAgainstKeysAndQuitLeaveEveryNoteEnded)
{
    // The tracking thread sweeps over a string in every frame of 10 ms (far more plucks than a
    // player makes, and no more: JACK takes about a hundred MIDI events per cycle from a port)
    // while the window thread removes, adds and rescales; then the quit path stops MIDI.
    testing::internal::CaptureStdout();
    testsupport::ThreadsTogether threads;
    int stringIndex = 0;
    threads.Loop([&] {
        sweepOver(stringIndex);
        stringIndex = (stringIndex + 3) % kStrings;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return true;
    });
    const unsigned char keys[] = {'z', 'z', '3', 'a', 'z', '1', 'a', 'a', '2', 'z', 'a', '4'};
    for (int round = 0; round < 20; ++round) {
        for (unsigned char key : keys) {
            pressKey(key);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    EXPECT_EQ(threads.Stop(), 0);
    MidiOut::GetInstance()->Stop();
    testing::internal::GetCapturedStdout();

    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto got = fListener->Messages();
    EXPECT_GT(expectBalanced(got), 50) << describe(got) << fReport.str();
}

// Points this process at a JACK server that does not exist and at an ALSA configuration
// without a sequencer, whatever the machine has.
class NoMidiSystem : public testing::Test {
protected:
    void SetUp() override
    {
        Save("JACK_DEFAULT_SERVER");
        Save("ALSA_CONFIG_PATH");
        fAlsaConfig = "/tmp/quorvel-midi-test-" + std::to_string(getpid()) + ".conf";
        std::FILE* empty = std::fopen(fAlsaConfig.c_str(), "w");
        ASSERT_NE(empty, nullptr);
        std::fclose(empty);
        setenv("JACK_DEFAULT_SERVER", "quorvel-no-such-server", 1);
        setenv("ALSA_CONFIG_PATH", fAlsaConfig.c_str(), 1);
    }

    void TearDown() override
    {
        for (const auto& [name, value] : fSaved) {
            if (value.first)
                setenv(name.c_str(), value.second.c_str(), 1);
            else
                unsetenv(name.c_str());
        }
        std::remove(fAlsaConfig.c_str());
    }

    void Save(const char* name)
    {
        const char* value = std::getenv(name);
        fSaved[name] = {value != nullptr, value != nullptr ? value : ""};
    }

    // What Start wrote to the process's standard error, libraries included.
    static std::string StartAndCaptureStderr(const char* choice)
    {
        testing::internal::CaptureStderr();
        const bool started =
            MidiOut::GetInstance()->Start(choice, JackServerFromEnvironment(), std::cerr);
        std::string written = testing::internal::GetCapturedStderr();
        EXPECT_FALSE(started) << choice;
        MidiOut::GetInstance()->Stop();
        return written;
    }

    std::map<std::string, std::pair<bool, std::string>> fSaved;
    std::string fAlsaConfig;
};

TEST_F(NoMidiSystem, StartSaysInOneLineWhyMidiIsOffOrNothingWhenTurnedOff)
{
    EXPECT_EQ(StartAndCaptureStderr("off"), "");
    EXPECT_EQ(StartAndCaptureStderr("jack"), "MIDI is off: no JACK server is running\n");
    const std::string alsa = StartAndCaptureStderr("alsa");
    EXPECT_EQ(alsa.rfind("MIDI is off: the ALSA sequencer cannot be opened (", 0), 0u) << alsa;
    const std::string automatic = StartAndCaptureStderr(nullptr);
    EXPECT_EQ(automatic.rfind("MIDI is off: no JACK server is running and the ALSA sequencer "
                              "cannot be opened (",
                              0),
              0u)
        << automatic;
    EXPECT_EQ(StartAndCaptureStderr("auto"), automatic);
    for (const std::string& written : {alsa, automatic})
        EXPECT_EQ(std::count(written.begin(), written.end(), '\n'), 1) << written;

    // Off, the hooks do nothing.
    MidiOut::GetInstance()->Plucked(0, 32, 127);
    MidiOut::GetInstance()->StringsRemain(0);
    EXPECT_FALSE(MidiOut::GetInstance()->IsRunning());
}

TEST(MidiOutServerGone, QuitStillReturnsWhenTheJackServerDiedWhileNotesSounded)
{
    if (!jackdInstalled())
        GTEST_SKIP() << "jackd is not installed (Debian package jackd2; scripts/deps.sh)";
    miditest::JackServer server;
    ASSERT_TRUE(server.Running()) << server.Log();
    apptest::freshStrings(kStrings);
    std::ostringstream report;
    bool midiOn;
    {
        miditest::JackClientNameLock names;
        midiOn = MidiOut::GetInstance()->Start("jack", JackServerFromEnvironment(), report);
    }
    ASSERT_TRUE(midiOn) << report.str();
    pluck({1, 2});
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    server.Kill();
    pluck({3}); // to a port whose server is gone
    std::this_thread::sleep_for(std::chrono::milliseconds(100));

    const auto started = Clock::now();
    MidiOut::GetInstance()->Stop();
    EXPECT_LT(Clock::now() - started, std::chrono::seconds(10));
    EXPECT_FALSE(MidiOut::GetInstance()->IsRunning());
}

// A test that dies leaves no server in the way of the next test's. This process adopts orphans
// and reaps none until the end, as an init that reaps nothing does: a killed jackd stays a zombie,
// whose pid answers the liveness check of JACK's registry.
TEST(JackTestServer, ATestThatDiedLeavesNoServerInTheWayOfTheNext)
{
    if (!jackdInstalled())
        GTEST_SKIP() << "jackd is not installed (Debian package jackd2; scripts/deps.sh)";
    ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    // A test that crashed, then one killed with all it started (as on a ctest timeout).
    for (const bool withItsServer : {false, true}) {
        int ready[2];
        ASSERT_EQ(pipe(ready), 0);
        const pid_t test = fork();
        if (test == 0) {
            setpgid(0, 0);
            miditest::JackServer server;
            const char running = server.Running() ? 'y' : 'n';
            if (!server.Running())
                std::fputs(server.Log().c_str(), stderr);
            if (write(ready[1], &running, 1) == 1)
                pause();
            _exit(0);
        }
        close(ready[1]);
        char running = 'n';
        EXPECT_EQ(read(ready[0], &running, 1), 1);
        close(ready[0]);
        EXPECT_EQ(running, 'y');
        kill(withItsServer ? -test : test, SIGKILL);
        miditest::JackServer next;
        EXPECT_TRUE(next.Running())
            << (withItsServer ? "all killed: " : "test killed: ") << next.Log();
    }
    prctl(PR_SET_CHILD_SUBREAPER, 0);
    while (wait(nullptr) > 0) {
    }
}

} // namespace
