// The cost below which a /proc monitor cannot go, two ways, parsing nothing:
// the floor lists /proc and opens, reads and closes every <pid>/stat, as top
// and htop do; the limit lists /proc and reads again every <pid>/stat it
// holds open from the scan before (pread), which leaves the kernel's text
// alone. Prints the median CPU time of one scan of each and the number of
// stat files it read. Arguments: scans (30) and the pause before each in ms
// (500).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace {

double cpu_now() {
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec * 1e-9;
}

long scan(int procfd) {
    // A fresh directory stream each time, as a monitor lists /proc anew.
    int dfd = openat(procfd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* dp = fdopendir(dfd);
    if (!dp)
        return 0;
    long files = 0;
    char path[64];
    static char buf[8192];
    while (dirent* e = readdir(dp)) {
        if (e->d_name[0] < '1' || e->d_name[0] > '9')
            continue;
        size_t n = strlen(e->d_name);
        memcpy(path, e->d_name, n);
        memcpy(path + n, "/stat", sizeof "/stat");
        int fd = openat(procfd, path, O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            continue;
        if (read(fd, buf, sizeof buf) > 0)
            ++files;
        close(fd);
    }
    closedir(dp);
    return files;
}

// The stat files held from one scan to the next, by PID.
std::unordered_map<long, int> held;

long scanHeld(int procfd) {
    int dfd = openat(procfd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* dp = fdopendir(dfd);
    if (!dp)
        return 0;
    long files = 0;
    char path[64];
    static char buf[8192];
    while (dirent* e = readdir(dp)) {
        if (e->d_name[0] < '1' || e->d_name[0] > '9')
            continue;
        int& fd = held.emplace(atol(e->d_name), -1).first->second;
        if (fd >= 0 && pread(fd, buf, sizeof buf, 0) > 0) {
            ++files;
            continue;
        }
        if (fd >= 0)
            close(fd); // its process has ended: the PID is another's
        size_t n = strlen(e->d_name);
        memcpy(path, e->d_name, n);
        memcpy(path + n, "/stat", sizeof "/stat");
        fd = openat(procfd, path, O_RDONLY | O_CLOEXEC);
        if (fd >= 0 && pread(fd, buf, sizeof buf, 0) > 0)
            ++files;
    }
    closedir(dp);
    return files;
}

// Median CPU microseconds of scans of one kind, and the files the last read.
double median(long (*scanOnce)(int), int procfd, int scans, int gap_ms, long* files) {
    scanOnce(procfd); // warm-up
    std::vector<double> us;
    for (int i = 0; i < scans; ++i) {
        if (gap_ms > 0)
            usleep(static_cast<useconds_t>(gap_ms) * 1000);
        double t0 = cpu_now();
        *files = scanOnce(procfd);
        us.push_back((cpu_now() - t0) * 1e6);
    }
    std::sort(us.begin(), us.end());
    return us[us.size() / 2];
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
    long files = 0, heldFiles = 0;
    double floor = median(scan, procfd, scans, gap_ms, &files);
    double limit = median(scanHeld, procfd, scans, gap_ms, &heldFiles);
    printf("floor_us_per_scan %.1f\nfloor_files %ld\n", floor, files);
    printf("limit_us_per_scan %.1f\nlimit_files %ld\n", limit, heldFiles);
    return 0;
}
