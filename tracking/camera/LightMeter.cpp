#include "tracking/camera/LightMeter.h"

#include "tracking/camera/HandSpace.h"

namespace Leap {

double LightMeter::playingAreaLuma(const cv::Mat& image)
{
    if (image.empty() || image.depth() != CV_8U)
        return 0.0;
    const cv::Rect area(static_cast<int>(HandSpace::kLeft * image.cols),
                        static_cast<int>(HandSpace::kTop * image.rows),
                        static_cast<int>((HandSpace::kRight - HandSpace::kLeft) * image.cols),
                        static_cast<int>((HandSpace::kBottom - HandSpace::kTop) * image.rows));
    const cv::Rect inside = area & cv::Rect(0, 0, image.cols, image.rows);
    if (inside.empty())
        return 0.0;
    const cv::Scalar mean = cv::mean(image(inside));
    if (image.channels() < 3)
        return mean[0];
    return 0.114 * mean[0] + 0.587 * mean[1] + 0.299 * mean[2];
}

bool LightMeter::tooDark(const cv::Mat& image)
{
    const double luma = playingAreaLuma(image);
    fDark = fDark ? luma < kLightLuma : luma < kDarkLuma;
    return fDark;
}

} // namespace Leap
