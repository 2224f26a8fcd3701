#include "tracking/camera/PalmDetector.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <utility>

#include <opencv2/dnn.hpp>
#include <opencv2/imgproc.hpp>

namespace Leap {

namespace {

constexpr int kInputSize = 192;
constexpr int kAnchorCount = 2016;
constexpr int kValuesPerAnchor = 18; // box x, y, w, h, then 7 keypoints x, y
constexpr float kMinScore = 0.5f;
constexpr float kOverlap = 0.3f;

struct Palm {
    cv::Rect2f box; // 0..1 of the model's input
    float keypoints[14];
    float score;
};

float overlap(const cv::Rect2f& a, const cv::Rect2f& b)
{
    const float common = (a & b).area();
    const float total = a.area() + b.area() - common;
    return total > 0.0f ? common / total : 0.0f;
}

// Boxes that overlap the best one are averaged into it, weighted by score.
std::vector<Palm> suppress(std::vector<Palm> palms)
{
    std::sort(palms.begin(), palms.end(),
              [](const Palm& a, const Palm& b) { return a.score > b.score; });
    std::vector<Palm> kept;
    std::vector<bool> used(palms.size(), false);
    for (std::size_t i = 0; i < palms.size(); ++i) {
        if (used[i])
            continue;
        Palm merged{};
        float weight = 0.0f;
        float x = 0, y = 0, w = 0, h = 0;
        for (std::size_t j = i; j < palms.size(); ++j) {
            if (used[j] || overlap(palms[i].box, palms[j].box) <= kOverlap)
                continue;
            used[j] = true;
            const float s = palms[j].score;
            weight += s;
            x += s * palms[j].box.x;
            y += s * palms[j].box.y;
            w += s * palms[j].box.width;
            h += s * palms[j].box.height;
            for (int k = 0; k < 14; ++k)
                merged.keypoints[k] += s * palms[j].keypoints[k];
        }
        merged.box = cv::Rect2f(x / weight, y / weight, w / weight, h / weight);
        for (float& value : merged.keypoints)
            value /= weight;
        merged.score = palms[i].score;
        kept.push_back(merged);
    }
    return kept;
}

} // namespace

PalmDetector::PalmDetector(std::unique_ptr<InferenceNet> net) : fNet(std::move(net))
{
    // A 24x24 grid with 2 anchors a cell, then a 12x12 grid with 6 (three stride-16 layers).
    for (const auto& [grid, perCell] : {std::pair{24, 2}, std::pair{12, 6}})
        for (int y = 0; y < grid; ++y)
            for (int x = 0; x < grid; ++x)
                for (int k = 0; k < perCell; ++k)
                    fAnchors.push_back({(x + 0.5f) / grid, (y + 0.5f) / grid});
}

std::vector<HandCrop> PalmDetector::detect(const cv::Mat& image)
{
    // Letterbox: the whole image, aspect kept, centred, zero padding.
    const float scale = static_cast<float>(kInputSize) / std::max(image.cols, image.rows);
    const int width = std::lround(image.cols * scale);
    const int height = std::lround(image.rows * scale);
    const int padX = (kInputSize - width) / 2;
    const int padY = (kInputSize - height) / 2;
    fInput.create(kInputSize, kInputSize, CV_8UC3);
    fInput.setTo(cv::Scalar::all(0));
    cv::resize(image, fInput(cv::Rect(padX, padY, width, height)), cv::Size(width, height), 0, 0,
               cv::INTER_AREA);
    fNet->run(cv::dnn::blobFromImage(fInput, 1.0 / 255.0, cv::Size(), cv::Scalar(), true),
              fOutputs);
    const std::vector<cv::Mat>& outputs = fOutputs;
    if (outputs.size() != 2 || outputs[0].total() != kAnchorCount * kValuesPerAnchor ||
        outputs[1].total() != kAnchorCount)
        throw std::runtime_error("the palm model gives outputs of the wrong size");
    const float* regressors = outputs[0].ptr<float>();
    const float* logits = outputs[1].ptr<float>();

    std::vector<Palm> palms;
    for (int i = 0; i < kAnchorCount; ++i) {
        const float logit = std::clamp(logits[i], -100.0f, 100.0f);
        const float score = 1.0f / (1.0f + std::exp(-logit));
        const float* r = regressors + i * kValuesPerAnchor;
        // A NaN passes no comparison, and an empty box never overlaps itself: either would
        // give a crop made of NaN.
        if (!(score >= kMinScore) || !(r[2] > 0.0f && r[3] > 0.0f) ||
            !std::all_of(r, r + kValuesPerAnchor, [](float v) { return std::isfinite(v); }))
            continue;
        const Anchor& anchor = fAnchors[i];
        Palm palm{};
        const float w = r[2] / kInputSize;
        const float h = r[3] / kInputSize;
        palm.box = cv::Rect2f(r[0] / kInputSize + anchor.x - w / 2,
                              r[1] / kInputSize + anchor.y - h / 2, w, h);
        for (int k = 0; k < 7; ++k) {
            palm.keypoints[2 * k] = r[4 + 2 * k] / kInputSize + anchor.x;
            palm.keypoints[2 * k + 1] = r[5 + 2 * k] / kInputSize + anchor.y;
        }
        palm.score = score;
        palms.push_back(palm);
    }

    // Model input units (0..1) to image pixels.
    const auto toImage = [&](float x, float y) {
        return cv::Point2f((x * kInputSize - padX) / scale, (y * kInputSize - padY) / scale);
    };
    std::vector<HandCrop> crops;
    for (const Palm& palm : suppress(std::move(palms))) {
        const cv::Point2f center =
            toImage(palm.box.x + palm.box.width / 2, palm.box.y + palm.box.height / 2);
        crops.push_back(HandCrop::fromPalm(center, palm.box.width * kInputSize / scale,
                                           palm.box.height * kInputSize / scale,
                                           toImage(palm.keypoints[0], palm.keypoints[1]),
                                           toImage(palm.keypoints[4], palm.keypoints[5])));
    }
    return crops;
}

} // namespace Leap
