#include "src/device/PulseDescriptions.h"

#include <pulse/pulseaudio.h>

#include <chrono>

namespace {

constexpr auto kPatience = std::chrono::seconds(2);

struct Search {
    std::string undescribed;
    int pendingLists = 0;
};

template <typename Info> void Look(pa_context*, const Info* info, int endOfList, void* data)
{
    auto* search = static_cast<Search*>(data);
    if (endOfList) {
        --search->pendingLists;
        return;
    }
    if (info != nullptr && search->undescribed.empty() &&
        pa_proplist_gets(info->proplist, PA_PROP_DEVICE_DESCRIPTION) == nullptr) {
        search->undescribed = info->name != nullptr ? info->name : "(unnamed)";
    }
}

} // namespace

std::string PulseDeviceWithoutDescription()
{
    pa_mainloop* loop = pa_mainloop_new();
    if (loop == nullptr) {
        return "";
    }
    pa_context* context = pa_context_new(pa_mainloop_get_api(loop), "Quorvel device check");
    Search search;
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    bool asked = false;
    if (context != nullptr &&
        pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
        while (std::chrono::steady_clock::now() < deadline) {
            const pa_context_state_t state = pa_context_get_state(context);
            if (!PA_CONTEXT_IS_GOOD(state)) {
                break;
            }
            if (state == PA_CONTEXT_READY && !asked) {
                asked = true;
                search.pendingLists = 2;
                pa_operation_unref(
                    pa_context_get_sink_info_list(context, Look<pa_sink_info>, &search));
                pa_operation_unref(
                    pa_context_get_source_info_list(context, Look<pa_source_info>, &search));
            }
            if (asked && search.pendingLists == 0) {
                break;
            }
            // Wakes at least every 100 ms to watch the deadline.
            pa_mainloop_prepare(loop, 100000);
            pa_mainloop_poll(loop);
            pa_mainloop_dispatch(loop);
        }
    }
    if (context != nullptr) {
        pa_context_disconnect(context);
        pa_context_unref(context);
    }
    pa_mainloop_free(loop);
    return search.undescribed;
}
