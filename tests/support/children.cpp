// Real child processes and what /proc says about them.
#include "children.h"

#include "wait_for.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <sched.h>
#include <sstream>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

OwnProcessView* livingView = nullptr;

// ns_last_pid makes the next fork of the writer's namespace take the PID
// after it.
bool setLastPid(pid_t last) {
    FILE* f = fopen("/proc/sys/kernel/ns_last_pid", "w");
    if (!f)
        return false;
    fprintf(f, "%d", last);
    return fclose(f) == 0;
}

} // namespace

Child::Child(const ChildOptions& opts) {
    // In a view of its own only a process inside may set the namespace's;
    // nobody else forks there, so the PID is then sure to be free.
    if (opts.wantPid > 0 && livingView) {
        ChildOptions s;
        s.body = [&opts] { return std::string(setLastPid(opts.wantPid - 1) ? "set" : ""); };
        if (Child(s).report() != "set")
            return;
    } else if (opts.wantPid > 0 && !setLastPid(opts.wantPid - 1)) {
        return;
    }
    int ready[2];
    if (pipe(ready) != 0)
        return;
    pid_ = forkIntoView();
    if (pid_ == 0) {
        close(ready[0]);
        if (opts.wantPid > 0 && getpid() != opts.wantPid)
            _exit(6); // someone else took that PID first
        prctl(PR_SET_NAME, opts.name, 0, 0, 0);
        signal(SIGTERM, opts.ignoreTerm ? SIG_IGN : SIG_DFL);
        // Either way the kernel hands the files under /proc/<pid> to root.
        if (opts.uid != static_cast<uid_t>(-1) && setuid(opts.uid) != 0)
            _exit(3);
        if (opts.nonDumpable)
            prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
        // A test killed at its time limit takes its children with it (set
        // after setuid, which clears it).
        prctl(PR_SET_PDEATHSIG, SIGKILL, 0, 0, 0);
        if (getppid() == 1)
            _exit(5);
        // One byte says the child is ready, the rest is its body's report.
        std::string said =
            "x" + std::to_string(getpid()) + ":" + (opts.body ? opts.body() : std::string());
        if (write(ready[1], said.data(), said.size()) != ssize_t(said.size()))
            _exit(4);
        close(ready[1]);
        if (opts.busy)
            for (volatile unsigned long n = 0;; n = n + 1) {
            }
        for (;;)
            pause();
    }
    close(ready[1]);
    char buf[256];
    for (ssize_t n; pid_ > 0 && (n = read(ready[0], buf, sizeof buf)) > 0;)
        report_.append(buf, size_t(n));
    close(ready[0]);
    size_t colon = report_.find(':');
    if (report_.empty() || colon == std::string::npos) {
        kill(SIGKILL);
    } else {
        shownPid_ = atoi(report_.c_str() + 1);
        report_.erase(0, colon + 1);
    }
}

int Child::kill(int sig) {
    if (pid_ <= 0)
        return status_;
    ::kill(pid_, sig);
    waitpid(pid_, &status_, 0);
    pid_ = -1;
    return status_;
}

bool Child::ended(int* status) {
    if (pid_ > 0 && waitpid(pid_, &status_, WNOHANG) == pid_)
        pid_ = -1;
    if (status)
        *status = status_;
    return pid_ <= 0;
}

bool Child::waitEnd(int ms, int* status) {
    return waitFor([&] { return ended(status); }, ms);
}

void Child::burnUntil(long long ticks) {
    waitFor([&] { return procTicks(shownPid_) >= ticks; }, kPatienceMs);
}

OwnProcessView::OwnProcessView() {
    if (!isRoot()) {
        why_ = "needs root for a PID namespace of its own";
        return;
    }
    outer_ = open("/proc/self/ns/pid", O_RDONLY | O_CLOEXEC);
    if (outer_ < 0 || unshare(CLONE_NEWNS | CLONE_NEWPID) != 0 ||
        mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        why_ = std::string("no namespaces of its own: ") + strerror(errno);
        return;
    }
    // Only a process inside the namespace can mount its /proc.
    ChildOptions o;
    o.name = "orvel-init";
    o.body = [] {
        return mount("proc", "/proc", "proc", MS_NOSUID | MS_NODEV | MS_NOEXEC, nullptr) == 0
                   ? std::string("mounted")
                   : std::string(strerror(errno));
    };
    init_ = new Child(o);
    if (init_->report() != "mounted") {
        why_ = "cannot mount /proc for the namespace: " + init_->report();
        delete init_;
        init_ = nullptr;
    } else {
        inner_ = open("/proc/1/ns/pid", O_RDONLY | O_CLOEXEC);
        livingView = this;
    }
    // A thread cannot be made while new processes would go elsewhere: the
    // toolkit's must come, so only forkIntoView goes there.
    setns(outer_, CLONE_NEWPID);
}

OwnProcessView::~OwnProcessView() {
    if (livingView == this)
        livingView = nullptr;
    // The first process takes every other of the namespace with it.
    delete init_;
    umount2("/proc", MNT_DETACH);
    for (int fd : {inner_, outer_})
        if (fd >= 0)
            close(fd);
}

pid_t forkIntoView() {
    OwnProcessView* v = livingView;
    if (v && v->inner_ >= 0)
        setns(v->inner_, CLONE_NEWPID);
    pid_t pid = fork();
    if (pid != 0 && v)
        setns(v->outer_, CLONE_NEWPID);
    return pid;
}

bool isRoot() {
    return geteuid() == 0;
}

namespace {

// The fields of pid's stat line after the command, from the state on.
std::istringstream statFields(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(in, line);
    size_t close = line.rfind(')');
    return std::istringstream(close == std::string::npos ? "" : line.substr(close + 2));
}

} // namespace

long long procTicks(pid_t pid) {
    std::istringstream rest = statFields(pid);
    std::string field;
    long long ut = -1, st = 0;
    for (int i = 3; i <= 15 && rest >> field; ++i) {
        if (i == 14)
            ut = atoll(field.c_str());
        if (i == 15)
            st = atoll(field.c_str());
    }
    return ut < 0 ? -1 : ut + st;
}

char procState(pid_t pid) {
    char state = 0;
    statFields(pid) >> state;
    return state;
}

long vmRssKb(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return atol(line.c_str() + 6);
    return -1;
}

bool pidInUse(pid_t pid) {
    struct stat st;
    return stat(("/proc/" + std::to_string(pid)).c_str(), &st) == 0;
}

int openFiles() {
    int n = 0;
    DIR* d = opendir("/proc/self/fd");
    if (!d)
        return -1;
    while (dirent* e = readdir(d))
        n += e->d_name[0] != '.';
    closedir(d);
    return n - 1; // the listing's own
}

long long uptimeTicksFromFile() {
    const long hz = sysconf(_SC_CLK_TCK);
    std::ifstream f("/proc/uptime");
    long long sec = 0, hundredths = 0;
    char dot;
    f >> sec >> dot >> hundredths;
    return sec * hz + hundredths * hz / 100;
}
