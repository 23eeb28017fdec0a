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
    int total_sav; // user + kernel + idle ticks of the last interval, at most INT_MAX
    // The same total in full: a first interval since boot on a large machine
    // is far past what total_sav holds, and shares are taken against this.
    unsigned long long interval_ticks;
};

// First call (no stream yet): the argument is ignored and a new zero-filled
// record is returned; so is a new one for a null argument later. Later calls
// update the given record and return it.
// Never returns null. When /proc/stat cannot be opened or its first line
// cannot be used the record comes back with total_sav 0 and the next call
// opens the file again; when calloc fails a static
// record is handed out instead.
CPU_t* cpus_read(CPU_t* cpus);

// Releases a record of cpus_read; unlike free() it is safe on the static one.
void cpus_release(CPU_t* cpus);

// Pure parts, usable on any text.

// Parses "cpu  u n s i w x y ..." into vals; returns how many values were
// stored (0 when the line does not start with "cpu" and a blank, as the
// per-processor lines "cpu0 ..." do not).
int cpu_parse_line(const char* line, uint64_t vals[7]);

// Stores the parsed counters (only the first count of them) into cpus and
// computes the interval's percentages and tick total against the saved ones.
// Fewer than 4 values is a failed read: nothing is stored. An interval of no
// ticks sets total_sav and interval_ticks to 0 and keeps the previous
// percentages.
void cpu_update(CPU_t* cpus, const uint64_t vals[7], int count);

#endif
