#include "LandmarkModel.h"

#include <stdexcept>
#include <vector>

#include <opencv2/imgproc.hpp>

namespace Leap {

namespace {

constexpr int kInputSize = 224;

} // namespace

LandmarkModel::LandmarkModel(const std::string& modelPath)
{
    try {
        fNet = cv::dnn::readNetFromONNX(modelPath);
    } catch (const cv::Exception&) {
        throw std::runtime_error("cannot read " + modelPath);
    }
    if (fNet.empty())
        throw std::runtime_error("cannot read " + modelPath);
}

LandmarkModel::Result LandmarkModel::run(const cv::Mat& image, const HandCrop& crop)
{
    const cv::Matx23f toImage = crop.cropToImage(kInputSize);
    cv::warpAffine(image, fInput, toImage, cv::Size(kInputSize, kInputSize),
                   cv::INTER_LINEAR | cv::WARP_INVERSE_MAP, cv::BORDER_CONSTANT);
    fNet.setInput(cv::dnn::blobFromImage(fInput, 1.0 / 255.0, cv::Size(), cv::Scalar(), true));
    std::vector<cv::Mat> outputs;
    fNet.forward(outputs, std::vector<cv::String>{"Identity", "Identity_1"});
    if (outputs.size() != 2 || outputs[0].total() != 3 * HandCrop::kLandmarks ||
        outputs[1].total() != 1)
        throw std::runtime_error("the landmark model gives outputs of the wrong size");
    Result result;
    const float* values = outputs[0].ptr<float>(); // x, y (crop pixels), relative depth
    for (int i = 0; i < HandCrop::kLandmarks; ++i) {
        const float x = values[3 * i];
        const float y = values[3 * i + 1];
        result.points[i] = cv::Point2f(toImage(0, 0) * x + toImage(0, 1) * y + toImage(0, 2),
                                       toImage(1, 0) * x + toImage(1, 1) * y + toImage(1, 2));
    }
    result.presence = outputs[1].ptr<float>()[0];
    return result;
}

} // namespace Leap
