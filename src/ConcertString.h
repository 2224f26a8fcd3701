#pragma once

#include <cstdint>
#include <memory>

#include "src/LoopFilter.h"
#include "src/Voices.h"

// A concert harp's string: a delay line closed by a LoopFilter (per-pitch loss, dispersion and
// fractional tuning), so that each partial decays as a harp's does from C2 to C7 and the loop
// is in tune within a cent. On top of the single loop: an early, faster decay that fades
// (as the string's two polarisations and the soundboard give), a pluck that swells in over a
// few periods as the finger lets go (its shape from PluckExcitation) and a few milliseconds of
// finger noise beside the tone. Mono; the harp places it in the stereo field.
//
// Threads: Render runs on the audio thread inside the server pass. NoteOn runs on any other
// thread, prepares everything outside the server lock and takes it only to swap the new note
// in. Buffers are sized when the string is built; nothing in Render allocates or locks.
class ConcertString final : public Voice {
public:
    static constexpr int kMaxSize = 65536; // ring capacity in samples, a power of two
    // The swell: the pluck goes in over this long (at least one period), ms.
    static constexpr double kSwellMs = 22.0;
    // Above this note the swell shortens to a few periods, as a short string's does.
    static constexpr double kSwellTopNote = 66.0;
    // Early decay: extra loss at the pluck in nepers a second, fading with this time constant
    // (s); above kEarlyTopNote it doubles every 7 notes and its time halves every octave.
    static constexpr double kEarlyLossPerSecond = 6.0;
    static constexpr double kEarlySeconds = 0.15;
    static constexpr double kEarlyTopNote = 72.0;
    // Above kTrebleFromNote the pluck's level doubles every kTrebleNotes notes.
    static constexpr float kTrebleFromNote = 60.0f;
    static constexpr float kTrebleNotes = 16.0f;
    // Finger noise: level against the pluck's peak, and its decay time constant in ms; it
    // stops after kNoiseStopMs.
    static constexpr float kNoiseLevel = 0.22f;
    static constexpr double kNoiseMs = 6.0;
    static constexpr double kNoiseStopMs = 20.0;

    ConcertString();
    ~ConcertString();

    using Voice::NoteOn;
    // Tunes the string to `pitch` (notes, 69 = 440 Hz) and plucks it with velocity 0..127 and
    // the pluck's burst (burstLength samples of displacement; null: a plain pluck), adding to
    // what still rings. Prints the note line as the classic string does. Not on the audio thread.
    void NoteOn(float pitch, int velocity, const float* burst, int burstLength);
    // Stops the string at once: silent as a string just built. With the server lock held, or while
    // the audio thread cannot reach the string.
    void Silence();

    void Render(float* buffer, int frames) override;

    int Length() const { return fFilter.length; }
    const LoopFilter& Filter() const { return fFilter; }

private:
    static constexpr uint32_t kMask = kMaxSize - 1;

    template <bool kSwelling> void RenderLoop(float* buffer, int frames);
    void AddFingerNoise(float* buffer, int frames);

    std::unique_ptr<float[]> fDelayLine;
    uint32_t fReadPos;
    // The pluck being swelled in, one period, and the next one, prepared outside the lock.
    std::unique_ptr<float[]> fShape;
    std::unique_ptr<float[]> fPreparedShape;
    float fSampleRate; // Hz, the server's at the last note-on; under the server lock

    // Audio thread, and under the server lock elsewhere.
    LoopFilter fFilter;
    int fSwellLeft;     // samples of the swell still to go in
    int fSwellPos;      // where in fShape the next sample comes from
    float fSwellStep;   // share of the shape each pass adds: 1 / periods of the swell
    double fEarlyLoss;  // extra loss now, nepers per second
    double fEarlyFade;  // its factor per sample
    int fNoiseLeft;     // samples of finger noise still to come
    float fNoiseGain;   // its envelope now
    float fNoiseFade;   // and its factor per sample
    float fNoiseColour; // one-pole memory that darkens the noise
    uint32_t fNoiseState;
};
