#include "bench/PeakMemory.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>

namespace tessaly::bench {

namespace {

// Kibibytes of a line of /proc/self/status ("VmRSS", "VmHWM").
double StatusKiB(const std::string& field) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with(field + ":"))
            return std::stod(line.substr(field.size() + 1));
    return 0;
}

} // namespace

bool IsPeakRun(int argc, char** argv) {
    return argc == 3 && std::string_view(argv[1]).starts_with(kPeakOption);
}

std::string_view PeakRunName(char** argv) {
    return std::string_view(argv[1]).substr(kPeakOption.size());
}

int PrintPeak(const std::function<void()>& work) {
    std::ofstream("/proc/self/clear_refs") << "5";
    const double before = StatusKiB("VmRSS");
    work();
    std::printf("%.1f\n", (StatusKiB("VmHWM") - before) / 1024);
    return 0;
}

double PeakMiB(std::string_view name, const std::string& path) {
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    const std::string command =
        "'" + self + "' " + std::string(kPeakOption) + std::string(name) + " '" + path + "'";
    const std::unique_ptr<std::FILE, decltype(&pclose)> child(popen(command.c_str(), "r"), &pclose);
    double peak = -1;
    if (!child || std::fscanf(child.get(), "%lf", &peak) != 1)
        throw std::runtime_error("no peak from " + command);
    return peak;
}

} // namespace tessaly::bench
