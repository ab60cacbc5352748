// Work done at a lower scheduling priority than the calling thread's, so that on a busy
// machine it takes the cores only after the work that someone waits for.
#pragma once

#include <functional>

namespace tessaly {

// Runs `work` on a thread of its own whose nice value is `nice` higher than the calling
// thread's (at most 19), waits for it and rethrows what it threw; threads that `work` starts
// get the same priority. The thread ends with the work: an unprivileged process may lower a
// thread's priority but not raise it again, so the calling thread keeps its own. With nice
// at 0 or below, or when no thread can be started, `work` runs on the calling thread.
void RunAtLowerPriority(int nice, const std::function<void()>& work);

} // namespace tessaly
