// Real child processes with known names, CPU use, owners and PIDs.
#ifndef ORVEL_TEST_CHILDREN_H
#define ORVEL_TEST_CHILDREN_H

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

struct ChildOptions {
    const char* name = "orvel-child";
    bool busy = false;                  // spin for ever
    bool ignoreTerm = false;            // SIGTERM ignored
    uid_t uid = static_cast<uid_t>(-1); // as root: switch to it, as daemons do
    bool nonDumpable = false;           // as agents that hold keys make themselves
    pid_t wantPid = 0;                  // as root: ask the kernel for this PID
};

inline bool isRoot() {
    return geteuid() == 0;
}

// Ticks of user plus kernel time that /proc reports for pid, or -1.
inline long long procTicks(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(in, line))
        return -1;
    size_t close = line.rfind(')');
    std::istringstream rest(line.substr(close + 2));
    std::string field;
    long long ut = 0, st = 0;
    for (int i = 3; i <= 15 && rest >> field; ++i) {
        if (i == 14)
            ut = atoll(field.c_str());
        if (i == 15)
            st = atoll(field.c_str());
    }
    return ut + st;
}

inline std::string procComm(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/comm");
    std::string s;
    std::getline(in, s);
    return s;
}

inline long long vmRssKb(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return atoll(line.c_str() + 6);
    return -1;
}

inline bool pidInUse(pid_t pid) {
    struct stat st;
    return stat(("/proc/" + std::to_string(pid)).c_str(), &st) == 0;
}

class Child {
public:
    explicit Child(const ChildOptions& o = ChildOptions()) : opts(o) { start(); }
    ~Child() { kill(SIGKILL); }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    pid_t pid() const { return pid_; }
    bool ok() const { return pid_ > 0; }

    // Sends sig and reaps the child; returns the wait status.
    int kill(int sig) {
        if (pid_ <= 0)
            return status_;
        ::kill(pid_, sig);
        int st = 0;
        waitpid(pid_, &st, 0);
        pid_ = -1;
        status_ = st;
        return st;
    }
    // Reaps the child if it has ended; true when it has.
    bool ended(int* status = nullptr) {
        if (pid_ <= 0)
            return true;
        int st = 0;
        if (waitpid(pid_, &st, WNOHANG) == pid_) {
            pid_ = -1;
            status_ = st;
        }
        if (status)
            *status = status_;
        return pid_ <= 0;
    }
    // Waits up to ms for the child to end by itself.
    bool waitEnd(int ms, int* status) {
        for (int i = 0; i < ms / 10; ++i) {
            if (ended(status))
                return true;
            usleep(10000);
        }
        return ended(status);
    }
    // Spins until the child has used at least ticks of CPU.
    void burnUntil(long long ticks) {
        for (int i = 0; i < 1000 && procTicks(pid_) < ticks; ++i)
            usleep(10000);
    }

private:
    void start() {
        if (opts.wantPid > 0) {
            // ns_last_pid makes the next fork take the PID after it.
            FILE* f = fopen("/proc/sys/kernel/ns_last_pid", "w");
            if (!f)
                return;
            fprintf(f, "%d", opts.wantPid - 1);
            fclose(f);
        }
        int ready[2];
        if (pipe(ready) != 0)
            return;
        pid_ = fork();
        if (pid_ == 0) {
            close(ready[0]);
            prctl(PR_SET_NAME, opts.name, 0, 0, 0);
            if (opts.ignoreTerm)
                signal(SIGTERM, SIG_IGN);
            else
                signal(SIGTERM, SIG_DFL);
            // Either way the kernel hands the files under /proc/<pid> to root.
            if (opts.uid != static_cast<uid_t>(-1) && setuid(opts.uid) != 0)
                _exit(3);
            if (opts.nonDumpable)
                prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
            if (write(ready[1], "x", 1) != 1)
                _exit(4);
            close(ready[1]);
            if (opts.busy)
                for (volatile unsigned long n = 0;; n = n + 1) {
                }
            for (;;)
                pause();
        }
        close(ready[1]);
        char c;
        if (pid_ < 0 || read(ready[0], &c, 1) != 1) {
            if (pid_ > 0)
                kill(SIGKILL);
            pid_ = -1;
        }
        close(ready[0]);
        if (opts.wantPid > 0 && pid_ != opts.wantPid)
            kill(SIGKILL); // someone else took that PID first
    }

    ChildOptions opts;
    pid_t pid_ = -1;
    int status_ = 0;
};

#endif
