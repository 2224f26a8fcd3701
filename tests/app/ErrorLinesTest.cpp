// Standard error passed on unchanged, its last line kept and wrapped for the banner.
#include <gtest/gtest.h>

#include <ostream>
#include <sstream>

#include "app/ErrorLines.h"
#include "app/window/Scene.h"

namespace {

TEST(ErrorLinesTest, PassesEverythingOnAndKeepsTheLastWholeLineForTheBanner)
{
    std::stringbuf original;
    ErrorLines errors(&original);
    std::ostream err(&errors);
    err << "camera 0: cannot open";
    EXPECT_EQ(errors.LastLine(), "");
    err << " this camera. Tracking is off.\n\nno sound: " << 42 << '\n' << "half";
    EXPECT_EQ(original.str(),
              "camera 0: cannot open this camera. Tracking is off.\n\nno sound: 42\nhalf");
    EXPECT_EQ(errors.LastLine(), "no sound: 42");
    err << std::string(ErrorLines::kLineBytes + 50, 'x') << "\n";
    EXPECT_EQ(errors.LastLine(), "half" + std::string(ErrorLines::kLineBytes - 4, 'x'));
    err << "RtAudio pulse: running realtime scheduling\n"; // nothing to act on
    EXPECT_EQ(errors.LastLine().substr(0, 4), "half");
}

TEST(ErrorLinesTest, ANoticeWrapsAtSpacesWithinTheWindow)
{
    const std::string text = "hand models not usable (no palm_detection_lite.onnx); install npm "
                             "python3-onnx (sudo apt install npm python3-onnx), then run "
                             "/usr/share/quorvel/models.sh to set them up. Tracking is off.";
    const auto lines = GLStuff::WrapNotice(text, 800);
    ASSERT_GE(lines.size(), 2u);
    std::string joined;
    for (const std::string& line : lines) {
        EXPECT_LE(line.size() * 104.76 * GLStuff::kNoticeScale, 800 - 2 * GLStuff::kNoticeMargin);
        EXPECT_NE(line.front(), ' ');
        joined += (joined.empty() ? "" : " ") + line;
    }
    EXPECT_EQ(joined, text);
    EXPECT_EQ(GLStuff::WrapNotice(text, 300).size(), GLStuff::kNoticeLines);
}

} // namespace
