#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "jwinfile.h"

namespace {

// A fresh directory per test, removed with everything in it afterwards.
class JWinFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") + "/jwinfile.XXXXXX";
        ASSERT_NE(mkdtemp(&dir[0]), nullptr);
        f = dir + "/f";
    }
    void TearDown() override { EXPECT_EQ(std::system(("rm -rf '" + dir + "'").c_str()), 0); }
    static void put(const std::string& file, const std::string& bytes) { std::ofstream(file, std::ios::binary) << bytes; }
    static std::string get(const std::string& file) {
        std::ostringstream all;
        all << std::ifstream(file, std::ios::binary).rdbuf();
        return all.str();
    }
    std::string dir, f;
};

}  // namespace

TEST_F(JWinFileTest, OpeningModes) {
    JWinFile file;
    EXPECT_EQ(file.open(nullptr, 1), 0);
    for (int mode : {1, 3, 7}) EXPECT_EQ(file.open(f.c_str(), mode), 0) << mode;  // a missing file
    EXPECT_EQ(file.isOpen(), 0);
    EXPECT_NE(access(f.c_str(), F_OK), 0);
    // Mode, the file before, what is written, the file after.
    const struct {
        int mode;
        const char *before, *written, *after;
    } rows[] = {
        {3, "0123456789", "ab", "ab23456789"},  // in place: length kept
        {7, "0123456789", "Z", "Z123456789"},   // any other mode acts as 3
        {2, "0123456789", "new", "new"},        // truncated
        {2, nullptr, "", ""},                   // created
        {1, "0123456789", "x", "0123456789"},   // read-only: the write fails
    };
    for (const auto& row : rows) {
        std::remove(f.c_str());
        if (row.before) put(f, row.before);
        ASSERT_EQ(file.open(f.c_str(), row.mode), 1) << row.mode;
        const int n = static_cast<int>(std::string(row.written).size());
        EXPECT_EQ(file.write(row.written, n), row.mode == 1 ? 0 : n) << row.mode;
        file.close();
        EXPECT_EQ(get(f), row.after) << row.mode;
    }
    ASSERT_EQ(file.open(f.c_str(), 3), 1);
    EXPECT_EQ(file.writeByte('Q') + static_cast<int>(file.size()), 11);
}

TEST_F(JWinFileTest, ExclusiveInThisProcess) {
    for (int held : {1, 2, 3}) {
        put(f, "keep me");
        JWinFile holder, after;
        ASSERT_EQ(holder.open(f.c_str(), held), 1);
        for (int mode : {1, 2, 3}) {
            JWinFile second;
            EXPECT_EQ(second.open(f.c_str(), mode) + second.isOpen(), 0) << held << "/" << mode;
            EXPECT_EQ(second.lastOpenWasLocked(), 1);
        }
        holder.close();
        EXPECT_EQ(get(f), held == 2 ? "" : "keep me") << held;  // a refused mode-2 open never empties the file
        EXPECT_EQ(after.open(f.c_str(), 1), 1) << held;
    }
    const std::string alias = dir + "/alias";
    ASSERT_EQ(::link(f.c_str(), alias.c_str()), 0);
    {
        JWinFile scoped, byOtherName;
        ASSERT_EQ(scoped.open(f.c_str(), 1), 1);
        EXPECT_EQ(byOtherName.open(alias.c_str(), 1), 0);  // the file, not its name, is held
    }  // the destructor lets go of the file
    JWinFile again;
    EXPECT_EQ(again.open(f.c_str(), 1), 1);
}

TEST_F(JWinFileTest, ExclusiveAcrossProcesses) {
    put(f, "held elsewhere");
    int ready[2], release[2];
    ASSERT_EQ(pipe(ready) + pipe(release), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {  // holds the file until told to let go
        JWinFile holder;
        char c = holder.open(f.c_str(), 1) ? 'y' : 'n';
        _exit(::write(ready[1], &c, 1) != 1 || ::read(release[0], &c, 1) != 1 ? 2 : 0);
    }
    char c = 0;
    ASSERT_TRUE(::read(ready[0], &c, 1) == 1 && c == 'y');
    for (int mode : {1, 2, 3}) {
        JWinFile second;
        EXPECT_EQ(second.open(f.c_str(), mode), 0) << mode;
    }
    EXPECT_EQ(get(f), "held elsewhere");
    int status = 0;
    ASSERT_EQ(::write(release[1], &c, 1) + waitpid(child, &status, 0), 1 + child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    for (int fd : {ready[0], ready[1], release[0], release[1]}) ::close(fd);
    JWinFile after;
    EXPECT_EQ(after.open(f.c_str(), 2), 1);
}

TEST_F(JWinFileTest, ReadingAndSeeking) {
    put(f, "abcdefgh");
    JWinFile file;
    ASSERT_EQ(file.open(f.c_str(), 1), 1);
    char buffer[16] = {};
    EXPECT_EQ(file.read(buffer, 4), 4);
    EXPECT_EQ(file.read(buffer + 4, 10), 4);  // short read, no retry
    EXPECT_EQ(std::string(buffer, 8), "abcdefgh");
    EXPECT_EQ(file.read(buffer, 10), 0);
    EXPECT_EQ(file.readByte(), '\0');  // at the end
    // Offset, origin, result, the byte read next ("" none).
    const std::tuple<int, int, int, std::string> seeks[] = {
        {2, 0, 1, "c"}, {-1, 1, 1, "c"},  {-1, 0, 0, "d"},  // before the start: refused, position kept
        {-10, 1, 0, "e"}, {-2, 2, 1, "g"}, {0, 2, 1, ""}, {3, 5, 1, ""},  // any other origin counts from here
    };
    for (const auto& [offset, origin, result, next] : seeks) {
        EXPECT_EQ(file.seek(offset, origin), result) << offset << "/" << origin;
        EXPECT_EQ(std::string(buffer, static_cast<size_t>(file.read(buffer, 1))), next) << offset << "/" << origin;
    }
    EXPECT_EQ(file.size(), 8u);
    file.close();
    file.close();  // harmless, and so is the destructor after it
    EXPECT_EQ(file.read(buffer, 4) + file.writeByte('x') + file.seek(0, 0) + file.size(), 0xFFFFFFFFu);
}

TEST_F(JWinFileTest, OnlyRegularFilesAreRead) {
    const std::string d = dir + "/sub", fifo = dir + "/fifo";
    ASSERT_EQ(mkdir(d.c_str(), 0700) + mkfifo(fifo.c_str(), 0600), 0);
    JWinFile file;
    for (int mode : {1, 2, 3}) EXPECT_EQ(file.open(d.c_str(), mode), 0) << mode;
    EXPECT_EQ(file.open(fifo.c_str(), 1), 0);  // refused without waiting for a writer
    EXPECT_EQ(file.open("/dev/null", 1), 0);
    // The writing modes may go to a device.
    for (int mode : {2, 3}) {
        ASSERT_EQ(file.open("/dev/null", mode), 1) << mode;
        EXPECT_EQ(file.write("discard", 7), 7);
        file.close();
    }
    EXPECT_TRUE(!file.open("/dev/full", 2) || file.write("x", 1) == 0);  // a failed write is reported as 0
}

TEST_F(JWinFileTest, FilesOf2GiBAreRefusedForReading) {
    const int fd = ::open(f.c_str(), O_WRONLY | O_CREAT, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, 0x7FFFFFFF), 0);  // sparse: costs no space
    JWinFile file, other;
    ASSERT_EQ(file.open(f.c_str(), 1), 1);  // the largest size that fits
    EXPECT_EQ(file.size(), 0x7FFFFFFFu);
    EXPECT_EQ(file.seek(0x7FFFFFFE, 0), 1);
    char c = 'x';
    EXPECT_EQ(file.read(&c, 1) + c, 1);  // the last byte, a zero
    file.close();
    ASSERT_EQ(ftruncate(fd, off_t(1) << 31), 0);
    EXPECT_EQ(file.open(f.c_str(), 1), 0);
    EXPECT_EQ(file.lastError, EFBIG);
    EXPECT_EQ(file.open(f.c_str(), 3), 0);
    ASSERT_EQ(other.open(f.c_str(), 2), 1);  // the refused opens held nothing
    EXPECT_EQ(other.size(), 0u);
    ::close(fd);
}
