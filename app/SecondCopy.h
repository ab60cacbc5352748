// What a second copy of the program does: it tells the user that the program runs already
// and asks the running copy to come forward, then ends.
#pragma once

namespace tessaly {

class SingleInstance;

// Whether a window of this process would be seen: Qt's window system is started, with the
// program's arguments as Qt reads them (-platform, -display, ...), in a child process, since
// Qt ends a process whose window system cannot start. It must start, on a platform with a
// screen ("offscreen" and "minimal" have none). Call it before any thread is started.
bool WindowsCanBeSeen(int argc, char** argv);

// The second copy's part, for `instance` found taken: the duplicate-start box, and once the
// user has closed it, the request to the running copy. Where the box could not be seen
// (WindowsCanBeSeen), its text goes to the error stream instead and the request is sent at
// once. Returns the exit code, 0.
int RunSecondCopy(SingleInstance& instance, int argc, char** argv);

} // namespace tessaly
