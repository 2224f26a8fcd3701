// Palm detection from the model's raw outputs to crops, through a net that answers with outputs
// the test writes: a 192x192 image is the model's input itself, so its pixels are model units.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "tracking/camera/PalmDetector.h"

namespace {

constexpr int kAnchors = 2016;

struct Palm {
    int anchor;
    float score;
    cv::Point2f center; // pixels
    float width, height;
    cv::Point2f up = {0, -1}; // wrist towards the fingers
};

struct WrittenOutputs : Leap::InferenceNet {
    std::vector<float> regressors = std::vector<float>(kAnchors * 18, 0.0f);
    std::vector<float> logits = std::vector<float>(kAnchors, -10.0f);

    void run(const cv::Mat&, std::vector<cv::Mat>& outputs) override
    {
        outputs = {cv::Mat(1, kAnchors * 18, CV_32F, regressors.data()),
                   cv::Mat(1, kAnchors, CV_32F, logits.data())};
    }
    // Box centre and size, then keypoints 0 (wrist) and 2 (middle-finger base), relative to the
    // anchor's centre: 24x24 cells of 8 px with 2 anchors each, then 12x12 of 16 px with 6.
    float* write(const Palm& p)
    {
        const bool fine = p.anchor < 1152;
        const int cell = fine ? p.anchor / 2 : (p.anchor - 1152) / 6, grid = fine ? 24 : 12;
        const cv::Point2f anchor((cell % grid + 0.5f) * (fine ? 8 : 16),
                                 (cell / grid + 0.5f) * (fine ? 8 : 16));
        const cv::Point2f box = p.center - anchor, wrist = box - p.up * (p.height / 2),
                          middle = box + p.up * (p.height / 4);
        float* r = &regressors[p.anchor * 18];
        for (float value :
             {box.x, box.y, p.width, p.height, wrist.x, wrist.y, 0.0f, 0.0f, middle.x, middle.y})
            *r++ = value;
        logits[p.anchor] = std::log(p.score / (1 - p.score));
        return &regressors[p.anchor * 18];
    }
};

std::vector<Leap::HandCrop> detect(std::unique_ptr<WrittenOutputs> outputs)
{
    return Leap::PalmDetector(std::move(outputs)).detect(cv::Mat::zeros(192, 192, CV_8UC3));
}

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
    for (const Palm& palm :
         {Palm{700, 0.8f, {90, 110}, 30, 40}, Palm{1800, 0.6f, {120, 70}, 50, 20, {1, 0}}}) {
        auto outputs = std::make_unique<WrittenOutputs>();
        outputs->write(palm);
        const std::vector<Leap::HandCrop> crops = detect(std::move(outputs));
        ASSERT_EQ(crops.size(), 1u) << palm.anchor;
        expectCrop(crops[0], palm.center + palm.up * (palm.height / 2),
                   2.6f * std::max(palm.width, palm.height), palm.up.x * float(M_PI / 2));
    }
}

TEST(PalmDetector, OverlappingPalmsMergeIntoTheirScoreWeightedMeanBestFirst)
{
    auto outputs = std::make_unique<WrittenOutputs>();
    const Palm merged[] = {{600, 0.7f, {100, 98}, 44, 40},
                           {601, 0.9f, {96, 96}, 40, 40},
                           {1500, 0.6f, {92, 100}, 36, 48}};
    float weight = 0, width = 0, height = 0;
    cv::Point2f center;
    for (const Palm& palm : merged) {
        outputs->write(palm);
        weight += palm.score;
        center += palm.score * palm.center;
        width += palm.score * palm.width;
        height += palm.score * palm.height;
    }
    center /= weight, width /= weight, height /= weight;
    outputs->write({300, 0.8f, {40, 150}, 30, 30}); // far from them: a palm of its own

    const std::vector<Leap::HandCrop> crops = detect(std::move(outputs));
    ASSERT_EQ(crops.size(), 2u);
    expectCrop(crops[0], {center.x, center.y - height / 2}, 2.6f * std::max(width, height), 0);
    expectCrop(crops[1], {40, 135}, 78, 0);
}

TEST(PalmDetector, NonFiniteOutputsAndEmptyBoxesAreSkipped)
{
    // Each beside a good palm, scored above it and at its place, so that merging would spoil it.
    // The value is one of the anchor's 18, or -1 for its score.
    const std::pair<int, float> damage[] = {{-1, NAN}, {0, NAN}, {2, INFINITY},
                                            {5, NAN},  {2, 0},   {3, -10}};
    for (const auto& [value, bad] : damage) {
        auto outputs = std::make_unique<WrittenOutputs>();
        outputs->write({700, 0.8f, {90, 110}, 30, 40});
        float* values = outputs->write({701, 0.95f, {90, 110}, 30, 40});
        (value < 0 ? outputs->logits[701] : values[value]) = bad;
        const std::vector<Leap::HandCrop> crops = detect(std::move(outputs));
        ASSERT_EQ(crops.size(), 1u) << value << " " << bad;
        expectCrop(crops[0], {90, 90}, 104, 0);
    }
}

} // namespace
