#include "app/ErrorLines.h"

ErrorLines::ErrorLines(std::streambuf* original) : fOriginal(original)
{
    fPartial.reserve(kLineBytes);
}

std::string ErrorLines::LastLine() const
{
    std::lock_guard<std::mutex> guard(fLock);
    return fLast;
}

bool ErrorLines::ShowsPlayer(const std::string& line)
{
    return line.rfind("RtAudio ", 0) != 0;
}

int ErrorLines::overflow(int character)
{
    if (traits_type::eq_int_type(character, traits_type::eof()))
        return traits_type::not_eof(character);
    const char byte = traits_type::to_char_type(character);
    return xsputn(&byte, 1) == 1 ? character : traits_type::eof();
}

std::streamsize ErrorLines::xsputn(const char* text, std::streamsize count)
{
    {
        std::lock_guard<std::mutex> guard(fLock);
        Keep(text, count);
    }
    // Outside the lock: a paused terminal may hold this write, and the window thread takes the
    // lock to draw the banner. A line comes in one call, so lines do not interleave.
    return fOriginal->sputn(text, count);
}

int ErrorLines::sync()
{
    return fOriginal->pubsync();
}

void ErrorLines::Keep(const char* text, std::streamsize count)
{
    for (std::streamsize index = 0; index < count; ++index) {
        if (text[index] == '\n') {
            // A blank line says nothing: the last reason stays up.
            if (!fPartial.empty() && ShowsPlayer(fPartial))
                fLast.swap(fPartial);
            fPartial.clear();
        } else if (fPartial.size() < kLineBytes) {
            fPartial += text[index];
        }
    }
}
