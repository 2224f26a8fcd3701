// Palm detection from the model's raw outputs to crops, through a net that answers with outputs
// the test writes: a 192x192 image is the model's input itself, so its pixels are model units.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "PalmDetector.h"

namespace {

constexpr int kAnchors = 2016;
constexpr int kValues = 18;
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

class WrittenOutputs : public Leap::InferenceNet {
public:
    std::vector<float> regressors = std::vector<float>(kAnchors * kValues, 0.0f);
    std::vector<float> logits = std::vector<float>(kAnchors, -10.0f);

    void run(const cv::Mat&, std::vector<cv::Mat>& outputs) override
    {
        outputs = {cv::Mat(1, kAnchors * kValues, CV_32F, regressors.data()),
                   cv::Mat(1, kAnchors, CV_32F, logits.data())};
    }
};

// 24x24 cells of 8 px with 2 anchors each, then 12x12 cells of 16 px with 6 each.
cv::Point2f anchorCenter(int index)
{
    const bool fine = index < 24 * 24 * 2;
    const int cell = fine ? index / 2 : (index - 24 * 24 * 2) / 6;
    const int grid = fine ? 24 : 12;
    const float stride = fine ? 8.0f : 16.0f;
    return {(cell % grid + 0.5f) * stride, (cell / grid + 0.5f) * stride};
}

struct Palm {
    int anchor;
    float score;
    cv::Point2f center; // pixels
    float width, height;
    cv::Point2f up = {0, -1}; // wrist towards the fingers
};

struct Detection {
    WrittenOutputs* outputs = new WrittenOutputs;
    Leap::PalmDetector detector{std::unique_ptr<Leap::InferenceNet>(outputs)};

    float* write(const Palm& palm)
    {
        const cv::Point2f anchor = anchorCenter(palm.anchor);
        float* r = &outputs->regressors[palm.anchor * kValues];
        const cv::Point2f wrist = palm.center - palm.up * (palm.height / 2);
        const cv::Point2f middleBase = palm.center + palm.up * (palm.height / 4);
        const float values[] = {
            palm.center.x - anchor.x, palm.center.y - anchor.y, palm.width, palm.height,
            wrist.x - anchor.x,       wrist.y - anchor.y,       0,          0,
            middleBase.x - anchor.x,  middleBase.y - anchor.y};
        std::copy(std::begin(values), std::end(values), r);
        outputs->logits[palm.anchor] = std::log(palm.score / (1 - palm.score));
        return r;
    }

    std::vector<Leap::HandCrop> detect()
    {
        return detector.detect(cv::Mat::zeros(192, 192, CV_8UC3));
    }
};

void expectCrop(const Leap::HandCrop& crop, cv::Point2f center, float side, float rotation)
{
    EXPECT_NEAR(crop.center.x, center.x, 1e-3);
    EXPECT_NEAR(crop.center.y, center.y, 1e-3);
    EXPECT_NEAR(crop.side, side, 1e-3);
    EXPECT_NEAR(crop.rotation, rotation, 1e-5);
}

TEST(PalmDetector, OnePalmGivesOneCropHalfItsHeightTowardsTheFingers)
{
    // Upright, and turned to the right (positive rotation); in either grid of anchors.
    const struct {
        Palm palm;
        float rotation;
    } cases[] = {{{700, 0.8f, {90, 110}, 30, 40}, 0.0f},
                 {{1800, 0.6f, {120, 70}, 50, 20, {1, 0}}, static_cast<float>(M_PI / 2)}};
    for (const auto& c : cases) {
        Detection detection;
        detection.write(c.palm);
        const std::vector<Leap::HandCrop> crops = detection.detect();
        ASSERT_EQ(crops.size(), 1u) << c.palm.anchor;
        expectCrop(crops[0], c.palm.center + c.palm.up * (c.palm.height / 2),
                   2.6f * std::max(c.palm.width, c.palm.height), c.rotation);
    }
}

TEST(PalmDetector, OverlappingPalmsMergeIntoTheirScoreWeightedMeanBestFirst)
{
    Detection detection;
    const Palm merged[] = {{600, 0.7f, {100, 98}, 44, 40},
                           {601, 0.9f, {96, 96}, 40, 40},
                           {1500, 0.6f, {92, 100}, 36, 48}};
    for (const Palm& palm : merged)
        detection.write(palm);
    detection.write({300, 0.8f, {40, 150}, 30, 30}); // far from them: a palm of its own
    float weight = 0, width = 0, height = 0;
    cv::Point2f center;
    for (const Palm& palm : merged) {
        weight += palm.score;
        center += palm.score * palm.center;
        width += palm.score * palm.width;
        height += palm.score * palm.height;
    }
    center /= weight, width /= weight, height /= weight;

    const std::vector<Leap::HandCrop> crops = detection.detect();
    ASSERT_EQ(crops.size(), 2u);
    expectCrop(crops[0], {center.x, center.y - height / 2}, 2.6f * std::max(width, height), 0);
    expectCrop(crops[1], {40, 135}, 78, 0);
}

TEST(PalmDetector, NonFiniteOutputsAndEmptyBoxesAreSkipped)
{
    // Each beside a good palm, scored above it and at its place, so that merging would spoil it.
    const struct {
        const char* what;
        int value; // index among the anchor's 18 values, or -1 for the score
        float bad;
    } cases[] = {{"NaN score", -1, kNaN}, {"NaN box", 0, kNaN},    {"infinite size", 2, INFINITY},
                 {"NaN wrist", 5, kNaN},  {"zero width", 2, 0.0f}, {"negative height", 3, -10.0f}};
    for (const auto& c : cases) {
        Detection detection;
        detection.write({700, 0.8f, {90, 110}, 30, 40});
        float* values = detection.write({701, 0.95f, {90, 110}, 30, 40});
        (c.value < 0 ? detection.outputs->logits[701] : values[c.value]) = c.bad;
        const std::vector<Leap::HandCrop> crops = detection.detect();
        ASSERT_EQ(crops.size(), 1u) << c.what;
        expectCrop(crops[0], {90, 90}, 104, 0);
    }
}

} // namespace
