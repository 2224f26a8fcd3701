#include "tracking/camera/HandTracker.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace Leap {

namespace {

constexpr float kMinPresence = 0.5f;
constexpr float kFollowMovement = 0.7f;

} // namespace

HandTracker::HandTracker(const std::string& modelDir, const std::string& variant,
                         InferenceRuntime runtime)
    : fPalms(openInferenceNet(modelDir, "palm_detection_" + variant, runtime)),
      fLandmarks(openInferenceNet(modelDir, "hand_landmark_" + variant, runtime))
{
}

bool HandTracker::follow(const cv::Mat& image, Tracked& tracked)
{
    const LandmarkModel::Result result = fLandmarks.run(image, tracked.crop);
    if (!(result.presence >= kMinPresence))
        return false;
    tracked.hand.points = result.points;
    const cv::Point2f before = tracked.crop.center;
    tracked.crop = HandCrop::fromLandmarks(result.points);
    // Not all of the last step: a hand that stops must not throw the crop off it.
    tracked.movement = kFollowMovement * (tracked.crop.center - before);
    tracked.crop.center += tracked.movement;
    return true;
}

bool HandTracker::isTracked(const HandCrop& crop) const
{
    // A palm inside a tracked hand's crop is that hand again.
    for (const Tracked& tracked : fTracked)
        if (std::hypot(crop.center.x - tracked.crop.center.x,
                       crop.center.y - tracked.crop.center.y) < 0.5f * tracked.crop.side)
            return true;
    return false;
}

int HandTracker::idFor(const HandCrop& found)
{
    for (auto it = fLost.begin(); it != fLost.end(); ++it)
        if (std::hypot(found.center.x - it->crop.center.x, found.center.y - it->crop.center.y) <
            it->crop.side) {
            const int id = it->id;
            fLost.erase(it);
            return id;
        }
    return fNextId++;
}

const std::vector<HandTracker::Hand>& HandTracker::track(const cv::Mat& image)
{
    for (Lost& lost : fLost)
        ++lost.images;
    fLost.erase(std::remove_if(fLost.begin(), fLost.end(),
                               [](const Lost& lost) { return lost.images > kRefindImages; }),
                fLost.end());
    for (auto it = fTracked.begin(); it != fTracked.end();) {
        if (follow(image, *it)) {
            ++it;
        } else {
            fLost.push_back({it->hand.id, it->crop, 0});
            it = fTracked.erase(it);
        }
    }
    // Two crops that slid onto the same hand: keep the older.
    for (std::size_t i = 1; i < fTracked.size(); ++i)
        for (std::size_t j = 0; j < i; ++j)
            if (std::hypot(fTracked[i].crop.center.x - fTracked[j].crop.center.x,
                           fTracked[i].crop.center.y - fTracked[j].crop.center.y) <
                0.3f * fTracked[j].crop.side) {
                fTracked.erase(fTracked.begin() + static_cast<long>(i--));
                break;
            }

    ++fImagesSinceSearch;
    if (fTracked.empty() ||
        (fTracked.size() < kMaxHands && fImagesSinceSearch >= kSearchInterval)) {
        fImagesSinceSearch = 0;
        for (const HandCrop& crop : fPalms.detect(image)) {
            if (fTracked.size() >= kMaxHands)
                break;
            if (isTracked(crop))
                continue;
            Tracked found{{0, {}}, crop, {}};
            if (follow(image, found)) {
                found.movement = {};
                found.crop.center = HandCrop::fromLandmarks(found.hand.points).center;
                found.hand.id = idFor(found.crop);
                fTracked.push_back(found);
            }
        }
    }

    fHands.clear();
    for (const Tracked& tracked : fTracked)
        fHands.push_back(tracked.hand);
    return fHands;
}

} // namespace Leap
