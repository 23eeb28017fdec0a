// The floor's scan, which the floor benchmark and the cycle's storm share:
// list /proc and read every <pid>/stat one way, parsing nothing.
#ifndef ORVEL_BENCH_FLOOR_SCAN_H
#define ORVEL_BENCH_FLOOR_SCAN_H

#include <algorithm>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

inline double cpuNow() {
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec * 1e-9;
}

inline double wallNow() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec + ts.tv_nsec * 1e-9;
}

inline char statBuf[8192];

// Opens <name>/stat under /proc, as a monitor does: -1 when it cannot.
inline int openStat(int procfd, const char* name) {
    char path[64];
    size_t n = strlen(name);
    memcpy(path, name, n);
    memcpy(path + n, "/stat", sizeof "/stat");
    return openat(procfd, path, O_RDONLY | O_CLOEXEC);
}

// Opens, reads and closes <name>/stat: the floor's way.
inline bool readOnce(int procfd, const char* name) {
    int fd = openStat(procfd, name);
    if (fd < 0)
        return false;
    bool got = read(fd, statBuf, sizeof statBuf) > 0;
    close(fd);
    return got;
}

// One scan: lists /proc, with a fresh directory stream each time as a monitor
// does, and reads every process's stat file one way. Returns the files read.
inline long scan(int procfd, bool (*readOne)(int, const char*)) {
    int dfd = openat(procfd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* dp = fdopendir(dfd);
    if (!dp)
        return 0;
    long files = 0;
    while (dirent* e = readdir(dp))
        if (e->d_name[0] >= '1' && e->d_name[0] <= '9')
            files += readOne(procfd, e->d_name);
    closedir(dp);
    return files;
}

// Median CPU microseconds of scans of one kind after a warm-up one, pause()
// before each, and the files the last read.
template <class Pause>
double medianScan(bool (*readOne)(int, const char*), int procfd, int scans, Pause pause,
                  long* files) {
    scan(procfd, readOne);
    std::vector<double> us;
    for (int i = 0; i < scans; ++i) {
        pause();
        double t0 = cpuNow();
        *files = scan(procfd, readOne);
        us.push_back((cpuNow() - t0) * 1e6);
    }
    std::sort(us.begin(), us.end());
    return us[us.size() / 2];
}

#endif
