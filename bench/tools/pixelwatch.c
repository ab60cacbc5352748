// Samples one pixel of the X server's root window as often as it can and prints each change
// of its colour with the time since the start, in milliseconds: what a screen showed at that
// point, frame by frame, while a viewer changes (bench/fullscreen_flash.sh).
//
//     gcc -O2 -o /tmp/vt/pixelwatch bench/tools/pixelwatch.c -lX11
//     pixelwatch X Y MS
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

static double Now(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

int main(int argc, char** argv) {
    if (argc != 4) {
        fprintf(stderr, "usage: pixelwatch X Y MS\n");
        return 2;
    }
    Display* display = XOpenDisplay(NULL);
    if (!display)
        return 1;
    const int x = atoi(argv[1]), y = atoi(argv[2]);
    const double ms = atof(argv[3]);
    const Window root = DefaultRootWindow(display);
    const double start = Now();
    unsigned long last = ~0ul;
    long samples = 0;
    while (Now() - start < ms) {
        XImage* image = XGetImage(display, root, x, y, 1, 1, AllPlanes, ZPixmap);
        if (!image)
            return 1;
        const unsigned long pixel = XGetPixel(image, 0, 0);
        XDestroyImage(image);
        ++samples;
        if (pixel != last) {
            printf("%.1f %06lx\n", Now() - start, pixel);
            fflush(stdout);
            last = pixel;
        }
    }
    fprintf(stderr, "%ld samples\n", samples);
    XCloseDisplay(display);
    return 0;
}
