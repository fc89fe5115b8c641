#include "platform/startup_clock.h"

#include <time.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

StartupFigures startupFigures;

namespace {

double bootSeconds() {
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

// The process's start in the boot clock: field 22 of /proc/self/stat, in
// clock ticks. Read once; without it the first call stands in for the start.
double processStart() {
    std::ifstream file("/proc/self/stat");
    std::string stat((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    // The command name, field 2, may hold spaces: count from its closing bracket.
    const size_t close = stat.rfind(')');
    if (close != std::string::npos) {
        std::istringstream fields(stat.substr(close + 2));
        std::string field;
        for (int i = 3; i < 22 && fields >> field; ++i) {
        }
        unsigned long long ticks = 0;
        if (fields >> ticks) return static_cast<double>(ticks) / static_cast<double>(sysconf(_SC_CLK_TCK));
    }
    return bootSeconds();
}

}  // namespace

double processSeconds() {
    static const double start = processStart();
    return bootSeconds() - start;
}

StepTimer::StepTimer(double& sum) : sum_(sum), start_(bootSeconds()) {}

StepTimer::~StepTimer() { sum_ += bootSeconds() - start_; }
