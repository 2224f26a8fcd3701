#pragma once

#include <istream>
#include <string>
#include <vector>

// A tuning read from a Scala scale file: the pitches of its degrees in cents above the first
// note, the last of them the period after which the pattern repeats (often 1200, the octave).
// Strings follow it upwards from the key's note, period after period. Plain data: shared
// read-only between threads once built.
struct Tuning {
    static constexpr int kMaxDegrees = 128;

    std::string description;
    std::vector<double> cents; // degrees 1..n, cents above degree 0; the last is the period

    // Semitones above the key's note of string `stringIndex` (0 = leftmost, the key itself).
    double Offset(int stringIndex) const;
};

// Reads a Scala file's text. False with `error` saying the line and what is wrong with it.
bool ParseScala(std::istream& input, Tuning& tuning, std::string& error);
// Reads the file at `path`; an error names the file (and the line): "PATH:LINE: what".
bool LoadScala(const std::string& path, Tuning& tuning, std::string& error);

// Note numbers: 69 = A4, 60 = C4. A name (C, F#3, Bb2, e4; without an octave, octave 1 as the
// default key G#1 = 32) or a MIDI number 0..127. False when the text is neither.
bool ParseNoteName(const std::string& text, int& note);
// "G#1" for 32.
std::string NoteName(int note);
