// Running the window drivers and helper programs with their output in files.
#include "drivers.h"

#include "children.h"

#include "wait_for.h"

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::string tempFile(const std::string& stem) {
    std::string t = "/tmp/orvel-" + stem + ".XXXXXX";
    std::vector<char> buf(t.begin(), t.end());
    buf.push_back('\0');
    int fd = mkstemp(buf.data());
    if (fd >= 0)
        close(fd);
    return std::string(buf.data());
}

std::string readFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

} // namespace

DriverRun::DriverRun(const std::string& stem)
    : outPath(tempFile(stem + "-out")), errPath(tempFile(stem + "-err")) {}

bool DriverRun::start(const std::vector<std::string>& argv) {
    pid_ = forkIntoView();
    if (pid_ != 0)
        return pid_ > 0;
    int in = open("/dev/null", O_RDONLY);
    int o = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int e = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
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

bool DriverRun::wait(double seconds) {
    if (pid_ <= 0)
        return false;
    bool ended =
        waitFor([this] { return waitpid(pid_, &status_, WNOHANG) == pid_; }, int(seconds * 1000));
    if (!ended) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status_, 0);
    }
    pid_ = -1;
    return ended;
}

void DriverRun::signal(int sig) {
    if (pid_ > 0)
        kill(pid_, sig);
}

std::string DriverRun::out() const {
    return readFile(outPath);
}

std::string DriverRun::err() const {
    return readFile(errPath);
}

std::string DriverRun::describeStatus() const {
    std::ostringstream s;
    if (WIFEXITED(status_))
        s << "exit status " << WEXITSTATUS(status_);
    else if (WIFSIGNALED(status_))
        s << "killed by signal " << WTERMSIG(status_);
    else
        s << "status " << status_;
    return s.str();
}

bool DriverRun::exitedWithZero() const {
    return WIFEXITED(status_) && WEXITSTATUS(status_) == 0;
}

void DriverRun::removeFiles() const {
    unlink(outPath.c_str());
    unlink(errPath.c_str());
}

std::vector<std::string> linesStarting(const std::string& text, const std::string& prefix) {
    std::vector<std::string> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line))
        if (line.compare(0, prefix.size(), prefix) == 0)
            out.push_back(line);
    return out;
}
