// A memory stream that takes a fixed number of bytes, then nothing: a full
// disk for the line loop's write-error paths.
#ifndef PAKHOD_TESTS_LIMITED_STREAM_H
#define PAKHOD_TESTS_LIMITED_STREAM_H

#include "jmemorystream.h"

class LimitedStream : public JMemoryStream {
public:
    explicit LimitedStream(long room = 1L << 40) : room(room) {}
    int write(const char* buffer, int count) override {
        int n = count < room ? count : static_cast<int>(room);
        room -= n;
        return n > 0 ? JMemoryStream::write(buffer, n) : 0;
    }
    long room;
};

#endif
