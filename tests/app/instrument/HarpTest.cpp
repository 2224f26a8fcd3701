// The harp offline: its graph driven block by block through the server, with no device.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <stdexcept>
#include <vector>

#include "app/instrument/Harp.h"
#include "src/AudioServer.h"
#include "src/nodes/SampleAccumulator.h"

namespace {

constexpr unsigned kBlock = 256;

// A fresh one-string harp: the earlier tests of this process may have plucked it.
Harp* FreshHarp()
{
    Harp* harp = Harp::GetInstance();
    while (harp->GetNumStrings() > 1)
        harp->RemoveString();
    harp->Cleanup();
    harp->Init();
    for (SampleAccumulator* tap : harp->GetBuffers())
        tap->Get();
    AudioServer::GetInstance()->SetOutputChannels(2);
    return harp;
}

// One 256-frame block: channel 0 then channel 1.
std::vector<float> Block()
{
    std::vector<float> input(kBlock), output(2 * kBlock);
    AudioServer::GetInstance()->AudioServerCallback(input.data(), output.data(), kBlock);
    return output;
}

// The pluck detector's burst for a fingertip at mid height: apex at sample 256.
std::vector<float> MidHeightBurst()
{
    std::vector<float> burst(512);
    for (int j = 0; j < 512; ++j)
        burst[j] = j < 256 ? j / 256.0f : 1.0f - (j - 256) / 256.0f;
    return burst;
}

void Pluck(Harp* harp, int string, int note)
{
    std::vector<float> burst = MidHeightBurst();
    testing::internal::CaptureStdout();
    harp->ExciteString(string, note, 127, burst.data(), 512);
    testing::internal::GetCapturedStdout();
}

float Peak(const std::vector<float>& samples)
{
    float peak = 0.0f;
    for (float s : samples)
        peak = std::max(peak, std::fabs(s));
    return peak;
}

TEST(HarpTest, FreshHarpIsOneSilentStringOnBothChannels)
{
    Harp* harp = FreshHarp();
    EXPECT_EQ(harp, Harp::GetInstance());
    EXPECT_EQ(harp->GetNumStrings(), 1);
    ASSERT_EQ(harp->GetBuffers().size(), 1u);
    EXPECT_EQ(Peak(Block()), 0.0f);
    // The tap sits in the graph at 6 samples per pixel.
    EXPECT_EQ(harp->GetBuffers()[0]->Get().size(), 42u);
}

TEST(HarpTest, StringCountStaysBetweenOneAndThirty)
{
    Harp* harp = FreshHarp();
    harp->RemoveString();
    EXPECT_EQ(harp->GetNumStrings(), 1);
    for (int i = 0; i < 29; ++i)
        harp->AddString();
    EXPECT_EQ(harp->GetNumStrings(), 30);
    harp->AddString();
    EXPECT_EQ(harp->GetNumStrings(), 30);
    EXPECT_EQ(harp->GetBuffers().size(), 30u);

    // The new top string is wired through its own tap.
    Pluck(harp, 29, 57);
    Block();
    std::deque<std::pair<float, float>> pairs = harp->GetBuffers()[29]->Get();
    EXPECT_NE(pairs.front(), std::make_pair(0.0f, 0.0f));
    EXPECT_EQ(harp->GetBuffers()[28]->Get().front(), std::make_pair(0.0f, 0.0f));
    while (harp->GetNumStrings() > 1)
        harp->RemoveString();
    EXPECT_EQ(harp->GetBuffers().size(), 1u);
}

TEST(HarpTest, PluckOutsideTheStringsThrowsAndTouchesNothing)
{
    Harp* harp = FreshHarp();
    harp->AddString();
    std::vector<float> burst = MidHeightBurst(), original = burst;
    EXPECT_THROW(harp->ExciteString(2, 69, 127, burst.data(), 512), std::out_of_range);
    EXPECT_THROW(harp->ExciteString(-1, 69, 127, burst.data(), 512), std::out_of_range);
    EXPECT_THROW(harp->NoteOn(2, 69, 127), std::out_of_range);
    EXPECT_EQ(burst, original);
    EXPECT_EQ(Peak(Block()), 0.0f);
    Pluck(harp, 1, 69);
    EXPECT_GT(Peak(Block()), 0.0f);
}

TEST(HarpTest, RemovingTheTopStringSilencesOnlyIt)
{
    Harp* harp = FreshHarp();
    harp->AddString();
    Pluck(harp, 1, 69);
    EXPECT_GT(Peak(Block()), 0.0f);
    harp->RemoveString();
    EXPECT_EQ(Peak(Block()), 0.0f);

    harp->AddString();
    Pluck(harp, 0, 45);
    Pluck(harp, 1, 69);
    Block();
    harp->RemoveString();
    harp->GetBuffers()[0]->Get();
    std::vector<float> out = Block();
    // What is heard is string 0 alone: the 6-sample groups of the output, scaled back, peak
    // where its tap's pairs say (at whichever group alignment the tap has reached).
    std::deque<std::pair<float, float>> pairs = harp->GetBuffers()[0]->Get();
    ASSERT_GE(pairs.size(), 42u);
    EXPECT_GT(Peak(out), 0.0f);
    bool matched = false;
    for (int start = 0; start < 6 && !matched; ++start) {
        matched = true;
        for (size_t p = 1; p < 40 && matched; ++p) {
            const auto first = out.begin() + start + 6 * (p - 1);
            const float loudest = *std::max_element(first, first + 6) / Harp::kOutputGain;
            matched = std::fabs(loudest - pairs[p].first) < 1e-6f;
        }
    }
    EXPECT_TRUE(matched);
}

// The first `seconds` of both channels after a pluck of string `string` at `note`.
std::vector<std::vector<float>> PluckAndListen(Harp* harp, int string, int note, double seconds)
{
    Pluck(harp, string, note);
    std::vector<std::vector<float>> channels(2);
    for (unsigned b = 0; b < seconds * 44100 / kBlock; ++b) {
        std::vector<float> out = Block();
        for (int c = 0; c < 2; ++c)
            channels[c].insert(channels[c].end(), out.begin() + c * kBlock,
                               out.begin() + (c + 1) * kBlock);
    }
    return channels;
}

// A one-signed burst left an offset above the tone itself (+4 dB). Over the whole periods of
// the first 50 ms, in either voice, at the bottom, middle and top, the mean is 30 dB under.
TEST(HarpTest, APluckLeavesNoOffsetInEitherVoice)
{
    for (Harp::VoiceKind voice : {Harp::VoiceKind::kClassic, Harp::VoiceKind::kConcert}) {
        Harp::GetInstance()->SetVoice(voice);
        for (int note : {36, 60, 96}) {
            const std::vector<float> left = PluckAndListen(FreshHarp(), 0, note, 0.06)[0];
            const double period = 44100.0 / (440.0 * std::pow(2.0, (note - 69) / 12.0));
            const size_t span = static_cast<size_t>(period * std::floor(2205 / period));
            double sum = 0.0, squares = 0.0;
            for (size_t i = 0; i < span; ++i) {
                sum += left[i];
                squares += static_cast<double>(left[i]) * left[i];
            }
            const double mean = sum / span, ac = std::sqrt(squares / span - mean * mean);
            EXPECT_LT(20 * std::log10(std::fabs(mean) / ac), -30.0)
                << Harp::VoiceName(voice) << " note " << note;
        }
    }
    Harp::GetInstance()->SetVoice(Harp::VoiceKind::kClassic);
}

// Concert strings stand across the field, the two sides alike but not the same, and never in
// antiphase: a string at either edge and one in the middle of thirty.
TEST(HarpTest, ConcertStringsSpreadInStereoNeverInAntiphase)
{
    Harp* harp = Harp::GetInstance();
    harp->SetVoice(Harp::VoiceKind::kConcert);
    for (int string : {0, 15, 29}) {
        FreshHarp();
        for (int s = 1; s < Harp::kMaxStrings; ++s)
            harp->AddString();
        const std::vector<std::vector<float>> sides =
            PluckAndListen(harp, string, 40 + 2 * string, 1.0);
        double lr = 0.0, ll = 0.0, rr = 0.0, side = 0.0, mid = 0.0;
        for (size_t i = 0; i < sides[0].size(); ++i) {
            const double l = sides[0][i], r = sides[1][i];
            lr += l * r;
            ll += l * l;
            rr += r * r;
            side += (l - r) * (l - r);
            mid += (l + r) * (l + r);
        }
        const double correlation = lr / std::sqrt(ll * rr);
        EXPECT_GT(correlation, 0.3) << "string " << string;
        EXPECT_LT(correlation, 0.95) << "string " << string;
        EXPECT_LT(10 * std::log10(side / mid), -3.0) << "string " << string;
        // Left of the middle is louder on the left, right of it on the right.
        if (string != 15) {
            EXPECT_EQ(ll > rr, string < 15) << "string " << string;
        }
    }
    harp->SetVoice(Harp::VoiceKind::kClassic);
}

// A room rings on after its string is gone, in either voice, and still never in antiphase; the
// attack before its first echo is the dry harp's, sample for sample, and without a room the
// string's end is (nearly) silent at once.
TEST(HarpTest, ARoomRingsOnAfterTheStringIsGone)
{
    Harp* harp = Harp::GetInstance();
    for (Harp::VoiceKind voice : {Harp::VoiceKind::kConcert, Harp::VoiceKind::kClassic}) {
        harp->SetVoice(voice);
        std::vector<std::vector<float>> attack[2], tail[2];
        for (int room : {0, 1}) {
            Harp::SetRoom(room ? 0.3f : 0.0f);
            FreshHarp()->AddString();
            std::srand(7);
            attack[room] = PluckAndListen(harp, 1, 84, 0.3);
            harp->RemoveString();
            // The last 0.3 s of a second after the string's end.
            tail[room].assign(2, {});
            for (int b = 0; b < 172; ++b) {
                std::vector<float> out = Block();
                if (b < 70)
                    continue;
                for (int c = 0; c < 2; ++c)
                    tail[room][c].insert(tail[room][c].end(), out.begin() + c * kBlock,
                                         out.begin() + (c + 1) * kBlock);
            }
        }
        const char* name = Harp::VoiceName(voice);
        for (int c = 0; c < 2; ++c)
            EXPECT_TRUE(
                std::equal(attack[0][c].begin(), attack[0][c].begin() + 1000, attack[1][c].begin()))
                << name;
        double dry = 0.0, ll = 0.0, rr = 0.0, lr = 0.0, pluck = 0.0;
        for (size_t i = 0; i < tail[1][0].size(); ++i) {
            dry += tail[0][0][i] * tail[0][0][i];
            ll += tail[1][0][i] * tail[1][0][i];
            rr += tail[1][1][i] * tail[1][1][i];
            lr += tail[1][0][i] * tail[1][1][i];
        }
        for (float s : attack[0][0])
            pluck += s * s;
        pluck *= static_cast<double>(tail[1][0].size()) / attack[0][0].size();
        EXPECT_GT(10 * std::log10(ll / pluck), -40.0) << name; // the room still rings
        EXPECT_LT(10 * std::log10(dry / pluck), -80.0) << name;
        EXPECT_GT(lr / std::sqrt(ll * rr), 0.0) << name;
    }
    Harp::SetRoom(0.0f);
    harp->SetVoice(Harp::VoiceKind::kClassic);
    FreshHarp();
}

} // namespace
