#include "tracking/camera/CameraView.h"

namespace Leap {

void CameraView::publish()
{
    // Release: the reader that takes the slot sees everything written to it.
    fBack = fMiddle.exchange(fBack | kFresh, std::memory_order_acq_rel) & ~kFresh;
}

bool CameraView::takeNewest()
{
    if ((fMiddle.load(std::memory_order_acquire) & kFresh) == 0)
        return false;
    fFront = fMiddle.exchange(fFront, std::memory_order_acq_rel) & ~kFresh;
    return true;
}

CameraView::Status CameraView::status() const
{
    std::lock_guard<std::mutex> guard(fStatusLock);
    return fStatus;
}

void CameraView::setStatus(const Status& status)
{
    std::lock_guard<std::mutex> guard(fStatusLock);
    fStatus = status;
}

} // namespace Leap
