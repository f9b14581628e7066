// Helpers for the end-to-end tests: a temporary workspace, and runs of the
// built pakhod executable with their console text and exit status.
#ifndef PAKHOD_TESTS_PAKHOD_RUN_H
#define PAKHOD_TESTS_PAKHOD_RUN_H

#include <gtest/gtest.h>
#include <grp.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace e2e {

namespace fs = std::filesystem;

// A user without rights to other users' files, for runs where read-only
// directories must be enforced even when the tests run as root.
constexpr uid_t nobodyId = 65534;
// Exit status of a child that could not become unprivileged or start.
constexpr int cannotStart = 127;

// A fresh directory that is removed with everything in it.
class Workspace {
public:
    Workspace() {
        std::string pattern = (fs::temp_directory_path() / "pakhod-e2e-XXXXXX").string();
        root = mkdtemp(&pattern[0]) != nullptr ? pattern : std::string();
    }
    ~Workspace() {
        if (!root.empty()) std::system(("chmod -R u+rwx '" + root + "' 2>/dev/null; rm -rf '" + root + "'").c_str());
    }
    Workspace(const Workspace&) = delete;
    Workspace& operator=(const Workspace&) = delete;

    std::string path(const std::string& name) const { return root + "/" + name; }
    void write(const std::string& name, const std::string& bytes) const {
        std::ofstream(path(name), std::ios::binary) << bytes;
    }
    std::string read(const std::string& name) const {
        std::ostringstream all;
        all << std::ifstream(path(name), std::ios::binary).rdbuf();
        return all.str();
    }
    bool exists(const std::string& name) const { return fs::exists(fs::symlink_status(path(name))); }
    std::string mkdir(const std::string& name) const {
        fs::create_directories(path(name));
        return path(name);
    }
    // Names in a directory of the workspace, sorted.
    std::vector<std::string> list(const std::string& name) const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(path(name))) names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    // A copy of pakhod (and its definition file, unless told otherwise) in
    // the directory `name`; returns the copy's path.
    std::string installPakhod(const std::string& name, bool withDefinitions = true) const {
        mkdir(name);
        const fs::path exe(PAKHOD_EXECUTABLE);
        fs::copy_file(exe, path(name + "/pakhod"), fs::copy_options::overwrite_existing);
        if (withDefinitions)
            fs::copy_file(exe.parent_path() / "mmx_set.def", path(name + "/mmx_set.def"),
                          fs::copy_options::overwrite_existing);
        return path(name + "/pakhod");
    }
    // Lets every user create and change files in the whole workspace.
    void openToEveryone() const { std::system(("chmod -R a+rwX '" + root + "'").c_str()); }

    std::string root;
};

struct Invocation {
    std::vector<std::string> args;
    std::string directory;  // working directory of the run
    // Environment changes; a null value removes the variable.
    std::vector<std::pair<std::string, const char*>> environment;
    std::string executable = PAKHOD_EXECUTABLE;
    bool unprivileged = false;
};

struct Result {
    int status;
    std::string console;
};

// Starts the run with its standard output on `out`; returns the child's id.
inline pid_t start(const Invocation& run, int out) {
    pid_t pid = fork();
    if (pid != 0) return pid;
    if (dup2(out, STDOUT_FILENO) < 0 || chdir(run.directory.c_str()) != 0) _exit(cannotStart);
    for (const auto& change : run.environment)
        change.second ? setenv(change.first.c_str(), change.second, 1) : unsetenv(change.first.c_str());
    if (run.unprivileged && geteuid() == 0 &&
        (setgroups(0, nullptr) != 0 || setgid(nobodyId) != 0 || setuid(nobodyId) != 0))
        _exit(cannotStart);
    // PAKHOD_E2E_WRAPPER, when set, is a command every run goes through (an
    // absolute path, then its options, separated by blanks), for example a
    // memory checker. It keeps its own files in TMPDIR: a run that gives
    // pakhod an unusable one goes without it (the other test builds cover it).
    const char *tmpdir = getenv("TMPDIR"), *wrapper = getenv("PAKHOD_E2E_WRAPPER");
    const bool wrappable = wrapper != nullptr && (tmpdir == nullptr || access(tmpdir, W_OK | X_OK) == 0);
    std::istringstream in(wrappable ? wrapper : "");
    std::vector<std::string> words;
    for (std::string word; in >> word;) words.push_back(word);
    words.push_back(run.executable);
    words.insert(words.end(), run.args.begin(), run.args.end());
    std::vector<char*> argv;
    for (const std::string& word : words) argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(cannotStart);
}

// The exit status of a started run, or -1 when it was killed or already collected.
inline int exitStatus(pid_t pid) {
    int status = 0;
    return waitpid(pid, &status, 0) == pid && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Runs pakhod to its end and collects what it printed.
inline Result runPakhod(const Invocation& run) {
    int ends[2];
    if (pipe(ends) != 0) return {-1, ""};
    pid_t pid = start(run, ends[1]);
    close(ends[1]);
    std::string console;
    char buffer[4096];
    for (ssize_t n; (n = read(ends[0], buffer, sizeof buffer)) > 0;) console.append(buffer, static_cast<size_t>(n));
    close(ends[0]);
    return {exitStatus(pid), console};
}

inline const std::string banner =
    "----------------------------------------\n"
    "    Pakhod ver.1.00 beta 1\n"
    "        MMX instructions to db directives for 32-bit x86 assemblers\n"
    "        Written by the pakhod developers\n"
    "        Contact: the pakhod project's issue tracker\n"
    "----------------------------------------\n\n";

// A small source with comments, a label, ordinary and MMX instructions, and
// what pakhod makes of it.
inline const std::string sourceText = "; add two rows of pixels\nrow:\n\tpaddb mm0, mm1\n\tmov eax, 1\n"
                                      "\tpsrlw mm2, 4 ; halve\n\temms\n";
inline const std::string convertedText =
    "; add two rows of pixels\r\nrow:\r\n\tdb\t\t00fh,0fch,0c1h\t\t;\tpaddb mm0, mm1\r\n\tmov eax, 1\r\n"
    "\tdb\t\t00fh,071h,0d2h,004h\t\t;\tpsrlw mm2, 4 ; halve\r\n\tdb\t\t00fh,077h\t\t;\temms\r\n";

inline const std::string definitionMessage = "ERROR: Can't open MMX-Set Definition file.(mmxset.def)\n\n";

// The console text of a run that starts encoding; no destination for one in place.
inline std::string progress(const std::string& source, const std::string& destination = "") {
    return banner + "Encoding " + source + (destination.empty() ? "" : " to " + destination) + "...\n\n";
}

// A fresh workspace holding a.asm (sourceText) and an empty tmp/ for TMPDIR.
class WorkspaceTest : public ::testing::Test {
protected:
    Workspace ws;
    std::string tmp;

    void SetUp() override {
        ASSERT_FALSE(ws.root.empty());
        tmp = ws.mkdir("tmp");
        ws.write("a.asm", sourceText);
    }
};

}  // namespace e2e

#endif
