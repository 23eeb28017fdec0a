// Machine-wide CPU use from the first line of /proc/stat.
#ifndef ORVEL_CPU_USAGE_H
#define ORVEL_CPU_USAGE_H

#include <cstdint>

typedef unsigned int TIC_t;

struct CPU_t {
    TIC_t u, n, s, i, w, x, y, z;
    TIC_t u_sav, n_sav, s_sav, i_sav, w_sav, x_sav, y_sav, z_sav;
    unsigned int id;
    float usage_tot;
    float usage_usr;
    float usage_krn;
    int total_sav; // user + kernel + idle ticks of the last interval
};

// First call (no stream yet): the argument is ignored and a new zero-filled
// record is returned. Later calls update the given record and return it.
// Never returns null.
CPU_t* cpus_read(CPU_t* cpus);

// Pure parts, usable on any text.

// Parses "cpu  u n s i w x y ..." into vals; returns how many values were
// stored (0 when the line does not start with "cpu").
int cpu_parse_line(const char* line, uint64_t vals[7]);

// Stores the parsed counters (only the first count of them) into cpus and
// computes the interval's percentages and tick total against the saved ones.
void cpu_update(CPU_t* cpus, const uint64_t vals[7], int count);

#endif
