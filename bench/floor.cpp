// The cost below which a /proc monitor cannot go, three ways, parsing nothing:
// the floor lists /proc and opens, reads and closes every <pid>/stat, as top
// and htop do; the limit lists /proc and reads again every <pid>/stat it
// holds open from the scan before (pread), which leaves the kernel's text
// alone; the owner limit adds what the owner costs, an fstat of each held
// process directory. Prints the median CPU time of one scan of each and the
// number of stat files it read. Arguments: scans (30) and the pause before
// each in ms (500).
#include "floor_scan.h"

#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unordered_map>

namespace {

// The stat files held from one scan to the next, by PID, and the processes'
// directories (O_PATH) for the owner.
struct Held {
    int stat = -1;
    int dir = -1;
};
std::unordered_map<long, Held> held;

// Reads <name>/stat again through the file held for it, opening one to hold
// when there is none or its process has ended (the PID is another's then).
Held* readHeld(int procfd, const char* name) {
    Held& h = held.emplace(atol(name), Held()).first->second;
    if (h.stat >= 0 && pread(h.stat, statBuf, sizeof statBuf, 0) > 0)
        return &h;
    if (h.stat >= 0)
        close(h.stat);
    if (h.dir >= 0)
        close(h.dir);
    h.stat = openStat(procfd, name);
    h.dir = -1;
    return h.stat >= 0 && pread(h.stat, statBuf, sizeof statBuf, 0) > 0 ? &h : nullptr;
}

bool readHeldText(int procfd, const char* name) {
    return readHeld(procfd, name) != nullptr;
}

// The same, and the owner as a truthful monitor must read it on every scan:
// from the process's directory, held too.
bool readHeldTextAndOwner(int procfd, const char* name) {
    Held* h = readHeld(procfd, name);
    if (!h)
        return false;
    if (h->dir < 0)
        h->dir = openat(procfd, name, O_PATH | O_DIRECTORY | O_CLOEXEC);
    struct stat st;
    return h->dir >= 0 && fstat(h->dir, &st) == 0;
}

// Median CPU microseconds of scans of one kind, gap_ms apart.
double median(bool (*readOne)(int, const char*), int procfd, int scans, int gap_ms, long* files) {
    auto pause = [gap_ms] {
        if (gap_ms > 0)
            usleep(static_cast<useconds_t>(gap_ms) * 1000);
    };
    return medianScan(readOne, procfd, scans, pause, files);
}

} // namespace

int main(int argc, char** argv) {
    int scans = argc > 1 ? atoi(argv[1]) : 30;
    if (scans < 1)
        scans = 1;
    // The same pause between scans as between refresh cycles, so that both
    // find the kernel's caches equally cold.
    int gap_ms = argc > 2 ? atoi(argv[2]) : 500;
    // As the monitor does, to hold a file per process.
    rlimit lim;
    if (getrlimit(RLIMIT_NOFILE, &lim) == 0) {
        lim.rlim_cur = lim.rlim_max;
        setrlimit(RLIMIT_NOFILE, &lim);
    }
    int procfd = open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (procfd < 0) {
        perror("/proc");
        return 1;
    }
    long files = 0, heldFiles = 0, ownedFiles = 0;
    double floor = median(readOnce, procfd, scans, gap_ms, &files);
    double limit = median(readHeldText, procfd, scans, gap_ms, &heldFiles);
    double owned = median(readHeldTextAndOwner, procfd, scans, gap_ms, &ownedFiles);
    printf("floor_us_per_scan %.1f\nfloor_files %ld\n", floor, files);
    printf("limit_us_per_scan %.1f\nlimit_files %ld\n", limit, heldFiles);
    printf("owner_limit_us_per_scan %.1f\nowner_limit_files %ld\n", owned, ownedFiles);
    return 0;
}
