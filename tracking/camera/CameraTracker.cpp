#include "tracking/camera/CameraTracker.h"

#include <utility>

namespace Leap {

namespace {

// At rest the cutoff is low enough to still a 1-2 px jitter; at sweeping speed (300 mm/s and
// more) it rises past 30 Hz, so the tip does not trail the hand.
constexpr double kMinCutoffHz = 1.5;
constexpr double kBeta = 0.1;
constexpr double kDerivativeCutoffHz = 1.0;

} // namespace

CameraTracker::CameraTracker(const std::string& modelDir, const std::string& variant, bool mirror,
                             InferenceRuntime runtime)
    : fTracker(modelDir, variant, runtime), fSpace(mirror)
{
}

Frame CameraTracker::process(const cv::Mat& image, std::int64_t captureMicros)
{
    const double seconds = static_cast<double>(captureMicros) * 1e-6;
    const std::vector<HandTracker::Hand>& tracked = fTracker.track(image);
    std::vector<Hand> hands = fSpace.place(tracked, image.size(), seconds);

    std::map<int, OneEuroFilter> filters;
    std::vector<Hand> smoothed;
    for (const Hand& hand : hands) {
        std::vector<Finger> fingers;
        for (const Finger& finger : hand.fingers()) {
            auto found = fFilters.find(finger.id());
            OneEuroFilter filter = found != fFilters.end()
                                       ? found->second
                                       : OneEuroFilter(kMinCutoffHz, kBeta, kDerivativeCutoffHz);
            fingers.emplace_back(finger.id(), filter.filter(finger.tip().position, seconds));
            filters.emplace(finger.id(), filter);
        }
        smoothed.emplace_back(hand.id(), std::move(fingers));
    }
    fFilters = std::move(filters);
    return Frame(++fFrameId, captureMicros, std::move(smoothed));
}

} // namespace Leap
