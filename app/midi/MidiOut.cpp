#include "app/midi/MidiOut.h"

#include <algorithm>

#include "app/instrument/Actions.h"
#include "app/instrument/Harp.h"
#include "app/midi/MidiPort.h"

static_assert(NoteRules::kStrings == Harp::kMaxStrings, "a MIDI note for every string");

MidiOut* MidiOut::GetInstance()
{
    static MidiOut* const sInstance = new MidiOut();
    return sInstance;
}

bool MidiOut::Start(const char* choice, const std::string& jackServer, std::ostream& report)
{
    GLStuff::AddOutput(this);
    std::lock_guard<std::mutex> lifecycle(fLifecycleLock);
    if (fPort)
        return true;
    std::string whyNot;
    fPort = MidiPort::Open(choice, jackServer, whyNot);
    if (!fPort) {
        if (!whyNot.empty())
            report << "MIDI is off: " << whyNot << std::endl;
        return false;
    }
    report << "MIDI out: port \"" << MidiPort::kPortName << "\" on " << fPort->SystemName()
           << std::endl;

    fReport = &report;
    fSendFailed = false;
    fDropReported = false;
    fRules = std::make_unique<NoteRules>(
        [this](const std::array<std::uint8_t, 3>& message) { Send(message); });
    fWorker.Start(
        "quorvel-midi",
        [this](const Command* commands, std::size_t count, bool last) {
            Take(commands, count, last);
        },
        [this](Clock::time_point& when) { return fRules->NextEnd(when); });
    return true;
}

void MidiOut::Stop()
{
    std::lock_guard<std::mutex> lifecycle(fLifecycleLock);
    if (!fPort)
        return;
    fWorker.Stop();
    fRules.reset();
    fPort.reset();
}

bool MidiOut::IsRunning() const
{
    return fWorker.Running();
}

void MidiOut::Plucked(int stringIndex, int note, int velocity)
{
    if (stringIndex < 0 || stringIndex >= NoteRules::kStrings || note < 0 || note > 127)
        return;
    fWorker.Push(Command{Command::kPluck, static_cast<std::uint8_t>(note),
                         static_cast<std::uint8_t>(std::clamp(velocity, 1, 127)), stringIndex});
}

void MidiOut::StringsRemain(int numStrings)
{
    fWorker.Push(Command{Command::kStringsRemain, 0, 0, numStrings});
}

void MidiOut::Take(const Command* commands, std::size_t count, bool last)
{
    if (fWorker.Dropped() > 0 && !fDropReported) {
        *fReport << "MIDI out: the queue was full, plucks were not sent" << std::endl;
        fDropReported = true;
    }
    const Clock::time_point now = Clock::now();
    for (std::size_t k = 0; k < count; ++k) {
        const Command& command = commands[k];
        switch (command.kind) {
        case Command::kPluck:
            fRules->Pluck(command.value, command.note, command.velocity, now);
            break;
        case Command::kStringsRemain:
            fRules->StringsRemain(command.value);
            break;
        }
    }
    fRules->EndExpired(now);
    if (last)
        fRules->EndAll();
}

void MidiOut::Send(const std::array<std::uint8_t, 3>& message)
{
    if (!fPort->Send(message.data(), message.size()) && !fSendFailed) {
        // Once: a MIDI system that went away would otherwise fill the terminal.
        *fReport << "MIDI out: " << fPort->LastError() << std::endl;
        fSendFailed = true;
    }
}
