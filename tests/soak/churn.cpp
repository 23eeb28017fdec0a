// Starts and ends processes of every kind the monitor may meet, at a steady
// rate, until told to stop or its time is up:
//   orvel_churn SECONDS [PER_SECOND]
// Kinds: gone at once (most likely to vanish between the monitor's directory
// read and its stat read), named with blanks, parentheses and odd bytes,
// CPU-busy, zombie for a while, stopped, renaming itself, many-threaded,
// exec'd under a strange file name and, as root, owned by a uid without a
// password entry. Prints one summary line "churn: ..." on standard output.
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <grp.h>
#include <pthread.h>
#include <pwd.h>
#include <string>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

enum Kind { kGone, kNamed, kBusy, kForeign, kZombie, kExec, kStopped, kRenamer, kThreads, kKinds };
const char* const kKindNames[kKinds] = {"gone at once", "named",    "busy",
                                        "foreign uid",  "zombie",   "exec'd",
                                        "stopped",      "renaming", "threaded"};
// Gone-at-once ones come most often: they make the races.
const Kind kRotation[] = {kGone, kNamed,   kGone, kZombie,  kGone,  kForeign, kGone,
                          kBusy, kGone,    kExec, kGone,    kNamed, kGone,    kRenamer,
                          kGone, kForeign, kGone, kStopped, kGone,  kThreads};

// Kernel command names hold 15 bytes; these try every way to fool a parser.
const char* const kNames[] = {
    "a b",
    "(paren",
    "paren)",
    ") R 1 2 3 4 5 6",
    "x) (y",
    "((()))",
    " lead",
    "trail ",
    "tab\there",
    "new\nline",
    "\xff\xfe bad",
    "ctl\x01\x7f",
    "\xc3\xbc\xc3\xb1\xc3\xaf\xc3\xa7\xc3\xb6\xc3\xb0\xc3\xa9x", // cut inside a character
    "",
    "123456789012345",
    "-1",
    "%s%n%d",
    ") ) ) )",
    "0 (0) 0"};
const size_t kNameCount = sizeof kNames / sizeof kNames[0];

std::atomic<bool> stop{false};
void on_signal(int) {
    stop = true;
}

double now_s() {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

unsigned long long rng_state = 88172645463325252ull;
unsigned rnd(unsigned lo, unsigned hi) { // lo..hi inclusive
    rng_state ^= rng_state << 13;
    rng_state ^= rng_state >> 7;
    rng_state ^= rng_state << 17;
    return lo + unsigned(rng_state % (hi - lo + 1));
}

void sleep_ms(unsigned ms) {
    struct timespec t = {time_t(ms / 1000), long(ms % 1000) * 1000000L};
    while (nanosleep(&t, &t) != 0 && errno == EINTR) {
    }
}

void set_name(const char* name) {
    prctl(PR_SET_NAME, name, 0, 0, 0);
}

void* idle_thread(void*) {
    pause();
    return nullptr;
}

// What a child does; it never returns.
[[noreturn]] void child(Kind kind, unsigned life_ms, uid_t foreign, const std::string& exe) {
    signal(SIGTERM, SIG_DFL);
    signal(SIGINT, SIG_DFL);
    const char* name = kNames[rnd(0, unsigned(kNameCount - 1))];
    switch (kind) {
    case kGone:
        sleep_ms(rnd(0, 3));
        _exit(0);
    case kZombie:
        _exit(0);
    case kBusy: {
        set_name("busy (spin) 1");
        double end = now_s() + life_ms / 1000.0;
        volatile unsigned long x = 0;
        while (now_s() < end)
            for (int k = 0; k < 100000; ++k)
                x = x + k;
        _exit(0);
    }
    case kForeign:
        if (setgroups(0, nullptr) != 0 || setgid(foreign) != 0 || setuid(foreign) != 0)
            _exit(3);
        set_name(name);
        sleep_ms(life_ms);
        _exit(0);
    case kExec: {
        char secs[32];
        snprintf(secs, sizeof secs, "%u.%03u", life_ms / 1000, life_ms % 1000);
        execl(exe.c_str(), exe.c_str(), secs, static_cast<char*>(nullptr));
        _exit(127);
    }
    case kRenamer: {
        double end = now_s() + life_ms / 1000.0;
        while (now_s() < end) {
            set_name(kNames[rnd(0, unsigned(kNameCount - 1))]);
            sleep_ms(1);
        }
        _exit(0);
    }
    case kThreads: {
        set_name(name);
        for (int k = 0; k < 4; ++k) {
            pthread_t t;
            pthread_create(&t, nullptr, idle_thread, nullptr);
        }
        sleep_ms(life_ms);
        _exit(0);
    }
    case kNamed:
    case kStopped:
    default:
        set_name(name);
        sleep_ms(life_ms);
        _exit(0);
    }
}

struct Child {
    pid_t pid;
    double reap_at; // zombies are left unreaped until then
    double kill_at; // stopped ones are killed then
};

// A uid that no account has, for processes whose owner has no name.
uid_t unnamed_uid() {
    for (uid_t u = 61234; u < 62234; ++u)
        if (!getpwuid(u))
            return u;
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: %s SECONDS [PER_SECOND]\n", argv[0]);
        return 2;
    }
    double seconds = atof(argv[1]);
    double rate = argc > 2 ? atof(argv[2]) : 60.0;
    if (seconds <= 0 || rate <= 0)
        return 2;
    rng_state ^= (unsigned long long)getpid() << 20;
    signal(SIGTERM, on_signal);
    signal(SIGINT, on_signal);

    uid_t foreign = geteuid() == 0 ? unnamed_uid() : 0;
    if (foreign == 0)
        printf("churn: not root, so no processes under a uid without a password entry\n");

    // A program under a file name with blanks and parentheses; its command
    // name is that file name.
    char dir[] = "/tmp/orvel-churn.XXXXXX";
    std::string exe;
    if (mkdtemp(dir)) {
        exe = std::string(dir) + "/sl (ee) p 9";
        if (symlink("/bin/sleep", exe.c_str()) != 0)
            exe = "/bin/sleep";
    } else {
        exe = "/bin/sleep";
    }

    std::vector<Child> live;
    unsigned long spawned = 0;
    unsigned long per_kind[kKinds] = {};
    size_t turn = 0;
    double start = now_s();
    double next = start;
    while (!stop && now_s() - start < seconds) {
        double t = now_s();
        while (t >= next && live.size() < 400) {
            next += 1.0 / rate;
            Kind kind = kRotation[turn++ % (sizeof kRotation / sizeof kRotation[0])];
            if (kind == kForeign && foreign == 0)
                kind = kNamed;
            unsigned life = kind == kBusy ? rnd(100, 700) : rnd(20, 1500);
            fflush(stdout);
            pid_t pid = fork();
            if (pid == 0)
                child(kind, life, foreign, exe);
            if (pid < 0)
                break;
            ++spawned;
            ++per_kind[kind];
            Child c = {pid, 0, 0};
            if (kind == kZombie)
                c.reap_at = t + rnd(100, 900) / 1000.0;
            if (kind == kStopped) {
                kill(pid, SIGSTOP);
                c.kill_at = t + rnd(200, 900) / 1000.0;
            }
            live.push_back(c);
        }
        if (t >= next)
            next = t; // at the cap: no catching up later
        for (size_t k = 0; k < live.size();) {
            Child& c = live[k];
            if (c.kill_at > 0 && t >= c.kill_at) {
                kill(c.pid, SIGKILL);
                c.kill_at = 0;
            }
            if (t >= c.reap_at && waitpid(c.pid, nullptr, WNOHANG) == c.pid) {
                c = live.back();
                live.pop_back();
                continue;
            }
            ++k;
        }
        sleep_ms(2);
    }
    double took = now_s() - start;
    for (Child& c : live)
        kill(c.pid, SIGKILL);
    for (Child& c : live)
        waitpid(c.pid, nullptr, 0);
    if (exe != "/bin/sleep") {
        unlink(exe.c_str());
        rmdir(dir);
    }

    printf("churn: %lu processes in %.1f s (%.1f/s):", spawned, took, spawned / took);
    for (int k = 0; k < kKinds; ++k)
        printf(" %lu %s%s", per_kind[k], kKindNames[k], k + 1 < kKinds ? "," : "");
    if (foreign)
        printf("; uid %u has no password entry", unsigned(foreign));
    printf("\n");
    return 0;
}
