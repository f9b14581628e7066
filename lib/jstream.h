// JStream: the library's abstract byte stream. Results are plain integers:
// 1/0 for success/failure, byte counts for transfers (0 at end or on error).
#ifndef PAKHOD_JSTREAM_H
#define PAKHOD_JSTREAM_H

#include <cstdint>
#include <memory>

#include "jobject.h"

class JStream : public JObject {
public:
    ~JStream() override;

    // mode 1: read; mode 2: write, created or its content replaced (once
    // closed it holds only what was written); mode 4: read,
    // sharing the file with other mode-4 readers (JWinFile); other: write in
    // place.
    virtual int open(const char* name, int mode) = 0;
    virtual void close() = 0;
    virtual char readByte() = 0;
    virtual int read(char* buffer, int count) = 0;
    virtual int writeByte(char byte) = 0;
    virtual int write(const char* buffer, int count) = 0;
    // origin 0: from the start, 2: from the end, anything else: from here.
    virtual int seek(int32_t offset, int origin) = 0;
    // Length in bytes, or all bits set when it cannot be obtained.
    virtual uint32_t size() = 0;

    // Direct access to input already held in memory, for readers that scan
    // bytes in bulk: points *bytes at the unread bytes at the current
    // position and returns their count. 0 means none can be offered (the
    // stream has no buffer, or the input has ended); read() tells which.
    // Not virtual: a buffered stream keeps those bytes in the window below,
    // so asking costs no call until the window is empty.
    int peekBuffer(const char** bytes) {
        if (readNext != readEnd) {
            *bytes = readNext;
            return static_cast<int>(readEnd - readNext);
        }
        return peekAfterRefill(bytes);
    }
    // Consumes count bytes of those the last peekBuffer offered.
    void skipBuffered(int count) {
        if (count > readEnd - readNext) count = static_cast<int>(readEnd - readNext);
        if (count > 0) readNext += count;
    }

    // Direct access for writers that build their output in place: room for
    // exactly count bytes at the write position, taken as written at once;
    // the caller fills every one of them before its next call on the
    // stream. Null when the stream offers none (no buffer, too little room,
    // or a failed write; write() then tells which).
    char* claim(int count) {
        if (count >= 0 && count <= writeEnd - writeNext) {
            char* room = writeNext;
            writeNext += count;
            return room;
        }
        return claimAfterFlush(count);
    }

protected:
    // What a buffered stream holds, as the inline operations above use it:
    // the unread input [readNext, readEnd), the room for output [writeNext,
    // writeEnd). Both empty in a stream without a buffer.
    const char* readNext = nullptr;
    const char* readEnd = nullptr;
    char* writeNext = nullptr;
    char* writeEnd = nullptr;

    // The window ran empty: refill it and offer its bytes, or 0.
    virtual int peekAfterRefill(const char** bytes) {
        (void)bytes;
        return 0;
    }
    // The room ran short: make room for count bytes, or null.
    virtual char* claimAfterFlush(int count) {
        (void)count;
        return nullptr;
    }
};

// Room for one piece of output of exactly `size` bytes: in the stream's own
// buffer when it offers it, else in memory of ours that finish() writes.
// Either way the bytes reach the stream once.
class JWriteSpace {
public:
    static constexpr int localSize = 512;

    JWriteSpace(JStream* stream, int size) : stream(stream), direct(stream->claim(size)), size(size) {
        bytes = direct;
        if (bytes != nullptr) return;
        if (size > localSize) {
            onHeap.reset(new char[size]);
            bytes = onHeap.get();
        } else {
            bytes = local;
        }
    }
    JWriteSpace(const JWriteSpace&) = delete;
    JWriteSpace& operator=(const JWriteSpace&) = delete;

    char* bytes;  // where the output goes

    // Hands over the bytes once all `size` of them are filled; 1 when the
    // stream took them all.
    int finish() {
        if (direct != nullptr) return 1;
        return stream->write(bytes, size) == size ? 1 : 0;
    }

private:
    JStream* stream;
    char* direct;
    int size;
    std::unique_ptr<char[]> onHeap;
    char local[localSize];
};

#endif
