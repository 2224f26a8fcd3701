#include "app/osc/OscOut.h"

#include <lo/lo.h>
#include <netdb.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdlib>

#include "app/instrument/Actions.h"

OscOut* OscOut::GetInstance()
{
    // Never destroyed: the exit paths stop it whenever it was started.
    static OscOut* sInstance = new OscOut();
    return sInstance;
}

bool OscOut::SplitTarget(const std::string& target, std::string& host, std::string& port,
                         std::string& error)
{
    const std::size_t colon = target.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == target.size()) {
        error = "\"" + target.substr(0, 80) + "\" is not HOST:PORT";
        return false;
    }
    host = target.substr(0, colon);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    port = target.substr(colon + 1);
    char* end = nullptr;
    errno = 0;
    const long number = std::strtol(port.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || number < 1 || number > 65535) {
        error = "port \"" + port.substr(0, 20) + "\" is not a number from 1 to 65535";
        return false;
    }
    return true;
}

bool OscOut::Start(const std::string& target, std::ostream& report)
{
    GLStuff::AddOutput(this);
    std::string host, port, error;
    if (!SplitTarget(target, host, port, error)) {
        report << "OSC out: " << error << "\n" << std::flush;
        return false;
    }
    // Resolved here, once: a name that resolves to nothing is refused now, not at every send.
    addrinfo hints{};
    hints.ai_socktype = SOCK_DGRAM;
    // liblo as the distributions build it sends over IPv4 alone: an IPv6 address would be taken
    // and never heard.
    hints.ai_family = AF_INET;
    addrinfo* found = nullptr;
    const int status = getaddrinfo(host.c_str(), port.c_str(), &hints, &found);
    if (status != 0) {
        report << "OSC out: cannot find host \"" << host.substr(0, 80)
               << "\": " << gai_strerror(status) << "\n"
               << std::flush;
        return false;
    }
    freeaddrinfo(found);
    lo_address address = lo_address_new(host.c_str(), port.c_str());
    if (address == nullptr) {
        report << "OSC out: cannot use " << target << "\n" << std::flush;
        return false;
    }
    std::lock_guard<std::mutex> lifecycle(fLifecycleLock);
    if (fSender.Running()) {
        lo_address_free(address);
        return true;
    }
    fAddress = address;
    fSender.Start(nullptr, [this](const FrameMessages* frames, std::size_t count, bool) {
        for (std::size_t k = 0; k < count; ++k)
            Send(frames[k]);
    });
    fActive.store(true);
    report << "OSC out: to " << host << " port " << port << "\n" << std::flush;
    return true;
}

void OscOut::Stop(std::ostream& report)
{
    std::lock_guard<std::mutex> lifecycle(fLifecycleLock);
    if (!fSender.Running())
        return;
    fActive.store(false);
    fSender.Stop();
    lo_address_free(static_cast<lo_address>(fAddress));
    fAddress = nullptr;
    if (const long dropped = fSender.Dropped(); dropped > 0)
        report << "OSC frames dropped: " << dropped << "\n" << std::flush;
}

bool OscOut::IsRunning() const
{
    return fSender.Running();
}

long OscOut::Dropped() const
{
    return fSender.Dropped();
}

void OscOut::BeginFrame()
{
    if (!fActive.load())
        return;
    lo_timetag now;
    lo_timetag_now(&now);
    fFilling.seconds = now.sec;
    fFilling.fraction = now.frac;
    fFilling.fingers = 0;
    fFilling.plucks = 0;
    fFillingOpen = true;
}

void OscOut::Finger(int id, float x, float y, float z)
{
    if (fFillingOpen && fFilling.fingers < kMaxFingers)
        fFilling.finger[fFilling.fingers++] = FingerMessage{id, x, y, z};
}

void OscOut::Pluck(int stringIndex, int note, int velocity)
{
    if (fFillingOpen && fFilling.plucks < kMaxPlucks)
        fFilling.pluck[fFilling.plucks++] = PluckMessage{stringIndex, note, velocity};
}

void OscOut::EndFrame()
{
    if (!fFillingOpen)
        return;
    fFillingOpen = false;
    if (fFilling.fingers == 0 && fFilling.plucks == 0)
        return;
    fSender.Push(fFilling);
}

void OscOut::Send(const FrameMessages& frame)
{
    const auto address = static_cast<lo_address>(fAddress);
    lo_bundle bundle = lo_bundle_new(lo_timetag{frame.seconds, frame.fraction});
    if (bundle == nullptr)
        return;
    for (int k = 0; k < frame.plucks; ++k) {
        lo_message message = lo_message_new();
        if (message == nullptr)
            continue;
        lo_message_add_int32(message, frame.pluck[k].stringIndex);
        lo_message_add_int32(message, frame.pluck[k].note);
        lo_message_add_int32(message, frame.pluck[k].velocity);
        lo_bundle_add_message(bundle, "/quorvel/pluck", message);
    }
    for (int k = 0; k < frame.fingers; ++k) {
        lo_message message = lo_message_new();
        if (message == nullptr)
            continue;
        lo_message_add_int32(message, frame.finger[k].id);
        lo_message_add_float(message, frame.finger[k].x);
        lo_message_add_float(message, frame.finger[k].y);
        lo_message_add_float(message, frame.finger[k].z);
        lo_bundle_add_message(bundle, "/quorvel/finger", message);
    }
    // A receiver that is not there costs a refused datagram, nothing more.
    lo_send_bundle(address, bundle);
    lo_bundle_free_recursive(bundle);
}
