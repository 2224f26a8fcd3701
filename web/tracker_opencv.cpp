// The few OpenCV functions the hand tracker (tracking/camera) calls, for the page's tracker
// module: Debian has OpenCV's headers for Emscripten but no library built for it, and these are
// all the tracker needs (matrices of 8-bit and float pixels, a ROI, fill, mean, an area resize,
// a bilinear inverse warp and the models' input blob). Written to OpenCV's own definitions, so
// that the same image gives the models the same input to within a rounding step.

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include <opencv2/core.hpp>
#include <opencv2/dnn.hpp>
#include <opencv2/imgproc.hpp>

namespace cv {

namespace {

// The matrix behind an input or output argument: the tracker passes matrices only (Mat).
Mat& matrixOf(const _InputArray& array)
{
    return *static_cast<Mat*>(array.getObj());
}

// The argument's flags, which OpenCV keeps to itself: they say the element type.
struct ArrayFlags : _InputArray {
    static int of(const _InputArray& array) { return array.*(&ArrayFlags::flags); }
};

// A small fixed matrix argument (a Scalar or a Matx) as doubles.
void valuesOf(const _InputArray& array, double* values, int count)
{
    const void* object = array.getObj();
    const bool isDouble = CV_MAT_DEPTH(ArrayFlags::of(array)) == CV_64F;
    for (int i = 0; i < count; ++i)
        values[i] =
            isDouble ? static_cast<const double*>(object)[i] : static_cast<const float*>(object)[i];
}

uchar toByte(double value)
{
    return static_cast<uchar>(std::clamp(std::lrint(value), 0L, 255L));
}

} // namespace

UMatData::UMatData(const MatAllocator* allocator)
    : prevAllocator(allocator), currAllocator(allocator), urefcount(0), refcount(0), data(nullptr),
      origdata(nullptr), size(0), flags(static_cast<MemoryFlag>(0)), handle(nullptr),
      userdata(nullptr), allocatorFlags_(0), mapcount(0), originalUMatData(nullptr)
{
}

UMatData::~UMatData() = default;

Mat::Mat() noexcept
    : flags(MAGIC_VAL), dims(0), rows(0), cols(0), data(nullptr), datastart(nullptr),
      dataend(nullptr), datalimit(nullptr), allocator(nullptr), u(nullptr), size(&rows)
{
}

Mat::Mat(int rows, int cols, int type) : Mat()
{
    create(rows, cols, type);
}

Mat::Mat(const Mat& m)
    : flags(m.flags), dims(m.dims), rows(m.rows), cols(m.cols), data(m.data),
      datastart(m.datastart), dataend(m.dataend), datalimit(m.datalimit), allocator(nullptr),
      u(m.u), size(&rows)
{
    if (u)
        ++u->refcount;
    if (dims <= 2) {
        step.buf[0] = m.step.buf[0];
        step.buf[1] = m.step.buf[1];
        return;
    }
    step.p = static_cast<size_t*>(std::malloc(dims * sizeof(size_t) + (dims + 1) * sizeof(int)));
    size.p = reinterpret_cast<int*>(step.p + dims) + 1;
    size.p[-1] = dims;
    for (int i = 0; i < dims; ++i) {
        size.p[i] = m.size.p[i];
        step.p[i] = m.step.p[i];
    }
}

Mat::Mat(const Mat& m, const Rect& roi)
    : flags(m.flags), dims(2), rows(roi.height), cols(roi.width), data(m.data),
      datastart(m.datastart), dataend(m.dataend), datalimit(m.datalimit), allocator(nullptr),
      u(m.u), size(&rows)
{
    if (m.dims > 2 || roi.x < 0 || roi.y < 0 || roi.width < 0 || roi.height < 0 ||
        roi.x + roi.width > m.cols || roi.y + roi.height > m.rows)
        std::abort();
    if (u)
        ++u->refcount;
    step.buf[0] = m.step.buf[0];
    step.buf[1] = m.step.buf[1];
    data += roi.y * step.buf[0] + roi.x * step.buf[1];
    if (roi.width < m.cols && roi.height > 1)
        flags &= ~CONTINUOUS_FLAG;
    if (roi.width < m.cols || roi.height < m.rows)
        flags |= SUBMATRIX_FLAG;
}

Mat::~Mat()
{
    release();
    if (step.p != step.buf)
        std::free(step.p);
}

void Mat::release()
{
    if (u && --u->refcount == 0)
        deallocate();
    u = nullptr;
    datastart = dataend = datalimit = data = nullptr;
    for (int i = 0; i < dims; ++i)
        size.p[i] = 0;
}

void Mat::deallocate()
{
    if (!u)
        return;
    std::free(u->origdata);
    delete u;
    u = nullptr;
}

void Mat::create(int ndims, const int* sizes, int type)
{
    type = CV_MAT_TYPE(type);
    bool same = data && dims == ndims && this->type() == type;
    for (int i = 0; same && i < ndims; ++i)
        same = size.p[i] == sizes[i];
    if (same)
        return;
    release();
    if (step.p != step.buf)
        std::free(step.p);
    step.p = step.buf;
    size.p = &rows;
    flags = MAGIC_VAL | CONTINUOUS_FLAG | type;
    dims = ndims;
    if (ndims > 2) {
        // As OpenCV lays them out: the steps, then the dimension count, then the sizes.
        step.p =
            static_cast<size_t*>(std::malloc(ndims * sizeof(size_t) + (ndims + 1) * sizeof(int)));
        size.p = reinterpret_cast<int*>(step.p + ndims) + 1;
        size.p[-1] = ndims;
        rows = cols = -1;
    }
    size_t bytes = CV_ELEM_SIZE(type);
    for (int i = ndims - 1; i >= 0; --i) {
        size.p[i] = sizes[i];
        step.p[i] = bytes;
        bytes *= static_cast<size_t>(sizes[i]);
    }
    u = new UMatData(nullptr);
    u->refcount = 1;
    u->size = bytes;
    u->data = u->origdata = static_cast<uchar*>(std::malloc(std::max<size_t>(bytes, 1)));
    data = u->origdata;
    datastart = data;
    dataend = datalimit = data + bytes;
}

void Mat::create(int rows, int cols, int type)
{
    const int sizes[2] = {rows, cols};
    create(2, sizes, type);
}

bool Mat::empty() const
{
    return data == nullptr || total() == 0 || dims == 0;
}

size_t Mat::total() const
{
    if (dims <= 2)
        return static_cast<size_t>(rows) * cols;
    size_t count = 1;
    for (int i = 0; i < dims; ++i)
        count *= size.p[i];
    return count;
}

Mat& Mat::setTo(InputArray value, InputArray /*mask: the tracker passes none*/)
{
    double values[4] = {0, 0, 0, 0};
    valuesOf(value, values, 4);
    const int channels = this->channels();
    for (int y = 0; y < rows; ++y) {
        uchar* row = ptr(y);
        for (int x = 0; x < cols; ++x)
            for (int c = 0; c < channels; ++c) {
                if (depth() == CV_8U)
                    row[x * channels + c] = toByte(values[std::min(c, 3)]);
                else
                    reinterpret_cast<float*>(row)[x * channels + c] =
                        static_cast<float>(values[std::min(c, 3)]);
            }
    }
    return *this;
}

const _InputOutputArray& noArray()
{
    static const _InputOutputArray none;
    return none;
}

Scalar mean(InputArray source, InputArray /*mask: none*/)
{
    const Mat& image = matrixOf(source);
    Scalar sums = Scalar::all(0);
    const int channels = std::min(image.channels(), 4);
    for (int y = 0; y < image.rows; ++y) {
        const uchar* row = image.ptr(y);
        for (int x = 0; x < image.cols; ++x)
            for (int c = 0; c < channels; ++c)
                sums[c] += row[x * image.channels() + c];
    }
    const double count = std::max(1.0, static_cast<double>(image.total()));
    for (int c = 0; c < 4; ++c)
        sums[c] /= count;
    return sums;
}

namespace {

// The source pixels under destination pixel `index` along one axis, with the share of each
// (OpenCV's INTER_AREA: every source pixel weighs what of it the destination pixel covers).
struct Span {
    int first = 0;
    int count = 0;
    double weights[64];
};

Span areaSpan(int index, double scale, int sourceSize)
{
    Span span;
    const double from = index * scale;
    const double to = std::min((index + 1) * scale, static_cast<double>(sourceSize));
    span.first = static_cast<int>(std::floor(from));
    for (int s = span.first; s < to && span.count < 64; ++s) {
        const double covered = std::min<double>(s + 1, to) - std::max<double>(s, from);
        span.weights[span.count++] = covered / (to - from);
    }
    return span;
}

} // namespace

void resize(InputArray source, OutputArray destination, Size size, double, double, int)
{
    const Mat& from = matrixOf(source);
    Mat& to = matrixOf(destination);
    if (from.depth() != CV_8U || to.empty() || to.cols != size.width || to.rows != size.height ||
        to.type() != from.type())
        to.create(size.height, size.width, from.type());
    const int channels = from.channels();
    const double scaleX = static_cast<double>(from.cols) / size.width;
    const double scaleY = static_cast<double>(from.rows) / size.height;
    // Shrinking only, as the palm detector does (an image larger than its 192-pixel input).
    std::vector<double> sums(static_cast<size_t>(size.width) * channels);
    for (int y = 0; y < size.height; ++y) {
        const Span down = areaSpan(y, scaleY, from.rows);
        std::fill(sums.begin(), sums.end(), 0.0);
        for (int k = 0; k < down.count; ++k) {
            const uchar* row = from.ptr(down.first + k);
            for (int x = 0; x < size.width; ++x) {
                const Span across = areaSpan(x, scaleX, from.cols);
                for (int j = 0; j < across.count; ++j)
                    for (int c = 0; c < channels; ++c)
                        sums[x * channels + c] += down.weights[k] * across.weights[j] *
                                                  row[(across.first + j) * channels + c];
            }
        }
        uchar* out = to.ptr(y);
        for (int i = 0; i < size.width * channels; ++i)
            out[i] = toByte(sums[i]);
    }
}

void warpAffine(InputArray source, OutputArray destination, InputArray transform, Size size, int,
                int, const Scalar& border)
{
    // Destination to source (WARP_INVERSE_MAP), bilinear, a constant border: the landmark crop.
    const Mat& from = matrixOf(source);
    Mat& to = matrixOf(destination);
    to.create(size.height, size.width, from.type());
    double m[6];
    valuesOf(transform, m, 6);
    const int channels = from.channels();
    constexpr double kSteps = 32.0; // OpenCV places each sample to 1/32 of a pixel
    for (int y = 0; y < size.height; ++y) {
        uchar* out = to.ptr(y);
        for (int x = 0; x < size.width; ++x) {
            const double sx = std::round((m[0] * x + m[1] * y + m[2]) * kSteps) / kSteps;
            const double sy = std::round((m[3] * x + m[4] * y + m[5]) * kSteps) / kSteps;
            const int x0 = static_cast<int>(std::floor(sx));
            const int y0 = static_cast<int>(std::floor(sy));
            const double fx = sx - x0, fy = sy - y0;
            for (int c = 0; c < channels; ++c) {
                const auto at = [&](int px, int py) -> double {
                    if (px < 0 || py < 0 || px >= from.cols || py >= from.rows)
                        return border[std::min(c, 3)];
                    return from.ptr(py)[px * channels + c];
                };
                const double value = (1 - fy) * ((1 - fx) * at(x0, y0) + fx * at(x0 + 1, y0)) +
                                     fy * ((1 - fx) * at(x0, y0 + 1) + fx * at(x0 + 1, y0 + 1));
                out[x * channels + c] = toByte(value);
            }
        }
    }
}

namespace dnn {
CV__DNN_INLINE_NS_BEGIN

Mat blobFromImage(InputArray image, double scale, const Size&, const Scalar& mean, bool swapRB,
                  bool, int)
{
    // One image as a 1 x channels x rows x cols float blob, (pixel - mean) * scale.
    const Mat& from = matrixOf(image);
    const int channels = from.channels();
    const int sizes[4] = {1, channels, from.rows, from.cols};
    Mat blob;
    blob.create(4, sizes, CV_32F);
    float* out = blob.ptr<float>();
    const size_t plane = static_cast<size_t>(from.rows) * from.cols;
    for (int c = 0; c < channels; ++c) {
        const int source = swapRB && channels >= 3 && c < 3 ? 2 - c : c;
        const double offset = mean[std::min(source, 3)];
        for (int y = 0; y < from.rows; ++y) {
            const uchar* row = from.ptr(y);
            float* target = out + c * plane + static_cast<size_t>(y) * from.cols;
            for (int x = 0; x < from.cols; ++x)
                target[x] = static_cast<float>((row[x * channels + source] - offset) * scale);
        }
    }
    return blob;
}

CV__DNN_INLINE_NS_END
} // namespace dnn

} // namespace cv
