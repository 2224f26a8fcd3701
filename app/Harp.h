#pragma once

#include <mutex>
#include <vector>

class Karplus;
class SampleAccumulator;
class Adder;
class Multiplier;

// The instrument: a process-wide singleton that owns between 1 and 30 plucked strings and wires
// them into the audio graph. String i is a Karplus voice followed by a display tap; every tap
// feeds one mixer, the mixer feeds one gain node of 1/12, and only the gain node is registered
// with the AudioServer (on output channels 0 and 1).
//
// Threads: the window thread adds and removes strings and reads the taps; the tracking thread
// counts and plucks strings; the audio thread never calls the harp, it only renders the graph.
class Harp {
public:
    static constexpr int kMaxStrings = 30;
    static constexpr int kMinStrings = 1;
    static constexpr float kStringPeriodSeconds = 0.009f;
    static constexpr int kSamplesPerPixel = 6;
    static constexpr float kOutputGain = 1.0f / 12.0f;

    // Builds the harp on the first call, exactly once, whichever threads call first.
    static Harp* GetInstance();

    Harp();
    ~Harp();

    void Init();
    void Cleanup();

    // Window thread. At the limits (30 strings, 1 string) they do nothing.
    void AddString();
    void RemoveString();

    // Plucks string `string` with noise. Throws std::out_of_range for an index outside
    // 0..GetNumStrings()-1 and then touches nothing.
    void NoteOn(int string, int note, int velocity);

    // Tunes string `string` to `note` (69 = 440 Hz) and adds `burst` (length samples, scaled in
    // place) fitted to one period. velocity 0..127. Throws std::out_of_range for an index
    // outside 0..GetNumStrings()-1 and then touches nothing; the burst is consumed on return.
    void ExciteString(int string, int note, int velocity, float* burst, int length);

    int GetNumStrings() const;

    // Window thread: the display taps in string order.
    std::vector<SampleAccumulator*>& GetBuffers();

private:
    // Init and Cleanup with fStringsLock already held.
    void BuildGraph();
    void TearDownGraph();

    static Harp* sInstance;
    static std::once_flag sInstanceOnce;

    std::vector<SampleAccumulator*> fBuffers;
    std::vector<Karplus*> fStrings;
    Adder* fAdder;
    Multiplier* fMultiplier;
    int fNumStrings;

    // Serialises the tracking thread's count and plucks with the window thread's string changes.
    // Never taken by the audio thread; taken before the server lock, never after it.
    mutable std::mutex fStringsLock;
};
