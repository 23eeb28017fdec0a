// The cost below which no /proc monitor can go: list /proc and open, read and
// close every <pid>/stat once, parsing nothing. Prints the median CPU time of
// one scan and the number of stat files it read. Arguments: scans (30) and the
// pause before each in ms (500).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>
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

} // namespace

int main(int argc, char** argv) {
    int scans = argc > 1 ? atoi(argv[1]) : 30;
    if (scans < 1)
        scans = 1;
    // The same pause between scans as between refresh cycles, so that both
    // find the kernel's caches equally cold.
    int gap_ms = argc > 2 ? atoi(argv[2]) : 500;
    int procfd = open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (procfd < 0) {
        perror("/proc");
        return 1;
    }
    scan(procfd); // warm-up
    std::vector<double> us;
    long files = 0;
    for (int i = 0; i < scans; ++i) {
        if (gap_ms > 0)
            usleep(static_cast<useconds_t>(gap_ms) * 1000);
        double t0 = cpu_now();
        files = scan(procfd);
        us.push_back((cpu_now() - t0) * 1e6);
    }
    std::sort(us.begin(), us.end());
    printf("floor_us_per_scan %.1f\nfloor_files %ld\n", us[us.size() / 2], files);
    return 0;
}
