// CPU time of one whole refresh cycle of the real window: samplers, scan,
// table, sort, list update and texts. Prints the median over the measured
// cycles after the warm-up ones; painting happens between cycles, unmeasured.
//
// With --storm N: N extra idle processes appear between two cycles and later
// all end at once. Prints the cycle in which they appear, the steady cycles
// with them, the cycle in which they end (CPU and wall time each), the floor
// with them both cold and warm, and the window's resident memory. --room-only
// checks that there is room for them and measures nothing. --perf-ctl FIFO:
// perf record's control FIFO (--control=fifo:FIFO -D -1), enabled for the
// appear cycle alone, as callgrind's collection is. --focus-row gives the top
// row the focus before they appear.
//
// With --status-calls K: then the median CPU time of telling K new status
// texts to the accessibility bus.
//
// With --storm N --search-keys K instead: N extra idle processes listed, the
// CPU time of K keys typed into the list that no row's name or PID starts
// with: each searches every row, from the focused one round to it.
#include "accessible.h"
#include "floor_scan.h"
#include "frame_access.h"
#include "process_table.h"
#include "toolkit.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>

#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#else
#define CALLGRIND_TOGGLE_COLLECT
#endif

namespace {

// perf record's control FIFO, or -1.
int perfCtl = -1;

void perfSwitch(bool on) {
    if (perfCtl >= 0 && write(perfCtl, on ? "enable\n" : "disable\n", on ? 7 : 8) < 0)
        perror("perf control");
}

void say(const char* name, double value) {
    printf("%s %.1f\n", name, value);
}

void say(const char* name, long value) {
    printf("%s %ld\n", name, value);
}

long readLong(const char* path) {
    long v = -1;
    if (FILE* f = fopen(path, "r")) {
        if (fscanf(f, "%ld", &v) != 1)
            v = -1;
        fclose(f);
    }
    return v;
}

// Threads on the machine, the fourth field of /proc/loadavg: each holds a
// PID and counts against threads-max.
long machineThreads() {
    long running = 0, all = -1;
    if (FILE* f = fopen("/proc/loadavg", "r")) {
        if (fscanf(f, "%*s %*s %*s %ld/%ld", &running, &all) != 2)
            all = -1;
        fclose(f);
    }
    return all;
}

// What keeps n more processes from starting, or "" when there is room. Prints
// what it looked at.
std::string roomShortfall(long n) {
    // For the machine's own new processes (another build, say) meanwhile.
    const long kMargin = 1000;
    long threads = machineThreads();
    long pidMax = readLong("/proc/sys/kernel/pid_max");
    long threadsMax = readLong("/proc/sys/kernel/threads-max");
    rlimit files{}, procs{};
    getrlimit(RLIMIT_NOFILE, &files);
    getrlimit(RLIMIT_NPROC, &procs);
    long need = threads + n + kMargin;
    say("storm_machine_threads", threads);
    say("storm_pid_max", pidMax);
    say("storm_threads_max", threadsMax);
    say("storm_open_files_hard_limit",
        files.rlim_max == RLIM_INFINITY ? -1L : static_cast<long>(files.rlim_max));
    std::string why;
    auto shortOf = [&](const char* what, long have) {
        why += std::string(why.empty() ? "" : "; ") + what + " is " + std::to_string(have) + ", " +
               std::to_string(n) + " extra processes need " + std::to_string(need);
    };
    // After a wrap the kernel hands out PIDs from 300 on.
    if (threads < 0 || pidMax - 300 < need)
        shortOf("pid_max", pidMax);
    if (threadsMax < need)
        shortOf("threads-max", threadsMax);
    // Root is not held to it.
    if (geteuid() != 0 && procs.rlim_cur != RLIM_INFINITY &&
        static_cast<long>(procs.rlim_cur) < need)
        shortOf("RLIMIT_NPROC (ulimit -u)", static_cast<long>(procs.rlim_cur));
    return why;
}

// A set of idle children: the helper program forks them, and ends them all at
// once when it is told to, waiting for each.
class IdleChildren {
public:
    IdleChildren(const std::string& helper, long n) {
        int out[2];
        if (pipe2(out, O_CLOEXEC) != 0)
            return;
        posix_spawn_file_actions_t acts;
        posix_spawn_file_actions_init(&acts);
        posix_spawn_file_actions_adddup2(&acts, out[1], 1);
        std::string count = std::to_string(n);
        char* args[] = {const_cast<char*>(helper.c_str()), const_cast<char*>(count.c_str()),
                        nullptr};
        if (posix_spawn(&pid_, helper.c_str(), &acts, nullptr, args, environ) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&acts);
        close(out[1]);
        std::string said;
        char buf[256];
        for (ssize_t got;
             pid_ > 0 && said.find('\n') == std::string::npos &&
             ((got = read(out[0], buf, sizeof buf)) > 0 || (got < 0 && errno == EINTR));)
            if (got > 0)
                said.append(buf, size_t(got));
        close(out[0]);
        ok_ = said.compare(0, 6, "ready ") == 0;
        if (!ok_)
            fprintf(stderr, "the helper could not fork %ld children: %s\n", n, said.c_str());
    }
    ~IdleChildren() { end(); }
    IdleChildren(const IdleChildren&) = delete;
    IdleChildren& operator=(const IdleChildren&) = delete;

    bool ok() const { return ok_; }
    // Returns once the helper has reaped every child: then none is left in
    // /proc.
    void end() {
        if (pid_ <= 0)
            return;
        kill(pid_, SIGTERM);
        while (waitpid(pid_, nullptr, 0) < 0 && errno == EINTR)
            ;
        pid_ = -1;
    }

private:
    pid_t pid_ = -1;
    bool ok_ = false;
};

struct Took {
    double cpuUs, wallUs;
};

template <class F> Took timed(F f) {
    double c0 = cpuNow(), w0 = wallNow();
    f();
    return {(cpuNow() - c0) * 1e6, (wallNow() - w0) * 1e6};
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// A line of /proc/self/status in kB ("VmRSS"), or -1.
long statusKb(const char* key) {
    FILE* f = fopen("/proc/self/status", "r");
    if (!f)
        return -1;
    char line[256];
    long kb = -1;
    size_t n = strlen(key);
    while (kb < 0 && fgets(line, sizeof line, f))
        if (!strncmp(line, key, n) && line[n] == ':')
            kb = atol(line + n + 1);
    fclose(f);
    return kb;
}

long openFiles() {
    long n = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (readdir(d))
            ++n;
        closedir(d);
    }
    return n - 3; // ".", ".." and the listing's own
}

// The storm: see the top of the file. The cold floor and the appear cycle
// are each the first look at their processes, so each gets a set of its own.
int storm(orvelFrame* frame, long n, const std::string& helper, int warmup, int steady, int scans,
          int gap_ms, bool focusRow) {
    auto gap = [&] { pumpEvents(gap_ms); };
    auto cycle = [&] { runCycle(frame); };
    auto rows = [&]() -> long { return orvelFrameAccess::list(frame)->GetItemCount(); };
    int procfd = open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (procfd < 0)
        return 1;
    gap();
    for (int i = 0; i < warmup; ++i) {
        cycle();
        gap();
    }
    // A focused row, as a screen reader's user has: the new rows come above it.
    if (focusRow)
        orvelFrameAccess::list(frame)->SetItemState(0, wxLIST_STATE_FOCUSED, wxLIST_STATE_FOCUSED);
    say("storm_rows_before", rows());
    say("storm_extra", n);
    {
        IdleChildren first(helper, n);
        if (!first.ok())
            return 1;
        gap();
        long files = 0;
        Took t = timed([&] { files = scan(procfd, readOnce); });
        say("storm_floor_cold_us", t.cpuUs);
        say("storm_floor_cold_wall_us", t.wallUs);
        say("storm_floor_cold_files", files);
    }
    IdleChildren kids(helper, n);
    if (!kids.ok())
        return 1;
    gap();
    // Under valgrind --collect-atstart=no only this cycle counts.
    CALLGRIND_TOGGLE_COLLECT;
    perfSwitch(true);
    Took appear = timed(cycle);
    perfSwitch(false);
    CALLGRIND_TOGGLE_COLLECT;
    say("storm_appear_us", appear.cpuUs);
    say("storm_appear_wall_us", appear.wallUs);
    say("storm_appear_rows", rows());
    gap();
    Took next = timed(cycle);
    say("storm_next_us", next.cpuUs);
    say("storm_next_wall_us", next.wallUs);
    // The table opens the files it holds for a storm over the cycles after
    // it: the most costly of them, then the steady ones once it holds all.
    double ramp = next.cpuUs;
    for (long held = long(kHoldsPerScan); held < n; held += long(kHoldsPerScan)) {
        gap();
        ramp = std::max(ramp, timed(cycle).cpuUs);
    }
    say("storm_ramp_us", ramp);
    std::vector<double> cpu, wall;
    for (int i = 0; i < steady; ++i) {
        gap();
        Took t = timed(cycle);
        cpu.push_back(t.cpuUs);
        wall.push_back(t.wallUs);
    }
    say("storm_steady_us", median(cpu));
    say("storm_steady_wall_us", median(wall));
    say("storm_rows", rows());
    say("storm_rss_kb", statusKb("VmRSS"));
    say("storm_open_files", openFiles());
    long files = 0;
    say("storm_floor_us", medianScan(readOnce, procfd, scans, gap, &files));
    say("storm_floor_files", files);
    Took ending = timed([&] { kids.end(); });
    say("storm_kill_wall_us", ending.wallUs);
    gap();
    Took end = timed(cycle);
    say("storm_end_us", end.cpuUs);
    say("storm_end_wall_us", end.wallUs);
    say("storm_end_rows", rows());
    gap();
    say("storm_rss_end_kb", statusKb("VmRSS"));
    say("storm_hwm_kb", statusKb("VmHWM"));
    close(procfd);
    return 0;
}

int searchKeys(orvelFrame* frame, long n, const std::string& helper, int keys) {
    IdleChildren kids(helper, n);
    if (!kids.ok())
        return 1;
    runCycle(frame);
    runCycle(frame);
    wxListCtrl* list = orvelFrameAccess::list(frame);
    list->SetItemState(0, wxLIST_STATE_FOCUSED, wxLIST_STATE_FOCUSED);
    std::vector<double> us;
    for (int i = 0; i < keys; ++i) {
        // The rows window's character, as GTK hands it on; a second apart,
        // each key begins a new text.
        wxKeyEvent key(wxEVT_CHAR);
        key.m_keyCode = key.m_uniChar = '~';
        key.SetTimestamp(2000 * (i + 1));
        us.push_back(
            timed([&] { list->GetMainWindowOfCompositeControl()->HandleWindowEvent(key); }).cpuUs);
    }
    say("search_rows", long(list->GetItemCount()));
    say("search_focus_moved", long(list->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_FOCUSED)));
    say("search_us_median", median(us));
    say("search_us_max", *std::max_element(us.begin(), us.end()));
    return 0;
}

// The helper next to this program.
std::string helperBeside(const char* self) {
    char path[4096];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    std::string p = n > 0 ? std::string(path, size_t(n)) : std::string(self);
    size_t slash = p.rfind('/');
    return (slash == std::string::npos ? std::string(".") : p.substr(0, slash)) +
           "/orvel_idle_children";
}

} // namespace

int main(int argc, char** argv) {
    int cycles = 25, warmup = 2, gap_ms = 500, steady = 5, scans = 5;
    long stormN = 0;
    bool roomOnly = false, focusRow = false;
    int statusCalls = 0, keys = 0;
    const char* data = nullptr;
    std::string helper = helperBeside(argv[0]);
    for (int i = 1; i < argc; ++i) {
        const char* v = i + 1 < argc ? argv[i + 1] : "";
        if (!strcmp(argv[i], "--room-only") || !strcmp(argv[i], "--focus-row")) {
            (argv[i][2] == 'r' ? roomOnly : focusRow) = true;
            continue;
        }
        if (!strcmp(argv[i], "--cycles"))
            cycles = atoi(v);
        else if (!strcmp(argv[i], "--warmup"))
            warmup = atoi(v);
        else if (!strcmp(argv[i], "--gap-ms"))
            gap_ms = atoi(v);
        else if (!strcmp(argv[i], "--data"))
            data = v;
        else if (!strcmp(argv[i], "--storm"))
            stormN = atol(v);
        else if (!strcmp(argv[i], "--steady"))
            steady = atoi(v);
        else if (!strcmp(argv[i], "--scans"))
            scans = atoi(v);
        else if (!strcmp(argv[i], "--helper"))
            helper = v;
        else if (!strcmp(argv[i], "--perf-ctl"))
            perfCtl = open(v, O_WRONLY | O_CLOEXEC);
        else if (!strcmp(argv[i], "--status-calls"))
            statusCalls = atoi(v);
        else if (!strcmp(argv[i], "--search-keys"))
            keys = atoi(v);
        ++i;
    }
    if (cycles < 1)
        cycles = 1;
    if (steady < 1)
        steady = 1;
    if (scans < 1)
        scans = 1;
    if (stormN > 0) {
        std::string why = roomShortfall(stormN);
        if (!why.empty()) {
            printf("storm_no_room 1\n");
            fprintf(stderr, "no room for the storm: %s\n", why.c_str());
            return 3;
        }
        if (roomOnly)
            return 0;
    }
    int wxargc = 1;
    // Standard output holds the figures alone.
    if (!startToolkit(wxargc, argv,
                      [](const std::string& what) { fprintf(stderr, "%s\n", what.c_str()); }))
        return 2;
    char old[4096];
    if (data && (!getcwd(old, sizeof old) || chdir(data) != 0))
        data = nullptr;
    orvelFrame* frame = new orvelFrame(nullptr);
    orvelFrameAccess::timer(frame).Stop(); // only the cycles run here count
    if (data && chdir(old) != 0)
        return 1;
    frame->Show(true);
    pumpEvents(300);
    if (stormN > 0) {
        int rc = keys > 0 ? searchKeys(frame, stormN, helper, keys)
                          : storm(frame, stormN, helper, warmup, steady, scans, gap_ms, focusRow);
        frame->Destroy();
        pumpEvents(50);
        stopToolkit();
        return rc;
    }

    // withPaint: the cycle and the event loop's work after it (layout,
    // painting) until the next one.
    std::vector<double> us, withPaint;
    pumpEvents(gap_ms);
    for (int i = 0; i < warmup + cycles; ++i) {
        // Under valgrind --collect-atstart=no only the measured cycles count.
        bool measured = i >= warmup;
        if (measured)
            CALLGRIND_TOGGLE_COLLECT;
        double t0 = cpuNow();
        runCycle(frame);
        double t1 = cpuNow();
        if (measured)
            CALLGRIND_TOGGLE_COLLECT;
        pumpEvents(gap_ms);
        double t2 = cpuNow();
        if (measured) {
            us.push_back((t1 - t0) * 1e6);
            withPaint.push_back((t2 - t0) * 1e6);
        }
    }
    long rows = orvelFrameAccess::list(frame)->GetItemCount();
    std::sort(us.begin(), us.end());
    std::sort(withPaint.begin(), withPaint.end());
    printf("cycle_us_median %.1f\ncycle_us_min %.1f\ncycle_us_max %.1f\ncycle_rows %ld\n"
           "cycle_paint_us_median %.1f\n",
           us[us.size() / 2], us.front(), us.back(), rows, withPaint[withPaint.size() / 2]);
    // The accessible's part of a steady cycle alone: the status bar's new
    // name told to whoever listens.
    std::vector<double> told;
    wxStatusBar* bar = orvelFrameAccess::status(frame);
    const wxString status = bar->GetStatusText();
    for (int i = 0; i < statusCalls; ++i) {
        bar->SetStatusText(i % 2 ? status + _T(" ") : status);
        double t0 = cpuNow();
        statusTextChanged(bar);
        told.push_back((cpuNow() - t0) * 1e6);
        pumpEvents(5);
    }
    std::sort(told.begin(), told.end());
    if (!told.empty())
        printf("status_told_us_median %.2f\n", told[told.size() / 2]);
    frame->Destroy();
    pumpEvents(50);
    stopToolkit();
    return 0;
}
