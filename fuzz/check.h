// Invariant checks of the fuzz targets: any violation aborts, so libFuzzer
// keeps the input.
#ifndef ORVEL_FUZZ_CHECK_H
#define ORVEL_FUZZ_CHECK_H

#include "scan.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#define CHECK(cond)                                                                                \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            fprintf(stderr, "%s:%d: invariant failed: %s\n", __FILE__, __LINE__, #cond);           \
            abort();                                                                               \
        }                                                                                          \
    } while (0)

// A record between two bands of guard bytes: writes outside it show in the bands.
template <class T> struct Guarded {
    static const unsigned char kGuard = 0xA5;
    unsigned char before[64];
    T rec;
    unsigned char after[64];

    Guarded() {
        memset(before, kGuard, sizeof before);
        memset(after, kGuard, sizeof after);
    }
    void check_bands() const {
        for (unsigned char b : before)
            CHECK(b == kGuard);
        for (unsigned char b : after)
            CHECK(b == kGuard);
    }
};

// The input as zero-terminated lines, as the readers hand them to the parsers.
inline std::vector<std::string> lines_of(const unsigned char* data, size_t size) {
    std::vector<std::string> lines;
    std::string text(reinterpret_cast<const char*>(data), size);
    size_t start = 0;
    while (start <= text.size() && lines.size() < 256) {
        size_t nl = text.find('\n', start);
        if (nl == std::string::npos)
            nl = text.size();
        lines.push_back(text.substr(start, nl - start));
        start = nl + 1;
    }
    return lines;
}

#endif
