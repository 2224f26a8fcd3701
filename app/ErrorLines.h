#pragma once

#include <cstddef>
#include <mutex>
#include <streambuf>
#include <string>

// Standard error as the player sees it: every byte still goes to the original standard error (a
// desktop keeps it in its log), and the last complete line is kept for the window's banner, so a
// reason the instrument cannot play reaches a player who started it from the menu, with no
// terminal. Installed as std::cerr's buffer, which is how every such reason is written.
//
// Threads: any thread writes, holding a short lock of its own only while keeping the line, never
// while writing it out; the window thread reads LastLine.
// Never written from an audio pass (nothing there writes to the console).
class ErrorLines : public std::streambuf {
public:
    // Longest line kept for the banner, in bytes; the rest of a longer line goes only to
    // `original`.
    static constexpr std::size_t kLineBytes = 400;

    // Forwards to `original` (not owned).
    explicit ErrorLines(std::streambuf* original);

    // The last line written whole that ShowsPlayer takes, without its newline; "" before the
    // first.
    std::string LastLine() const;

    // Whether the window shows `line`: a reason the player must act on. Not a library's note on
    // its own working, such as RtAudio's "RtAudio pulse: running realtime scheduling" (a line
    // it writes itself, beginning "RtAudio "); its errors begin with the failing call's name
    // ("RtApiPulse::...") and are shown.
    static bool ShowsPlayer(const std::string& line);

protected:
    int overflow(int character) override;
    std::streamsize xsputn(const char* text, std::streamsize count) override;
    int sync() override;

private:
    void Keep(const char* text, std::streamsize count); // fLock held

    std::streambuf* fOriginal;
    mutable std::mutex fLock;
    std::string fPartial; // the line being written, up to kLineBytes; under fLock
    std::string fLast;    // under fLock
};
