/* rootprofile: publishes a file's bytes as the display's colour profile, the root window's
 * _ICC_PROFILE property (CARDINAL, format 8), as colour daemons do; written in pieces of
 * 256 KiB so that a profile of several MiB fits the server's request size. With -d the
 * property is deleted.
 * build: gcc -O2 -o rootprofile rootprofile.c -lX11
 * usage: rootprofile FILE.icc | rootprofile -d */
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: rootprofile FILE.icc | rootprofile -d\n");
        return 2;
    }
    Display* display = XOpenDisplay(NULL);
    if (!display) {
        fprintf(stderr, "rootprofile: cannot open the display\n");
        return 1;
    }
    const Window root = DefaultRootWindow(display);
    const Atom property = XInternAtom(display, "_ICC_PROFILE", False);
    if (!strcmp(argv[1], "-d")) {
        XDeleteProperty(display, root, property);
        XCloseDisplay(display);
        return 0;
    }
    FILE* file = fopen(argv[1], "rb");
    if (!file) {
        perror(argv[1]);
        return 1;
    }
    fseek(file, 0, SEEK_END);
    const long size = ftell(file);
    rewind(file);
    unsigned char* bytes = malloc(size > 0 ? (size_t)size : 1);
    if (!bytes || fread(bytes, 1, (size_t)size, file) != (size_t)size) {
        fprintf(stderr, "rootprofile: cannot read %s\n", argv[1]);
        return 1;
    }
    fclose(file);
    const long piece = 256 * 1024;
    XChangeProperty(display, root, property, XA_CARDINAL, 8, PropModeReplace, bytes, 0);
    for (long at = 0; at < size; at += piece) {
        const long n = size - at < piece ? size - at : piece;
        XChangeProperty(display, root, property, XA_CARDINAL, 8, PropModeAppend, bytes + at,
                        (int)n);
    }
    XSync(display, False);
    XCloseDisplay(display);
    free(bytes);
    printf("rootprofile: %ld bytes on the root window\n", size);
    return 0;
}
