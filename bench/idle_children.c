// Forks N children that sleep in pause(), prints "ready" once all exist, and
// kills them when it is asked to stop (SIGTERM, SIGINT, SIGHUP) or its parent
// ends.
#define _GNU_SOURCE
#include <errno.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

static volatile sig_atomic_t stop;

static void on_stop(int sig) {
    (void)sig;
    stop = 1;
}

int main(int argc, char** argv) {
    long n = argc > 1 ? atol(argv[1]) : 0;
    if (n < 0 || n > 100000) {
        fprintf(stderr, "usage: %s N (0..100000)\n", argv[0]);
        return 2;
    }
    pid_t parent = getppid();
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent)
        return 1;
    pid_t self = getpid();
    pid_t* kids = calloc((size_t)n + 1, sizeof *kids);
    if (!kids)
        return 1;
    struct sigaction sa = {0};
    sa.sa_handler = on_stop;
    sigaction(SIGTERM, &sa, NULL);
    sigaction(SIGINT, &sa, NULL);
    sigaction(SIGHUP, &sa, NULL);
    long made = 0;
    for (; made < n && !stop; ++made) {
        pid_t pid = fork();
        if (pid < 0) {
            perror("fork");
            break;
        }
        if (pid == 0) {
            // A child must not outlive the helper, whatever ends it.
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (getppid() != self)
                _exit(0);
            signal(SIGTERM, SIG_DFL);
            for (;;)
                pause();
        }
        kids[made] = pid;
    }
    int ok = made == n;
    printf("%s %ld\n", ok ? "ready" : "failed", made);
    fflush(stdout);
    // The stop signals stay blocked except while waiting, so none is lost.
    sigset_t block, old;
    sigemptyset(&block);
    sigaddset(&block, SIGTERM);
    sigaddset(&block, SIGINT);
    sigaddset(&block, SIGHUP);
    sigprocmask(SIG_BLOCK, &block, &old);
    while (ok && !stop)
        sigsuspend(&old);
    for (long i = 0; i < made; ++i)
        kill(kids[i], SIGKILL);
    for (long i = 0; i < made; ++i)
        while (waitpid(kids[i], NULL, 0) < 0 && errno == EINTR)
            ;
    free(kids);
    return ok ? 0 : 1;
}
