// Reader of /proc/<pid>/stat, owner names, uptime and the diagnostic printers.
#include "procstat.h"
#include "scan.h"

#include <array>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <functional>
#include <linux/magic.h>
#include <pwd.h>
#include <string_view>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace {

long clock_rate() {
    static const long hz = [] {
        long v = sysconf(_SC_CLK_TCK);
        return v > 0 ? v : 100L;
    }();
    return hz;
}

const char* skip_blanks(const char* p, const char* end) {
    while (p < end && is_blank(*p))
        ++p;
    return p;
}

// Consumes one whole token. A token without leading digits reads as 0, so a
// stray word costs one field and not every field after it. Unsigned values
// above the signed range keep their bits, as the kernel printed them.
const char* read_number(const char* p, const char* end, uint64_t* out) {
    p = skip_blanks(p, end);
    bool negative = false;
    if (p < end && (*p == '-' || *p == '+')) {
        negative = *p == '-';
        ++p;
    }
    uint64_t v;
    p = read_digits(p, end, &v);
    while (p < end && !is_blank(*p))
        ++p;
    *out = negative ? 0 - v : v;
    return p;
}

// Stat fields 4 to 21 and 23 to 41; 22 (start_time) is unsigned and sits between.
num PROC_t::*const kBeforeStart[] = {
    &PROC_t::ppid,        &PROC_t::pgid,         &PROC_t::sid,      &PROC_t::tty_nr,
    &PROC_t::tty_pgrp,    &PROC_t::flags,        &PROC_t::min_flt,  &PROC_t::cmin_flt,
    &PROC_t::maj_flt,     &PROC_t::cmaj_flt,     &PROC_t::utime,    &PROC_t::stimev,
    &PROC_t::cutime,      &PROC_t::cstime,       &PROC_t::priority, &PROC_t::nicev,
    &PROC_t::num_threads, &PROC_t::it_real_value};
num PROC_t::*const kAfterStart[] = {
    &PROC_t::vsize,    &PROC_t::rss,         &PROC_t::rsslim, &PROC_t::start_code,
    &PROC_t::end_code, &PROC_t::start_stack, &PROC_t::esp,    &PROC_t::eip,
    &PROC_t::pending,  &PROC_t::blocked,     &PROC_t::sigign, &PROC_t::sigcatch,
    &PROC_t::wchan,    &PROC_t::zero1,       &PROC_t::zero2,  &PROC_t::exit_signal,
    &PROC_t::cpu,      &PROC_t::rt_priority, &PROC_t::policy};

// /proc stays open so that a stat file is one openat away and the working
// directory is never touched.
int proc_dir = -1;

// Owner names by uid, dropped whenever /etc/passwd changes.
struct PasswdStamp {
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = -1;
    time_t sec = 0;
    long nsec = 0;
    bool operator==(const PasswdStamp& o) const {
        return dev == o.dev && ino == o.ino && size == o.size && sec == o.sec && nsec == o.nsec;
    }
};

std::unordered_map<uid_t, std::array<char, 32>> names;
PasswdStamp names_stamp;
bool names_checked = false;
struct timespec names_checked_at;
std::vector<char> pw_scratch(1024);

void forget_names_if_passwd_changed() {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    if (names_checked) {
        long long ns = (now.tv_sec - names_checked_at.tv_sec) * 1000000000LL +
                       (now.tv_nsec - names_checked_at.tv_nsec);
        if (ns < 1000000000LL)
            return;
    }
    names_checked = true;
    names_checked_at = now;
    PasswdStamp s;
    struct stat st;
    if (stat("/etc/passwd", &st) == 0)
        s = {st.st_dev, st.st_ino, st.st_size, st.st_mtim.tv_sec, st.st_mtim.tv_nsec};
    if (!(s == names_stamp)) {
        names.clear();
        names_stamp = s;
    }
}

// Holds /proc only when it is the kernel's: an empty directory mounted in its
// place would otherwise stay held after the real one comes back.
bool open_proc_dir() {
    int fd = open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct statfs fs;
    if (fstatfs(fd, &fs) != 0 || fs.f_type != PROC_SUPER_MAGIC) {
        close(fd);
        errno = ENOENT;
        return false;
    }
    proc_dir = fd;
    return true;
}

bool valid_pid_name(const char* cpid) {
    if (!cpid || !*cpid)
        return false;
    bool nonzero = false;
    size_t n = 0;
    for (; cpid[n]; ++n) {
        if (!is_digit(cpid[n]) || n >= 20)
            return false;
        nonzero |= cpid[n] != '0';
    }
    return nonzero;
}

} // namespace

bool parse_stat_line(const char* text, size_t len, PROC_t* out) {
    if (!text || !out)
        return false;
    const char* end = text + len;
    const char* open = static_cast<const char*>(memchr(text, '(', len));
    if (!open)
        return false;
    const char* close = static_cast<const char*>(memrchr(open + 1, ')', size_t(end - (open + 1))));
    if (!close)
        return false;

    uint64_t v;
    read_number(text, open, &v);
    out->pid = num(v);

    size_t n = size_t(close - open) + 1;
    if (n > sizeof out->tcomm - 1)
        n = sizeof out->tcomm - 1;
    memcpy(out->tcomm, open, n);
    out->tcomm[n] = '\0';

    const char* p = skip_blanks(close + 1, end);
    out->state = p < end ? *p : '\0';
    while (p < end && !is_blank(*p))
        ++p;

    for (num PROC_t::*f : kBeforeStart) {
        p = read_number(p, end, &v);
        out->*f = num(v);
    }
    p = read_number(p, end, &v);
    out->start_time = v;
    for (num PROC_t::*f : kAfterStart) {
        p = read_number(p, end, &v);
        out->*f = num(v);
    }
    return true;
}

void owner_name(uid_t uid, char out[32]) {
    forget_names_if_passwd_changed();
    auto it = names.find(uid);
    if (it == names.end()) {
        std::array<char, 32> name{};
        struct passwd pw;
        struct passwd* found = nullptr;
        int rc;
        while ((rc = getpwuid_r(uid, &pw, pw_scratch.data(), pw_scratch.size(), &found)) ==
                   ERANGE &&
               pw_scratch.size() < (1u << 20))
            pw_scratch.resize(pw_scratch.size() * 2);
        if (rc == 0 && found && found->pw_name && found->pw_name[0])
            strncpy(name.data(), found->pw_name, name.size() - 1);
        else
            snprintf(name.data(), name.size(), "%u", unsigned(uid));
        // A failed lookup (not a missing entry) is not kept: the next call asks again.
        if (rc != 0) {
            memcpy(out, name.data(), name.size());
            return;
        }
        it = names.emplace(uid, name).first;
    }
    memcpy(out, it->second.data(), it->second.size());
}

namespace {

// A process that is exiting or reaped can answer ESRCH, at the open or the
// read; to the user it is gone, so the message of a stat file not there.
void report_failure(const char* step, int err) {
    if (err == ESRCH) {
        err = ENOENT;
        step = "open";
    }
    errno = err;
    perror(step);
}

} // namespace

namespace {

// Opens <cpid>/stat under the held /proc; -1 with errno set when it cannot.
int open_stat(const char* cpid) {
    if (proc_dir < 0 && !open_proc_dir())
        return -1;
    char path[32];
    size_t n = strlen(cpid);
    memcpy(path, cpid, n);
    memcpy(path + n, "/stat", sizeof "/stat");
    return openat(proc_dir, path, O_RDONLY | O_CLOEXEC);
}

// The line of an open stat file, read from its start (the kernel makes the
// text anew for a read at offset 0): its length, or -1 with errno set when
// nothing could be read.
ssize_t read_line(int fd, char* buf, size_t size) {
    size_t len = 0;
    ssize_t got = 0;
    while (len < size) {
        got = pread(fd, buf + len, size - len, off_t(len));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        len += size_t(got);
        if (buf[len - 1] == '\n')
            break;
    }
    return got < 0 && len == 0 ? -1 : ssize_t(len);
}

// Room for the longest name the record holds plus 52 numbers.
constexpr size_t kStatLine = 8192;

} // namespace

int procstat_open(const char* cpid, int* dirfd) {
    if (!valid_pid_name(cpid))
        return -1;
    int fd = open_stat(cpid);
    if (fd < 0) {
        report_failure("open", errno);
        return -1;
    }
    if (dirfd)
        *dirfd = openat(proc_dir, cpid, O_PATH | O_DIRECTORY | O_CLOEXEC);
    return fd;
}

PROC_t* procstat_held(int fd, int dirfd, const char* cpid, PROC_t* procs, bool fresh,
                      size_t* text_hash) {
    // The directory keeps the process's effective uid; the files in it turn
    // root's when the process is not dumpable (after setuid, or on request).
    // A held directory spares the lookup of its name; looked up by name, it
    // is taken before the read, so a good read shows it was this process's.
    struct stat st;
    bool owned = (dirfd >= 0 ? fstat(dirfd, &st) : fstatat(proc_dir, cpid, &st, 0)) == 0;
    char buf[kStatLine];
    ssize_t len = read_line(fd, buf, sizeof buf);
    if (len < 0) {
        int err = errno;
        if (fresh || err != ESRCH)
            report_failure("read", err);
        errno = err;
        return nullptr;
    }
    // Most processes sleep from one scan to the next and their line stays
    // the same; hashing it costs an eighth of parsing its 41 numbers.
    size_t line = text_hash ? std::hash<std::string_view>()(std::string_view(buf, size_t(len))) : 0;
    if (!text_hash || *text_hash == 0 || (line ^ size_t(procs->start_time)) != *text_hash) {
        if (!parse_stat_line(buf, size_t(len), procs)) {
            errno = EINVAL;
            return nullptr;
        }
        if (text_hash)
            *text_hash = line ^ size_t(procs->start_time);
    }
    if (owned)
        owner_name(st.st_uid, procs->username);
    else
        strcpy(procs->username, "?");
    return procs;
}

PROC_t* procstat(const char* cpid, PROC_t* procs, size_t* text_hash) {
    if (!procs)
        return nullptr;
    int fd = procstat_open(cpid, nullptr); // -1 for a name that is no PID, silently
    if (fd < 0)
        return nullptr;
    PROC_t* r = procstat_held(fd, -1, cpid, procs, true, text_hash);
    int err = errno;
    close(fd);
    errno = err;
    return r;
}

void procstat_follow_proc() {
    struct stat held, named;
    if (proc_dir >= 0 && (fstat(proc_dir, &held) != 0 || stat("/proc", &named) != 0 ||
                          held.st_dev != named.st_dev || held.st_ino != named.st_ino)) {
        close(proc_dir);
        proc_dir = -1;
    }
}

int procstat_open_dir(const char* cpid) {
    if (!valid_pid_name(cpid) || (proc_dir < 0 && !open_proc_dir()))
        return -1;
    return openat(proc_dir, cpid, O_PATH | O_DIRECTORY | O_CLOEXEC);
}

PROC_t* procstat_in(int dirfd, const char* cpid, PROC_t* procs, size_t* text_hash) {
    // The directory of an ended process has no files left.
    int fd = openat(dirfd, "stat", O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            errno = ESRCH;
        return nullptr;
    }
    PROC_t* r = procstat_held(fd, dirfd, cpid, procs, false, text_hash);
    int err = errno;
    close(fd);
    errno = err;
    return r;
}

bool read_start_time(num pid, unsigned long long* start) {
    char cpid[24];
    snprintf(cpid, sizeof cpid, "%lld", pid);
    if (!start || !valid_pid_name(cpid))
        return false;
    int fd = open_stat(cpid);
    if (fd < 0)
        return false;
    char buf[kStatLine];
    ssize_t len = read_line(fd, buf, sizeof buf);
    close(fd);
    PROC_t rec;
    if (len < 0 || !parse_stat_line(buf, size_t(len), &rec))
        return false;
    *start = rec.start_time;
    return true;
}

float cpu_share(const PROC_t& r, unsigned long long interval_ticks, float previous) {
    if (interval_ticks == 0)
        return previous;
    return float(double(r.recent_ticks()) * 100.0 / double(interval_ticks));
}

long long running_seconds(long long sinceboot, unsigned long long start_time, long tickspersec) {
    if (tickspersec <= 0 || sinceboot <= 0 || start_time >= (unsigned long long)sinceboot)
        return 0;
    return (sinceboot - (long long)start_time) / tickspersec;
}

long long rss_kb(num rss_pages, long pagesize) {
    if (rss_pages <= 0 || pagesize <= 0)
        return 0;
    unsigned __int128 kb = (unsigned __int128)rss_pages * (unsigned long)pagesize / 1024;
    return kb > (unsigned __int128)LLONG_MAX ? LLONG_MAX : (long long)kb;
}

bool parse_uptime(const char* text, long tickspersec, long long* ticks) {
    if (!text || !ticks || tickspersec <= 0 || tickspersec > LLONG_MAX / 100)
        return false;
    const char* p = text;
    while (is_blank(*p))
        ++p;
    if (!is_digit(*p))
        return false;
    uint64_t digits;
    p = read_digits(p, nullptr, &digits);
    if (digits > uint64_t(LLONG_MAX))
        return false;
    long long sec = (long long)digits;
    long long hundredths = 0;
    if (*p == '.') {
        ++p;
        for (int k = 0; k < 2; ++k) {
            hundredths *= 10;
            if (is_digit(*p))
                hundredths += *p++ - '0';
        }
    }
    if (sec > (LLONG_MAX - tickspersec) / tickspersec)
        return false;
    *ticks = sec * tickspersec + hundredths * tickspersec / 100;
    return true;
}

long long gettimesinceboot(void) {
    static long long last = 0;
    int fd = open("/proc/uptime", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return last;
    char buf[128];
    ssize_t n = read(fd, buf, sizeof buf - 1);
    close(fd);
    long long ticks;
    if (n > 0) {
        buf[n] = '\0';
        if (parse_uptime(buf, clock_rate(), &ticks))
            last = ticks;
    }
    return last;
}

void printone(const char* name, num x) {
    printf("%20s: %lld\n", name, x);
}

void printonex(const char* name, num x) {
    printf("%20s: %016llx\n", name, static_cast<unsigned long long>(x));
}

void printunsigned(const char* name, unsigned long long x) {
    printf("%20s: %llu\n", name, x);
}

void printchar(const char* name, char x) {
    printf("%20s: %c\n", name, x);
}

void printstr(const char* name, const char* x) {
    printf("%20s: %s\n", name, x);
}

void printtime(const char* name, num x) {
    printf("%20s: %f\n", name, double(x) / double(clock_rate()));
}

void printtimediff(const char* name, num x) {
    long long hz = clock_rate();
    long long running = gettimesinceboot() - x;
    time_t rt = time(nullptr) - time_t(running / hz);
    char buf[1024];
    struct tm tm;
    if (!localtime_r(&rt, &tm) || !strftime(buf, sizeof buf, "%m.%d %H:%M", &tm))
        buf[0] = '\0';
    printf("%20s: %s (%lld.%llds)\n", name, buf, running / hz, running % hz);
}
