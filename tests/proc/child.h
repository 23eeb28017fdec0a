// Real child processes for the reader tests.
#ifndef ORVEL_TESTS_PROC_CHILD_H
#define ORVEL_TESTS_PROC_CHILD_H

#include <functional>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

// Runs body in a forked child, which reports the text body returns and then
// stays alive, blocked on a pipe, until the Child is destroyed.
class Child {
public:
    explicit Child(const std::function<std::string()>& body) {
        int up[2], down[2];
        if (pipe(up) != 0 || pipe(down) != 0)
            return;
        pid_ = fork();
        if (pid_ == 0) {
            close(up[0]);
            close(down[1]);
            std::string text = body();
            ssize_t r = write(up[1], text.data(), text.size());
            close(up[1]);
            char c;
            r = read(down[0], &c, 1);
            (void)r;
            _exit(0);
        }
        close(up[1]);
        close(down[0]);
        from_ = up[0];
        hold_ = down[1];
    }
    ~Child() {
        close(hold_);
        close(from_);
        if (pid_ > 0)
            waitpid(pid_, nullptr, 0);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    pid_t pid() const { return pid_; }
    std::string pid_text() const { return std::to_string(pid_); }

    // Waits for the body to finish and returns its text.
    std::string report() {
        std::string text;
        char buf[256];
        ssize_t n;
        while ((n = read(from_, buf, sizeof buf)) > 0)
            text.append(buf, size_t(n));
        return text;
    }

private:
    pid_t pid_ = -1;
    int from_ = -1;
    int hold_ = -1;
};

#endif
