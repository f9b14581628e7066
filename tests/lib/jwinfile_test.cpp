#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <iterator>
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
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/jwinfile.XXXXXX";
        ASSERT_NE(mkdtemp(&pattern[0]), nullptr);
        dir = pattern;
    }
    void TearDown() override {
        std::string command = "rm -rf '" + dir + "'";
        EXPECT_EQ(std::system(command.c_str()), 0);
    }
    std::string path(const char* name) const { return dir + "/" + name; }
    static void put(const std::string& file, const std::string& bytes) {
        std::ofstream(file, std::ios::binary) << bytes;
    }
    static std::string get(const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    static bool exists(const std::string& file) {
        struct stat st;
        return ::stat(file.c_str(), &st) == 0;
    }
    std::string dir;
};

}  // namespace

TEST_F(JWinFileTest, OpeningModes) {
    const std::string f = path("f");
    JWinFile file;
    EXPECT_EQ(file.open(nullptr, 1), 0);
    EXPECT_EQ(file.open(f.c_str(), 1), 0);  // missing file, read
    EXPECT_EQ(file.isOpen(), 0);
    EXPECT_EQ(file.open(f.c_str(), 3), 0);  // missing file, write in place
    EXPECT_EQ(file.open(f.c_str(), 7), 0);
    EXPECT_FALSE(exists(f));

    put(f, "0123456789");
    ASSERT_EQ(file.open(f.c_str(), 3), 1);  // in place: length kept
    EXPECT_EQ(file.write("ab", 2), 2);
    EXPECT_EQ(file.size(), 10u);
    file.close();
    EXPECT_EQ(get(f), "ab23456789");

    ASSERT_EQ(file.open(f.c_str(), 7), 1);  // any other mode acts as 3
    EXPECT_EQ(file.writeByte('Z'), 1);
    file.close();
    EXPECT_EQ(get(f), "Zb23456789");

    ASSERT_EQ(file.open(f.c_str(), 2), 1);  // truncated
    EXPECT_EQ(file.size(), 0u);
    EXPECT_EQ(file.write("new", 3), 3);
    file.close();
    EXPECT_EQ(get(f), "new");

    const std::string g = path("g");
    ASSERT_EQ(file.open(g.c_str(), 2), 1);  // created
    file.close();
    EXPECT_TRUE(exists(g));
    EXPECT_EQ(get(g), "");

    ASSERT_EQ(file.open(f.c_str(), 1), 1);
    EXPECT_EQ(file.write("x", 1), 0);  // read-only
    file.close();
    EXPECT_EQ(get(f), "new");
}

TEST_F(JWinFileTest, ExclusiveInThisProcess) {
    const std::string f = path("f");
    for (int held : {1, 2, 3}) {
        put(f, "keep me");
        JWinFile holder;
        ASSERT_EQ(holder.open(f.c_str(), held), 1);
        for (int mode : {1, 2, 3}) {
            JWinFile second;
            EXPECT_EQ(second.open(f.c_str(), mode), 0) << held << "/" << mode;
            EXPECT_EQ(second.isOpen(), 0);
            EXPECT_EQ(second.lastOpenWasLocked(), 1);
        }
        holder.close();
        // A refused mode-2 open must not have emptied the file.
        EXPECT_EQ(get(f), held == 2 ? "" : "keep me") << held;
        JWinFile after;
        EXPECT_EQ(after.open(f.c_str(), 1), 1) << held;
    }
    put(f, "x");
    const std::string alias = path("alias");
    ASSERT_EQ(::link(f.c_str(), alias.c_str()), 0);
    {
        JWinFile scoped;
        ASSERT_EQ(scoped.open(f.c_str(), 1), 1);
        JWinFile byOtherName;  // the file, not its name, is held
        EXPECT_EQ(byOtherName.open(alias.c_str(), 1), 0);
    }  // the destructor lets go of the file
    JWinFile again;
    EXPECT_EQ(again.open(f.c_str(), 1), 1);
}

TEST_F(JWinFileTest, ExclusiveAcrossProcesses) {
    const std::string f = path("f");
    put(f, "held elsewhere");
    int ready[2], release[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(release), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {  // holds the file until told to let go
        JWinFile holder;
        char c = holder.open(f.c_str(), 1) ? 'y' : 'n';
        if (::write(ready[1], &c, 1) != 1 || ::read(release[0], &c, 1) != 1) _exit(2);
        holder.close();
        _exit(0);
    }
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    ASSERT_EQ(c, 'y');
    for (int mode : {1, 2, 3}) {
        JWinFile second;
        EXPECT_EQ(second.open(f.c_str(), mode), 0) << mode;
    }
    EXPECT_EQ(get(f), "held elsewhere");
    ASSERT_EQ(::write(release[1], &c, 1), 1);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    for (int fd : {ready[0], ready[1], release[0], release[1]}) ::close(fd);
    JWinFile after;
    EXPECT_EQ(after.open(f.c_str(), 2), 1);
}

TEST_F(JWinFileTest, ReadingAndSeeking) {
    const std::string f = path("f");
    put(f, "abcdefgh");
    JWinFile file;
    ASSERT_EQ(file.open(f.c_str(), 1), 1);
    char buffer[16] = {};
    EXPECT_EQ(file.read(buffer, 4), 4);
    EXPECT_EQ(std::string(buffer, 4), "abcd");
    EXPECT_EQ(file.read(buffer, 10), 4);  // short read, no retry
    EXPECT_EQ(std::string(buffer, 4), "efgh");
    EXPECT_EQ(file.read(buffer, 10), 0);
    EXPECT_EQ(file.readByte(), '\0');  // at the end

    EXPECT_EQ(file.seek(2, 0), 1);
    EXPECT_EQ(file.readByte(), 'c');
    EXPECT_EQ(file.seek(-1, 1), 1);  // the same byte again
    EXPECT_EQ(file.readByte(), 'c');
    EXPECT_EQ(file.seek(-1, 0), 0);  // before the start: refused, position kept
    EXPECT_EQ(file.readByte(), 'd');
    EXPECT_EQ(file.seek(-10, 1), 0);
    EXPECT_EQ(file.readByte(), 'e');
    EXPECT_EQ(file.seek(-2, 2), 1);
    EXPECT_EQ(file.readByte(), 'g');
    EXPECT_EQ(file.seek(0, 2), 1);
    EXPECT_EQ(file.read(buffer, 1), 0);
    EXPECT_EQ(file.seek(3, 5), 1);  // any other origin counts from here
    EXPECT_EQ(file.read(buffer, 1), 0);
    EXPECT_EQ(file.size(), 8u);
    EXPECT_EQ(file.read(buffer, 0), 0);
    file.close();
    file.close();  // harmless, and so is the destructor after it
    EXPECT_EQ(file.read(buffer, 4), 0);
    EXPECT_EQ(file.writeByte('x'), 0);
    EXPECT_EQ(file.seek(0, 0), 0);
    EXPECT_EQ(file.size(), 0xFFFFFFFFu);
}

TEST_F(JWinFileTest, OnlyRegularFilesAreRead) {
    const std::string d = path("sub");
    ASSERT_EQ(mkdir(d.c_str(), 0700), 0);
    const std::string fifo = path("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    JWinFile file;
    for (int mode : {1, 2, 3}) EXPECT_EQ(file.open(d.c_str(), mode), 0) << mode;
    EXPECT_EQ(file.open(fifo.c_str(), 1), 0);  // refused without waiting for a writer
    EXPECT_EQ(file.open("/dev/null", 1), 0);

    // The writing modes may go to a device, and to a pipe that has a reader.
    for (int mode : {2, 3}) {
        ASSERT_EQ(file.open("/dev/null", mode), 1) << mode;
        EXPECT_EQ(file.write("discard", 7), 7);
        file.close();
    }
    int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    ASSERT_EQ(file.open(fifo.c_str(), 2), 1);
    EXPECT_EQ(file.write("pipe", 4), 4);
    file.close();
    char got[8] = {};
    EXPECT_EQ(::read(reader, got, sizeof got), 4);
    EXPECT_STREQ(got, "pipe");
    ::close(reader);
    if (file.open("/dev/full", 2)) {  // a failed write is reported as 0
        EXPECT_EQ(file.write("x", 1), 0);
        file.close();
    }
}

TEST_F(JWinFileTest, FilesOf2GiBAreRefusedForReading) {
    const std::string f = path("big");
    const off_t twoGiB = off_t(1) << 31;
    int fd = ::open(f.c_str(), O_WRONLY | O_CREAT, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, twoGiB - 1), 0);  // sparse: costs no space
    JWinFile file;
    ASSERT_EQ(file.open(f.c_str(), 1), 1);  // the largest size that fits
    EXPECT_EQ(file.size(), 0x7FFFFFFFu);
    EXPECT_EQ(file.seek(0x7FFFFFFE, 0), 1);
    char c = 'x';
    EXPECT_EQ(file.read(&c, 1), 1);
    EXPECT_EQ(c, '\0');
    file.close();

    ASSERT_EQ(ftruncate(fd, twoGiB), 0);
    EXPECT_EQ(file.open(f.c_str(), 1), 0);
    EXPECT_EQ(file.lastError, EFBIG);
    EXPECT_EQ(file.open(f.c_str(), 3), 0);
    JWinFile other;  // the refused opens held nothing
    ASSERT_EQ(other.open(f.c_str(), 2), 1);
    EXPECT_EQ(other.size(), 0u);
    ::close(fd);
}
