/* A screen reader's ears without its voice: listens to every object event
 * on the accessibility bus, as Orca does, and counts them until killed. */
#include <atspi/atspi.h>
#include <signal.h>
#include <stdio.h>

static long heard;

static void hear(AtspiEvent* e, void* data) {
    (void)data;
    ++heard;
    g_boxed_free(ATSPI_TYPE_EVENT, e);
}

static void stop(int sig) {
    (void)sig;
    atspi_event_quit();
}

int main(void) {
    atspi_init();
    AtspiEventListener* l = atspi_event_listener_new(hear, NULL, NULL);
    if (!atspi_event_listener_register(l, "object:", NULL) ||
        !atspi_event_listener_register(l, "focus:", NULL))
        return 1;
    signal(SIGTERM, stop);
    printf("listening\n");
    fflush(stdout);
    atspi_event_main();
    printf("heard %ld\n", heard);
    return 0;
}
