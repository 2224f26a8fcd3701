#include "app/window/Scene.h"

#include "app/instrument/Tuning.h"

namespace GLStuff {

Color StringColor(int stringIndex, int scaleIntervals)
{
    if (stringIndex % scaleIntervals == 0) {
        return Color{1.0f, 0.5f, 0.5f, 1.0f};
    }
    return Color{0.5f, 0.5f, 0.5f, 1.0f};
}

FingertipLook FingertipAppearance(float nearness, int width, int height)
{
    FingertipLook look{};
    if (width > height) {
        look.aspectScaleX = 1.0f;
        look.aspectScaleY = static_cast<float>(width) / static_cast<float>(height);
    } else {
        look.aspectScaleX = static_cast<float>(height) / static_cast<float>(width);
        look.aspectScaleY = 1.0f;
    }
    const float reach = static_cast<float>(std::min<double>(nearness, 1.0));
    look.outer = reach == 1.0f ? Color{1.0f, 0.0f, 0.0f, 0.8f} : Color{1.0f, 1.0f, 1.0f, 0.25f};
    look.inner = Color{0.7f, 0.7f, 0.7f, reach};
    look.innerScale = std::min(0.85f, reach);
    return look;
}

std::string BannerLine(int key, bool touch, bool camera, bool concert)
{
    return std::string(kBannerText) + "   key " + NoteName(key) + (concert ? "   concert" : "") +
           (touch ? "   touch" : "") + (camera ? "   v picture" : "");
}

std::vector<std::string> WrapNotice(const std::string& text, int width)
{
    // GLUT's widest roman stroke glyph is 104.76 units: lines never run off the window.
    const std::size_t perLine = static_cast<std::size_t>(
        std::max(10.0, (width - 2.0 * kNoticeMargin) / (104.76 * kNoticeScale)));
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size() && lines.size() < kNoticeLines) {
        std::size_t end = std::min(text.size(), start + perLine);
        if (end < text.size()) {
            const std::size_t space = text.rfind(' ', end);
            if (space != std::string::npos && space > start)
                end = space;
        }
        lines.push_back(text.substr(start, end - start));
        start = end;
        while (start < text.size() && text[start] == ' ')
            ++start;
    }
    return lines;
}

} // namespace GLStuff
