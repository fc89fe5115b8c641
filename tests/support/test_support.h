// Helpers for the end-to-end tests: scratch working folders holding the real
// shaders, and running the real demo binary in them with a time limit.
#pragma once

#include <functional>
#include <iostream>
#include <streambuf>
#include <string>
#include <vector>

// Where the source tree, the run folder and the demo binary are.
std::string sourcePath(const std::string& relative);
std::string runPath(const std::string& relative);
std::string demoBinary();

// A fresh empty folder under /tmp, unique per call; left behind for inspection.
std::string makeScratchDir(const std::string& tag);

// Copies the eight real shader files into dir/shaders.
void copyShaders(const std::string& dir);

void writeFile(const std::string& path, const std::string& contents);
std::string readFile(const std::string& path);
void makeDirs(const std::string& path);

struct ProcessResult {
    int exitCode = -1;       // valid when exited
    bool exited = false;     // false: killed by a signal or by the time limit
    int signal = 0;          // the signal that ended it, if any
    bool timedOut = false;
    std::string output;      // standard output and standard error, interleaved
};

// Runs program with no arguments in workingDir; extraEnv entries ("NAME=value")
// are added to (or replace) the environment; "NAME=" with nothing after the '='
// removes NAME. Kills the process after timeoutSeconds.
ProcessResult runProgram(const std::string& program, const std::string& workingDir,
                         double timeoutSeconds, const std::vector<std::string>& extraEnv = {},
                         const std::vector<std::string>& args = {});

// A started child: its process id and the read end of the one pipe that
// carries its standard output and standard error.
struct ChildProcess {
    int pid = -1;       // -1: it could not be started
    int outputFd = -1;
};

// Starts program with args in workingDir, extraEnv applied as for runProgram.
// Everything the child needs is made before the fork, so that nothing but
// exec runs after it. The caller reaps the child and closes outputFd.
ChildProcess startChild(const std::string& program, const std::string& workingDir,
                        const std::vector<std::string>& extraEnv, const std::vector<std::string>& args = {});

// Fills exited, exitCode and signal from a waitpid status. A child killed at
// its time limit (timedOut already set) does not count as exited.
void recordExitStatus(ProcessResult& result, int status);

// Opens a hidden 3.2 core, forward-compatible window of the given size and
// loads the GL entry points into it; false without a display.
bool openHiddenContext(int width, int height);

// A parameter of one mip level of a 2D texture (GL_TEXTURE_WIDTH, ...), read
// with the texture bound to the active unit; -1 when GL reports nothing.
int textureLevelParameter(unsigned texture, int level, unsigned parameter);

// What `work` writes to std::cout, kept from the console.
std::string captureConsole(const std::function<void()>& work);

// The lines of text that start with prefix, without their line ends.
std::vector<std::string> linesStartingWith(const std::string& text, const std::string& prefix);

// Number of non-overlapping occurrences of needle in text.
int countOccurrences(const std::string& text, const std::string& needle);

// A stream buffer that keeps what is written and where the stream was synced
// (flushed): std::endl and std::flush sync, a bare '\n' does not, which an
// ostringstream cannot tell apart.
class SyncCountingBuffer : public std::streambuf {
public:
    const std::string& text() const { return text_; }
    int syncs() const { return static_cast<int>(syncedAt_.size()); }
    // The lines whose end-of-line was not followed by a sync before more text
    // came, and a last line left without one. A line followed at once by a
    // synced empty line ("... compiled successfully.\n" then std::endl) is one
    // flushed message of two lines.
    std::vector<std::string> unflushedLines() const;

protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* s, std::streamsize n) override;
    int sync() override;

private:
    std::string text_;
    std::vector<std::size_t> syncedAt_;  // text length at each sync
};

// Sends std::cout to a SyncCountingBuffer for the capture's lifetime.
struct ConsoleCapture {
    SyncCountingBuffer buffer;
    std::streambuf* previous;
    ConsoleCapture() : previous(std::cout.rdbuf(&buffer)) {}
    ~ConsoleCapture() { std::cout.rdbuf(previous); }
    ConsoleCapture(const ConsoleCapture&) = delete;
    ConsoleCapture& operator=(const ConsoleCapture&) = delete;
    const std::string& text() const { return buffer.text(); }
};
