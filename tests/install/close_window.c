/* Asks an X window to close the way a window manager does when the user
 * clicks its close button: a WM_DELETE_WINDOW client message. Under a bare
 * Xvfb there is no window manager to turn Alt+F4 into that message. */
#include <X11/Xlib.h>
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: %s WINDOW-ID\n", argv[0]);
        return 2;
    }
    char *end = NULL;
    Window win = (Window)strtoul(argv[1], &end, 0);
    if (end == argv[1] || *end != '\0' || win == 0) {
        fprintf(stderr, "%s: bad window id '%s'\n", argv[0], argv[1]);
        return 2;
    }
    Display *dpy = XOpenDisplay(NULL);
    if (!dpy) {
        fprintf(stderr, "%s: cannot open display\n", argv[0]);
        return 1;
    }
    Atom protocols = XInternAtom(dpy, "WM_PROTOCOLS", False);
    Atom del = XInternAtom(dpy, "WM_DELETE_WINDOW", False);

    /* A window that does not take part in the protocol would ignore it. */
    Atom *supported = NULL;
    int count = 0, takes_part = 0;
    if (XGetWMProtocols(dpy, win, &supported, &count)) {
        for (int i = 0; i < count; i++)
            takes_part |= supported[i] == del;
        XFree(supported);
    }
    if (!takes_part) {
        fprintf(stderr, "%s: window 0x%lx does not accept WM_DELETE_WINDOW\n", argv[0], win);
        XCloseDisplay(dpy);
        return 1;
    }

    XEvent ev = {0};
    ev.xclient.type = ClientMessage;
    ev.xclient.window = win;
    ev.xclient.message_type = protocols;
    ev.xclient.format = 32;
    ev.xclient.data.l[0] = (long)del;
    ev.xclient.data.l[1] = CurrentTime;
    XSendEvent(dpy, win, False, NoEventMask, &ev);
    XSync(dpy, False);
    XCloseDisplay(dpy);
    return 0;
}
