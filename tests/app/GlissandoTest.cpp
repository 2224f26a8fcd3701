#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <sstream>

#include "AppTestSupport.h"
#include "HarpListener.h"
#include "ReplaySource.h"
#include "tracking/TestSupport.h"

namespace {

constexpr int kSampleRate = 44100;
constexpr int kFrameMicros = 10000;
constexpr int kSamplesPerFrame = kSampleRate / 100; // audio rendered per 10 ms frame
constexpr int kWindow = 16384;                      // analysis window, 0.37 s

// The instrument's listener, with the audio rendered offline after every frame, so the sound
// lines up with the recording's clock sample for sample.
class OfflineListener : public Leap::Listener {
public:
    void onInit(const Leap::Controller& c) override { listener.onInit(c); }
    void onConnect(const Leap::Controller& c) override { listener.onConnect(c); }
    void onDisconnect(const Leap::Controller& c) override
    {
        listener.onDisconnect(c);
        std::lock_guard<std::mutex> guard(fLock);
        fEnded = true;
        fDone.notify_all();
    }
    void onFrame(const Leap::Controller& c) override
    {
        listener.onFrame(c);
        const std::vector<float> block = apptest::render(kSamplesPerFrame);
        audio.insert(audio.end(), block.begin(), block.end());
    }
    bool waitForEnd()
    {
        std::unique_lock<std::mutex> guard(fLock);
        return fDone.wait_for(guard, std::chrono::seconds(30), [this] { return fEnded; });
    }
    std::vector<float> audio; // controller thread until the end

private:
    std::mutex fLock;
    std::condition_variable fDone;
    bool fEnded = false;
};

// Two fingers beyond the plane: one sweeps rightwards over strings 0..4 at half height, the
// other leftwards over strings 9..5 higher up, taking turns every 0.4 s (a crossing at 0.2 s,
// 0.6 s, ..., 3.8 s). Window units: string i stands at 0.05 + 0.1 i.
std::string glissando()
{
    std::ostringstream take;
    for (int n = 0; n <= 400; ++n) {
        const double t = n * kFrameMicros * 1e-6;
        const double rightward = 0.05 + 0.1 * (t - 0.2) / 0.8;
        const double leftward = 0.95 - 0.1 * (t - 0.6) / 0.8;
        take << R"({"id": )" << n << R"(, "timestamp": )" << 5000000 + n * kFrameMicros
             << R"(, "hands": [{"id": 1}, {"id": 2}], "pointables": [)"
             << R"({"id": 11, "handId": 1, "tipPosition": [)" << rightward * 400.0 - 200.0
             << R"(, 250, -20]}, {"id": 21, "handId": 2, "tipPosition": [)"
             << leftward * 400.0 - 200.0 << ", 300, -20]}]}\n";
    }
    return take.str();
}

// Magnitude of the Hann-windowed spectrum of audio[start, start + kWindow) at `hz`; samples
// outside the recording count as silence.
double magnitude(const std::vector<float>& audio, long start, double hz)
{
    const double pi = 3.141592653589793;
    const std::complex<double> step = std::polar(1.0, -2.0 * pi * hz / kSampleRate);
    std::complex<double> phasor = 1.0;
    std::complex<double> sum = 0.0;
    for (long k = 0; k < kWindow; ++k, phasor *= step) {
        const long at = start + k;
        if (at < 0 || at >= static_cast<long>(audio.size()))
            continue;
        const double hann = 0.5 - 0.5 * std::cos(2.0 * pi * k / kWindow);
        sum += hann * audio[static_cast<std::size_t>(at)] * phasor;
    }
    return std::abs(sum);
}

// The pitch a pluck at `onset` added: the frequency whose spectral magnitude grew most from the
// window before the onset to the window after it. Strings already sounding only decay, so they
// never win; the new string's fundamental does.
double addedPitch(const std::vector<float>& audio, long onset)
{
    auto growth = [&](double hz) {
        return magnitude(audio, onset + kSamplesPerFrame, hz) -
               magnitude(audio, onset - kWindow, hz);
    };
    double best = 0.0;
    double bestGrowth = -1e30;
    for (double hz = 30.0; hz <= 300.0; hz += 1.0)
        if (const double g = growth(hz); g > bestGrowth) {
            bestGrowth = g;
            best = hz;
        }
    const double coarse = best;
    for (double hz = coarse - 1.5; hz <= coarse + 1.5; hz += 0.02)
        if (const double g = growth(hz); g > bestGrowth) {
            bestGrowth = g;
            best = hz;
        }
    return best;
}

TEST(Glissando, TwoFingersPlayTenStringsInTurnAtTheirPitches)
{
    apptest::freshStrings(10);
    apptest::clearTracks();
    GLStuff::SetScale(GLStuff::gPentatonicMajor, 5);
    AudioServer::GetInstance()->SetFs(kSampleRate);

    trackingtest::TempDir dir;
    const std::string path = dir.write("glissando.jsonl", glissando());
    OfflineListener offline;
    testing::internal::CaptureStdout();
    {
        Leap::Controller controller(&offline, std::make_unique<Leap::ReplaySource>(path, false));
        ASSERT_TRUE(offline.waitForEnd());
    }
    const std::string printed = testing::internal::GetCapturedStdout();
    std::vector<float> audio = std::move(offline.audio);
    const std::vector<float> tail = apptest::render(kWindow);
    audio.insert(audio.end(), tail.begin(), tail.end());

    // The bursts are one-signed, so every string also carries a slowly decaying offset, which
    // strings plucked the other way cancel; take it out before looking for onsets and pitches.
    float previousIn = 0.0f;
    float previousOut = 0.0f;
    for (float& sample : audio) {
        const float in = sample;
        sample = in - previousIn + 0.999f * previousOut;
        previousIn = in;
        previousOut = sample;
    }

    // Onsets: a 10 ms block with clearly more high-frequency energy (sample-to-sample change)
    // than any of the 40 ms before it.
    std::vector<double> change;
    for (std::size_t block = 0; block + kSamplesPerFrame <= audio.size();
         block += kSamplesPerFrame) {
        double energy = 0.0;
        for (std::size_t k = std::max<std::size_t>(block, 1); k < block + kSamplesPerFrame; ++k)
            energy += double(audio[k] - audio[k - 1]) * (audio[k] - audio[k - 1]);
        change.push_back(energy);
    }
    std::vector<long> onsets;
    for (std::size_t block = 0; block < change.size(); ++block) {
        double before = 0.0;
        for (std::size_t back = 1; back <= 4 && back <= block; ++back)
            before = std::max(before, change[block - back]);
        if (change[block] > 3.0 * before + 1e-6)
            onsets.push_back(static_cast<long>(block) * kSamplesPerFrame);
    }

    const int expectedNotes[] = {32, 53, 34, 51, 37, 49, 39, 46, 41, 44};
    ASSERT_EQ(onsets.size(), 10u) << printed;
    for (std::size_t i = 0; i < onsets.size(); ++i) {
        const double expectedHz = 8.1757994 * std::pow(2.0, expectedNotes[i] / 12.0);
        const double measuredHz = addedPitch(audio, onsets[i]);
        EXPECT_NEAR(measuredHz, expectedHz, 0.01 * expectedHz)
            << "onset " << i << " at " << onsets[i] / double(kSampleRate) << " s, note "
            << expectedNotes[i];
        // Onsets follow the recording: one every 0.4 s from 0.2 s on.
        EXPECT_NEAR(onsets[i] / double(kSampleRate), 0.2 + 0.4 * i, 0.02) << "onset " << i;
    }
}

} // namespace
