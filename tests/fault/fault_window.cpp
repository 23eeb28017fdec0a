// The real window in a private mount namespace, with files of its own bound
// over the kernel's, through one fault scenario:
//   orvel_fault_window SCENARIO STDERR_FILE
// Needs root. The fixtures are bound before the first refresh cycle, since the
// CPU and memory readers hold their files open from then on; the faults are
// switched on and off by rewriting a fixture in place, which a held file
// sees. Where a reader is to open its file again after a failed read, the
// fixture is finally unmounted and the kernel's file must come through.
// Standard error must be a file (STDERR_FILE names it), so each cycle's
// messages can be checked. Prints "FAIL: ..." for each problem; exits 1 then.
#include "reader_messages.h"
#include "shown.h"
#include "toolkit.h"
#include "wait_for.h"

#include <cerrno>
#include <cinttypes>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <linux/capability.h>
#include <memory>
#include <sched.h>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

namespace {

int failures = 0;
std::string phase = "start";
int cycleInPhase = 0;

void fail(const std::string& what) {
    if (++failures <= 40)
        printf("FAIL: %s, cycle %d: %s\n", phase.c_str(), cycleInPhase, what.c_str());
}

void failUnless(bool cond, const std::string& what) {
    if (!cond)
        fail(what);
}

std::string readAll(int fd) {
    std::string text;
    char buf[8192];
    for (off_t off = 0;;) {
        ssize_t n = pread(fd, buf, sizeof buf, off);
        if (n <= 0)
            break;
        text.append(buf, size_t(n));
        off += n;
    }
    return text;
}

bool writeFile(const std::string& path, const std::string& text) {
    int fd = open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool ok = write(fd, text.data(), text.size()) == ssize_t(text.size());
    close(fd);
    return ok;
}

// A file of ours bound over one of the kernel's.
struct Fixture {
    std::string target, path;
    int kernel = -1; // the kernel's file, opened before the mount hides it
    bool mounted = false;

    bool setUp(const std::string& dir, const std::string& kernelFile) {
        target = kernelFile;
        path = dir + "/" + kernelFile.substr(kernelFile.rfind('/') + 1);
        kernel = open(target.c_str(), O_RDONLY | O_CLOEXEC);
        int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0444);
        if (kernel < 0 || fd < 0)
            return false;
        close(fd);
        set(kernelText());
        mounted = mount(path.c_str(), target.c_str(), nullptr, MS_BIND, nullptr) == 0;
        return mounted;
    }
    std::string kernelText() const { return readAll(kernel); }
    void set(const std::string& text) {
        if (!writeFile(path, text))
            fail("cannot write " + path);
    }
    void unmount() {
        // Detached, as a held file keeps the mount busy.
        if (umount2(target.c_str(), MNT_DETACH) != 0)
            fail("cannot unmount " + target + ": " + strerror(errno));
        mounted = false;
    }
};

// Root without the right to pass over file permissions: an unreadable
// directory or file then stays unreadable.
void passOverPermissions(bool allowed) {
    __user_cap_header_struct head = {_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    if (syscall(SYS_capget, &head, data) != 0)
        fail("capget");
    unsigned bits = (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH);
    data[0].effective =
        allowed ? data[0].effective | (data[0].permitted & bits) : data[0].effective & ~bits;
    if (syscall(SYS_capset, &head, data) != 0)
        fail("capset");
}

// Standard error since the last look.
struct ErrorsSince {
    int fd = -1;
    off_t seen = 0;
    std::string take() {
        std::string all = readAll(fd);
        std::string fresh = all.size() > size_t(seen) ? all.substr(size_t(seen)) : std::string();
        seen = off_t(all.size());
        return fresh;
    }
};

// The readers' messages of one cycle: exactly these (stat files of vanished
// processes aside), and nothing else.
void expectMessages(const ReaderMessages& m, std::initializer_list<const char*> wanted) {
    if (!m.unexpected.empty())
        fail("standard error held \"" + m.unexpected + "\"");
    for (const char* const* k = readerMessageList(); *k; ++k) {
        std::string msg = *k;
        if (msg.compare(0, 5, "open:") == 0)
            continue;
        int want = 0;
        for (const char* w : wanted)
            want += msg == w;
        if (m.count(msg) != want)
            fail("\"" + msg + "\" written " + std::to_string(m.count(msg)) + " times, not " +
                 std::to_string(want));
    }
}

// The first line's user, kernel and idle ticks, as the sampler reads them.
struct Ticks {
    bool ok = false;
    unsigned long long u = 0, s = 0, i = 0;
};
Ticks ticksOf(const std::string& text) {
    Ticks t;
    unsigned long long n;
    t.ok = sscanf(text.c_str(), "cpu %llu %llu %llu %llu", &t.u, &n, &t.s, &t.i) == 4 &&
           text.compare(0, 4, "cpu ") == 0;
    return t;
}

// "cpu  u n s i" only, as older kernels print it, from the kernel's line.
std::string fourValues(const std::string& kernel) {
    unsigned long long v[4] = {};
    sscanf(kernel.c_str(), "cpu %llu %llu %llu %llu", &v[0], &v[1], &v[2], &v[3]);
    char line[128];
    snprintf(line, sizeof line, "cpu  %llu %llu %llu %llu\n", v[0], v[1], v[2], v[3]);
    return line;
}

// Where the line that starts with key begins, or npos.
size_t lineOf(const std::string& text, const std::string& key) {
    if (text.compare(0, key.size(), key) == 0)
        return 0;
    size_t p = text.find("\n" + key);
    return p == std::string::npos ? p : p + 1;
}

unsigned long long meminfoValue(const std::string& text, const std::string& key) {
    size_t p = lineOf(text, key);
    return p == std::string::npos ? 0 : strtoull(text.c_str() + p + key.size(), nullptr, 10);
}

std::string withoutLine(const std::string& text, const std::string& key) {
    size_t p = lineOf(text, key);
    if (p == std::string::npos)
        return text;
    size_t end = text.find('\n', p);
    return text.substr(0, p) + (end == std::string::npos ? "" : text.substr(end + 1));
}

struct Step {
    std::string phase;
    std::function<void()> prepare;                                  // before the cycle
    std::function<void(const Shown&, const ReaderMessages&)> check; // after it
};

orvelFrame* frame = nullptr;

// CPU figures: the record shows the interval since the last line the sampler
// could use, or keeps its figures with a tick total of 0.
struct CpuExpectation {
    Ticks lastGood;
    CPU_t previous{};
    bool havePrevious = false;

    void after(const Ticks& now, const Shown& s) {
        const CPU_t& c = *orvelFrameAccess::cpus(frame);
        char want[64];
        if (now.ok && lastGood.ok) {
            unsigned du = unsigned(now.u - lastGood.u), ds = unsigned(now.s - lastGood.s),
                     di = unsigned(now.i - lastGood.i);
            unsigned long long total = 0ull + du + ds + di;
            if (total > 0) {
                double tot = (double(du) + ds) * 100.0 / double(total);
                snprintf(want, sizeof want, "%.2f", tot);
                failUnless(std::fabs(c.usage_tot - tot) < 0.01 &&
                               c.total_sav == int(std::min<unsigned long long>(total, INT_MAX)),
                           "CPU " + std::to_string(c.usage_tot) + " of " +
                               std::to_string(c.total_sav) + " ticks, not " + want + " of " +
                               std::to_string(total));
            }
        }
        if (!now.ok ||
            (lastGood.ok && now.u == lastGood.u && now.s == lastGood.s && now.i == lastGood.i)) {
            failUnless(c.total_sav == 0, "tick total " + std::to_string(c.total_sav));
            if (havePrevious)
                failUnless(c.usage_tot == previous.usage_tot && c.usage_usr == previous.usage_usr &&
                               c.usage_krn == previous.usage_krn,
                           "CPU figures changed without a sample: " + s.cpuText);
        }
        if (now.ok)
            lastGood = now;
        previous = c;
        havePrevious = true;
    }
};

// The memory record and the text both show these figures.
void expectMemory(const Shown& s, unsigned long long total, unsigned long long free_,
                  unsigned long long swaptotal) {
    const MEM_t& m = *orvelFrameAccess::mems(frame);
    failUnless(m.memtotal == total && m.memfree == free_ && m.swaptotal == swaptotal,
               "memory record " + std::to_string(m.memtotal) + "/" + std::to_string(m.memfree) +
                   "/" + std::to_string(m.swaptotal) + ", not " + std::to_string(total) + "/" +
                   std::to_string(free_) + "/" + std::to_string(swaptotal));
    failUnless(s.memtotal == m.memtotal && s.memfree == m.memfree,
               "memory text does not show the record: " + s.memText);
}

unsigned long long sat32(unsigned long long v) {
    return v > UINT32_MAX ? UINT32_MAX : v;
}

// n cycles of one phase: enter runs before the first, each before every one.
void addCycles(std::vector<Step>& steps, const std::string& name, int n,
               std::function<void()> enter, std::function<void()> each,
               std::function<void(const Shown&, const ReaderMessages&)> check) {
    for (int k = 0; k < n; ++k)
        steps.push_back({name,
                         [enter, each, k] {
                             if (k == 0 && enter)
                                 enter();
                             if (each)
                                 each();
                         },
                         check});
}

// Every running time as the rows must show it with uptime ticks.
void expectTimes(const Shown& s, long long uptime) {
    const long hz = sysconf(_SC_CLK_TCK);
    for (const PROC_t& r : orvelFrameAccess::table(frame)) {
        long long running = uptime - static_cast<long long>(r.start_time);
        std::string want = utf8(time_cell(running > 0 ? running / hz : 0));
        for (const auto& row : s.rows)
            if (atoll(row[0].c_str()) == r.pid && row[5] != want)
                fail("PID " + row[0] + " shows " + row[5] + ", not " + want);
    }
}

long long uptimeTicks(const std::string& text) {
    long long t = -1;
    return parse_uptime(text.c_str(), sysconf(_SC_CLK_TCK), &t) ? t : -1;
}

void quiet(const ReaderMessages& m) {
    expectMessages(m, {});
}

// One run: the fixtures in dir and the steps, which refer to them.
struct Scenario {
    std::string name, dir;
    Fixture fx, fx2;
    std::vector<Step> steps;
};

// /proc/stat with four values only, a first line that is not the CPU's, or
// nothing.
void addStatSteps(Scenario& sc) {
    struct State {
        CpuExpectation cpu;
        Ticks kernelBefore; // the kernel's, read before the cycle
        std::string written, fault;
        bool failsRead = true;
    };
    auto st = std::make_shared<State>();
    Fixture& fx = sc.fx;
    if (!fx.setUp(sc.dir, "/proc/stat"))
        fail("cannot bind a file over /proc/stat");
    if (sc.name == "stat-four-values")
        st->failsRead = false;
    else if (sc.name == "stat-not-cpu")
        st->fault = "intr 12345 0 0 0\ncpu  1 2 3 4 5 6 7\n";
    else if (sc.name != "stat-empty")
        fail("unknown scenario " + sc.name);
    auto setSane = [st, &fx] { fx.set(st->written = fx.kernelText()); };
    auto faulty = [st, &fx] {
        fx.set(st->written = st->failsRead ? st->fault : fourValues(fx.kernelText()));
    };
    auto checkSane = [st](const Shown& s, const ReaderMessages& m) {
        st->cpu.after(ticksOf(st->written), s);
        quiet(m);
    };
    auto checkFault = [st](const Shown& s, const ReaderMessages& m) {
        st->cpu.after(ticksOf(st->written), s);
        // An empty file fails the read, and then the parse of nothing.
        if (st->failsRead && st->fault.empty())
            expectMessages(m, {"failed /proc/stat read", "failed /proc/stat read"});
        else if (st->failsRead)
            expectMessages(m, {"failed /proc/stat read"});
        else
            quiet(m);
    };
    addCycles(sc.steps, "sane", 2, nullptr, setSane, checkSane);
    addCycles(sc.steps, "fault", 3, nullptr, faulty, checkFault);
    addCycles(sc.steps, "sane again", 3, nullptr, setSane, checkSane);
    if (!st->failsRead)
        return;
    // The kernel's file again, behind a reader that held the fixture.
    addCycles(sc.steps, "fault before unmount", 2, nullptr, faulty, checkFault);
    // The sampler's ticks lie between the kernel's before and after the cycle.
    addCycles(
        sc.steps, "kernel's file", 3, [&fx] { fx.unmount(); },
        [st, &fx] { st->kernelBefore = ticksOf(fx.kernelText()); },
        [st, &fx](const Shown&, const ReaderMessages& m) {
            const CPU_t& c = *orvelFrameAccess::cpus(frame);
            Ticks before = st->kernelBefore, after = ticksOf(fx.kernelText());
            failUnless(c.total_sav > 0 && before.u <= c.u && c.u <= after.u,
                       "the sampler does not read the kernel's /proc/stat again (u " +
                           std::to_string(c.u) + ", the kernel's " + std::to_string(before.u) +
                           " before and " + std::to_string(after.u) + " after)");
            quiet(m);
        });
}

// /proc/meminfo without MemTotal, with long keys, with figures past 32 bits,
// or empty.
void addMeminfoSteps(Scenario& sc) {
    struct State {
        std::string sane, lastSane;
    };
    auto st = std::make_shared<State>();
    Fixture& fx = sc.fx;
    const std::string name = sc.name;
    if (!fx.setUp(sc.dir, "/proc/meminfo"))
        fail("cannot bind a file over /proc/meminfo");
    // For the empty file, a total of one kilobyte more than the kernel's
    // tells the fixture's figures from the kernel's.
    auto setSane = [st, &fx, name] {
        st->sane = fx.kernelText();
        if (name == "meminfo-empty")
            st->sane = "MemTotal: " + std::to_string(meminfoValue(st->sane, "MemTotal:") + 1) +
                       " kB\n" + withoutLine(st->sane, "MemTotal:");
        fx.set(st->sane);
    };
    auto checkSane = [st](const Shown& s, const ReaderMessages& m) {
        expectMemory(s, sat32(meminfoValue(st->sane, "MemTotal:")),
                     sat32(meminfoValue(st->sane, "MemFree:")),
                     sat32(meminfoValue(st->sane, "SwapTotal:")));
        quiet(m);
    };
    std::function<void()> enterFault, faulty;
    std::function<void(const Shown&, const ReaderMessages&)> checkFault = checkSane;
    if (name == "meminfo-no-memtotal") {
        // The total keeps its last figure; the rest are current.
        enterFault = [st] { st->lastSane = st->sane; };
        faulty = [st, &fx] { fx.set(st->sane = withoutLine(fx.kernelText(), "MemTotal:")); };
        checkFault = [st](const Shown& s, const ReaderMessages& m) {
            expectMemory(s, sat32(meminfoValue(st->lastSane, "MemTotal:")),
                         sat32(meminfoValue(st->sane, "MemFree:")),
                         sat32(meminfoValue(st->sane, "SwapTotal:")));
            quiet(m);
        };
    } else if (name == "meminfo-long-key") {
        // Forty-character keys, one of them starting like a real one,
        // match nothing.
        faulty = [st, &fx] {
            st->sane = fx.kernelText();
            fx.set("MemTotal:ABCDEFGHIJKLMNOPQRSTUVWXYZ01234567890: 7 kB\n" + st->sane +
                   "SwapFree:_______________________________: 9 kB\n" +
                   "Cached:123456789012345678901234567890123  11 kB\n");
        };
    } else if (name == "meminfo-empty") {
        // Nothing read: every figure keeps its last value.
        faulty = [&fx] { fx.set(""); };
    } else if (name == "meminfo-past-32-bits") {
        faulty = [&fx] {
            std::string t = fx.kernelText();
            for (const char* k : {"MemTotal:", "MemFree:", "SwapTotal:", "SwapFree:"})
                t = withoutLine(t, k);
            fx.set("MemTotal:       4294967301 kB\nMemFree:        8589934592 kB\n"
                   "SwapTotal:      1099511627776 kB\n"
                   "SwapFree:       99999999999999999999999 kB\n" +
                   t);
        };
        checkFault = [](const Shown& s, const ReaderMessages& m) {
            expectMemory(s, UINT32_MAX, UINT32_MAX, UINT32_MAX);
            failUnless(s.memText.find("MemTotal : 4294967295 KB\nMemUsed : 0 KB\n") == 0,
                       "memory text " + s.memText);
            quiet(m);
        };
    } else {
        fail("unknown scenario " + name);
    }
    addCycles(sc.steps, "sane", 2, nullptr, setSane, checkSane);
    addCycles(sc.steps, "fault", 3, enterFault, faulty, checkFault);
    addCycles(sc.steps, "sane again", 3, nullptr, setSane, checkSane);
    if (name != "meminfo-empty")
        return;
    // The kernel's file again, behind a reader that held the fixture.
    addCycles(sc.steps, "fault before unmount", 2, nullptr, faulty, checkFault);
    addCycles(
        sc.steps, "kernel's file", 3, [&fx] { fx.unmount(); }, nullptr,
        [&fx](const Shown& s, const ReaderMessages& m) {
            unsigned long long total = meminfoValue(fx.kernelText(), "MemTotal:");
            failUnless(s.memtotal == total,
                       "the reader does not read the kernel's /proc/meminfo again (total " +
                           std::to_string(s.memtotal) + ", the kernel's " + std::to_string(total) +
                           ")");
            quiet(m);
        });
}

// /proc/uptime that does not parse, five ways.
void addUptimeSteps(Scenario& sc) {
    static const char* const kFaults[] = {"up a while\n", "", "99999999999999999999.00 1.00\n",
                                          "-5.00 1.00\n", ".50 .50\n"};
    auto good = std::make_shared<long long>(-1);
    Fixture& fx = sc.fx;
    if (!fx.setUp(sc.dir, "/proc/uptime"))
        fail("cannot bind a file over /proc/uptime");
    auto setSane = [good, &fx] {
        std::string t = fx.kernelText();
        fx.set(t);
        *good = uptimeTicks(t);
    };
    auto checkTimes = [good](const Shown& s, const ReaderMessages& m) {
        expectTimes(s, *good);
        quiet(m);
    };
    addCycles(sc.steps, "sane", 2, nullptr, setSane, checkTimes);
    for (const char* fault : kFaults)
        addCycles(
            sc.steps, "fault", 1, nullptr, [&fx, fault] { fx.set(fault); }, checkTimes);
    addCycles(sc.steps, "sane again", 3, nullptr, setSane, checkTimes);
    addCycles(
        sc.steps, "fault before unmount", 1, nullptr, [&fx] { fx.set(kFaults[0]); }, checkTimes);
    addCycles(
        sc.steps, "kernel's file", 2, [&fx] { fx.unmount(); }, nullptr,
        [&fx](const Shown&, const ReaderMessages& m) {
            // The kernel's clock moves between reads: the reader's figure
            // must lie between the kernel's before and after it.
            long long before = uptimeTicks(fx.kernelText()), r = gettimesinceboot(),
                      after = uptimeTicks(fx.kernelText());
            failUnless(before <= r && r <= after, "uptime " + std::to_string(r) +
                                                      " ticks, the kernel's " +
                                                      std::to_string(before) + " before and " +
                                                      std::to_string(after) + " after");
            quiet(m);
        });
}

// An empty directory nobody may read, over /proc: for one cycle, or from
// before the first.
void addProcDirSteps(Scenario& sc) {
    auto tableBefore = std::make_shared<size_t>(0);
    auto hide = [tableBefore] {
        *tableBefore = frame ? orvelFrameAccess::table(frame).size() : 0;
        passOverPermissions(false);
        if (mount("none", "/proc", "tmpfs", 0, "mode=0000") != 0)
            fail(std::string("cannot mount over /proc: ") + strerror(errno));
    };
    auto show = [] {
        if (umount("/proc") != 0)
            fail(std::string("cannot unmount over /proc: ") + strerror(errno));
        passOverPermissions(true);
    };
    auto checkHidden = [tableBefore](const Shown& s, const ReaderMessages& m) {
        failUnless(s.numproc == 0 && s.rows.empty(), "the failed scan left " +
                                                         std::to_string(s.rows.size()) +
                                                         " rows, status \"" + s.status + "\"");
        failUnless(s.table == *tableBefore, "the failed scan changed the table from " +
                                                std::to_string(*tableBefore) + " to " +
                                                std::to_string(s.table) + " records");
        quiet(m);
    };
    // Before any cycle the held files are not open yet: they cannot be.
    auto checkHiddenFirst = [](const Shown& s, const ReaderMessages& m) {
        failUnless(s.numproc == 0 && s.rows.empty() && s.table == 0,
                   "a scan of no /proc shows " + std::to_string(s.rows.size()) + " rows");
        expectMessages(m, {"failed /proc/stat open", "failed /proc/meminfo open"});
    };
    auto checkShown = [](const Shown& s, const ReaderMessages& m) {
        failUnless(s.numproc > 0 && !s.rows.empty(),
                   "no rows after a good scan, status \"" + s.status + "\"");
        quiet(m);
    };
    if (sc.name == "proc-unreadable") {
        addCycles(sc.steps, "sane", 2, nullptr, nullptr, checkShown);
        addCycles(sc.steps, "no /proc", 1, hide, nullptr, checkHidden);
    } else {
        addCycles(sc.steps, "no /proc from the start", 1, hide, nullptr, checkHiddenFirst);
    }
    addCycles(sc.steps, "/proc again", 3, show, nullptr, checkShown);
}

// Both held files cannot be opened at first; the readers try again.
void addUnopenableSteps(Scenario& sc) {
    Fixture &fx = sc.fx, &fx2 = sc.fx2;
    if (!fx.setUp(sc.dir, "/proc/stat") || !fx2.setUp(sc.dir, "/proc/meminfo"))
        fail("cannot bind files over /proc/stat and /proc/meminfo");
    auto lock = [&fx, &fx2] {
        chmod(fx.path.c_str(), 0);
        chmod(fx2.path.c_str(), 0);
        passOverPermissions(false);
    };
    addCycles(sc.steps, "unopenable", 2, lock, nullptr,
              [](const Shown& s, const ReaderMessages& m) {
                  expectMessages(m, {"failed /proc/stat open", "failed /proc/meminfo open"});
                  const CPU_t& c = *orvelFrameAccess::cpus(frame);
                  failUnless(c.total_sav == 0 && s.memtotal == 0, "figures without files");
              });
    addCycles(
        sc.steps, "openable", 3,
        [&fx, &fx2] {
            chmod(fx.path.c_str(), 0444);
            chmod(fx2.path.c_str(), 0444);
            passOverPermissions(true);
        },
        nullptr,
        [](const Shown& s, const ReaderMessages& m) {
            quiet(m);
            failUnless(s.memtotal > 0, "memory not read again: " + s.memText);
            failUnless(orvelFrameAccess::cpus(frame)->u > 0, "CPU not read again");
        });
}

// Runs the window at the fast speed through the steps, one per refresh
// cycle; returns how many ran.
size_t runSteps(std::vector<Step>& steps, ErrorsSince& errors, int& argc, char** argv) {
    if (!startToolkit(argc, argv, [](const std::string& what) { fail(what); })) {
        fail("cannot start the toolkit");
        return 0;
    }
    frame = new orvelFrame(nullptr);
    frame->Show(true);
    if (!chooseMenuItem(frame, "빠름 (&H)"))
        fail("no fast speed command");

    size_t next = 0;
    bool done = steps.empty();
    errors.take(); // what the toolkit wrote while starting is not the readers'
    phase = steps.empty() ? "none" : steps[0].phase;
    AfterEachCycle hook(frame, [&] {
        if (done)
            return;
        std::vector<std::string> problems;
        Shown s = readWindow(frame, problems);
        for (const std::string& p : problems)
            fail(p);
        ReaderMessages m = splitReaderMessages(errors.take());
        if (steps[next].check)
            steps[next].check(s, m);
        printf("%-22s cycle %d: %zu rows, status \"%s\", CPU %.2f%%, memory %s/%s kB\n",
               phase.c_str(), cycleInPhase, s.rows.size(), s.status.c_str(), s.cpuTotal,
               std::to_string(s.memtotal).c_str(), std::to_string(s.memfree).c_str());
        if (++next == steps.size()) {
            done = true;
            return;
        }
        cycleInPhase = steps[next].phase == phase ? cycleInPhase + 1 : 0;
        phase = steps[next].phase;
        if (steps[next].prepare)
            steps[next].prepare();
    });
    // The first step's preparation runs before the first cycle, with the
    // window built.
    if (!steps.empty() && steps[0].prepare)
        steps[0].prepare();
    // However slow the machine, each cycle must come.
    for (size_t last = next; !done && waitFor([&] { return done || next != last; }, kPatienceMs);)
        last = next;
    if (!done)
        fail("the window stopped refreshing at step " + std::to_string(next));

    frame->Close(true);
    pumpEvents(50);
    stopToolkit();
    return next;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: %s SCENARIO STDERR_FILE\n", argv[0]);
        return 2;
    }
    ErrorsSince errors;
    errors.fd = open(argv[2], O_RDONLY | O_CLOEXEC);
    if (errors.fd < 0 || geteuid() != 0) {
        printf("FAIL: needs root and its standard error file\n");
        return 2;
    }
    if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr)) {
        printf("FAIL: no private mount namespace: %s\n", strerror(errno));
        return 2;
    }
    char dir[] = "/tmp/orvel-fault.XXXXXX";
    if (!mkdtemp(dir) || mount("none", dir, "tmpfs", 0, "mode=0755") != 0) {
        printf("FAIL: no tmpfs for the fixtures: %s\n", strerror(errno));
        return 2;
    }

    Scenario sc;
    sc.name = argv[1];
    sc.dir = dir;
    const std::string& name = sc.name;
    if (name.compare(0, 5, "stat-") == 0)
        addStatSteps(sc);
    else if (name.compare(0, 8, "meminfo-") == 0)
        addMeminfoSteps(sc);
    else if (name == "uptime-unparsable")
        addUptimeSteps(sc);
    else if (name == "proc-unreadable" || name == "proc-unreadable-first")
        addProcDirSteps(sc);
    else if (name == "unopenable")
        addUnopenableSteps(sc);
    else
        fail("unknown scenario " + name);

    size_t cycles = runSteps(sc.steps, errors, argc, argv);
    for (Fixture* f : {&sc.fx, &sc.fx2})
        if (f->mounted)
            umount(f->target.c_str());
    umount(dir);
    rmdir(dir);
    printf("%s: %zu cycles, %d problems\n", name.c_str(), cycles, failures);
    return failures ? 1 : 0;
}
