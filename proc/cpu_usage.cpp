// Machine-wide CPU use from the first line of /proc/stat.
#include "cpu_usage.h"
#include "record_slot.h"
#include "scan.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace {

RecordSlot<CPU_t> slot;
int stat_fd = -1;

uint64_t add_sat(uint64_t a, uint64_t b) {
    return a > UINT64_MAX - b ? UINT64_MAX : a + b;
}

} // namespace

int cpu_parse_line(const char* line, uint64_t vals[7]) {
    if (!line || line[0] != 'c' || line[1] != 'p' || line[2] != 'u' || !is_blank(line[3]))
        return 0;
    const char* p = line + 3;
    int count = 0;
    while (count < 7) {
        while (is_blank(*p))
            ++p;
        if (!is_digit(*p))
            break;
        p = read_digits(p, nullptr, &vals[count++]);
        if (*p && !is_blank(*p))
            break;
    }
    return count;
}

void cpu_update(CPU_t* cpus, const uint64_t vals[7], int count) {
    cpus->id = 0;
    if (count < 4) {
        // Nothing usable was read: no interval, and the figures stay as they were.
        cpus->total_sav = 0;
        cpus->interval_ticks = 0;
        return;
    }
    if (count > 7)
        count = 7;
    // Saved counters all zero: nothing has been sampled yet, so the deltas are the
    // since-boot counts, which may well exceed 32 bits.
    bool first = !(cpus->u_sav | cpus->n_sav | cpus->s_sav | cpus->i_sav | cpus->w_sav |
                   cpus->x_sav | cpus->y_sav | cpus->z_sav);
    TIC_t* const cur[7] = {&cpus->u, &cpus->n, &cpus->s, &cpus->i, &cpus->w, &cpus->x, &cpus->y};
    for (int k = 0; k < count; ++k)
        *cur[k] = TIC_t(vals[k]);

    // Unsigned 32-bit differences stay right across a counter wrap.
    uint64_t du = first ? vals[0] : TIC_t(cpus->u - cpus->u_sav);
    uint64_t ds = first ? vals[2] : TIC_t(cpus->s - cpus->s_sav);
    uint64_t di = first ? vals[3] : TIC_t(cpus->i - cpus->i_sav);
    uint64_t total = add_sat(add_sat(du, ds), di);
    cpus->interval_ticks = total;
    if (total == 0) {
        // Two samples within one tick: keep the last figures rather than 0/0.
        cpus->total_sav = 0;
    } else {
        double busy = double(du) + double(ds);
        double all = busy + double(di);
        cpus->usage_tot = float(busy * 100.0 / all);
        cpus->usage_usr = float(double(du) * 100.0 / all);
        cpus->usage_krn = float(double(ds) * 100.0 / all);
        cpus->total_sav = total > uint64_t(INT_MAX) ? INT_MAX : int(total);
    }
    cpus->u_sav = cpus->u;
    cpus->n_sav = cpus->n;
    cpus->s_sav = cpus->s;
    cpus->i_sav = cpus->i;
    cpus->w_sav = cpus->w;
    cpus->x_sav = cpus->x;
    cpus->y_sav = cpus->y;
    cpus->z_sav = cpus->z;
}

CPU_t* cpus_read(CPU_t* cpus) {
    cpus = slot.take(cpus);

    uint64_t vals[7] = {};
    int count = 0;
    if (stat_fd < 0)
        stat_fd = open("/proc/stat", O_RDONLY | O_CLOEXEC);
    if (stat_fd < 0) {
        fputs("failed /proc/stat open", stderr);
    } else {
        // The aggregate line comes first; 511 bytes hold it with room to spare.
        char buf[512];
        ssize_t n = pread(stat_fd, buf, sizeof buf - 1, 0);
        if (n > 0) {
            buf[n] = '\0';
            for (ssize_t k = 0; k < n; ++k)
                if (buf[k] == '\n') {
                    buf[k] = '\0';
                    break;
                }
            count = cpu_parse_line(buf, vals);
        } else {
            // No line at all: the read failed, and so does the parse of nothing.
            fputs("failed /proc/stat read", stderr);
        }
        if (count < 4) {
            fputs("failed /proc/stat read", stderr);
            // The file held may be one that went away (a mount over /proc/stat
            // gone, a FUSE server restarted): the next call opens the name again.
            close(stat_fd);
            stat_fd = -1;
        }
    }
    cpu_update(cpus, vals, count);
    return cpus;
}

void cpus_release(CPU_t* cpus) {
    slot.release(cpus);
}
