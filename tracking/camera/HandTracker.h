#pragma once

#include <memory>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "tracking/FrameParser.h"
#include "tracking/camera/CameraView.h"
#include "tracking/camera/HandCrop.h"
#include "tracking/camera/LandmarkModel.h"
#include "tracking/camera/PalmDetector.h"
#include "tracking/camera/inference/InferenceNet.h"

namespace Leap {

// Follows up to two hands through a stream of camera images: palm detection finds a hand, then
// each image's landmarks are found on a crop predicted from the previous image's landmarks, until
// the model's hand presence drops below 0.5. Palm detection runs when no hand is tracked, and
// every kSearchInterval images while only one is, to find a second. The crop follows the hand's
// movement from the image before, so a fast hand stays inside it. Not thread-safe.
class HandTracker {
public:
    static constexpr int kMaxHands = CameraView::kMaxHands;
    static constexpr int kSearchInterval = 15; // images
    // A hand found again this soon, where one was lost, keeps its id: a fast sweep that outruns
    // the crop is one movement to the listener, not a new finger appearing mid-stroke.
    static constexpr int kRefindImages = 10;

    struct Hand {
        int id = 0;                 // 1, 2, ...: new for every hand found
        HandCrop::Landmarks points; // image pixels
    };

    // Reads palm_detection_VARIANT.onnx and hand_landmark_VARIANT.onnx for `runtime` from
    // `modelDir`; throws std::runtime_error naming the file that is missing or unreadable.
    HandTracker(const std::string& modelDir, const std::string& variant, InferenceRuntime runtime);

    // The hands in one BGR image, in the order they were found.
    const std::vector<Hand>& track(const cv::Mat& image);
    // The hands of the last image tracked.
    const std::vector<Hand>& hands() const { return fHands; }

private:
    struct Tracked {
        Hand hand;
        HandCrop crop;        // where to look in the next image
        cv::Point2f movement; // of the crop's centre from the image before, pixels
    };
    struct Lost {
        int id = 0;
        HandCrop crop;
        int images = 0; // since it was lost
    };

    bool follow(const cv::Mat& image, Tracked& tracked);
    bool isTracked(const HandCrop& crop) const;

    PalmDetector fPalms;
    LandmarkModel fLandmarks;
    int idFor(const HandCrop& found);

    std::vector<Tracked> fTracked;
    std::vector<Lost> fLost; // hands lost in the last kRefindImages images
    std::vector<Hand> fHands;
    int fNextId = 1;
    int fImagesSinceSearch = 0;
};

static_assert(HandTracker::kMaxHands <= kMaxMessageHands,
              "a camera frame is a frame of the protocol");

} // namespace Leap
