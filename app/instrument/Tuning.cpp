#include "app/instrument/Tuning.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace {

std::string Trim(const std::string& text)
{
    const std::size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return "";
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// A whole number of at least one digit, and nothing else.
bool ReadWhole(const std::string& text, long long& value)
{
    if (text.empty() || text.size() > 18)
        return false;
    for (const char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return false;
    value = std::atoll(text.c_str());
    return true;
}

// One pitch line: cents when it has a dot, else a ratio a/b or a whole number; text after the
// first blank is a comment.
bool ReadPitch(const std::string& line, double& cents, std::string& error)
{
    std::istringstream words(line);
    std::string value;
    words >> value;
    if (value.find('.') != std::string::npos) {
        char* end = nullptr;
        errno = 0;
        cents = std::strtod(value.c_str(), &end);
        if (errno != 0 || *end != '\0' || !std::isfinite(cents)) {
            error = "\"" + value.substr(0, 40) + "\" is not a pitch in cents";
            return false;
        }
        return true;
    }
    const std::size_t slash = value.find('/');
    long long numerator = 0;
    long long denominator = 1;
    const bool negative = !value.empty() && value[0] == '-';
    if (negative || !ReadWhole(value.substr(0, slash), numerator) ||
        (slash != std::string::npos && !ReadWhole(value.substr(slash + 1), denominator))) {
        error = negative ? "ratio " + value.substr(0, 40) + " is negative"
                         : "\"" + value.substr(0, 40) + "\" is neither cents nor a ratio";
        return false;
    }
    if (numerator == 0 || denominator == 0) {
        error = "ratio " + value + " is not above zero";
        return false;
    }
    cents = 1200.0 * std::log2(static_cast<double>(numerator) / static_cast<double>(denominator));
    return true;
}

} // namespace

double Tuning::Offset(int stringIndex) const
{
    const int count = static_cast<int>(cents.size());
    if (count == 0 || stringIndex < 0)
        return 0.0;
    const int degree = stringIndex % count;
    const int period = stringIndex / count;
    const double within = degree == 0 ? 0.0 : cents[static_cast<std::size_t>(degree - 1)];
    return (period * cents.back() + within) / 100.0;
}

bool ParseScala(std::istream& input, Tuning& tuning, std::string& error)
{
    Tuning read;
    long long expected = -1; // degrees the count line promises; -1 before it
    int lineNumber = 0;
    bool haveDescription = false;
    std::string line;
    while (std::getline(input, line)) {
        ++lineNumber;
        if (!line.empty() && line[0] == '!')
            continue;
        const std::string text = Trim(line);
        auto fail = [&](const std::string& what) {
            error = "line " + std::to_string(lineNumber) + ": " + what;
            return false;
        };
        if (!haveDescription) {
            read.description = text;
            haveDescription = true;
        } else if (expected < 0) {
            std::istringstream words(text);
            std::string count;
            words >> count;
            if (!ReadWhole(count, expected))
                return fail("\"" + count.substr(0, 40) + "\" is not a count of degrees");
            if (expected == 0)
                return fail("no degrees");
            if (expected > Tuning::kMaxDegrees)
                return fail(std::to_string(expected) + " degrees, more than " +
                            std::to_string(Tuning::kMaxDegrees));
        } else if (static_cast<long long>(read.cents.size()) < expected) {
            if (text.empty())
                return fail("a pitch is missing");
            double cents = 0.0;
            std::string what;
            if (!ReadPitch(text, cents, what))
                return fail(what);
            read.cents.push_back(cents);
        }
    }
    if (input.bad()) {
        error = "cannot be read";
        return false;
    }
    if (expected < 0) {
        error = "line " + std::to_string(lineNumber + 1) + ": no degree count";
        return false;
    }
    if (static_cast<long long>(read.cents.size()) < expected) {
        error = "line " + std::to_string(lineNumber + 1) + ": " +
                std::to_string(read.cents.size()) + " pitches, the count says " +
                std::to_string(expected);
        return false;
    }
    tuning = std::move(read);
    return true;
}

bool LoadScala(const std::string& path, Tuning& tuning, std::string& error)
{
    std::ifstream file(path);
    if (!file) {
        error = path + ": cannot be read: " + std::strerror(errno);
        return false;
    }
    if (!ParseScala(file, tuning, error)) {
        error = path + ":" + (error.rfind("line ", 0) == 0 ? error.substr(5) : " " + error);
        return false;
    }
    return true;
}

bool ParseNoteName(const std::string& text, int& note)
{
    long long number = 0;
    if (ReadWhole(text, number)) {
        if (number > 127)
            return false;
        note = static_cast<int>(number);
        return true;
    }
    static const int kSemitones[] = {9, 11, 0, 2, 4, 5, 7}; // A B C D E F G
    if (text.empty())
        return false;
    const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
    if (letter < 'A' || letter > 'G')
        return false;
    int semitone = kSemitones[letter - 'A'];
    std::size_t at = 1;
    while (at < text.size() && (text[at] == '#' || text[at] == 'b')) {
        semitone += text[at] == '#' ? 1 : -1;
        ++at;
    }
    int octave = 1;
    if (at < text.size()) {
        const std::string rest = text.substr(at);
        const bool below = rest[0] == '-';
        long long value = 0;
        if (!ReadWhole(below ? rest.substr(1) : rest, value) || value > 9)
            return false;
        octave = static_cast<int>(below ? -value : value);
    }
    const int result = 12 * (octave + 1) + semitone;
    if (result < 0 || result > 127)
        return false;
    note = result;
    return true;
}

std::string NoteName(int note)
{
    static const char* const kNames[] = {"C",  "C#", "D",  "D#", "E",  "F",
                                         "F#", "G",  "G#", "A",  "A#", "B"};
    const int octave = note >= 0 ? note / 12 - 1 : -1 - (11 - note) / 12;
    const int semitone = ((note % 12) + 12) % 12;
    return std::string(kNames[semitone]) + std::to_string(octave);
}
