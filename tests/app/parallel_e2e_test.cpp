// Runs that meet each other: many at once on one definition file or one
// source, and a definition file held by another process.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include "app/pakhod_run.h"

using e2e::Invocation;
using e2e::Result;

namespace {

// Holds a file the way another run does, until release() or destruction.
class FileHolder {
public:
    explicit FileHolder(const std::string& path) : fd(open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
        held = fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0;
    }
    ~FileHolder() { release(); }
    void release() {
        if (fd >= 0) close(fd);
        fd = -1;
    }
    bool held;

private:
    int fd;
};

struct Started {
    pid_t pid;
    std::string consoleFile;
};

class ConcurrentRuns : public ::testing::Test {
protected:
    e2e::Workspace ws;

    void SetUp() override { ASSERT_FALSE(ws.root.empty()); }

    Invocation invocation(std::vector<std::string> args) const {
        Invocation r;
        r.args = std::move(args);
        r.directory = ws.root;
        return r;
    }
    // Starts a run whose console text goes to a file of the workspace.
    Started startRun(const Invocation& r, const std::string& consoleName) const {
        std::string file = ws.path(consoleName);
        int out = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        pid_t pid = e2e::start(r, out);
        close(out);
        return {pid, consoleName};
    }
    // The run must still be waiting when the holder lets go, and then succeed.
    void expectWaitsForHolder(const std::string& heldFile, const Invocation& r) const {
        FileHolder holder(heldFile);
        ASSERT_TRUE(holder.held);
        Started run = startRun(r, "console");
        sleep(1);
        int status = 0;
        EXPECT_EQ(waitpid(run.pid, &status, WNOHANG), 0) << "finished while the file was held";
        holder.release();
        EXPECT_EQ(e2e::exitStatus(run.pid), 1);
        EXPECT_EQ(ws.read("console"), e2e::twoNameConsole("a.asm", "b.asm"));
        EXPECT_EQ(ws.read("b.asm"), e2e::convertedText);
    }
    static std::string numbered(const std::string& text, int i, const char* lineEnd) {
        return text + "; file " + std::to_string(i) + lineEnd;
    }
};

TEST_F(ConcurrentRuns, SixteenSourcesShareOneDefinitionFile) {
    const int runs = 16;
    std::vector<Started> started;
    for (int i = 0; i < runs; ++i) ws.write("s" + std::to_string(i) + ".asm", numbered(e2e::sourceText, i, "\n"));
    for (int i = 0; i < runs; ++i) {
        std::string n = std::to_string(i);
        started.push_back(startRun(invocation({"s" + n + ".asm", "d" + n + ".asm"}), "console" + n));
    }
    for (int i = 0; i < runs; ++i) {
        std::string n = std::to_string(i);
        EXPECT_EQ(e2e::exitStatus(started[i].pid), 1) << "run " << i;
        EXPECT_EQ(ws.read("console" + n), e2e::twoNameConsole("s" + n + ".asm", "d" + n + ".asm"));
        EXPECT_EQ(ws.read("d" + n + ".asm"), numbered(e2e::convertedText, i, "\r\n")) << "run " << i;
        EXPECT_EQ(ws.read("s" + n + ".asm"), numbered(e2e::sourceText, i, "\n")) << "run " << i;
    }
}

TEST_F(ConcurrentRuns, EightDestinationsFromOneSource) {
    const int runs = 8;
    ws.write("a.asm", e2e::sourceText);
    std::vector<Started> started;
    for (int i = 0; i < runs; ++i) {
        std::string n = std::to_string(i);
        started.push_back(startRun(invocation({"a.asm", "d" + n + ".asm"}), "console" + n));
    }
    for (int i = 0; i < runs; ++i) {
        std::string n = std::to_string(i);
        EXPECT_EQ(e2e::exitStatus(started[i].pid), 1) << "run " << i;
        EXPECT_EQ(ws.read("console" + n), e2e::twoNameConsole("a.asm", "d" + n + ".asm"));
        EXPECT_EQ(ws.read("d" + n + ".asm"), e2e::convertedText) << "run " << i;
    }
    EXPECT_EQ(ws.read("a.asm"), e2e::sourceText);
}

// Runs in place on one file, each waiting for the one before: the file ends
// as one run leaves it.
TEST_F(ConcurrentRuns, FourInPlaceRunsOnOneFile) {
    const int runs = 4;
    ws.write("a.asm", e2e::sourceText);
    ws.mkdir("tmp");
    std::string tmpdir = ws.path("tmp");
    std::vector<Started> started;
    for (int i = 0; i < runs; ++i) {
        Invocation r = invocation({"a.asm"});
        r.environment = {{"TMPDIR", tmpdir.c_str()}};
        started.push_back(startRun(r, "console" + std::to_string(i)));
    }
    for (int i = 0; i < runs; ++i) EXPECT_EQ(e2e::exitStatus(started[i].pid), 1) << "run " << i;
    EXPECT_EQ(ws.read("a.asm"), e2e::convertedText);
    EXPECT_TRUE(ws.list("tmp").empty());
}

TEST_F(ConcurrentRuns, DefinitionFileHeldBrieflyDelaysTheRun) {
    ws.write("a.asm", e2e::sourceText);
    Invocation r = invocation({"a.asm", "b.asm"});
    r.executable = ws.installPakhod("bin");
    expectWaitsForHolder(ws.path("bin/mmx_set.def"), r);
}

TEST_F(ConcurrentRuns, SourceHeldBrieflyDelaysTheRun) {
    ws.write("a.asm", e2e::sourceText);
    expectWaitsForHolder(ws.path("a.asm"), invocation({"a.asm", "b.asm"}));
}

// Held for longer than any run waits (the holder lets go only when the run
// has ended): the run gives up with the definition-file message.
TEST_F(ConcurrentRuns, DefinitionFileHeldTooLongFails) {
    ws.write("a.asm", e2e::sourceText);
    Invocation r = invocation({"a.asm", "b.asm"});
    r.executable = ws.installPakhod("bin");
    FileHolder holder(ws.path("bin/mmx_set.def"));
    ASSERT_TRUE(holder.held);
    Result result = e2e::runPakhod(r);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.console, e2e::definitionMessage);
    EXPECT_FALSE(ws.exists("b.asm"));
}

// The destination is never waited for: a held one fails like any other.
TEST_F(ConcurrentRuns, HeldDestinationFails) {
    ws.write("a.asm", e2e::sourceText);
    ws.write("b.asm", "held");
    FileHolder holder(ws.path("b.asm"));
    ASSERT_TRUE(holder.held);
    Result result = e2e::runPakhod(invocation({"a.asm", "b.asm"}));
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.console, "ERROR: Can't open destfile (b.asm)\n\n");
    EXPECT_EQ(ws.read("b.asm"), "held");
}

}  // namespace
