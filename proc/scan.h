// The pieces the /proc parsers share, so that one reading of a number serves
// them all (and every fuzz target exercises it).
#ifndef ORVEL_SCAN_H
#define ORVEL_SCAN_H

#include <cstdint>

// White space as the kernel's texts and scanf see it.
inline bool is_blank(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

inline bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// Reads the decimal digits from p on, stopping before end (null: at the first
// byte that is not a digit), held at UINT64_MAX. Returns the first byte after
// them.
inline const char* read_digits(const char* p, const char* end, uint64_t* out) {
    // Below this, v * 10 + 9 fits: the exact test and its division are left
    // for the twentieth digit.
    constexpr uint64_t kSafe = UINT64_MAX / 10;
    uint64_t v = 0;
    for (; p != end && is_digit(*p); ++p) {
        unsigned d = unsigned(*p - '0');
        if (v < kSafe)
            v = v * 10 + d;
        else
            v = v > (UINT64_MAX - d) / 10 ? UINT64_MAX : v * 10 + d;
    }
    *out = v;
    return p;
}

#endif
