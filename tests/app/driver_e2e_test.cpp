// End-to-end runs of the built pakhod in temporary directories: console
// text, exit status and the bytes of every file involved.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <regex>

#include "app/pakhod_run.h"

using e2e::Result;
using e2e::Invocation;

namespace {

using e2e::convertedText;
using e2e::definitionMessage;
using e2e::inPlaceConsole;
using e2e::sourceText;
using e2e::twoNameConsole;

class PakhodRun : public ::testing::Test {
protected:
    e2e::Workspace ws;

    std::string temporaryDirectory;

    void SetUp() override {
        ASSERT_FALSE(ws.root.empty());
        temporaryDirectory = ws.mkdir("tmp");
        ws.write("a.asm", sourceText);
    }
    // A run in the workspace, with its own temporary directory.
    Invocation invocation(std::vector<std::string> args) const {
        Invocation r;
        r.args = std::move(args);
        r.directory = ws.root;
        r.environment.push_back({"TMPDIR", temporaryDirectory.c_str()});
        return r;
    }
    // Nothing may be left in the temporary directory after a run.
    void expectNoTemporaryFile() const { EXPECT_TRUE(ws.list("tmp").empty()); }
};

TEST_F(PakhodRun, NoArgumentPrintsUsage) {
    Result r = e2e::runPakhod(invocation({}));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.console, "Usage :  pakhod srcfile [destfile]\n\n");
}

TEST_F(PakhodRun, InPlaceWithOneNameOrTheSameNameTwice) {
    for (auto args : {std::vector<std::string>{"a.asm"}, std::vector<std::string>{"a.asm", "a.asm"}}) {
        ws.write("a.asm", sourceText);
        Result r = e2e::runPakhod(invocation(args));
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.console, inPlaceConsole("a.asm"));
        EXPECT_EQ(ws.read("a.asm"), convertedText);
        expectNoTemporaryFile();
        EXPECT_EQ(ws.list(""), (std::vector<std::string>{"a.asm", "tmp"}));
    }
}

TEST_F(PakhodRun, SecondRunOverItsOwnOutputChangesNothing) {
    ASSERT_EQ(e2e::runPakhod(invocation({"a.asm"})).status, 1);
    ASSERT_EQ(e2e::runPakhod(invocation({"a.asm"})).status, 1);
    EXPECT_EQ(ws.read("a.asm"), convertedText);
}

TEST_F(PakhodRun, TwoNamesLeaveTheSourceAlone) {
    Result r = e2e::runPakhod(invocation({"a.asm", "b.asm", "ignored.asm"}));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.console, twoNameConsole("a.asm", "b.asm"));
    EXPECT_EQ(ws.read("a.asm"), sourceText);
    EXPECT_EQ(ws.read("b.asm"), convertedText);
    EXPECT_FALSE(ws.exists("ignored.asm"));
    expectNoTemporaryFile();
}

TEST_F(PakhodRun, ExistingDestinationIsReplacedWhole) {
    ws.write("b.asm", std::string(5000, 'x'));
    EXPECT_EQ(e2e::runPakhod(invocation({"a.asm", "b.asm"})).status, 1);
    EXPECT_EQ(ws.read("b.asm"), convertedText);
}

TEST_F(PakhodRun, EveryLineEndGivesCrLf) {
    const struct {
        const char* what;
        std::string source;
    } sources[] = {
        {"LF", sourceText},
        {"CR LF", std::regex_replace(sourceText, std::regex("\n"), "\r\n")},
        {"no final line end", sourceText.substr(0, sourceText.size() - 1)},
        {"CR LF, none at the end", std::regex_replace(sourceText.substr(0, sourceText.size() - 1),
                                                      std::regex("\n"), "\r\n")},
    };
    for (const auto& s : sources) {
        ws.write("a.asm", s.source);
        EXPECT_EQ(e2e::runPakhod(invocation({"a.asm"})).status, 1) << s.what;
        EXPECT_EQ(ws.read("a.asm"), convertedText) << s.what;
    }
}

TEST_F(PakhodRun, EmptySourceGivesEmptyOutput) {
    ws.write("a.asm", "");
    EXPECT_EQ(e2e::runPakhod(invocation({"a.asm", "b.asm"})).status, 1);
    EXPECT_TRUE(ws.exists("b.asm"));
    EXPECT_EQ(ws.read("b.asm"), "");
}

TEST_F(PakhodRun, SourceThatCannotBeOpened) {
    mkfifo(ws.path("fifo.asm").c_str(), 0644);
    ws.mkdir("dir.asm");
    for (const char* source : {"missing.asm", "dir.asm", "fifo.asm", "/dev/null"}) {
        Result r = e2e::runPakhod(invocation({source, "b.asm"}));
        EXPECT_EQ(r.status, 0) << source;
        EXPECT_EQ(r.console, std::string("ERROR: Can't open srcfile (") + source + ")") << source;
        EXPECT_FALSE(ws.exists("b.asm")) << source;
        r = e2e::runPakhod(invocation({source}));
        EXPECT_EQ(r.status, 0) << source;
        EXPECT_EQ(r.console, std::string("ERROR: Can't open srcfile (") + source + ")") << source;
        expectNoTemporaryFile();
    }
}

TEST_F(PakhodRun, SourceWithNulByteIsNotText) {
    const std::string utf16("p\0a\0d\0d\0b\0\n\0", 12);
    const std::string lateNul = std::string(200000, 'a') + '\0' + "\n";
    for (const std::string& bytes : {utf16, lateNul}) {
        ws.write("a.asm", bytes);
        for (auto args : {std::vector<std::string>{"a.asm", "b.asm"}, std::vector<std::string>{"a.asm"}}) {
            Result r = e2e::runPakhod(invocation(args));
            EXPECT_EQ(r.status, 0);
            EXPECT_EQ(r.console, "ERROR: srcfile is not a text file (a.asm)\n\n");
            EXPECT_EQ(ws.read("a.asm"), bytes);
            EXPECT_FALSE(ws.exists("b.asm"));
            expectNoTemporaryFile();
        }
    }
}

TEST_F(PakhodRun, OneFileUnderTwoNamesIsRefused) {
    symlink("a.asm", ws.path("link.asm").c_str());
    for (const char* destination : {"./a.asm", "link.asm"}) {
        Result r = e2e::runPakhod(invocation({"a.asm", destination}));
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.console, std::string("ERROR: Can't open destfile (") + destination + ")\n\n");
        EXPECT_EQ(ws.read("a.asm"), sourceText);
    }
}

TEST_F(PakhodRun, DestinationUnderAFileCannotBeOpened) {
    Result r = e2e::runPakhod(invocation({"a.asm", "a.asm/b.asm"}));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.console, "ERROR: Can't open destfile (a.asm/b.asm)\n\n");
    EXPECT_EQ(ws.read("a.asm"), sourceText);
}

TEST_F(PakhodRun, DiskFullWhileWriting) {
    Result r = e2e::runPakhod(invocation({"a.asm", "/dev/full"}));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.console, twoNameConsole("a.asm", "/dev/full") + "ERROR: Can't write destfile (/dev/full)\n\n");
    EXPECT_EQ(ws.read("a.asm"), sourceText);
}

TEST_F(PakhodRun, MissingTemporaryDirectory) {
    for (std::string tmpdir : {ws.path("gone"), ws.path("a.asm")}) {
        Invocation r = invocation({"a.asm"});
        r.environment = {{"TMPDIR", tmpdir.c_str()}};
        Result result = e2e::runPakhod(r);
        EXPECT_EQ(result.status, 0);
        EXPECT_TRUE(std::regex_match(result.console,
                                     std::regex("ERROR: Can't open destfile \\(" + tmpdir +
                                                "/qzvt-?[0-9]+\\.asm\\)\n\n")))
            << result.console;
        EXPECT_EQ(ws.read("a.asm"), sourceText);
    }
}

TEST_F(PakhodRun, TemporaryDirectoryWithoutTrailingSlashOrUnset) {
    Invocation r = invocation({"a.asm"});
    std::string withSlash = temporaryDirectory + "/";
    r.environment = {{"TMPDIR", withSlash.c_str()}};
    EXPECT_EQ(e2e::runPakhod(r).status, 1);
    r.environment = {{"TMPDIR", nullptr}};
    EXPECT_EQ(e2e::runPakhod(r).status, 1);
    EXPECT_EQ(ws.read("a.asm"), convertedText);
    expectNoTemporaryFile();
}

// Files named as pakhod would name its temporary file in the next seconds;
// every one of them must survive the run untouched.
TEST_F(PakhodRun, ExistingTemporaryNamesAreNeverReused) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    uint32_t tick = static_cast<uint32_t>(now.tv_sec * 1000u + now.tv_nsec / 1000000u);
    const int taken = 3000;
    for (int i = 0; i < taken; ++i)
        ws.write("tmp/qzvt" + std::to_string(static_cast<int32_t>(tick + i)) + ".asm", "keep");
    EXPECT_EQ(e2e::runPakhod(invocation({"a.asm"})).status, 1);
    EXPECT_EQ(ws.read("a.asm"), convertedText);
    std::vector<std::string> left = ws.list("tmp");
    EXPECT_EQ(left.size(), static_cast<size_t>(taken));
    for (const std::string& name : left) ASSERT_EQ(ws.read("tmp/" + name), "keep") << name;
}

TEST_F(PakhodRun, InPlaceKeepsPermissionBits) {
    for (mode_t mode : {0600, 0640, 0755, 0444}) {
        ws.write("a.asm", sourceText);
        chmod(ws.path("a.asm").c_str(), mode);
        EXPECT_EQ(e2e::runPakhod(invocation({"a.asm"})).status, 1);
        struct stat st;
        ASSERT_EQ(stat(ws.path("a.asm").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, mode);
        EXPECT_EQ(ws.read("a.asm"), convertedText);
        chmod(ws.path("a.asm").c_str(), 0644);
    }
    EXPECT_EQ(ws.list(""), (std::vector<std::string>{"a.asm", "tmp"}));
}

TEST_F(PakhodRun, SourceBehindSymbolicLinks) {
    ws.mkdir("real");
    ws.write("real/a.asm", sourceText);
    symlink("real/a.asm", ws.path("step.asm").c_str());
    symlink("step.asm", ws.path("link.asm").c_str());
    Result r = e2e::runPakhod(invocation({"link.asm"}));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.console, inPlaceConsole("link.asm"));
    char target[64] = {};
    ASSERT_GT(readlink(ws.path("link.asm").c_str(), target, sizeof target - 1), 0);
    EXPECT_STREQ(target, "step.asm");
    EXPECT_EQ(ws.read("real/a.asm"), convertedText);
    EXPECT_EQ(ws.list("real"), std::vector<std::string>{"a.asm"});
}

// Where the user may not create files: as root that needs a run as an
// unprivileged user, since root ignores directory permissions.
class UnprivilegedRun : public PakhodRun {
protected:
    Invocation invocation(std::vector<std::string> args) const {
        Invocation r = PakhodRun::invocation(std::move(args));
        r.executable = ws.installPakhod("bin");
        r.unprivileged = true;
        ws.openToEveryone();
        return r;
    }
    bool started(const Result& r) const { return r.status != e2e::cannotStart; }
};

TEST_F(UnprivilegedRun, DestinationInReadOnlyDirectory) {
    Invocation r = invocation({"a.asm", "ro/b.asm"});
    ws.mkdir("ro", 0555);
    Result result = e2e::runPakhod(r);
    if (!started(result)) GTEST_SKIP() << "cannot run as an unprivileged user here";
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.console, "ERROR: Can't open destfile (ro/b.asm)\n\n");
    EXPECT_TRUE(ws.list("ro").empty());
    EXPECT_EQ(ws.read("a.asm"), sourceText);
}

TEST_F(UnprivilegedRun, ReadOnlyTemporaryDirectory) {
    Invocation r = invocation({"a.asm"});
    chmod(ws.path("tmp").c_str(), 0555);
    Result result = e2e::runPakhod(r);
    if (!started(result)) GTEST_SKIP() << "cannot run as an unprivileged user here";
    EXPECT_EQ(result.status, 0);
    EXPECT_TRUE(std::regex_match(result.console,
                                 std::regex("ERROR: Can't open destfile \\(" + temporaryDirectory +
                                            "/qzvt-?[0-9]+\\.asm\\)\n\n")))
        << result.console;
    EXPECT_EQ(ws.read("a.asm"), sourceText);
    expectNoTemporaryFile();
}

// The source may be rewritten but no file may be created beside it: the
// result stays in the temporary file and the source keeps its bytes.
TEST_F(UnprivilegedRun, SourceThatCannotBeReplaced) {
    ws.mkdir("src");
    ws.write("src/a.asm", sourceText);
    Invocation r = invocation({"src/a.asm"});
    chmod(ws.path("src").c_str(), 0555);
    Result result = e2e::runPakhod(r);
    if (!started(result)) GTEST_SKIP() << "cannot run as an unprivileged user here";
    EXPECT_EQ(result.status, 0);
    std::vector<std::string> left = ws.list("tmp");
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(result.console, inPlaceConsole("src/a.asm") + "ERROR: Can't replace src/a.asm; the result is kept in " +
                                  temporaryDirectory + "/" + left[0] + "\n\n");
    EXPECT_EQ(ws.read("tmp/" + left[0]), convertedText);
    EXPECT_EQ(ws.read("src/a.asm"), sourceText);
    EXPECT_EQ(ws.list("src"), std::vector<std::string>{"a.asm"});
}

TEST_F(UnprivilegedRun, UnreadableDefinitionFile) {
    Invocation r = invocation({"a.asm", "b.asm"});
    chmod(ws.path("bin/mmx_set.def").c_str(), 0);
    Result result = e2e::runPakhod(r);
    if (!started(result)) GTEST_SKIP() << "cannot run as an unprivileged user here";
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.console, definitionMessage);
    EXPECT_FALSE(ws.exists("b.asm"));
}

// Where pakhod looks for mmx_set.def: each place alone is enough, and an
// earlier place wins over a later one.
class DefinitionSearch : public PakhodRun {
protected:
    // A definition file that defines nothing: every line is copied.
    const std::string emptyDefinitions = "\n";

    Result runFrom(const std::string& executable, const char* path) const {
        Invocation r = PakhodRun::invocation({"a.asm", "b.asm"});
        r.executable = executable;
        r.environment.push_back({"PATH", path});
        return e2e::runPakhod(r);
    }
    std::string copiedText() const { return std::regex_replace(sourceText, std::regex("\n"), "\r\n"); }
};

TEST_F(DefinitionSearch, NoDefinitionFileAnywhere) {
    std::string exe = ws.installPakhod("bin", false);
    std::string path = ws.mkdir("emptypath");
    for (const char* pathValue : {path.c_str(), static_cast<const char*>(nullptr)}) {
        Result r = runFrom(exe, pathValue);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.console, definitionMessage);
        EXPECT_FALSE(ws.exists("b.asm"));
        EXPECT_EQ(ws.read("a.asm"), sourceText);
    }
    ws.mkdir("mmx_set.def");  // a directory of that name is not the file
    EXPECT_EQ(runFrom(exe, path.c_str()).console, definitionMessage);
}

TEST_F(DefinitionSearch, EachPlaceIsSearched) {
    std::string definitions = e2e::fs::path(PAKHOD_EXECUTABLE).parent_path().string() + "/mmx_set.def";
    std::string exe = ws.installPakhod("inst/bin", false);
    std::string path = ws.mkdir("emptypath") + ":" + ws.mkdir("pathdir");
    ws.mkdir("inst/share/pakhod");
    for (const char* place : {"inst/bin", ".", "pathdir", "inst/share/pakhod"}) {
        std::string file = ws.path(std::string(place) + "/mmx_set.def");
        e2e::fs::copy_file(definitions, file);
        Result r = runFrom(exe, path.c_str());
        EXPECT_EQ(r.status, 1) << place;
        EXPECT_EQ(ws.read("b.asm"), convertedText) << place;
        e2e::fs::remove(file);
        e2e::fs::remove(ws.path("b.asm"));
    }
}

TEST_F(DefinitionSearch, EarlierPlacesWin) {
    std::string definitions = e2e::fs::path(PAKHOD_EXECUTABLE).parent_path().string() + "/mmx_set.def";
    std::string exe = ws.installPakhod("inst/bin", false);
    ws.mkdir("pathdir");
    ws.mkdir("inst/share/pakhod");
    const std::vector<std::string> places = {"inst/bin", ".", "pathdir", "inst/share/pakhod"};
    // Nothing before place `first`; there `firstFile`, after it `laterFile`.
    auto lay = [&](size_t first, bool realFirst) {
        for (size_t k = 0; k < places.size(); ++k) {
            std::string file = ws.path(places[k] + "/mmx_set.def");
            e2e::fs::remove(file);
            if (k < first) continue;
            if ((k == first) == realFirst)
                e2e::fs::copy_file(definitions, file);
            else
                ws.write(places[k] + "/mmx_set.def", emptyDefinitions);
        }
    };
    for (size_t first = 0; first < places.size(); ++first) {
        lay(first, true);
        EXPECT_EQ(runFrom(exe, ws.path("pathdir").c_str()).status, 1) << places[first];
        EXPECT_EQ(ws.read("b.asm"), convertedText) << places[first];
        lay(first, false);
        EXPECT_EQ(runFrom(exe, ws.path("pathdir").c_str()).status, 1) << places[first];
        EXPECT_EQ(ws.read("b.asm"), copiedText()) << places[first];
    }
}

}  // namespace
