#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

#include "jmemorystream.h"
#include "jwinfile.h"

// The memory stream stands in for files in other tests, so it must answer
// every call the way a real file does: the same calls go to both here.
namespace {

struct Step {
    enum Kind { Read, Write, Seek, Size } kind;
    int a, b;  // read/write: count; seek: offset, origin
    const char* bytes;
};

// Runs the steps and writes down every result and every byte read.
std::string replay(JStream& s, const Step* steps, int n) {
    std::string log;
    for (int i = 0; i < n; ++i) {
        const Step& st = steps[i];
        char buffer[32] = {};
        switch (st.kind) {
            case Step::Read: {
                int got = s.read(buffer, st.a);
                log += "r" + std::to_string(got) + "=" + std::string(buffer, got > 0 ? got : 0);
                break;
            }
            case Step::Write: log += "w" + std::to_string(s.write(st.bytes, st.a)); break;
            case Step::Seek: log += "s" + std::to_string(s.seek(st.a, st.b)); break;
            case Step::Size: log += "z" + std::to_string(s.size()); break;
        }
        log += ' ';
    }
    return log;
}

std::string tempName() {
    const char* tmp = std::getenv("TMPDIR");
    std::string name = std::string(tmp && *tmp ? tmp : "/tmp") + "/memstream.XXXXXX";
    int fd = mkstemp(&name[0]);
    if (fd >= 0) ::close(fd);
    return name;
}

}  // namespace

TEST(JMemoryStream, ReadsLikeAFile) {
    const std::string text = "abcdefghij";
    const Step steps[] = {
        {Step::Read, 3, 0, nullptr},  {Step::Seek, -1, 1, nullptr}, {Step::Read, 2, 0, nullptr},
        {Step::Seek, -1, 0, nullptr}, {Step::Read, 1, 0, nullptr},  {Step::Seek, -2, 2, nullptr},
        {Step::Read, 10, 0, nullptr}, {Step::Read, 1, 0, nullptr},  {Step::Seek, 20, 0, nullptr},
        {Step::Read, 1, 0, nullptr},  {Step::Seek, 0, 0, nullptr},  {Step::Read, 0, 0, nullptr},
        {Step::Read, 30, 0, nullptr}, {Step::Size, 0, 0, nullptr},
    };
    const int n = sizeof steps / sizeof steps[0];
    const std::string name = tempName();
    std::ofstream(name, std::ios::binary) << text;
    JWinFile file;
    ASSERT_EQ(file.open(name.c_str(), 1), 1);
    JMemoryStream memory(text.data(), static_cast<int>(text.size()));
    EXPECT_EQ(replay(memory, steps, n), replay(file, steps, n));
    file.close();
    ::unlink(name.c_str());
}

TEST(JMemoryStream, WritesLikeAFile) {
    const Step steps[] = {
        {Step::Write, 5, 0, "hello"}, {Step::Seek, 1, 0, nullptr},  {Step::Write, 2, 0, "EL"},
        {Step::Size, 0, 0, nullptr},  {Step::Seek, 3, 2, nullptr},  {Step::Write, 1, 0, "!"},
        {Step::Seek, -1, 0, nullptr}, {Step::Write, 3, 0, "end"},  {Step::Write, 0, 0, ""},
        {Step::Size, 0, 0, nullptr},
    };
    const int n = sizeof steps / sizeof steps[0];
    const std::string name = tempName();
    JWinFile file;
    ASSERT_EQ(file.open(name.c_str(), 2), 1);
    JMemoryStream memory("old", 3);
    ASSERT_EQ(memory.open("any", 2), 1);
    EXPECT_EQ(replay(memory, steps, n), replay(file, steps, n));
    file.close();
    std::ifstream in(name, std::ios::binary);
    std::string written((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(memory.bytes(), written);
    EXPECT_EQ(written, std::string("hELlo\0\0\0!end", 12));
    ::unlink(name.c_str());

    memory.close();
    EXPECT_EQ(memory.write("x", 1), 0);
    EXPECT_EQ(memory.size(), 0xFFFFFFFFu);
}
