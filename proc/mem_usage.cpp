// Physical memory and swap figures from /proc/meminfo.
#include "mem_usage.h"
#include "record_slot.h"
#include "scan.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

RecordSlot<MEM_t> slot;
int meminfo_fd = -1;

struct Key {
    const char* text;
    size_t len;
    unsigned int MEM_t::*field;
};

#define KEY(s, f)                                                                                  \
    { s, sizeof s - 1, &MEM_t::f }
const Key kKeys[] = {KEY("MemTotal:", memtotal),   KEY("MemFree:", memfree),
                     KEY("SwapTotal:", swaptotal), KEY("SwapFree:", swapfree),
                     KEY("Buffers:", buffers),     KEY("Cached:", cached)};
#undef KEY

// Keys longer than this never match, however they start.
constexpr size_t kMaxKey = 19;

} // namespace

void mem_parse_line(const char* line, MEM_t* mems, uint64_t* capacity) {
    if (!line)
        return;
    const char* p = line;
    while (is_blank(*p))
        ++p;
    const char* key = p;
    while (*p && !is_blank(*p))
        ++p;
    size_t keylen = size_t(p - key);
    if (keylen == 0)
        return;

    while (is_blank(*p))
        ++p;
    if (is_digit(*p))
        read_digits(p, nullptr, capacity);
    if (keylen > kMaxKey)
        return;
    for (const Key& k : kKeys)
        if (keylen == k.len && memcmp(key, k.text, keylen) == 0) {
            mems->*k.field = *capacity > UINT32_MAX ? UINT32_MAX : unsigned(*capacity);
            return;
        }
}

MEM_t* mems_read(MEM_t* mems) {
    mems = slot.take(mems);

    if (meminfo_fd < 0)
        meminfo_fd = open("/proc/meminfo", O_RDONLY | O_CLOEXEC);
    if (meminfo_fd < 0) {
        fputs("failed /proc/meminfo open", stderr);
        return mems;
    }
    char buf[16384];
    size_t len = 0;
    while (len < sizeof buf - 1) {
        size_t want = sizeof buf - 1 - len;
        ssize_t n = pread(meminfo_fd, buf + len, want, off_t(len));
        if (n <= 0)
            break;
        len += size_t(n);
        if (size_t(n) < want)
            break;
    }
    buf[len] = '\0';
    bool full = len == sizeof buf - 1;
    if (len == 0) {
        // Nothing to read: the file held may be one that went away (a mount
        // over /proc/meminfo gone); the next call opens the name again.
        close(meminfo_fd);
        meminfo_fd = -1;
        return mems;
    }

    uint64_t capacity = 0;
    for (char* line = buf; *line;) {
        char* nl = strchr(line, '\n');
        if (!nl && full)
            break; // cut short by the buffer
        if (nl)
            *nl = '\0';
        mem_parse_line(line, mems, &capacity);
        if (!nl)
            break;
        line = nl + 1;
    }
    return mems;
}

void mems_release(MEM_t* mems) {
    slot.release(mems);
}
