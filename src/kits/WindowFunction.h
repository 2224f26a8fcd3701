#pragma once

#include <cstdint>

// Window types: which shared table a WindowFunction reads.
enum {
    kRectangular = 0,
    kTrapezoid = 1,
    kTriangular = 2,
    kGaussian = 3,
    kHamming = 4,  // symmetric, coefficients 0.53836 / 0.46164
    kHann = 5,     // symmetric
    kBlackman = 6, // symmetric
    kShortAttack = 7,
    kShortRelease = 8,
    kNumWindowTypes = 9
};

// The nine shared tables, indexed by window type, each gWindowTableLength floats. Null until the
// first WindowFunction is built; never rebuilt, never freed.
extern float** gWindowTables;
// Entries per shared table, fixed by the first WindowFunction; 0 before it.
extern unsigned int gWindowTableLength;

// Reads one shared window table so that one pass over it takes a chosen number of samples,
// whatever the table's length: a table of 1024 at a window of 4096 repeats each entry 4 times; a
// table of 4096 at a window of 1024 reads every fourth entry. No interpolation.
//
// The first construction builds the shared tables without a lock: it must finish before any other
// thread builds or uses a WindowFunction. Later ones only read them. Every WindowFunction uses the
// tables' own length, whatever length it was built with. One object belongs to one thread at a
// time; getNextSample neither allocates nor locks.
class WindowFunction {
public:
    // tableLength: entries per shared table (> 0); used only by the first construction.
    explicit WindowFunction(unsigned int tableLength);
    ~WindowFunction() {}

    // Starts a new pass of `length` samples at table entry 0. A length of 0 makes every call
    // return entry 0 and end the pass.
    void setWindowLength(unsigned int length);
    // kRectangular .. kShortRelease; takes effect at the next sample.
    void setWindowType(unsigned int type);
    // Stores the next window value in `out`; true when that value ended the pass. The call after
    // that starts the next pass at entry 0.
    bool getNextSample(float& out);
    // Whether the current pass has samples left: false once getNextSample has ended the pass (until
    // the next call starts a new one) and for a window length of 0.
    bool samplesRemain() const;
    // Table position in entries, 0 <= index < table length; takes effect at the next sample.
    void setIndex(double index);
    // The shared table of the current type, gWindowTableLength entries.
    float* getWindowTable();

    // Builds gWindowTables at fTableLength entries unless they exist already.
    void _generateWindowTables();

private:
    double fIncrement;          // table entries per sample: fTableLength / fWindowLength
    double fIndex;              // table position; the next sample reads its integer part
    unsigned int fWindowLength; // samples per pass
    unsigned int fWindowType;
    unsigned int fTableLength;
    bool fPassEnded; // the last getNextSample ended a pass and no new one has been read
};

// Periodic windows of n values (divisor n, so the value at n would equal the value at 0), with the
// classic coefficients; unlike the symmetric shared tables.
void hanning(float* w, std::uint64_t n);
void hamming(float* w, std::uint64_t n);
void blackman(float* w, std::uint64_t n);

// x[j] *= w[j] for j < n.
void apply_window(float* x, const float* w, std::uint64_t n);
