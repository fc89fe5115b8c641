#include "import/import_guard.h"

#include <assimp/scene.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <assimp/Importer.hpp>
#include <cerrno>
#include <chrono>
#include <cmath>

#include "import/scene.h"

namespace {

// The child's exit codes. Anything else (a sanitizer's report ends a process
// with 1, for one) counts as a crash.
constexpr int kChildUsable = 0;
constexpr int kChildRejected = 86;

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

[[noreturn]] void readInChild(const char* path, unsigned flags, pid_t parent) {
    // Goes down with the demo, however the demo ends.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(kChildRejected);
    // The demo's console is the parent's alone.
    const int devNull = open("/dev/null", O_WRONLY);
    if (devNull >= 0) dup2(devNull, STDOUT_FILENO);

    // The importer and its scene are left to the end of the process: freeing
    // them would only cost time.
    Assimp::Importer* importer = new Assimp::Importer();
    const aiScene* scene = importer->ReadFile(path, flags);
    _exit(usableImport(scene) ? kChildUsable : kChildRejected);
}

}  // namespace

double trialTimeLimit(std::uintmax_t fileBytes) { return 2.0 + static_cast<double>(fileBytes) / 1.0e6; }

TrialRead startTrialRead(const char* path, unsigned flags, double limitSeconds) {
    TrialRead trial;
    trial.limitSeconds = limitSeconds;
    // The child holds the write end and never writes: the pipe reports the
    // end of the file (POLLHUP) the moment the child ends, however it ends.
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) return trial;
    trial.start = std::chrono::steady_clock::now();
    const pid_t parent = getpid();
    const pid_t child = fork();
    if (child < 0) {
        close(ends[0]);
        close(ends[1]);
        return trial;
    }
    if (child == 0) {
        close(ends[0]);
        readInChild(path, flags, parent);
    }
    close(ends[1]);
    trial.child = child;
    trial.end = ends[0];
    return trial;
}

TrialResult tryImportInChild(const char* path, unsigned flags, double limitSeconds) {
    TrialRead trial = startTrialRead(path, flags, limitSeconds);
    return finishTrialRead(trial);
}

TrialResult finishTrialRead(TrialRead& trial) {
    TrialResult result;
    if (trial.child < 0) return result;
    const pid_t child = trial.child;
    const auto start = trial.start;
    const double limitSeconds = trial.limitSeconds;
    const int readEnd = trial.end;
    trial.child = -1;
    trial.end = -1;

    // A child started long before its verdict is asked for may have ended
    // well inside its time while the demo did other work: the pipe is looked
    // at once even when the time is already up.
    bool ended = false;
    for (bool first = true;; first = false) {
        const double left = limitSeconds - secondsSince(start);
        if (left <= 0.0 && !first) break;
        pollfd end{readEnd, POLLIN, 0};
        const int ready = poll(&end, 1, left <= 0.0 ? 0 : static_cast<int>(std::ceil(left * 1000.0)));
        if (ready > 0) {
            ended = true;
            break;
        }
        if (ready < 0 && errno != EINTR) break;
    }
    close(readEnd);
    if (!ended) kill(child, SIGKILL);

    int status = 0;
    rusage usage{};
    pid_t reaped;
    do {
        reaped = wait4(child, &status, 0, &usage);
    } while (reaped < 0 && errno == EINTR);
    result.seconds = secondsSince(start);
    if (reaped == child) {
        result.childCpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                                 1e-6 * static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
    }

    if (!ended) {
        result.outcome = TrialOutcome::TimedOut;
    } else if (reaped == child && WIFEXITED(status) && WEXITSTATUS(status) == kChildUsable) {
        result.outcome = TrialOutcome::Usable;
    } else if (reaped == child && WIFEXITED(status) && WEXITSTATUS(status) == kChildRejected) {
        result.outcome = TrialOutcome::Rejected;
    } else {
        result.outcome = TrialOutcome::Crashed;
        if (reaped == child && WIFSIGNALED(status)) result.signal = WTERMSIG(status);
    }
    return result;
}
