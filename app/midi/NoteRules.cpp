#include "app/midi/NoteRules.h"

#include <algorithm>
#include <utility>

namespace {

constexpr std::uint8_t kNoteOn = 0x90;
constexpr std::uint8_t kNoteOff = 0x80;

} // namespace

NoteRules::NoteRules(Send send) : fSend(std::move(send)) {}

void NoteRules::Pluck(int stringIndex, int note, int velocity, Clock::time_point now)
{
    if (stringIndex < 0 || stringIndex >= kStrings || note < 0 || note > 127)
        return;
    EndNote(stringIndex);
    for (int other = 0; other < kStrings; ++other) {
        if (fSounding[static_cast<std::size_t>(other)].note == note)
            EndNote(other);
    }
    Emit(kNoteOn, note, std::clamp(velocity, 1, 127));
    fSounding[static_cast<std::size_t>(stringIndex)] = Sounding{note, now + kNoteLength};
}

void NoteRules::StringsRemain(int numStrings)
{
    for (int stringIndex = std::max(numStrings, 0); stringIndex < kStrings; ++stringIndex)
        EndNote(stringIndex);
}

void NoteRules::EndExpired(Clock::time_point now)
{
    for (int stringIndex = 0; stringIndex < kStrings; ++stringIndex) {
        const Sounding& sounding = fSounding[static_cast<std::size_t>(stringIndex)];
        if (sounding.note >= 0 && sounding.ends <= now)
            EndNote(stringIndex);
    }
}

void NoteRules::EndAll()
{
    for (int stringIndex = 0; stringIndex < kStrings; ++stringIndex)
        EndNote(stringIndex);
}

bool NoteRules::NextEnd(Clock::time_point& when) const
{
    bool any = false;
    for (const Sounding& sounding : fSounding) {
        if (sounding.note >= 0 && (!any || sounding.ends < when)) {
            when = sounding.ends;
            any = true;
        }
    }
    return any;
}

void NoteRules::EndNote(int stringIndex)
{
    Sounding& sounding = fSounding[static_cast<std::size_t>(stringIndex)];
    if (sounding.note < 0)
        return;
    Emit(kNoteOff, sounding.note, kReleaseVelocity);
    sounding.note = -1;
}

void NoteRules::Emit(std::uint8_t status, int note, int velocity)
{
    fSend({static_cast<std::uint8_t>(status | (kChannel - 1)), static_cast<std::uint8_t>(note),
           static_cast<std::uint8_t>(velocity)});
}
