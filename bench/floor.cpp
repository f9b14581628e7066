// floor: the least work any line rewriter must do, as a yardstick for
// pakhod. It reads the input in large blocks, finds each LF, drops a CR
// before it and writes every line with CR LF through one large buffer.
//
//   floor SOURCE DEST
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr size_t blockSize = 1 << 20;

bool writeAll(int fd, const char* bytes, size_t n) {
    while (n > 0) {
        ssize_t done = ::write(fd, bytes, n);
        if (done <= 0) return false;
        bytes += done;
        n -= static_cast<size_t>(done);
    }
    return true;
}

class Writer {
public:
    explicit Writer(int fd) : fd(fd), buffer(blockSize), used(0), good(true) {}
    void put(const char* bytes, size_t n) {
        if (used + n > buffer.size()) flush();
        if (n > buffer.size()) {
            good = writeAll(fd, bytes, n) && good;
            return;
        }
        std::memcpy(buffer.data() + used, bytes, n);
        used += n;
    }
    bool flush() {
        good = writeAll(fd, buffer.data(), used) && good;
        used = 0;
        return good;
    }

private:
    int fd;
    std::vector<char> buffer;
    size_t used;
    bool good;
};

// Emits one line (without its LF) followed by CR LF.
void emitLine(Writer& out, const char* line, size_t n) {
    if (n > 0 && line[n - 1] == '\r') --n;
    out.put(line, n);
    out.put("\r\n", 2);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: floor SOURCE DEST\n");
        return 2;
    }
    int in = ::open(argv[1], O_RDONLY);
    int outFd = ::open(argv[2], O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (in < 0 || outFd < 0) {
        std::fprintf(stderr, "floor: cannot open the files\n");
        return 1;
    }
    Writer out(outFd);
    std::vector<char> block(blockSize);
    std::vector<char> carry;  // a line that runs across blocks
    ssize_t n;
    while ((n = ::read(in, block.data(), block.size())) > 0) {
        const char* p = block.data();
        const char* end = p + n;
        while (p < end) {
            const char* lf = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
            if (lf == nullptr) {
                carry.insert(carry.end(), p, end);
                break;
            }
            if (carry.empty()) {
                emitLine(out, p, static_cast<size_t>(lf - p));
            } else {
                carry.insert(carry.end(), p, lf);
                emitLine(out, carry.data(), carry.size());
                carry.clear();
            }
            p = lf + 1;
        }
    }
    if (!carry.empty()) emitLine(out, carry.data(), carry.size());
    bool good = n == 0 && out.flush();
    good = ::close(outFd) == 0 && good;
    ::close(in);
    return good ? 0 : 1;
}
