#include <gtest/gtest.h>

#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "src/ConsoleLine.h"

namespace {

// Records each write the stream hands to its buffer, so a test can see whether a line arrived
// whole or in pieces that another thread's line could have come between.
class WriteLog : public std::streambuf {
public:
    std::vector<std::string> writes;

protected:
    std::streamsize xsputn(const char* text, std::streamsize count) override
    {
        writes.emplace_back(text, static_cast<size_t>(count));
        return count;
    }
    int_type overflow(int_type c) override
    {
        if (!traits_type::eq_int_type(c, traits_type::eof()))
            writes.emplace_back(1, traits_type::to_char_type(c));
        return traits_type::not_eof(c);
    }
};

TEST(ConsoleLineTest, EachLineReachesTheStreamInOneWrite)
{
    WriteLog log;
    std::ostream out(&log);
    WriteLine(out, "inserted finger: ", 7);
    WriteLine(out, "note: ", 69, " freq: ", 440.00003f);
    WriteLine(out, "Initialized");
    ASSERT_EQ(log.writes.size(), 3u);
    EXPECT_EQ(log.writes[0], "inserted finger: 7\n");
    EXPECT_EQ(log.writes[1], "note: 69 freq: 440\n");
    EXPECT_EQ(log.writes[2], "Initialized\n");
}

TEST(ConsoleLineTest, FormatsAsTheStreamDoesByDefaultWhateverTheTargetsSettings)
{
    std::ostringstream out;
    out.setf(std::ios::fixed);
    out.precision(2);
    WriteLine(out, "refresh rate: ", 61.0f);
    WriteLine(out, "note: ", 32, " freq: ", 51.9130859f);
    EXPECT_EQ(out.str(), "refresh rate: 61\nnote: 32 freq: 51.9131\n");
}

} // namespace
