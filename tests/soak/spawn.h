// Running the window drivers and helpers as child processes, with their
// output in files, so that a crash or a stray message cannot hide.
#ifndef ORVEL_TEST_SPAWN_H
#define ORVEL_TEST_SPAWN_H

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

// Starts argv[0] with standard input from /dev/null and standard output and
// error into the given files. Returns the child's pid, or -1.
inline pid_t spawnTo(const std::vector<std::string>& argv, const std::string& out,
                     const std::string& err) {
    pid_t pid = fork();
    if (pid != 0)
        return pid;
    int in = open("/dev/null", O_RDONLY);
    int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || o < 0 || e < 0)
        _exit(126);
    dup2(in, 0);
    dup2(o, 1);
    dup2(e, 2);
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
}

// Waits up to seconds for pid; on time-out kills it and returns false.
inline bool waitFor(pid_t pid, double seconds, int* status) {
    struct timespec step = {0, 20 * 1000 * 1000};
    for (double waited = 0; waited < seconds; waited += 0.02) {
        pid_t r = waitpid(pid, status, WNOHANG);
        if (r == pid)
            return true;
        if (r < 0 && errno != EINTR)
            return false;
        nanosleep(&step, nullptr);
    }
    kill(pid, SIGKILL);
    waitpid(pid, status, 0);
    return false;
}

inline std::string describeStatus(int status) {
    std::ostringstream s;
    if (WIFEXITED(status))
        s << "exit status " << WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        s << "killed by signal " << WTERMSIG(status);
    else
        s << "status " << status;
    return s.str();
}

inline std::string slurp(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

// A fresh file name in the temporary folder.
inline std::string tempFile(const std::string& stem) {
    std::string t = "/tmp/orvel-" + stem + ".XXXXXX";
    std::vector<char> buf(t.begin(), t.end());
    buf.push_back('\0');
    int fd = mkstemp(buf.data());
    if (fd >= 0)
        close(fd);
    return std::string(buf.data());
}

// The lines of text that start with prefix.
inline std::vector<std::string> linesStarting(const std::string& text, const std::string& prefix) {
    std::vector<std::string> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line))
        if (line.compare(0, prefix.size(), prefix) == 0)
            out.push_back(line);
    return out;
}

#endif
