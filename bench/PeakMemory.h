// The peak memory of one run of a benchmark's work, measured in a fresh process (this program
// run again with --peak=NAME PATH), so that what earlier runs left in this one's heap does not
// hide it.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace tessaly::bench {

inline constexpr std::string_view kPeakOption = "--peak=";

// Whether the program was started to measure one run (argv[1] is --peak=NAME, argv[2] a path).
bool IsPeakRun(int argc, char** argv);
// The NAME of such a start.
std::string_view PeakRunName(char** argv);

// In the process started for it: runs `work` and prints the most memory it added to the
// resident set, in MiB, with the peak reset (clear_refs 5) before it. Returns the exit code.
int PrintPeak(const std::function<void()>& work);

// Starts this program again with --peak=NAME PATH and returns the MiB it printed.
double PeakMiB(std::string_view name, const std::string& path);

} // namespace tessaly::bench
