// What the window shows after a refresh cycle, and everything in it that
// would be garbage: figures that do not parse or cannot be, "nan" or "inf",
// rows that do not match their process's record, a table larger than the scan.
#ifndef ORVEL_TEST_SHOWN_H
#define ORVEL_TEST_SHOWN_H

#include "frame_access.h"

#include <array>
#include <string>
#include <vector>

struct Shown {
    std::string cpuText, memText, status;
    std::vector<std::array<std::string, 6>> rows;
    size_t table = 0;
    long numproc = -1; // from the status line; -1 when it does not parse
    unsigned long long memtotal = 0, memused = 0, memfree = 0;
    double cpuTotal = -1;
};

// Reads the window; problems gets one line for each thing that is wrong.
Shown readWindow(orvelFrame* f, std::vector<std::string>& problems);

#endif
