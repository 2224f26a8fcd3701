#pragma once

#include <cstdint>
#include <memory>

#include "src/AudioServer.h"

// Base of the note-playing nodes. Its counters and the held flag are bookkeeping only: none of
// them starts, stops or gates rendering.
class Voice : public AudioClient {
public:
    Voice();

    // note: note number, 69 = 440 Hz; velocity 0..127. Marks the note held; makes no sound.
    virtual void NoteOn(int note, int velocity);
    virtual void NoteOff();

    // Whether note-ons print their note line on standard output: on unless switched off, as
    // where note-ons run on the audio thread (the web page's worklet), which must neither format
    // nor write. Set before the first note-on.
    static void SetNoteLines(bool on);

    bool IsOn() const { return fIsOn; }
    int SampleCount() const { return fSampleCount; }
    int Duration() const { return fDuration; }

protected:
    ~Voice() = default;

    // The note line on standard output, unless note lines are off.
    static void PrintNoteLine(int note, float frequency);

    int fSampleCount; // samples rendered since the last note-on; audio thread
    int fDuration;    // nominal note length in samples
    bool fIsOn;
};

// A plucked string on a Karplus-Strong delay line. Each sample leaving the line is scaled by a
// loss factor, passed through a first-order allpass, averaged with the sample written just before
// it and written back: y[t] = 0.5 (A(decay y[t-L]) + y[t-1]), output amplitude y[t-L]. The
// loop is tuned the way Jaffe and Smith extended the algorithm: the line length L is the period
// less the averaging's delay at the note's frequency, rounded down so that the allpass makes up
// between kMinAllpassDelay and kMinAllpassDelay + 1 samples exactly at the fundamental. The
// ring is allocated once at its full capacity, so retuning never reallocates; lines are limited
// to kMaxSize samples (about 1.49 s at 44100 Hz).
//
// Threads: Render runs on the audio thread inside the server pass. NoteOn runs on any other
// thread and takes the server lock only for the retune and the excitation itself; NoteOff takes
// it for the loss. Neither may be called with the server lock held. SetLength and the bare Excite
// overloads take no lock: a caller on another thread holds the server lock.
class Karplus final : public Voice {
public:
    static constexpr int kMaxSize = 65536; // ring capacity in samples, a power of two
    // Least allpass delay in samples: keeps its coefficient within about +-0.24 for the harp's
    // notes, so it neither rings near the Nyquist frequency nor smears the attack.
    static constexpr double kMinAllpassDelay = 0.618;

    // periodSeconds: initial period in seconds, at the server's sample rate of this moment.
    // startPosition: where the ring positions start (tests start them near the counter wrap).
    explicit Karplus(float periodSeconds, uint32_t startPosition = 0);
    ~Karplus();

    using Voice::NoteOn;
    // Tunes the string to `note` (69 = 440 Hz), sets the loss to 0.99 and the output gain to
    // velocity / 127 (velocity 0..127), prints the note line, then excites one period of the
    // line: with noise when `burst` is null, otherwise with the burst (burstLength samples,
    // scaled in place for headroom) fitted to it. Not on the audio thread.
    void NoteOn(int note, int velocity, float* burst, int burstLength);
    // The same at a pitch between notes: `pitch` in notes (69 = 440 Hz, 69.5 a quarter tone
    // above); the note line shows the nearest note.
    void NoteOn(float pitch, int velocity, float* burst, int burstLength);
    // Sets the loss to 0.5; the string dies away within a few periods. Not on the audio thread.
    void NoteOff() override;
    // Stops the string at once: its line cleared, silent as a string just built. With the server
    // lock held, or while the audio thread cannot reach the string.
    void Silence();

    // length: line length in samples, at most kMaxSize. Clears the allpass's memory of the
    // previous tuning and keeps its coefficient.
    void SetLength(int length);
    // Fills one period of the line with noise, less the offset it would leave in the loop.
    void Excite();
    // Adds `burst` (burstLength samples) stretched or shrunk to one period of the line into it,
    // after scaling the caller's burst in place by the headroom left under full scale; what is
    // added is made to leave no offset in the loop (its sum and the averaging's memory of its
    // last sample come to 0), so a pluck leaves no DC. A
    // burstLength below 1 adds only the noise.
    void Excite(float* burst, int burstLength);

    void Render(float* buffer, int frames) override;

    int Length() const { return fLength; }
    uint32_t ReadPosition() const { return fReadPos; }
    uint32_t WritePosition() const { return fWritePos; }
    float Decay() const { return fDecay; }
    float Amplitude() const { return fAmplitude; }
    // The allpass coefficient of the current tuning, -1 < a < 1.
    float Allpass() const { return fAllpass; }
    // The ring, kMaxSize samples; position p lives at p & (kMaxSize - 1).
    const float* DelayLine() const { return fDelayLine.get(); }

private:
    static constexpr uint32_t kMask = kMaxSize - 1;

    // The benchmark times the locked half of a note-on through it.
    friend class KarplusProbe;

    // The lock-free half of NoteOn: frequency, tuning, this note's noise draws and where each
    // sample of the line will read a burst of burstLength samples (0: no burst).
    struct PreparedNote {
        int note;
        int velocity;
        float frequency; // Hz
        int length;      // line length in samples
        float allpass;   // allpass coefficient
    };
    PreparedNote PrepareNote(float pitch, int velocity, int burstLength);
    // The half of NoteOn that the audio thread must not see halfway: retune and excite with the
    // noise drawn by the PrepareNote just before. The caller holds the server lock.
    void ApplyNote(const PreparedNote& prepared, float* burst, int burstLength);

    // One noise sample: Box-Muller normal value from two rand() draws, squashed by tanh.
    static float NoiseSample();
    // Draws `count` noise samples (at most kMaxSize) into fNoise.
    void DrawNoise(int count);
    // Period samples an excitation writes: the ring cannot hold more than kMaxSize.
    int ExcitedLength() const;
    // Fills fFit for a period of `length` samples and a burst of burstLength samples.
    void PrepareFit(int length, int burstLength);
    void ExciteWithNoise();
    void ExciteWithBurst(float* burst, int burstLength);
    // The render of a period that is a whole number of rings long, where the sample written
    // and the sample read are the same.
    void RenderInPlace(float* buffer, int frames);

    std::unique_ptr<float[]> fDelayLine;
    int fMaxSize;
    int fLength;
    // Ring positions; unsigned, so they wrap after 2^32 samples and stay continuous under the mask.
    uint32_t fReadPos;
    uint32_t fWritePos;
    float fDecay;
    float fAmplitude;
    // The allpass out[t] = a in[t] + in[t-1] - a out[t-1]: its coefficient a, and its input and
    // output of the previous sample, the memory SetLength clears. Audio thread, and under the
    // server lock elsewhere.
    float fAllpass;
    float fAllpassIn;
    float fAllpassOut;
    // Noise for the next excitation, drawn before the server lock is taken; kMaxSize samples,
    // never read by the audio thread.
    std::unique_ptr<float[]> fNoise;

    // Where each sample of the period reads the burst, worked out before the server lock is
    // taken, for periods up to kMaxFitted samples (longer ones locate their points as they go).
    struct FitPoint {
        int base;
        int next;
        double fraction;
    };
    static constexpr int kMaxFitted = 4096;
    std::unique_ptr<FitPoint[]> fFit;
    int fFitLength; // the period and burst lengths fFit holds; 0 when empty
    int fFitBurstLength;
};
