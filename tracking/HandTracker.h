#pragma once

#include <memory>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "HandCrop.h"
#include "LandmarkModel.h"
#include "PalmDetector.h"

namespace Leap {

// Follows up to two hands through a stream of camera images: palm detection finds a hand, then
// each image's landmarks are found on a crop predicted from the previous image's landmarks, until
// the model's hand presence drops below 0.5. Palm detection runs when no hand is tracked, and
// every kSearchInterval images while only one is, to find a second. Not thread-safe.
class HandTracker {
public:
    static constexpr int kMaxHands = 2;
    static constexpr int kSearchInterval = 15; // images

    struct Hand {
        int id = 0;                 // 1, 2, ...: new for every hand found
        HandCrop::Landmarks points; // image pixels
    };

    // Reads palm_detection_VARIANT.onnx and hand_landmark_VARIANT.onnx from `modelDir`; throws
    // std::runtime_error naming the file that is missing or unreadable.
    HandTracker(const std::string& modelDir, const std::string& variant);

    // The hands in one BGR image, in the order they were found.
    const std::vector<Hand>& track(const cv::Mat& image);

private:
    struct Tracked {
        Hand hand;
        HandCrop crop; // where to look in the next image
    };

    bool follow(const cv::Mat& image, Tracked& tracked);
    bool isTracked(const HandCrop& crop) const;

    PalmDetector fPalms;
    LandmarkModel fLandmarks;
    std::vector<Tracked> fTracked;
    std::vector<Hand> fHands;
    int fNextId = 1;
    int fImagesSinceSearch = 0;
};

} // namespace Leap
