// Runs that meet each other: many at once on one definition file or one
// source, and files held by another process.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <utility>

#include "app/pakhod_run.h"

namespace {

using e2e::Invocation;

// Holds a file the way another run does, until release() or destruction.
struct FileHolder {
    explicit FileHolder(const std::string& path) : fd(open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
    ~FileHolder() { release(); }
    void release() {
        if (fd >= 0) close(std::exchange(fd, -1));
    }
    int fd;
    const bool held = fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0;
};

class ConcurrentRuns : public e2e::WorkspaceTest {
protected:
    // A run in the workspace; with `ownCopy` a copy of pakhod and its definition file in bin/.
    Invocation invocation(std::vector<std::string> args, bool ownCopy = false) const {
        Invocation r{std::move(args), ws.root, {{"TMPDIR", tmp.c_str()}}};
        if (ownCopy) r.executable = ws.installPakhod("bin");
        return r;
    }
    // Starts a run whose console text goes to the workspace file `console`.
    pid_t startRun(const Invocation& r, const std::string& console) const {
        int out = open(ws.path(console).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        pid_t pid = e2e::start(r, out);
        close(out);
        return pid;
    }
    // Runs "source -> d<i>.asm" for every source at once; every run must complete with the right bytes.
    void runAllAtOnce(const std::vector<std::string>& sources, bool numberedSources) const {
        std::vector<pid_t> pids;
        auto dest = [](size_t i) { return "d" + std::to_string(i) + ".asm"; };
        for (size_t i = 0; i < sources.size(); ++i)
            pids.push_back(startRun(invocation({sources[i], dest(i)}), "c" + std::to_string(i)));
        for (size_t i = 0; i < sources.size(); ++i) {
            EXPECT_EQ(e2e::exitStatus(pids[i]), 1) << "run " << i;
            EXPECT_EQ(ws.read("c" + std::to_string(i)), e2e::progress(sources[i], dest(i)));
            EXPECT_EQ(ws.read(dest(i)), numberedSources ? numbered(e2e::convertedText, i, "\r\n") : e2e::convertedText)
                << "run " << i;
        }
    }
    // The run must still be waiting when the holder lets go, and then succeed.
    void expectWaitsForHolder(const std::string& heldFile, const Invocation& r) const {
        FileHolder holder(ws.path(heldFile));
        ASSERT_TRUE(holder.held);
        pid_t pid = startRun(r, "console");
        sleep(1);
        int status = 0;
        EXPECT_EQ(waitpid(pid, &status, WNOHANG), 0) << "finished while the file was held";
        holder.release();
        EXPECT_EQ(e2e::exitStatus(pid), 1);
        EXPECT_EQ(ws.read("console"), e2e::progress("a.asm", r.args[1]));
        EXPECT_EQ(ws.read(r.args[1]), e2e::convertedText);
    }
    static std::string numbered(const std::string& text, size_t i, const char* lineEnd) {
        return text + "; file " + std::to_string(i) + lineEnd;
    }
};

TEST_F(ConcurrentRuns, SixteenSourcesShareOneDefinitionFile) {
    std::vector<std::string> sources;
    for (size_t i = 0; i < 16; ++i) {
        sources.push_back("s" + std::to_string(i) + ".asm");
        ws.write(sources.back(), numbered(e2e::sourceText, i, "\n"));
    }
    runAllAtOnce(sources, true);
    for (size_t i = 0; i < 16; ++i) EXPECT_EQ(ws.read(sources[i]), numbered(e2e::sourceText, i, "\n"));
}

TEST_F(ConcurrentRuns, EightDestinationsFromOneSource) {
    runAllAtOnce(std::vector<std::string>(8, "a.asm"), false);
    EXPECT_EQ(ws.read("a.asm"), e2e::sourceText);
}

// Runs in place on one file, each waiting for the one before: the file ends as one run leaves it.
TEST_F(ConcurrentRuns, FourInPlaceRunsOnOneFile) {
    std::vector<pid_t> pids;
    for (int i = 0; i < 4; ++i) pids.push_back(startRun(invocation({"a.asm"}), "c" + std::to_string(i)));
    for (pid_t pid : pids) EXPECT_EQ(e2e::exitStatus(pid), 1);
    EXPECT_EQ(ws.read("a.asm"), e2e::convertedText);
    EXPECT_TRUE(ws.list("tmp").empty());
}

TEST_F(ConcurrentRuns, DefinitionFileOrSourceHeldBrieflyDelaysTheRun) {
    expectWaitsForHolder("bin/mmx_set.def", invocation({"a.asm", "b.asm"}, true));
    expectWaitsForHolder("a.asm", invocation({"a.asm", "c.asm"}));
}

// Held for longer than any run waits, the definition file gives its message;
// a held destination is never waited for and fails at once.
TEST_F(ConcurrentRuns, HeldTooLongOrHeldDestinationFails) {
    const Invocation run = invocation({"a.asm", "b.asm"}, true);
    for (const auto& [held, message] : {std::pair<const char*, std::string>{"bin/mmx_set.def", e2e::definitionMessage},
                                        {"b.asm", "ERROR: Can't open destfile (b.asm)\n\n"}}) {
        ws.write("b.asm", "held");
        FileHolder holder(ws.path(held));
        ASSERT_TRUE(holder.held);
        const e2e::Result r = e2e::runPakhod(run);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.console, message);
        EXPECT_EQ(ws.read("b.asm"), "held");
        EXPECT_EQ(ws.read("a.asm"), e2e::sourceText);
    }
}

}  // namespace
