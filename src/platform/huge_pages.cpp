#include "platform/huge_pages.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace {

constexpr const char* kHugePagesTunable = "glibc.malloc.hugetlb=1";

// "always [madvise] never": the mode in brackets is the one in force.
bool kernelOffersHugePages() {
    std::ifstream file("/sys/kernel/mm/transparent_hugepage/enabled");
    std::string modes;
    if (!std::getline(file, modes)) return false;
    return modes.find("[never]") == std::string::npos;
}

}  // namespace

bool tunablesSetHugePages(const char* tunables) {
    if (tunables == nullptr) return false;
    // Colon-separated name=value pairs; the name must match whole.
    const std::string list = std::string(":") + tunables;
    return list.find(":glibc.malloc.hugetlb=") != std::string::npos;
}

void restartWithHugePages(char** argv) {
    const char* tunables = std::getenv("GLIBC_TUNABLES");
    if (tunablesSetHugePages(tunables) || !kernelOffersHugePages()) return;
    const std::string value =
        tunables != nullptr && *tunables != '\0' ? std::string(tunables) + ":" + kHugePagesTunable : kHugePagesTunable;
    if (setenv("GLIBC_TUNABLES", value.c_str(), 1) != 0) return;
    execv("/proc/self/exe", argv);
    // The exec failed: go on in 4 KB pages, and leave the environment as it was.
    if (tunables != nullptr) {
        setenv("GLIBC_TUNABLES", tunables, 1);
    } else {
        unsetenv("GLIBC_TUNABLES");
    }
}
