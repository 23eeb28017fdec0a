// Running the window drivers and helper programs as child processes, with
// their output in files, so that a crash or a stray message cannot hide.
#ifndef ORVEL_TEST_DRIVERS_H
#define ORVEL_TEST_DRIVERS_H

#include <string>
#include <sys/types.h>
#include <vector>

class DriverRun {
public:
    // Fresh files for standard output and error, named after stem.
    explicit DriverRun(const std::string& stem);
    // Starts argv[0] with standard input from /dev/null and its output into
    // the files; false when it could not be started.
    bool start(const std::vector<std::string>& argv);
    // Waits up to seconds for it to end; on time-out kills it and says false.
    bool wait(double seconds);
    void signal(int sig);
    std::string out() const;
    std::string err() const;
    // The exit status in words.
    std::string describeStatus() const;
    bool exitedWithZero() const;
    // Removes the files; kept for a look after a failure otherwise.
    void removeFiles() const;

    const std::string outPath, errPath;

private:
    pid_t pid_ = -1;
    int status_ = 0;
};

// The lines of text that start with prefix.
std::vector<std::string> linesStarting(const std::string& text, const std::string& prefix);

#endif
