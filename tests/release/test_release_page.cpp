// The release page (dist/index.html) opened from disk in headless Chromium,
// as someone who found the release would open it: the video's metadata
// loads and it plays, every link and picture is a file of the release and
// nothing else is fetched, the sums on the page are those of the files, and
// it fits a wide screen and a phone's.
//
// Not part of ./test.sh: it needs a release (tools/release.sh) and Chromium.
// tools/check_page.sh runs it; TARNWICK_DIST names another release folder
// than dist/, TARNWICK_PAGE_SHOTS a folder for screenshots of the page at
// 1280 and 390 pixels wide.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

namespace fs = std::filesystem;

std::string environmentOr(const char* name, const std::string& fallback) {
    const char* value = std::getenv(name);
    return value && *value ? value : fallback;
}

std::string jsonQuoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        if (c == '\n') {
            out += "\\n";
            continue;
        }
        out += c;
    }
    return out + "\"";
}

// The JSON string that starts at text[at] (its opening quote), unescaped;
// at is left past its closing quote. Escapes beyond ASCII do not occur in
// what the page's checks return.
std::string jsonString(const std::string& text, size_t& at) {
    std::string out;
    for (++at; at < text.size() && text[at] != '"'; ++at) {
        if (text[at] != '\\') {
            out += text[at];
            continue;
        }
        const char escaped = text[++at];
        if (escaped == 'n') out += '\n';
        else if (escaped == 't') out += '\t';
        else if (escaped == 'u') {
            out += static_cast<char>(std::stoi(text.substr(at + 1, 4), nullptr, 16));
            at += 4;
        } else out += escaped;
    }
    ++at;
    return out;
}

// The string value of the first "key": "..." in a message, or "" without one.
std::string jsonField(const std::string& message, const std::string& key) {
    size_t at = message.find("\"" + key + "\":\"");
    if (at == std::string::npos) return "";
    at += key.size() + 3;
    return jsonString(message, at);
}

std::string base64Decoded(const std::string& text) {
    static const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    int bits = 0, value = 0;
    for (char c : text) {
        const size_t digit = alphabet.find(c);
        if (digit == std::string::npos) break;  // '=' padding
        value = (value << 6) | static_cast<int>(digit);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out += static_cast<char>((value >> bits) & 0xff);
        }
    }
    return out;
}

// "key value" lines, as the page's checks return them, by key.
std::map<std::string, std::string> keyedLines(const std::string& text) {
    std::map<std::string, std::string> values;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        const size_t space = line.find(' ');
        values[line.substr(0, space)] = space == std::string::npos ? "" : line.substr(space + 1);
    }
    return values;
}

// Headless Chromium driven over its DevTools protocol on a pipe (fds 3 and
// 4, NUL-terminated JSON messages): no port, nothing else on the machine
// can talk to it.
class Browser {
public:
    Browser() {
        profile_ = makeScratchDir("page-browser");
        int toBrowser[2], fromBrowser[2];
        if (pipe(toBrowser) != 0 || pipe(fromBrowser) != 0) return;
        const std::string program = environmentOr("TARNWICK_CHROMIUM", "chromium-headless-shell");
        std::vector<std::string> args = {program, "--headless", "--no-sandbox", "--disable-gpu",
                                         "--remote-debugging-pipe", "--user-data-dir=" + profile_,
                                         "--autoplay-policy=no-user-gesture-required", "--hide-scrollbars",
                                         "--no-first-run", "about:blank"};
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        const std::string log = profile_ + "/browser.log";
        pid_ = fork();
        if (pid_ == 0) {
            // Out of the way of 3 and 4 first, then onto them.
            const int in = fcntl(toBrowser[0], F_DUPFD, 10), out = fcntl(fromBrowser[1], F_DUPFD, 10);
            dup2(in, 3);
            dup2(out, 4);
            const int logFd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(logFd, STDOUT_FILENO);
            dup2(logFd, STDERR_FILENO);
            for (int fd = 5; fd < 64; ++fd) close(fd);
            execvp(argv[0], argv.data());
            _exit(127);
        }
        close(toBrowser[0]);
        close(fromBrowser[1]);
        writeFd_ = toBrowser[1];
        readFd_ = fromBrowser[0];
        if (pid_ < 0) return;
        // A page of its own, attached with a session that carries its commands.
        const std::string target = command("Target.createTarget", R"({"url":"about:blank"})", false);
        const std::string targetId = jsonField(target, "targetId");
        if (targetId.empty()) return;
        session_ = jsonField(command("Target.attachToTarget",
                                     R"({"targetId":")" + targetId + R"(","flatten":true})", false),
                             "sessionId");
        if (!session_.empty()) command("Network.enable", "{}");
    }

    ~Browser() {
        if (writeFd_ >= 0) close(writeFd_);
        if (readFd_ >= 0) close(readFd_);
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    Browser(const Browser&) = delete;
    Browser& operator=(const Browser&) = delete;

    bool ready() const { return !session_.empty(); }
    std::string log() const { return readFile(profile_ + "/browser.log"); }

    // Sends a command (to the page unless toPage is false) and waits for its
    // answer, keeping the events that come before it.
    std::string command(const std::string& method, const std::string& params, bool toPage = true,
                        double seconds = 60) {
        const int id = ++lastId_;
        std::string message = "{\"id\":" + std::to_string(id) + ",\"method\":\"" + method + "\",\"params\":" + params;
        if (toPage) message += ",\"sessionId\":\"" + session_ + "\"";
        message += "}";
        message += '\0';
        if (write(writeFd_, message.data(), message.size()) != static_cast<ssize_t>(message.size())) return "";
        const std::string answer = "{\"id\":" + std::to_string(id) + ",";
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (std::chrono::steady_clock::now() < deadline) {
            for (size_t end; (end = pending_.find('\0')) != std::string::npos;) {
                std::string received = pending_.substr(0, end);
                pending_.erase(0, end + 1);
                if (received.rfind(answer, 0) == 0) return received;
                events_.push_back(received);
            }
            pollfd pfd{readFd_, POLLIN, 0};
            if (poll(&pfd, 1, 200) > 0) {
                char buffer[65536];
                const ssize_t n = read(readFd_, buffer, sizeof buffer);
                if (n <= 0) return "";
                pending_.append(buffer, static_cast<size_t>(n));
            }
        }
        return "";
    }

    // The string a JavaScript expression (a promise is awaited) gives, or
    // "error: ..." with what went wrong.
    std::string evaluate(const std::string& expression, double seconds = 60) {
        const std::string answer = command(
            "Runtime.evaluate",
            "{\"expression\":" + jsonQuoted(expression) + ",\"awaitPromise\":true,\"returnByValue\":true}", true,
            seconds);
        if (answer.empty()) return "error: no answer";
        if (answer.find("\"exceptionDetails\"") != std::string::npos) {
            const std::string description = jsonField(answer, "description");
            return "error: " + (description.empty() ? answer : description);
        }
        return jsonField(answer, "value");
    }

    // Opens url and waits until it and its pictures have loaded.
    bool open(const std::string& url) {
        command("Page.navigate", "{\"url\":" + jsonQuoted(url) + "}");
        return waitForLoad(url);
    }
    bool reload(const std::string& url) {
        command("Page.reload", "{\"ignoreCache\":true}");
        return waitForLoad(url);
    }

    // Every URL the page asked for since the browser started.
    std::vector<std::string> requestedUrls() const {
        std::vector<std::string> urls;
        for (const std::string& event : events_) {
            if (event.find("\"method\":\"Network.requestWillBeSent\"") == std::string::npos) continue;
            const size_t request = event.find("\"request\":{");
            if (request != std::string::npos) urls.push_back(jsonField(event.substr(request), "url"));
        }
        return urls;
    }

private:
    bool waitForLoad(const std::string& url) {
        for (int tries = 0; tries < 300; ++tries) {
            if (evaluate("location.href + ' ' + document.readyState") == url + " complete") return true;
            usleep(100000);
        }
        return false;
    }

    int pid_ = -1;
    int writeFd_ = -1;
    int readFd_ = -1;
    int lastId_ = 0;
    std::string profile_;
    std::string session_;
    std::string pending_;
    std::vector<std::string> events_;
};

class ReleasePage : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dist_ = fs::absolute(environmentOr("TARNWICK_DIST", sourcePath("dist"))).lexically_normal().string();
        if (dist_.back() == '/') dist_.pop_back();
        page_ = "file://" + dist_ + "/index.html";
        browser_ = new Browser();
        loaded_ = browser_->ready() && fs::exists(dist_ + "/index.html") && browser_->open(page_);
    }
    static void TearDownTestSuite() {
        delete browser_;
        browser_ = nullptr;
    }
    void SetUp() override {
        ASSERT_TRUE(fs::exists(dist_ + "/index.html")) << "no release page in " << dist_ << "; run tools/release.sh";
        ASSERT_TRUE(browser_->ready()) << "Chromium did not start\n" << browser_->log();
        ASSERT_TRUE(loaded_) << page_ << " did not load";
    }

    // The files of the release, but the page itself.
    static std::set<std::string> releaseFiles() {
        std::set<std::string> files;
        for (const auto& entry : fs::directory_iterator(dist_)) {
            if (entry.path().filename() != "index.html") files.insert(entry.path().filename().string());
        }
        return files;
    }
    // The file of the release a URL names, or "" when it names anything else.
    static std::string releaseFile(const std::string& url) {
        const std::string prefix = "file://" + dist_ + "/";
        if (url.rfind(prefix, 0) != 0) return "";
        const std::string name = url.substr(prefix.size());
        return fs::is_regular_file(dist_ + "/" + name) ? name : "";
    }

    static std::string dist_;
    static std::string page_;
    static Browser* browser_;
    static bool loaded_;
};

std::string ReleasePage::dist_;
std::string ReleasePage::page_;
Browser* ReleasePage::browser_ = nullptr;
bool ReleasePage::loaded_ = false;

// The video that the page shows is the largest the release has, its metadata
// is what the page says, its poster is a frame of its size, and it plays.
TEST_F(ReleasePage, TheVideoLoadsAtItsWrittenSizeAndPlays) {
    const std::map<std::string, std::string> video = keyedLines(browser_->evaluate(R"((async () => {
        const v = document.querySelector('video');
        if (v.readyState < 1) await new Promise((loaded, failed) => {
            if (v.error) failed(new Error('video error ' + v.error.code));
            v.addEventListener('loadedmetadata', loaded, {once: true});
            v.addEventListener('error', () => failed(new Error('video error ' + v.error.code)), {once: true});
        });
        const poster = new Image();
        poster.src = v.poster;
        await poster.decode();
        return ['src ' + v.currentSrc, 'duration ' + v.duration, 'controls ' + v.controls,
                'size ' + v.videoWidth + 'x' + v.videoHeight,
                'written ' + v.getAttribute('width') + 'x' + v.getAttribute('height'),
                'poster ' + v.poster, 'postersize ' + poster.naturalWidth + 'x' + poster.naturalHeight].join('\n');
    })())"));
    ASSERT_EQ(video.count("duration"), 1u) << (video.empty() ? "nothing" : video.begin()->first);
    std::cout << "video " << video.at("src") << ": duration " << video.at("duration") << " s, "
              << video.at("size") << " (written " << video.at("written") << "), poster " << video.at("postersize")
              << std::endl;

    std::string expected;
    for (const std::string& name : releaseFiles()) {
        if (name.size() > 12 && name.compare(name.size() - 12, 12, "-1080p50.mp4") == 0) expected = name;
    }
    for (const std::string& name : releaseFiles()) {
        if (expected.empty() && name.size() > 4 && name.compare(name.size() - 4, 4, ".mp4") == 0) expected = name;
    }
    EXPECT_EQ(releaseFile(video.at("src")), expected);
    EXPECT_NEAR(std::stod(video.at("duration")), 134.7, 0.05);
    EXPECT_EQ(video.at("controls"), "true");
    EXPECT_EQ(video.at("size"), video.at("written"));
    EXPECT_NE(releaseFile(video.at("poster")), "");
    EXPECT_EQ(video.at("postersize"), video.at("size"));

    const std::string played = browser_->evaluate(R"((async () => {
        const v = document.querySelector('video');
        const before = v.currentTime;
        await v.play();
        const started = performance.now();
        while (v.currentTime < before + 1 && performance.now() - started < 20000) {
            await new Promise(later => setTimeout(later, 100));
        }
        v.pause();
        return before + ' ' + v.currentTime;
    })())");
    std::istringstream times(played);
    double before = -1, after = -1;
    ASSERT_TRUE(times >> before >> after) << played;
    std::cout << "currentTime " << before << " s before playing, " << after << " s after" << std::endl;
    EXPECT_GT(after, before + 0.5);
}

// Every link and picture is a file of the release, every file is offered,
// every picture decodes, and the browser fetched nothing from elsewhere.
TEST_F(ReleasePage, EveryLinkAndPictureIsAFileOfTheReleaseAndNothingElseIsFetched) {
    const std::string found = browser_->evaluate(R"((() => {
        const lines = [];
        for (const a of document.querySelectorAll('a[href]')) lines.push('link ' + a.href);
        for (const i of document.images) lines.push((i.complete && i.naturalWidth > 0 ? 'image ' : 'broken ') + i.src);
        for (const e of document.querySelectorAll('script, link, iframe, object, embed, [style*="url("]')) {
            lines.push('foreign ' + e.outerHTML.slice(0, 100));
        }
        return lines.join('\n');
    })())");
    std::set<std::string> linked;
    int links = 0, images = 0;
    std::istringstream lines(found);
    for (std::string line; std::getline(lines, line);) {
        const std::string kind = line.substr(0, line.find(' ')), url = line.substr(line.find(' ') + 1);
        EXPECT_TRUE(kind == "link" || kind == "image") << line;
        EXPECT_NE(releaseFile(url), "") << line;
        if (kind == "link") {
            ++links;
            linked.insert(releaseFile(url));
        }
        if (kind == "image") ++images;
    }
    std::cout << links << " links and " << images << " pictures checked, each a file of " << dist_ << std::endl;
    EXPECT_EQ(linked, releaseFiles());
    EXPECT_GE(images, 4) << "the contact sheet and three screenshots";

    // data: URLs are no requests: the browser's own video controls draw their icons from them.
    const std::vector<std::string> requested = browser_->requestedUrls();
    for (const std::string& url : requested) {
        if (url.rfind("data:", 0) == 0) continue;
        EXPECT_NE(releaseFile(url), "") << "fetched " << url;
    }
    EXPECT_GE(requested.size(), 5u);
}

// The sums and sizes the page lists are those of the files beside it.
TEST_F(ReleasePage, TheSumsOnThePageAreThoseOfTheFiles) {
    const ProcessResult sums = runProgram("/bin/sh", dist_, 120, {}, {"-c", "sha256sum -- *"});
    ASSERT_TRUE(sums.exited && sums.exitCode == 0) << sums.output;
    std::map<std::string, std::string> actual;
    std::istringstream sumLines(sums.output);
    for (std::string sum, name; sumLines >> sum >> name;) actual[name] = sum;

    const std::string rows = browser_->evaluate(R"([...document.querySelectorAll('table.files tbody tr')]
        .map(row => row.querySelector('a').getAttribute('href') + ' ' + row.dataset.bytes + ' ' + row.cells[2].textContent)
        .join('\n'))");
    std::istringstream lines(rows);
    int checked = 0;
    for (std::string name, bytes, sum; lines >> name >> bytes && std::getline(lines, sum);) {
        sum = sum.substr(sum.find_first_not_of(' '));
        EXPECT_EQ(bytes, std::to_string(fs::file_size(dist_ + "/" + name))) << name;
        if (name == "SHA256SUMS") continue;
        EXPECT_EQ(sum, actual[name]) << name;
        ++checked;
    }
    std::cout << checked << " sums on the page checked against the files" << std::endl;
    EXPECT_EQ(checked + 1, static_cast<int>(releaseFiles().size())) << rows;
}

// At a desktop's width and, as a phone shows it, at 390 pixels with the
// page's viewport: nothing runs off to the side, the video fills the width.
TEST_F(ReleasePage, ItFitsAWideScreenAndAPhone) {
    const std::string shots = environmentOr("TARNWICK_PAGE_SHOTS", "");
    for (const auto& [width, phone] : {std::pair{1280, false}, std::pair{390, true}}) {
        browser_->command("Emulation.setDeviceMetricsOverride",
                          "{\"width\":" + std::to_string(width) + ",\"height\":900,\"deviceScaleFactor\":1,"
                          "\"mobile\":" + (phone ? "true" : "false") + "}");
        ASSERT_TRUE(browser_->reload(page_));
        const std::map<std::string, std::string> layout = keyedLines(browser_->evaluate(R"((() => {
            const right = [...document.querySelectorAll('body *')].map(e => e.getBoundingClientRect().right);
            return ['inner ' + innerWidth, 'scroll ' + document.documentElement.scrollWidth,
                    'right ' + Math.ceil(Math.max(...right)),
                    'video ' + Math.round(document.querySelector('video').getBoundingClientRect().width),
                    'content ' + Math.round(document.querySelector('main').getBoundingClientRect().width),
                    'height ' + document.documentElement.scrollHeight].join('\n');
        })())"));
        ASSERT_EQ(layout.count("inner"), 1u) << width;
        std::cout << width << " wide: " << layout.at("scroll") << " scrolled, video " << layout.at("video")
                  << " of " << layout.at("content") << ", page " << layout.at("height") << " high" << std::endl;
        EXPECT_EQ(layout.at("inner"), std::to_string(width)) << "the viewport";
        EXPECT_EQ(layout.at("scroll"), std::to_string(width)) << "the page runs off to the side";
        EXPECT_LE(std::stoi(layout.at("right")), width);
        EXPECT_EQ(layout.at("video"), layout.at("content"));

        if (shots.empty()) continue;
        const std::string shot = browser_->command(
            "Page.captureScreenshot", "{\"format\":\"png\",\"captureBeyondViewport\":true,\"clip\":{\"x\":0,\"y\":0,"
                                      "\"width\":" + std::to_string(width) + ",\"height\":" + layout.at("height") +
                                      ",\"scale\":1}}");
        const std::string path = shots + "/page-" + std::to_string(width) + ".png";
        writeFile(path, base64Decoded(jsonField(shot, "data")));
        std::cout << "screenshot " << path << std::endl;
    }
    browser_->command("Emulation.clearDeviceMetricsOverride", "{}");
}

}  // namespace
