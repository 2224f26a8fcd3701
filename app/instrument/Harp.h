#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include <string>

class AudioClient;
class Karplus;
class ConcertString;
class SampleAccumulator;
class Adder;
class Multiplier;
class StereoMix;
class BodyFilter;
class DcBlocker;
class Room;

// The instrument: a process-wide singleton that owns between 1 and 30 plucked strings and wires
// them into the audio graph, in one of two voices. String i is a voice followed by a display
// tap. The classic voice: Karplus strings, every tap into one mixer, the mixer into a gain of
// 1/12, which alone is registered with the AudioServer (on output channels 0 and 1, the same
// signal). The concert voice: ConcertString strings, the taps into a StereoMix
// that places them left to right, each side through a BodyFilter and a DC blocker to its channel.
// With a room asked for, either voice's two sides pass through a Room (the concert voice's
// before its DC blockers).
//
// Threads: the window thread adds and removes strings and reads the taps; the tracking thread
// counts and plucks strings; the audio thread never calls the harp, it only renders the graph.
// Neither counting nor adding, removing or drawing ever waits for a pluck: a pluck holds its
// string by a shared pointer, so a string removed meanwhile lives until the pluck has ended.
class Harp {
public:
    static constexpr int kMaxStrings = 30;
    static constexpr int kMinStrings = 1;
    static constexpr float kStringPeriodSeconds = 0.009f;
    static constexpr int kSamplesPerPixel = 6;
    static constexpr float kOutputGain = 1.0f / 12.0f;
    // The concert voice's gain before the stereo placement: about as loud as the classic.
    static constexpr float kConcertGain = 2.0f / 12.0f;

    enum class VoiceKind { kClassic, kConcert };
    // "classic" or "concert".
    static const char* VoiceName(VoiceKind voice);
    // False for any other name.
    static bool VoiceNamed(const std::string& name, VoiceKind& voice);

    // Builds the harp on the first call, exactly once, whichever threads call first.
    static Harp* GetInstance();

    Harp();
    ~Harp();

    void Init();
    void Cleanup();

    // Window thread. At the limits (30 strings, 1 string) they do nothing.
    void AddString();
    void RemoveString();
    // For a harp whose count changes on the audio thread (the web page's worklet): builds the
    // strings up to kMaxStrings now, those beyond the count silent and out of the mix. From then
    // on RemoveString keeps the string it takes away, silenced, and AddString plays a kept one
    // again, so neither builds nor frees anything; SetVoice builds them all anew.
    void BuildAllStrings();

    // Plucks string `string` with noise. Throws std::out_of_range for an index outside
    // 0..GetNumStrings()-1 and then touches nothing.
    void NoteOn(int string, int note, int velocity);

    // Tunes string `string` to `note` (69 = 440 Hz) and adds `burst` (length samples, scaled in
    // place) fitted to one period. velocity 0..127. Throws std::out_of_range for an index
    // outside 0..GetNumStrings()-1 and then touches nothing; the burst is consumed on return.
    void ExciteString(int string, int note, int velocity, float* burst, int length);
    // The same at a pitch between notes (69.5: a quarter tone above 440 Hz).
    void ExciteString(int string, float pitch, int velocity, float* burst, int length);

    // Any thread; never waits.
    int GetNumStrings() const;

    // The voice a harp is built in; before the first GetInstance (later, SetVoice). The player
    // chooses it through GLStuff::ChooseVoice, which sets it while there is no harp.
    static void SetStartVoice(VoiceKind voice);
    // A harp has been built. Read where no other thread can be building it: before the sound
    // starts, or after.
    static bool Built() { return sInstance != nullptr; }
    // Window thread: the strings are built anew in `voice` (silent), unless it is the voice
    // already playing.
    void SetVoice(VoiceKind voice);
    // Any thread.
    VoiceKind GetVoice() const;
    // The room's amount, 0 (none, the default) to 1, for every graph built from now on (Init,
    // SetVoice); the player and the renderer set it before the first GetInstance.
    static void SetRoom(float amount);

    // Window thread: the display taps in string order.
    std::vector<SampleAccumulator*>& GetBuffers();

private:
    // Init and Cleanup with fStringsLock already held.
    void BuildGraph();
    void TearDownGraph();
    // With fStringsLock held: a new string and its tap, the tap wired into the mixer.
    void AppendString();
    // With fStringsLock held: kept strings, built until there are kMaxStrings in all.
    void BuildKeptStrings();

    // A string in whichever voice it was built.
    struct StringVoice {
        std::shared_ptr<Karplus> classic;
        std::shared_ptr<ConcertString> concert;
        void Pluck(float pitch, int velocity, float* burst, int length) const;
        void Silence() const;
    };
    // A string with its tap, not in the mix.
    struct BuiltString {
        StringVoice voice;
        std::unique_ptr<SampleAccumulator> tap;
    };
    BuiltString BuildString() const;
    // String `string`, or std::out_of_range.
    StringVoice StringAt(int string) const;
    // With the server lock held: the tap into or out of the mixer of the voice playing.
    void Connect(SampleAccumulator* tap);
    void Disconnect(SampleAccumulator* tap);

    static Harp* sInstance;
    static std::atomic<VoiceKind> sStartVoice;
    static std::atomic<float> sRoom;
    static std::once_flag sInstanceOnce;

    std::vector<SampleAccumulator*> fBuffers;
    std::vector<StringVoice> fStrings;
    // Strings taken away and kept for AddString (BuildAllStrings), their taps owned here.
    std::vector<StringVoice> fKeptStrings;
    std::vector<SampleAccumulator*> fKeptBuffers;
    bool fKeepStrings;
    Adder* fAdder;            // classic
    Multiplier* fMultiplier;  // classic
    StereoMix* fMix;          // concert
    BodyFilter* fBodies[2];   // concert: left, right
    DcBlocker* fBlockers[2];  // concert: left, right
    Room* fRoom;              // either voice, when asked for
    AudioClient* fOutputs[2]; // the nodes on channels 0 and 1
    // Written on the window thread under fStringsLock, read anywhere.
    std::atomic<VoiceKind> fVoice;
    // The number of strings; written on the window thread under fStringsLock, read anywhere.
    std::atomic<int> fNumStrings;

    // Guards the lists against the window thread's string changes; held only for a look-up or a
    // change, never across a note-on. Never taken by the audio thread; taken before the server
    // lock, never after it.
    mutable std::mutex fStringsLock;
    // One note-on at a time: a voice's note-on prepares its excitation outside the server lock.
    // Taken only by plucks, before fStringsLock and the server lock.
    std::mutex fPluckLock;
};
