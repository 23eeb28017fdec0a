// Real child processes made as real programs make themselves: a name of any
// bytes, busy or asleep, a daemon's setuid, an agent's non-dumpable flag, a
// chosen PID; and what /proc says about them.
#ifndef ORVEL_TEST_CHILDREN_H
#define ORVEL_TEST_CHILDREN_H

#include <csignal>
#include <functional>
#include <string>
#include <sys/types.h>

struct ChildOptions {
    const char* name = "orvel-child";
    bool busy = false;                  // spin for ever
    bool ignoreTerm = false;            // SIGTERM ignored
    uid_t uid = static_cast<uid_t>(-1); // as root: switch to it, as daemons do
    bool nonDumpable = false;           // as agents that hold keys make themselves
    pid_t wantPid = 0;                  // as root: ask the kernel for this PID
    // Runs in the child once it is set up; what it returns is the child's
    // report(). Then the child sleeps (or spins) until it is killed.
    std::function<std::string()> body;
};

class Child {
public:
    explicit Child(const ChildOptions& o = ChildOptions());
    ~Child() { kill(SIGKILL); }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    pid_t pid() const { return pid_; }
    // The PID /proc lists it under: another in a namespace of its own.
    pid_t shownPid() const { return shownPid_; }
    bool ok() const { return pid_ > 0; }
    const std::string& report() const { return report_; }

    // Sends sig and reaps the child; returns the wait status.
    int kill(int sig);
    // Reaps the child if it has ended; true when it has.
    bool ended(int* status = nullptr);
    // Waits up to ms for the child to end by itself.
    bool waitEnd(int ms, int* status);
    // Waits until the child has used at least ticks of CPU.
    void burnUntil(long long ticks);

private:
    pid_t pid_ = -1, shownPid_ = -1;
    int status_ = 0;
    std::string report_;
};

// As root, while one lives: the children this process makes (Child,
// DriverRun) are born into a PID namespace of their own, and /proc, in a
// mount namespace of the calling thread's own, lists them alone (and the
// namespace's first process, which holds it open). What a scan counts is then
// only what the test made, however busy the machine. The readers hold /proc
// from their first scan on: a view must come before the process's first.
class OwnProcessView {
public:
    OwnProcessView();
    ~OwnProcessView();
    OwnProcessView(const OwnProcessView&) = delete;
    OwnProcessView& operator=(const OwnProcessView&) = delete;
    bool ok() const { return init_ != nullptr; }
    // Why not, when not.
    const std::string& why() const { return why_; }

private:
    friend pid_t forkIntoView();
    int outer_ = -1, inner_ = -1; // the PID namespaces
    Child* init_ = nullptr;
    std::string why_;
};

// fork(), into the living OwnProcessView's namespace if there is one.
pid_t forkIntoView();

bool isRoot();
// Ticks of user plus kernel time that /proc reports for pid, or -1.
long long procTicks(pid_t pid);
// The state letter of pid's stat line, or 0.
char procState(pid_t pid);
// Resident memory of pid in kB, from its status file; -1 if unknown.
long vmRssKb(pid_t pid);
bool pidInUse(pid_t pid);
// The descriptors this process has open.
int openFiles();
// The uptime in clock ticks as /proc/uptime says it.
long long uptimeTicksFromFile();

#endif
