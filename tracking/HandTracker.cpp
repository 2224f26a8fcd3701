#include "HandTracker.h"

#include <cmath>
#include <fstream>
#include <stdexcept>

namespace Leap {

namespace {

constexpr float kMinPresence = 0.5f;

std::string modelFile(const std::string& dir, const char* name, const std::string& variant)
{
    const std::string path = dir + "/" + name + "_" + variant + ".onnx";
    if (!std::ifstream(path))
        throw std::runtime_error(path + " is missing");
    return path;
}

} // namespace

HandTracker::HandTracker(const std::string& modelDir, const std::string& variant)
    : fPalms(modelFile(modelDir, "palm_detection", variant)),
      fLandmarks(modelFile(modelDir, "hand_landmark", variant))
{
}

bool HandTracker::follow(const cv::Mat& image, Tracked& tracked)
{
    const LandmarkModel::Result result = fLandmarks.run(image, tracked.crop);
    if (!(result.presence >= kMinPresence))
        return false;
    tracked.hand.points = result.points;
    tracked.crop = HandCrop::fromLandmarks(result.points);
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

const std::vector<HandTracker::Hand>& HandTracker::track(const cv::Mat& image)
{
    for (auto it = fTracked.begin(); it != fTracked.end();)
        it = follow(image, *it) ? it + 1 : fTracked.erase(it);
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
            Tracked found{{fNextId, {}}, crop};
            if (follow(image, found)) {
                ++fNextId;
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
