// The window's main loop, measured on the real window under Xvfb: what of the
// list a refresh paints and what a refresh costs, and how the loop fares when
// cycles outlast the interval. The window lists only what this program makes
// (a PID namespace of its own, which needs root): N idle processes and three
// short-lived ones.
//
// loop --idle N --steady S --churn C: S cycles in which nothing comes or
// goes, then C in which one process starts and one ends (the third newest,
// so the count stays the same), 500 ms apart. Prints, for each kind, the
// median area of the list's rows window painted per cycle, in rows, and the
// mean CPU time of the whole process per cycle, painting included.
//
// loop --slow K --idle N: the window starved of CPU (its threads pinned to
// CPU 0 at nice 19 beside a busy loop at nice 0 on the same CPU) runs its
// own timer at the fast speed, 500 ms. Prints the gaps between a cycle's end
// and the next tick over K cycles, then presses Alt+F4 (from a thread of
// normal priority) while cycle K + 1 runs and prints the time until the
// event loop returned, the window deleted; --cap seconds (60) at most. A
// window manager must run (bench/loop.sh starts one), at its own priority.
#include "children.h"
#include "floor_scan.h"
#include "frame_access.h"
#include "toolkit.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

double median(std::vector<double> v) {
    if (v.empty())
        return -1;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// What the window lists: n idle processes, and three short-lived ones of
// which step() ends the oldest and starts one. A process of their own forks
// them: forks of the window's would have it copy each page it writes after.
class Processes {
public:
    explicit Processes(long n) {
        if (pipe(cmd_) != 0 || pipe(reply_) != 0)
            return;
        ChildOptions o;
        o.name = "orvel-idle";
        const int in = cmd_[0], out = reply_[1];
        o.body = [n, in, out] {
            // Made at the machine's pace, whatever the window's.
            cpu_set_t all;
            CPU_ZERO(&all);
            for (int c = 0; c < CPU_SETSIZE; ++c)
                CPU_SET(c, &all);
            sched_setaffinity(0, sizeof all, &all);
            setpriority(PRIO_PROCESS, 0, 0);
            auto idleChild = [] {
                pid_t p = fork();
                if (p == 0) {
                    close_range(3, ~0U, 0); // the report's pipe ends with its writer
                    for (;;)
                        pause();
                }
                return p;
            };
            for (long i = 0; i < n; ++i)
                idleChild();
            if (fork() == 0) {
                for (int fd = 3; fd < 1024; ++fd)
                    if (fd != in && fd != out)
                        close(fd);
                std::deque<pid_t> shortLived;
                for (int i = 0; i < 3; ++i)
                    shortLived.push_back(idleChild());
                for (char c; read(in, &c, 1) == 1;) {
                    kill(shortLived.front(), SIGKILL);
                    waitpid(shortLived.front(), nullptr, 0);
                    shortLived.pop_front();
                    shortLived.push_back(idleChild());
                    if (write(out, &c, 1) != 1)
                        break;
                }
                _exit(0);
            }
            return std::string("ok");
        };
        host_ = std::make_unique<Child>(o);
    }
    bool ok() const { return host_ && host_->ok(); }
    // Returns once both are done.
    bool step() {
        char c = 's';
        return write(cmd_[1], &c, 1) == 1 && read(reply_[0], &c, 1) == 1;
    }

private:
    int cmd_[2] = {-1, -1}, reply_[2] = {-1, -1};
    std::unique_ptr<Child> host_;
};

// Sums the area of the paint events of the list's rows window.
struct PaintedArea {
    explicit PaintedArea(wxWindow* w) {
        w->Bind(wxEVT_PAINT, [this](wxPaintEvent& e) {
            for (wxRegionIterator r(static_cast<wxWindow*>(e.GetEventObject())->GetUpdateRegion());
                 r; ++r)
                area += double(r.GetW()) * r.GetH();
            e.Skip();
        });
    }
    double area = 0;
};

int painting(orvelFrame* frame, long idle, int steady, int churn) {
    wxListCtrl* list = orvelFrameAccess::list(frame);
    wxWindow* rows = list->GetMainWindowOfCompositeControl();
    Processes listed(idle);
    if (!listed.ok())
        return 1;
    runCycle(frame);
    if (!showUntilPainted(frame, rows, 30000))
        return 1;
    PaintedArea painted(rows);
    // Warm-up, till the table holds every process's files and the newest
    // rows on top are the short-lived ones in the order they started.
    for (int i = 0; i < 3; ++i) {
        pumpEvents(500);
        if (!listed.step())
            return 1;
        runCycle(frame);
    }
    pumpEvents(500);
    wxRect r;
    list->GetItemRect(0, r);
    // In rows as the list draws one: its columns' width by its height.
    const double rowArea = double(r.width) * r.height;
    const wxSize all = rows->GetClientSize();
    printf("row_px %dx%d\nwindow_px %dx%d\nwindow_rows %.1f\nlist_rows %d\n", r.width, r.height,
           all.GetWidth(), all.GetHeight(), all.GetWidth() * all.GetHeight() / rowArea,
           list->GetItemCount());
    auto measure = [&](const char* kind, int cycles, bool churning) {
        std::vector<double> area, cpu;
        double total = 0;
        for (int i = 0; i < cycles; ++i) {
            if (churning && !listed.step())
                break;
            painted.area = 0;
            const double t0 = cpuNow();
            runCycle(frame);
            pumpEvents(500);
            cpu.push_back((cpuNow() - t0) * 1e6);
            total += cpu.back();
            area.push_back(painted.area / rowArea);
        }
        printf("%s_painted_rows %.2f\n%s_painted_rows_max %.2f\n%s_cpu_us %.0f\n"
               "%s_cpu_us_median %.0f\n",
               kind, median(area), kind, *std::max_element(area.begin(), area.end()), kind,
               total / cycles, kind, median(cpu));
    };
    if (steady > 0)
        measure("steady", steady, false);
    if (churn > 0)
        measure("churn", churn, true);
    printf("list_rows_end %d\n", list->GetItemCount());
    return 0;
}

// Presses Alt+F4 when asked, on a display connection of its own; ends the
// program when the window has not gone within the cap.
class Closer {
public:
    explicit Closer(int capSeconds) : thread_([this, capSeconds] { run(capSeconds); }) {}
    ~Closer() {
        {
            std::lock_guard<std::mutex> l(m_);
            done_ = true;
        }
        cv_.notify_all();
        thread_.join();
    }
    void press() {
        {
            std::lock_guard<std::mutex> l(m_);
            asked_ = true;
        }
        cv_.notify_all();
    }
    std::atomic<int> cyclesAfter{0};

private:
    void run(int capSeconds) {
        std::unique_lock<std::mutex> l(m_);
        cv_.wait(l, [this] { return asked_ || done_; });
        if (done_)
            return;
        if (Display* d = XOpenDisplay(nullptr)) {
            const KeyCode alt = XKeysymToKeycode(d, XK_Alt_L), f4 = XKeysymToKeycode(d, XK_F4);
            for (auto [key, down] : {std::pair{alt, True}, {f4, True}, {f4, False}, {alt, False}})
                XTestFakeKeyEvent(d, key, down, CurrentTime);
            XSync(d, False);
            XCloseDisplay(d);
        }
        if (!cv_.wait_for(l, std::chrono::seconds(capSeconds), [this] { return done_; })) {
            printf("close_ms -1\ncycles_after_close %d\n", cyclesAfter.load());
            fflush(stdout);
            _exit(0);
        }
    }
    std::mutex m_;
    std::condition_variable cv_;
    bool asked_ = false, done_ = false;
    std::thread thread_;
};

using Clock = std::chrono::steady_clock;
double msBetween(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
}

int slow(orvelFrame* frame, Closer& closer, long idle, int k) {
    Processes listed(idle);
    if (!listed.ok())
        return 1;
    wxWindow* rows = orvelFrameAccess::list(frame)->GetMainWindowOfCompositeControl();
    if (!showUntilPainted(frame, rows, 30000))
        return 1;
    std::vector<Clock::time_point> starts, ends;
    Clock::time_point asked;
    double askedCpu = 0;
    // Cycles after which the window's idle time ran before the next tick.
    int idled = 0;
    bool idleRan = false;
    frame->Bind(wxEVT_IDLE, [&](wxIdleEvent& e) {
        idleRan = true;
        e.Skip();
    });
    frame->Bind(
        wxEVT_TIMER,
        [&](wxTimerEvent& e) {
            starts.push_back(Clock::now());
            idled += idleRan && !ends.empty() && int(ends.size()) <= k;
            if (int(ends.size()) == k) {
                asked = Clock::now();
                askedCpu = cpuNow();
                closer.press();
            }
            e.Skip();
        },
        orvelFrameAccess::timerId());
    // The gaps are told once the cycle the close is asked in has ended, as
    // the window may never end.
    AfterEachCycle after(frame, [&] {
        ends.push_back(Clock::now());
        idleRan = false;
        if (int(ends.size()) > k + 1)
            ++closer.cyclesAfter; // after the one in progress
        if (int(ends.size()) != k + 1)
            return;
        std::vector<double> gaps, cycles;
        for (int i = 0; i <= k; ++i) {
            cycles.push_back(msBetween(starts[i], ends[i]));
            if (i < k)
                gaps.push_back(msBetween(ends[i], starts[i + 1]));
        }
        printf("cycle_ms_median %.0f\ncycle_ms_min %.0f\ngap_ms_median %.1f\ngap_ms_min %.1f\n"
               "gaps_with_idle %d\ngaps %d\n",
               median(cycles), *std::min_element(cycles.begin(), cycles.end()), median(gaps),
               *std::min_element(gaps.begin(), gaps.end()), idled, k);
        fflush(stdout);
    });
    chooseMenuItem(frame, "빠름 (&H)");
    wxTheApp->SetExitOnFrameDelete(true);
    wxTheApp->MainLoop();
    const Clock::time_point gone = Clock::now();
    printf("close_ms %.0f\nclose_after_its_cycle_ms %.0f\ncycles_after_close %d\n"
           "close_cpu_ms %.1f\n",
           msBetween(asked, gone), ends.size() > size_t(k) ? msBetween(ends[k], gone) : -1.0,
           closer.cyclesAfter.load(), (cpuNow() - askedCpu) * 1e3);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    long idle = 40;
    int steady = 0, churn = 0, slowCycles = 0, cap = 60;
    const char* data = nullptr;
    for (int i = 1; i + 1 < argc; i += 2) {
        const char* v = argv[i + 1];
        if (!strcmp(argv[i], "--idle"))
            idle = atol(v);
        else if (!strcmp(argv[i], "--steady"))
            steady = atoi(v);
        else if (!strcmp(argv[i], "--churn"))
            churn = atoi(v);
        else if (!strcmp(argv[i], "--slow"))
            slowCycles = atoi(v);
        else if (!strcmp(argv[i], "--cap"))
            cap = atoi(v);
        else if (!strcmp(argv[i], "--data"))
            data = v;
    }
    // Before any thread: the busy loop at nice 0 and the closer's thread are
    // left as they are; the window's thread, and those the toolkit makes
    // from it, go to CPU 0 at nice 19.
    std::unique_ptr<Child> busy;
    std::unique_ptr<Closer> closer;
    if (slowCycles > 0) {
        ChildOptions o;
        o.name = "orvel-busy";
        o.busy = true;
        busy = std::make_unique<Child>(o);
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(0, &one);
        if (!busy->ok() || sched_setaffinity(busy->pid(), sizeof one, &one) != 0)
            return 1;
        closer = std::make_unique<Closer>(cap);
        const pid_t self = static_cast<pid_t>(syscall(SYS_gettid));
        if (sched_setaffinity(self, sizeof one, &one) != 0 || setpriority(PRIO_PROCESS, self, 19))
            return 1;
    }
    int wxargc = 1;
    if (!startToolkit(wxargc, argv,
                      [](const std::string& what) { fprintf(stderr, "%s\n", what.c_str()); }))
        return 2;
    OwnProcessView view;
    if (!view.ok()) {
        fprintf(stderr, "%s\n", view.why().c_str());
        return 3;
    }
    char old[4096];
    if (data && (!getcwd(old, sizeof old) || chdir(data) != 0))
        data = nullptr;
    orvelFrame* frame = new orvelFrame(nullptr);
    orvelFrameAccess::timer(frame).Stop();
    if (data && chdir(old) != 0)
        return 1;
    int rc = slowCycles > 0 ? slow(frame, *closer, idle, slowCycles)
                            : painting(frame, idle, steady, churn);
    if (slowCycles == 0) {
        frame->Destroy();
        pumpEvents(50);
    }
    fflush(stdout);
    closer.reset();
    stopToolkit();
    return rc;
}
