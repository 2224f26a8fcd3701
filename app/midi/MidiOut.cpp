#include "app/midi/MidiOut.h"

#include <pthread.h>

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
    if (fThread.joinable())
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
    {
        std::lock_guard<std::mutex> hold(fQueueLock);
        fQueueHead = 0;
        fQueueCount = 0;
        fDropped = 0;
        fStopping = false;
        fAccepting = true;
    }
    fThread = std::thread(&MidiOut::Run, this);
    return true;
}

void MidiOut::Stop()
{
    std::lock_guard<std::mutex> lifecycle(fLifecycleLock);
    if (!fThread.joinable())
        return;
    {
        std::lock_guard<std::mutex> hold(fQueueLock);
        fAccepting = false;
        fStopping = true;
    }
    fWake.notify_one();
    fThread.join();
    fPort.reset();
}

bool MidiOut::IsRunning() const
{
    std::lock_guard<std::mutex> hold(fQueueLock);
    return fAccepting;
}

void MidiOut::Plucked(int stringIndex, int note, int velocity)
{
    if (stringIndex < 0 || stringIndex >= NoteRules::kStrings || note < 0 || note > 127)
        return;
    Post(Command{Command::kPluck, static_cast<std::uint8_t>(note),
                 static_cast<std::uint8_t>(std::clamp(velocity, 1, 127)), stringIndex});
}

void MidiOut::StringsRemain(int numStrings)
{
    Post(Command{Command::kStringsRemain, 0, 0, numStrings});
}

void MidiOut::Post(const Command& command)
{
    {
        std::lock_guard<std::mutex> hold(fQueueLock);
        if (!fAccepting)
            return;
        if (fQueueCount == kQueueCapacity) {
            ++fDropped;
            return;
        }
        fQueue[static_cast<std::size_t>((fQueueHead + fQueueCount) % kQueueCapacity)] = command;
        ++fQueueCount;
    }
    fWake.notify_one();
}

void MidiOut::Run()
{
    pthread_setname_np(pthread_self(), "quorvel-midi");
    NoteRules rules([this](const std::array<std::uint8_t, 3>& message) { Send(message); });
    std::array<Command, kQueueCapacity> batch;
    for (;;) {
        int taken = 0;
        int dropped = 0;
        bool stopping = false;
        {
            std::unique_lock<std::mutex> hold(fQueueLock);
            const auto ready = [this] { return fQueueCount > 0 || fStopping; };
            Clock::time_point nextEnd;
            if (rules.NextEnd(nextEnd))
                fWake.wait_until(hold, nextEnd, ready);
            else
                fWake.wait(hold, ready);
            for (; taken < fQueueCount; ++taken)
                batch[static_cast<std::size_t>(taken)] =
                    fQueue[static_cast<std::size_t>((fQueueHead + taken) % kQueueCapacity)];
            fQueueHead = (fQueueHead + fQueueCount) % kQueueCapacity;
            fQueueCount = 0;
            dropped = fDropped;
            stopping = fStopping;
        }

        if (dropped > 0 && !fDropReported) {
            *fReport << "MIDI out: the queue was full, plucks were not sent" << std::endl;
            fDropReported = true;
        }
        const Clock::time_point now = Clock::now();
        for (int k = 0; k < taken; ++k)
            Apply(rules, batch[static_cast<std::size_t>(k)], now);
        rules.EndExpired(now);
        if (stopping) {
            rules.EndAll();
            return;
        }
    }
}

void MidiOut::Apply(NoteRules& rules, const Command& command, Clock::time_point now)
{
    switch (command.kind) {
    case Command::kPluck:
        rules.Pluck(command.value, command.note, command.velocity, now);
        break;
    case Command::kStringsRemain:
        rules.StringsRemain(command.value);
        break;
    }
}

void MidiOut::Send(const std::array<std::uint8_t, 3>& message)
{
    if (!fPort->Send(message.data(), message.size()) && !fSendFailed) {
        // Once: a MIDI system that went away would otherwise fill the terminal.
        *fReport << "MIDI out: " << fPort->LastError() << std::endl;
        fSendFailed = true;
    }
}
