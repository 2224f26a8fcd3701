#include "app/midi/MidiPort.h"

#include <alsa/asoundlib.h>
#include <jack/jack.h>

#include <RtMidi.h>

#include <cstdio>
#include <thread>

#include "src/device/JackPresence.h"

namespace {

void SilentJack(const char*) {}

void SilentAlsa(const char*, int, const char*, int, const char*, ...) {}

// Keeps libjack and alsa-lib from writing their own messages to standard error while a system
// is probed and the port opened: a missing MIDI system is reported in one line of ours.
// Window thread, at start-up.
class QuietLibraries {
public:
    QuietLibraries()
        : fJackError(jack_error_callback), fJackInfo(jack_info_callback), fAlsaError(snd_lib_error)
    {
        jack_set_error_function(SilentJack);
        jack_set_info_function(SilentJack);
        snd_lib_error_set_handler(SilentAlsa);
    }

    ~QuietLibraries()
    {
        jack_set_error_function(fJackError);
        jack_set_info_function(fJackInfo);
        snd_lib_error_set_handler(fAlsaError);
    }

    QuietLibraries(const QuietLibraries&) = delete;
    QuietLibraries& operator=(const QuietLibraries&) = delete;

private:
    void (*fJackError)(const char*);
    void (*fJackInfo)(const char*);
    snd_lib_error_handler_t fAlsaError;
};

// Never starts a server: the player decides whether JACK runs. Gives the server's process
// cycle, or says why no client could join.
bool JackServerRuns(std::chrono::microseconds& cycle, std::string& whyNot)
{
    jack_status_t status = static_cast<jack_status_t>(0);
    jack_client_t* client = jack_client_open("Quorvel probe", JackNoStartServer, &status);
    if (client == nullptr) {
        char code[16];
        std::snprintf(code, sizeof code, "0x%x", static_cast<unsigned>(status));
        whyNot = (status & JackServerFailed) != 0
                     ? std::string("no JACK server is running")
                     : std::string("the JACK server refused a client (status ") + code + ")";
        return false;
    }
    const jack_nframes_t rate = jack_get_sample_rate(client);
    if (rate > 0)
        cycle = std::chrono::microseconds(1000000LL * jack_get_buffer_size(client) / rate);
    jack_client_close(client);
    return true;
}

// 0 if the ALSA sequencer opens, else alsa-lib's negative error code.
int AlsaSequencerError()
{
    snd_seq_t* sequencer = nullptr;
    const int error = snd_seq_open(&sequencer, "default", SND_SEQ_OPEN_OUTPUT, SND_SEQ_NONBLOCK);
    if (error < 0)
        return error;
    snd_seq_close(sequencer);
    return 0;
}

} // namespace

std::unique_ptr<MidiPort> MidiPort::Open(const char* choice, const std::string& jackServer,
                                         std::string& whyNot)
{
    whyNot.clear();
    const std::string setting = choice != nullptr ? choice : "";
    if (setting == "off")
        return nullptr;
    // The option table has judged the value: anything but the three systems' names is auto.
    const bool automatic = setting != "jack" && setting != "alsa";

    QuietLibraries quiet;
    std::string jackMissing;
    if (automatic || setting == "jack") {
        std::chrono::microseconds cycle{0};
        // Left to itself, MIDI opens no JACK client where no server's socket is there.
        if (automatic && !JackServerMayRun(jackServer)) {
            jackMissing = "no JACK server is running";
        } else if (JackServerRuns(cycle, jackMissing)) {
            std::unique_ptr<MidiPort> port(new MidiPort(System::kJack));
            port->fJackCycle = cycle;
            if (port->OpenVirtual())
                return port;
            whyNot = port->fLastError;
            return nullptr;
        }
        if (!automatic) {
            whyNot = jackMissing;
            return nullptr;
        }
    }

    const int alsaError = AlsaSequencerError();
    if (alsaError < 0) {
        const std::string alsaMissing =
            std::string("the ALSA sequencer cannot be opened (") + snd_strerror(alsaError) + ")";
        whyNot = automatic ? jackMissing + " and " + alsaMissing : alsaMissing;
        return nullptr;
    }
    std::unique_ptr<MidiPort> port(new MidiPort(System::kAlsa));
    if (port->OpenVirtual())
        return port;
    whyNot = port->fLastError;
    return nullptr;
}

MidiPort::MidiPort(System system) : fSystem(system) {}

MidiPort::~MidiPort()
{
    // JACK takes queued messages in its next process cycle, and a port closed before then loses
    // them: the last note-offs at quit. Two cycles and a margin let them go out first.
    if (fOut && fSystem == System::kJack) {
        std::this_thread::sleep_for(2 * fJackCycle + std::chrono::milliseconds(10));
        // RtMidi frees the port's ring buffer before it closes its JACK client: a process cycle
        // that found the port still open must be over by then.
        fOut->closePort();
        std::this_thread::sleep_for(fJackCycle + std::chrono::milliseconds(10));
    }
}

bool MidiPort::OpenVirtual()
{
    try {
        fOut = std::make_unique<RtMidiOut>(
            fSystem == System::kJack ? RtMidi::UNIX_JACK : RtMidi::LINUX_ALSA, kPortName);
        // From here on RtMidi reports through us instead of writing to standard error.
        fOut->setErrorCallback(
            [](RtMidiError::Type type, const std::string& text, void* self) {
                if (type == RtMidiError::DEBUG_WARNING)
                    return;
                auto* port = static_cast<MidiPort*>(self);
                port->fLastError = text;
                port->fFailed = true;
            },
            this);
        fOut->openVirtualPort(kPortName);
    } catch (const RtMidiError& error) {
        fLastError = error.getMessage();
        return false;
    }
    return !fFailed;
}

bool MidiPort::Send(const unsigned char* message, std::size_t length)
{
    fFailed = false;
    try {
        fOut->sendMessage(message, length);
    } catch (const RtMidiError& error) {
        fLastError = error.getMessage();
        return false;
    }
    return !fFailed;
}

const char* MidiPort::SystemName() const
{
    return fSystem == System::kJack ? "JACK" : "ALSA";
}
