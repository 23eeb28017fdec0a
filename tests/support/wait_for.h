// Waiting for something to be so, instead of sleeping a fixed time.
#ifndef ORVEL_TEST_WAIT_FOR_H
#define ORVEL_TEST_WAIT_FOR_H

#include <functional>

// Checks done() until it holds or timeoutMs have passed, and says whether it
// held. In a program with the toolkit started, its events are handled
// meanwhile.
bool waitFor(const std::function<bool()>& done, int timeoutMs);

// How long a test waits for what must come: ample on a loaded machine, and
// spent in full only when it never comes.
constexpr int kPatienceMs = 30000;

#endif
