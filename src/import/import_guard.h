// A trial read of a model file in a short-lived child process.
//
// Assimp takes a model file at its word: some malformed Collada files make
// its reader dereference null, others keep it busy for minutes. Neither may
// take the demo down or freeze it, so before loadScene imports a file itself,
// a forked child reads it with the very same flags, judges the result the way
// loadScene does, and leaves. Only a child that came through and found a
// usable scene lets the demo import the file; one that died by a signal or
// was still reading when its time ran out makes a failed load.
//
// The child is forked from a process that already has a GL context, the
// sound library's threads and buffered console output. It therefore only
// parses: no GL, no sound, nothing on the demo's console (its standard output
// goes to /dev/null), and it ends with _exit, so no stdio buffer of the parent
// is flushed a second time and no atexit handler or destructor runs in it.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>

enum class TrialOutcome {
    Usable,    // the child read the file and the importer delivered a usable scene
    Rejected,  // the child read it and the importer delivered nothing usable
    Crashed,   // the child died by a signal or ended in any other way than the two above
    TimedOut,  // the child was still reading when its time ran out; it was killed
    NotTried,  // no child could be started (no pipe or no fork): the caller decides
};

struct TrialResult {
    TrialOutcome outcome = TrialOutcome::NotTried;
    int signal = 0;        // the signal that ended a crashed child, 0 otherwise
    double seconds = 0.0;  // from the fork to the child's end (or its kill) as the waiting parent saw it
    double childCpuSeconds = 0.0;  // the processor time the child used
};

// How long the trial read of a file of this many bytes may take: 2 s, plus
// 1 s per megabyte. Our 2 MB town reads in well under a tenth of a second
// on the 2-core software-rendering floor machine, so the bound leaves a
// loaded machine or a sanitizer build 40 times that, yet a file that stalls
// the importer costs the demo at most a few seconds.
double trialTimeLimit(std::uintmax_t fileBytes);

// A trial read under way: its child, the read end of the pipe that tells when
// the child ends, and the moment of the fork, from which its time counts.
struct TrialRead {
    pid_t child = -1;  // -1: no child could be started
    int end = -1;
    std::chrono::steady_clock::time_point start;
    double limitSeconds = 0.0;
};

// Forks the child that reads the file at path with the given post-processing
// flags, and returns at once: the caller goes on with other work while it reads.
TrialRead startTrialRead(const char* path, unsigned flags, double limitSeconds);

// Waits for the child of a started trial read, at most until limitSeconds
// after its fork (a child still running then is killed and reaped; one that
// has already ended counts, however late this is asked), and says how that
// went. Once per trial read.
TrialResult finishTrialRead(TrialRead& trial);

// Both of the above in one: reads the file at path in a child and waits for it.
TrialResult tryImportInChild(const char* path, unsigned flags, double limitSeconds);
