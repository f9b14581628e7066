// A JStream over bytes in memory, file-like: one position for reads and
// writes, seeks past the end allowed, writes past the end fill with zeros.
// A budget, when not negative, limits the bytes it reads or writes in all:
// past it a write is cut short and a read ends, as on a full disk or a
// failing device.
#ifndef PAKHOD_TESTS_MEMORY_STREAM_H
#define PAKHOD_TESTS_MEMORY_STREAM_H

#include <algorithm>
#include <string>

#include "jstream.h"

class MemoryStream : public JStream {
public:
    explicit MemoryStream(std::string bytes = "") : content(std::move(bytes)) {}

    std::string content;
    long at = 0;
    long readBudget = -1, writeBudget = -1;
    bool unsized = false;  // a pipe's: its size cannot be had

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
        long n = take(readBudget, std::max(0L, std::min<long>(count, long(content.size()) - at)));
        if (n > 0) content.copy(buffer, size_t(n), size_t(at));
        at += n;
        return int(n);
    }
    int writeByte(char byte) override { return write(&byte, 1); }
    int write(const char* buffer, int count) override {
        long n = take(writeBudget, std::max(0, count));
        if (n == 0) return 0;  // nothing written, so nothing grows
        content.resize(std::max<size_t>(content.size(), size_t(at + n)));
        content.replace(size_t(at), size_t(n), buffer, size_t(n));
        at += n;
        return int(n);
    }
    int seek(int32_t offset, int origin) override {
        long target = (origin == 0 ? 0 : origin == 2 ? long(content.size()) : at) + offset;
        if (target >= 0) at = target;
        return target >= 0;
    }
    uint32_t size() override { return unsized ? 0xFFFFFFFFu : uint32_t(content.size()); }

private:
    // The part of n bytes the budget allows, taken from it.
    static long take(long& budget, long n) {
        if (budget >= 0) budget -= n = std::min(budget, n);
        return n;
    }
};

#endif
