// One process as /proc/<pid>/stat describes it, and the reader that fills it.
#ifndef ORVEL_PROCSTAT_H
#define ORVEL_PROCSTAT_H

#include <cstddef>
#include <cstdint>
#include <sys/types.h>

typedef long long num;

// Sums and differences of counters held at the ends of the range instead of
// wrapping: a forged stat line may hold any value.
inline num sat_add(num a, num b) {
    num r;
    return __builtin_add_overflow(a, b, &r) ? (b > 0 ? INT64_MAX : INT64_MIN) : r;
}
inline num sat_sub(num a, num b) {
    num r;
    return __builtin_sub_overflow(a, b, &r) ? (b < 0 ? INT64_MAX : INT64_MIN) : r;
}

struct PROC_t {
    num pid;
    // "(name)" as the kernel prints it, parentheses kept. The kernel prints
    // at most 64 bytes of a name (a kernel thread's whole name), and a record
    // is held for every process: a longer forged name is cut.
    char tcomm[128];
    char state;
    char username[32]; // always zero-terminated
    num ppid;
    num pgid;
    num sid;
    num tty_nr;
    num tty_pgrp;
    num flags;
    num min_flt;
    num cmin_flt;
    num maj_flt;
    num cmaj_flt;
    num utime;
    num utime_sav;
    num stimev;
    num stimev_sav;
    num cutime;
    num cstime;
    num priority;
    num nicev;
    num num_threads;
    num it_real_value;
    unsigned long long start_time;
    num vsize;
    num rss;
    num rsslim;
    num start_code;
    num end_code;
    num start_stack;
    num esp;
    num eip;
    num pending;
    num blocked;
    num sigign;
    num sigcatch;
    num wchan;
    num zero1;
    num zero2;
    num exit_signal;
    num cpu;
    num rt_priority;
    num policy;
    long tickspersec;
    float cpu_usage;
    int mem_usage;
    bool flag;

    // Ticks used since the saved counts: the busiest process sorts last.
    num recent_ticks() const {
        return sat_add(sat_sub(utime, utime_sav), sat_sub(stimev, stimev_sav));
    }
    bool operator==(num id) { return pid == id; }
    bool operator<(const PROC_t& a) const { return recent_ticks() < a.recent_ticks(); }
};

// Reads /proc/<cpid>/stat into procs and returns it; null (after perror("open"))
// when the file cannot be opened, and null without touching procs when cpid is
// not a positive decimal number or the file cannot be read or parsed. With
// text_hash, a line procs was last filled from is not parsed again, as with
// procstat_held.
PROC_t* procstat(const char* cpid, PROC_t* procs, size_t* text_hash = nullptr);

// Opens the stat file of the /proc entry cpid to be read again and again by
// procstat_held; -1, after the report procstat makes, when it cannot. With
// dirfd, the process's directory is opened too (O_PATH), for its owner.
int procstat_open(const char* cpid, int* dirfd);

// Reads the stat file that procstat_open opened for cpid into procs, as
// procstat does, the owner from dirfd when it is open. Null when it cannot be
// read or parsed; errno ESRCH when the process it was opened for has ended,
// even if its PID is another's now, reported as a vanished process only when
// the file was freshly opened.
//
// With text_hash, the hash of the line procs was last filled from is kept
// there (0: none), and a line with the same hash is not parsed again: procs
// already holds its fields. The hash takes in the start time procs holds, so
// a record changed since is filled anew. The owner is read every time.
PROC_t* procstat_held(int fd, int dirfd, const char* cpid, PROC_t* procs, bool fresh,
                      size_t* text_hash = nullptr);

// Lets go of the held /proc when another file system is mounted there now
// (a new mount namespace, a container's own): the scan lists /proc by name,
// and its entries must be read from the same.
void procstat_follow_proc();

// Opens the directory of the /proc entry cpid (O_PATH) to read its process
// through procstat_in; -1, silently, when it cannot.
int procstat_open_dir(const char* cpid);

// Reads the stat file in a directory that procstat_open_dir opened, as
// procstat_held does, opening and closing the file: a held directory pins no
// buffer. Null with errno ESRCH, silently, when its process has ended, even if
// the PID is another's now.
PROC_t* procstat_in(int dirfd, const char* cpid, PROC_t* procs, size_t* text_hash);

// The start time of the process that holds pid now, read the way procstat
// reads it but without any report; false when there is none.
bool read_start_time(num pid, unsigned long long* start);

// Time since boot in clock ticks; the last good value (0 before any) when
// /proc/uptime cannot be read.
long long gettimesinceboot(void);

// Pure parts of the reader, usable on any text.

// Parses one stat line into the 41 stat fields of out. The command name runs
// from the first '(' to the last ')'. Fields the line does not reach are set to
// 0. Returns false, leaving out as it was, when the line has no "(...)"
// command token at all. Only the 41 stat fields are written.
bool parse_stat_line(const char* text, size_t len, PROC_t* out);

// "123.45 678.90" -> 12345 at 100 ticks per second. Returns false when the
// text holds no uptime.
bool parse_uptime(const char* text, long tickspersec, long long* ticks);

// Ticks used since the saved counts as a percentage of an interval's tick
// total; previous keeps showing when no tick passed.
float cpu_share(const PROC_t& r, unsigned long long interval_ticks, float previous);

// Whole seconds a process has run, from the time since boot and its start,
// both in ticks; 0 for a start not yet reached.
long long running_seconds(long long sinceboot, unsigned long long start_time, long tickspersec);

// Resident kilobytes of a page count, held at the largest long long.
long long rss_kb(num rss_pages, long pagesize);

// The account name of uid, or the uid in decimal when it has none; always
// zero-terminated within 32 bytes.
void owner_name(uid_t uid, char out[32]);

// Diagnostic printers: one labelled field per line on standard output.
void printone(const char* name, num x);
void printonex(const char* name, num x);
void printunsigned(const char* name, unsigned long long x);
void printchar(const char* name, char x);
void printstr(const char* name, const char* x);
void printtime(const char* name, num x);
void printtimediff(const char* name, num x);

#endif
