// Prints the display's profile as the program reads it, for the test that runs it on an X
// server of several screens (a test program has its own application object, on another
// platform).
//
//   display_profile_probe      (DISPLAY and QT_QPA_PLATFORM=xcb in the environment)
//
// Prints the profile's bytes as text, or nothing when there is none.
#include "ui/DisplayProfile.h"

#include <QGuiApplication>
#include <cstdio>

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    for (const std::uint8_t byte : tessaly::DisplayProfile())
        std::fputc(byte, stdout);
    return 0;
}
