// MIDI out for the page: every pluck through the desktop's note rules (app/midi/NoteRules), each
// message handed to the page (web/page/midi.js), which sends it to the Web MIDI output the player
// chose. Main thread only, like everything else the page's instrument does.

#include <emscripten.h>

#include <array>
#include <cstdint>

#include "app/instrument/Actions.h"
#include "app/instrument/InstrumentOutput.h"
#include "app/midi/NoteRules.h"

// The page's handler: Module.midi(status, data1, data2).
EM_JS(void, quorvel_post_midi, (int status, int data1, int data2),
      { Module.midi(status, data1, data2); });

namespace {

class PageMidi : public InstrumentOutput {
public:
    PageMidi()
        : fRules([this](const std::array<std::uint8_t, 3>& message) {
              if (fOn)
                  quorvel_post_midi(message[0], message[1], message[2]);
          })
    {
    }

    void Plucked(int stringIndex, int note, int velocity) override
    {
        if (fOn)
            fRules.Pluck(stringIndex, note, velocity, NoteRules::Clock::now());
    }

    void StringsRemain(int numStrings) override { fRules.StringsRemain(numStrings); }

    // Off ends every sounding note first, so that nothing hangs on the synthesiser.
    void SetOn(bool on)
    {
        if (!on)
            fRules.EndAll();
        fOn = on;
    }

    void EndExpired() { fRules.EndExpired(NoteRules::Clock::now()); }

private:
    bool fOn = false;
    NoteRules fRules;
};

PageMidi& Midi()
{
    static PageMidi* const sMidi = [] {
        auto* midi = new PageMidi();
        GLStuff::AddOutput(midi);
        return midi;
    }();
    return *sMidi;
}

} // namespace

extern "C" {

// MIDI on (plucks become notes) or off (every sounding note ends now).
void quorvel_midi(int on)
{
    Midi().SetOn(on != 0);
}

// Ends the notes whose time is up; the page calls it a few times a second.
void quorvel_midi_tick()
{
    Midi().EndExpired();
}

} // extern "C"
