// End-to-end runs of the built pakhod in temporary directories: console
// text, exit status and the bytes of every file involved.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <regex>

#include "app/pakhod_run.h"

namespace {

using e2e::convertedText;
using e2e::Invocation;
using e2e::Result;
using e2e::sourceText;
using Args = std::vector<std::string>;

std::string crLf(const std::string& text) { return std::regex_replace(text, std::regex("\n"), "\r\n"); }
std::string sourceMessage(const std::string& name) { return "ERROR: Can't open srcfile (" + name + ")"; }
// The temporary file's name is written qzvtN, whatever its number.
std::string destinationMessage(const std::string& name) { return "ERROR: Can't open destfile (" + name + ")\n\n"; }

class PakhodRun : public e2e::WorkspaceTest {
protected:
    // A run in the workspace, with its own temporary directory.
    Invocation invocation(Args args, const char* tmpdir = "") const {
        return Invocation{std::move(args), ws.root, {{"TMPDIR", tmpdir && !*tmpdir ? tmp.c_str() : tmpdir}}};
    }
    Result run(Args args, const char* tmpdir = "") const { return e2e::runPakhod(invocation(std::move(args), tmpdir)); }
    // A refused run: exit 0, the console text, the source as it was, no
    // destination and nothing left in the temporary directory.
    void expectFailed(const Result& r, const std::string& console, const std::string& source = sourceText) const {
        EXPECT_EQ(r.status, 0) << console;
        EXPECT_EQ(std::regex_replace(r.console, std::regex("qzvt-?[0-9]+\\.asm"), "qzvtN.asm"), console);
        EXPECT_EQ(ws.read("a.asm"), source) << console;
        EXPECT_FALSE(ws.exists("b.asm")) << console;
        EXPECT_TRUE(ws.list("tmp").empty()) << console;
    }
    // A completed run: exit 1, the console text, the result in `file`, nothing left in the temporary directory.
    void expectDone(const Result& r, const std::string& console, const std::string& file) const {
        EXPECT_EQ(r.status, 1) << console;
        EXPECT_EQ(r.console, console);
        EXPECT_EQ(ws.read(file), convertedText) << console;
        EXPECT_TRUE(ws.list("tmp").empty()) << console;
    }
};

TEST_F(PakhodRun, CompletedRuns) {
    const std::string withSlash = tmp + "/";
    for (const char* tmpdir : {"", withSlash.c_str(), static_cast<const char*>(nullptr)})  // TMPDIR unset last
        for (Args args : {Args{"a.asm"}, Args{"a.asm", "a.asm"}}) {
            ws.write("a.asm", sourceText);
            expectDone(run(args, tmpdir), e2e::progress("a.asm"), "a.asm");
            EXPECT_EQ(ws.list(""), (Args{"a.asm", "tmp"}));
        }
    expectDone(run({"a.asm"}), e2e::progress("a.asm"), "a.asm");  // over its own output: no change
    const std::string noFinal = sourceText.substr(0, sourceText.size() - 1);
    for (const std::string& source : {sourceText, crLf(sourceText), noFinal, crLf(noFinal)}) {  // all give CR LF
        ws.write("a.asm", source);
        ws.write("b.asm", std::string(5000, 'x'));  // replaced whole
        expectDone(run({"a.asm", "b.asm", "ignored.asm"}), e2e::progress("a.asm", "b.asm"), "b.asm");
        EXPECT_EQ(ws.read("a.asm"), source);
    }
    EXPECT_FALSE(ws.exists("ignored.asm"));
    ws.write("a.asm", "");
    EXPECT_EQ(run({"a.asm", "c.asm"}).status, 1);
    EXPECT_TRUE(ws.exists("c.asm") && ws.read("c.asm").empty());
}

TEST_F(PakhodRun, RefusedRunsLeaveEverythingAsItWas) {
    mkfifo(ws.path("fifo.asm").c_str(), 0644);
    ws.mkdir("dir.asm");
    symlink("a.asm", ws.path("link.asm").c_str());
    const std::string utf16("p\0a\0d\0d\0b\0\n\0", 12), lateNul = std::string(200000, 'a') + '\0' + "\n";
    const std::string gone = ws.path("gone"), file = ws.path("a.asm");
    struct Row {
        Args args;
        std::string console;
        std::string source = sourceText;
        const char* tmpdir = "";
    };
    std::vector<Row> rows = {
        {{}, "Usage :  pakhod srcfile [destfile]\n\n"},
        {{"a.asm", "./a.asm"}, destinationMessage("./a.asm")},  // one file under two names
        {{"a.asm", "link.asm"}, destinationMessage("link.asm")},
        {{"a.asm", "a.asm/b.asm"}, destinationMessage("a.asm/b.asm")},
        {{"a.asm", "/dev/full"}, e2e::progress("a.asm", "/dev/full") + "ERROR: Can't write destfile (/dev/full)\n\n"},
        {{"a.asm"}, destinationMessage(gone + "/qzvtN.asm"), sourceText, gone.c_str()},
        {{"a.asm"}, destinationMessage(file + "/qzvtN.asm"), sourceText, file.c_str()},
    };
    for (const char* source : {"missing.asm", "dir.asm", "fifo.asm", "/dev/null"})
        rows.insert(rows.end(), {{{source, "b.asm"}, sourceMessage(source)}, {{source}, sourceMessage(source)}});
    for (const std::string& bytes : {utf16, lateNul})
        for (Args args : {Args{"a.asm", "b.asm"}, Args{"a.asm"}})
            rows.push_back({args, "ERROR: srcfile is not a text file (a.asm)\n\n", bytes});
    for (const Row& row : rows) {
        ws.write("a.asm", row.source);
        expectFailed(run(row.args, row.tmpdir), row.console, row.source);
    }
}

// Files named as pakhod would name its temporary file in the next seconds;
// every one of them must survive the run untouched.
TEST_F(PakhodRun, ExistingTemporaryNamesAreNeverReused) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    const uint32_t tick = static_cast<uint32_t>(now.tv_sec * 1000u + now.tv_nsec / 1000000u);
    for (uint32_t i = 0; i < 3000; ++i)
        ws.write("tmp/qzvt" + std::to_string(static_cast<int32_t>(tick + i)) + ".asm", "keep");
    EXPECT_EQ(run({"a.asm"}).status, 1);
    EXPECT_EQ(ws.read("a.asm"), convertedText);
    const Args left = ws.list("tmp");
    EXPECT_EQ(left.size(), 3000u);
    for (const std::string& name : left) ASSERT_EQ(ws.read("tmp/" + name), "keep") << name;
}

TEST_F(PakhodRun, InPlaceKeepsPermissionBits) {
    for (mode_t mode : {0600, 0640, 0755, 0444}) {
        ws.write("a.asm", sourceText);
        chmod(ws.path("a.asm").c_str(), mode);
        expectDone(run({"a.asm"}), e2e::progress("a.asm"), "a.asm");
        struct stat st;
        ASSERT_EQ(stat(ws.path("a.asm").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, mode);
        chmod(ws.path("a.asm").c_str(), 0644);
    }
    EXPECT_EQ(ws.list(""), (Args{"a.asm", "tmp"}));
}

TEST_F(PakhodRun, SourceBehindSymbolicLinks) {
    ws.mkdir("real");
    ws.write("real/a.asm", sourceText);
    symlink("real/a.asm", ws.path("step.asm").c_str());
    symlink("step.asm", ws.path("link.asm").c_str());
    expectDone(run({"link.asm"}), e2e::progress("link.asm"), "real/a.asm");
    EXPECT_EQ(e2e::fs::read_symlink(ws.path("link.asm")), "step.asm");
    EXPECT_EQ(ws.list("real"), Args{"a.asm"});
}

// Where the user may not create files: as root that needs a run as an
// unprivileged user, since root ignores directory permissions. `locked` gets `mode` just before the run.
class UnprivilegedRun : public PakhodRun {
protected:
    Result runLocked(Args args, const std::string& locked, mode_t mode) const {
        Invocation r = invocation(std::move(args));
        r.executable = ws.installPakhod("bin");
        r.unprivileged = true;
        ws.openToEveryone();
        chmod(ws.path(locked).c_str(), mode);
        return e2e::runPakhod(r);
    }
};

TEST_F(UnprivilegedRun, RefusedRuns) {
    ws.mkdir("ro");
    const struct {
        Args args;
        const char* locked;
        std::string console;
    } rows[] = {
        {{"a.asm", "ro/b.asm"}, "ro", destinationMessage("ro/b.asm")},
        {{"a.asm"}, "tmp", destinationMessage(tmp + "/qzvtN.asm")},
        {{"a.asm", "b.asm"}, "bin/mmx_set.def", e2e::definitionMessage},
    };
    for (const auto& row : rows) {
        const Result r = runLocked(row.args, row.locked, row.locked[0] == 'b' ? 0 : 0555);
        if (r.status == e2e::cannotStart) GTEST_SKIP() << "cannot run as an unprivileged user here";
        expectFailed(r, row.console);
        EXPECT_TRUE(ws.list("ro").empty());
    }
}

// The source may be rewritten but no file may be created beside it: the
// result stays in the temporary file and the source keeps its bytes.
TEST_F(UnprivilegedRun, SourceThatCannotBeReplaced) {
    ws.mkdir("src");
    ws.write("src/a.asm", sourceText);
    const Result r = runLocked({"src/a.asm"}, "src", 0555);
    if (r.status == e2e::cannotStart) GTEST_SKIP() << "cannot run as an unprivileged user here";
    EXPECT_EQ(r.status, 0);
    const Args left = ws.list("tmp");
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(r.console, e2e::progress("src/a.asm") + "ERROR: Can't replace src/a.asm; the result is kept in " +
                             tmp + "/" + left[0] + "\n\n");
    EXPECT_EQ(ws.read("tmp/" + left[0]), convertedText);
    EXPECT_EQ(ws.read("src/a.asm"), sourceText);
    EXPECT_EQ(ws.list("src"), Args{"a.asm"});
}

// Where pakhod looks for mmx_set.def: each place alone is enough, and an
// earlier place wins over a later one.
class DefinitionSearch : public PakhodRun {
protected:
    Result runFrom(const std::string& executable, const char* path) const {
        Invocation r = invocation({"a.asm", "b.asm"});
        r.executable = executable;
        r.environment.push_back({"PATH", path});
        return e2e::runPakhod(r);
    }
};

TEST_F(DefinitionSearch, NoDefinitionFileAnywhere) {
    const std::string exe = ws.installPakhod("bin", false), path = ws.mkdir("emptypath");
    for (const char* pathValue : {path.c_str(), static_cast<const char*>(nullptr)})
        expectFailed(runFrom(exe, pathValue), e2e::definitionMessage);
    ws.mkdir("mmx_set.def");  // a directory of that name is not the file
    expectFailed(runFrom(exe, path.c_str()), e2e::definitionMessage);
}

TEST_F(DefinitionSearch, EachPlaceIsSearchedAndEarlierPlacesWin) {
    const std::string definitions = e2e::fs::path(PAKHOD_EXECUTABLE).parent_path().string() + "/mmx_set.def";
    const std::string exe = ws.installPakhod("inst/bin", false), path = ws.mkdir("emptypath") + ":" + ws.mkdir("pathdir");
    ws.mkdir("inst/share/pakhod");
    const Args places = {"inst/bin", ".", "pathdir", "inst/share/pakhod"};
    for (size_t first = 0; first < places.size(); ++first)
        for (bool realFirst : {true, false}) {
            // Nothing before place `first`; the shipped file there and one that defines nothing after it, or the reverse.
            for (size_t k = 0; k < places.size(); ++k) {
                const std::string file = places[k] + "/mmx_set.def";
                e2e::fs::remove(ws.path(file));
                if (k >= first && (k == first) == realFirst) e2e::fs::copy_file(definitions, ws.path(file));
                if (k >= first && (k == first) != realFirst) ws.write(file, "\n");
            }
            EXPECT_EQ(runFrom(exe, path.c_str()).status, 1) << places[first];
            EXPECT_EQ(ws.read("b.asm"), realFirst ? convertedText : crLf(sourceText)) << places[first];
        }
}

}  // namespace
