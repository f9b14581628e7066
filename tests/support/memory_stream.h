// A JStream over bytes in memory, file-like: one position for reads and
// writes, seeks past the end allowed, writes past the end fill with zeros.
// `budget` limits the bytes it takes in all (read or written, as `limits`
// says); past it, a write is cut short and a read ends, as on a full disk or
// a failing device.
#ifndef PAKHOD_TESTS_MEMORY_STREAM_H
#define PAKHOD_TESTS_MEMORY_STREAM_H

#include <algorithm>
#include <string>

#include "jstream.h"

class MemoryStream : public JStream {
public:
    enum Limit { none, writes, reads };
    explicit MemoryStream(std::string bytes = "", Limit limits = none, long budget = 0)
        : content(std::move(bytes)), limits(limits), budget(budget) {}

    int open(const char*, int mode) override {
        if (mode == 2) content.clear();
        at = 0;
        return 1;
    }
    void close() override {}
    char readByte() override {
        char c = 0;
        read(&c, 1);
        return c;
    }
    int read(char* buffer, int count) override {
        long n = std::max(0L, std::min<long>(allowed(reads, count), long(content.size()) - at));
        if (n > 0) content.copy(buffer, size_t(n), size_t(at));
        at += n;
        return spend(reads, n);
    }
    int writeByte(char byte) override { return write(&byte, 1); }
    int write(const char* buffer, int count) override {
        long n = std::max(0L, allowed(writes, count));
        if (long(content.size()) < at + n) content.resize(size_t(at + n), '\0');
        content.replace(size_t(at), size_t(n), buffer, size_t(n));
        at += n;
        return spend(writes, n);
    }
    int seek(int32_t offset, int origin) override {
        long target = (origin == 0 ? 0 : origin == 2 ? long(content.size()) : at) + offset;
        if (target < 0) return 0;
        at = target;
        return 1;
    }
    uint32_t size() override { return uint32_t(content.size()); }

    std::string content;
    long at = 0;
    Limit limits;
    long budget;

private:
    long allowed(Limit kind, long count) const { return limits == kind ? std::min(count, budget) : count; }
    int spend(Limit kind, long n) {
        if (limits == kind) budget -= n;
        return int(n);
    }
};

#endif
