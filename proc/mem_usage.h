// Physical memory and swap figures from /proc/meminfo, in kilobytes.
#ifndef ORVEL_MEM_USAGE_H
#define ORVEL_MEM_USAGE_H

#include <cstdint>

struct MEM_t {
    unsigned int memtotal;
    unsigned int memfree;
    unsigned int swaptotal;
    unsigned int swapfree;
    unsigned int buffers;
    unsigned int cached;
};

// First call: the argument is ignored and a new zero-filled record is
// returned, as for a null argument later. Later calls update the given record
// and return it. Never returns null; see cpus_read for the failures.
MEM_t* mems_read(MEM_t* mems);

// Releases a record of mems_read; unlike free() it is safe on the static one.
void mems_release(MEM_t* mems);

// Pure part: one line of /proc/meminfo. capacity carries the last value
// parsed from one line to the next, as a line whose number does not convert
// stores it again. Values above UINT32_MAX kB are held as UINT32_MAX; a key
// of 20 characters or more matches nothing.
void mem_parse_line(const char* line, MEM_t* mems, uint64_t* capacity);

#endif
