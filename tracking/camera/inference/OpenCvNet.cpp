#include "tracking/camera/inference/OpenCvNet.h"

#include <fstream>
#include <stdexcept>

namespace Leap {

OpenCvNet::OpenCvNet(const std::string& modelPath)
{
    if (!std::ifstream(modelPath))
        throw std::runtime_error(modelPath + " is missing");
    try {
        fNet = cv::dnn::readNetFromONNX(modelPath);
    } catch (const cv::Exception&) {
        throw std::runtime_error("cannot read " + modelPath);
    }
    if (fNet.empty())
        throw std::runtime_error("cannot read " + modelPath);
}

void OpenCvNet::run(const cv::Mat& image, std::vector<cv::Mat>& outputs)
{
    fNet.setInput(image);
    try {
        fNet.forward(outputs, std::vector<cv::String>{"Identity", "Identity_1"});
    } catch (const cv::Exception& error) {
        throw std::runtime_error(std::string("the model failed: ") + error.what());
    }
    for (cv::Mat& output : outputs)
        output = output.reshape(1, 1);
}

} // namespace Leap
