/* heldkey: a key held down in a viewer that already shows a picture, as auto-repeat sends it.
 * Presses KEY N times GAP ms apart through XTest (no waiting for the window), then samples the
 * centre patch of window WIN every millisecond; prints the times from the last press to the
 * first change that shows a picture (texture: a standard deviation above T) and to the last
 * change before the patch stays still for SETTLE ms, and the window's title then (the
 * viewer's caption names the entry shown).
 * build: gcc -O2 -o heldkey heldkey.c -lX11 -lXtst -lm
 * usage: heldkey -w WIN [-k Right] [-n 15] [-g 33] [-s 400] [-T 6] [-p 48] */
#define _GNU_SOURCE
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

static double now_ms(void) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

static int ignore_errors(Display* d, XErrorEvent* e) {
    (void)d;
    (void)e;
    return 0;
}

/* A hash of the patch of `patch` pixels square at the window's centre, read from the screen,
 * and the mean standard deviation of its channels. */
static uint64_t sample(Display* d, Window root, Window win, int patch, double* sd) {
    XWindowAttributes wa;
    Window child;
    int wx, wy;
    if (!XGetWindowAttributes(d, win, &wa))
        return 0;
    XTranslateCoordinates(d, win, root, 0, 0, &wx, &wy, &child);
    const int pw = patch < wa.width ? patch : wa.width, ph = patch < wa.height ? patch : wa.height;
    XImage* im = XGetImage(d, root, wx + wa.width / 2 - pw / 2, wy + wa.height / 2 - ph / 2, pw,
                           ph, AllPlanes, ZPixmap);
    if (!im)
        return 0;
    uint64_t h = 1469598103934665603ULL;
    double s[3] = {0}, ss[3] = {0};
    for (int y = 0; y < ph; y++)
        for (int x = 0; x < pw; x++) {
            const unsigned long px = XGetPixel(im, x, y);
            h = (h ^ px) * 1099511628211ULL;
            const double c[3] = {(px >> 16) & 255, (px >> 8) & 255, px & 255};
            for (int k = 0; k < 3; k++) {
                s[k] += c[k];
                ss[k] += c[k] * c[k];
            }
        }
    XDestroyImage(im);
    *sd = 0;
    for (int k = 0; k < 3; k++) {
        const double m = s[k] / (pw * ph);
        *sd += sqrt(fmax(0, ss[k] / (pw * ph) - m * m)) / 3;
    }
    return h;
}

static void print_title(Display* d, Window win) {
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char* text = NULL;
    const Atom name = XInternAtom(d, "_NET_WM_NAME", False);
    const Atom utf8 = XInternAtom(d, "UTF8_STRING", False);
    if (XGetWindowProperty(d, win, name, 0, 1024, False, utf8, &type, &format, &count, &after,
                           &text) == Success &&
        text) {
        printf(" title=%s", (const char*)text);
        XFree(text);
    }
}

int main(int argc, char** argv) {
    Window win = 0;
    const char* key = "Right";
    int n = 15, gap = 33, settle = 400, patch = 48;
    double thresh = 6;
    for (int i = 1; i + 1 < argc; i++) {
        if (!strcmp(argv[i], "-w"))
            win = strtoul(argv[++i], 0, 0);
        else if (!strcmp(argv[i], "-k"))
            key = argv[++i];
        else if (!strcmp(argv[i], "-n"))
            n = atoi(argv[++i]);
        else if (!strcmp(argv[i], "-g"))
            gap = atoi(argv[++i]);
        else if (!strcmp(argv[i], "-s"))
            settle = atoi(argv[++i]);
        else if (!strcmp(argv[i], "-T"))
            thresh = atof(argv[++i]);
        else if (!strcmp(argv[i], "-p"))
            patch = atoi(argv[++i]);
    }
    if (!win) {
        fprintf(stderr, "usage: heldkey -w WIN [-k KEY] [-n N] [-g GAP_MS] [-s SETTLE_MS]\n");
        return 2;
    }
    Display* d = XOpenDisplay(NULL);
    if (!d)
        return 2;
    XSetErrorHandler(ignore_errors);
    const Window root = DefaultRootWindow(d);
    const KeyCode kc = XKeysymToKeycode(d, XStringToKeysym(key));
    const double start = now_ms();
    for (int i = 0; i < n; i++) {
        if (i > 0)
            usleep(gap * 1000);
        XTestFakeKeyEvent(d, kc, True, 0);
        XTestFakeKeyEvent(d, kc, False, 0);
        XFlush(d);
    }
    const double release = now_ms();
    double sd;
    const uint64_t atRelease = sample(d, root, win, patch, &sd);
    uint64_t prev = atRelease;
    double first = -1, last = 0;
    for (;;) {
        usleep(1000);
        const uint64_t h = sample(d, root, win, patch, &sd);
        const double t = now_ms() - release;
        if (h != prev) {
            prev = h;
            last = t;
            if (first < 0 && h != atRelease && sd > thresh)
                first = t;
        }
        if (t - last > settle || t > 20000)
            break;
    }
    printf("pressing_ms=%.0f first_after_release_ms=%.1f settled_after_release_ms=%.1f",
           release - start, first, last);
    print_title(d, win);
    printf("\n");
    return 0;
}
