#include "tracking/camera/LandmarkModel.h"

#include <stdexcept>
#include <utility>

#include <opencv2/dnn.hpp>
#include <opencv2/imgproc.hpp>

namespace Leap {

namespace {

constexpr int kInputSize = 224;

} // namespace

LandmarkModel::LandmarkModel(std::unique_ptr<InferenceNet> net) : fNet(std::move(net)) {}

LandmarkModel::Result LandmarkModel::run(const cv::Mat& image, const HandCrop& crop)
{
    const cv::Matx23f toImage = crop.cropToImage(kInputSize);
    cv::warpAffine(image, fInput, toImage, cv::Size(kInputSize, kInputSize),
                   cv::INTER_LINEAR | cv::WARP_INVERSE_MAP, cv::BORDER_CONSTANT);
    fNet->run(cv::dnn::blobFromImage(fInput, 1.0 / 255.0, cv::Size(), cv::Scalar(), true),
              fOutputs);
    const std::vector<cv::Mat>& outputs = fOutputs;
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
