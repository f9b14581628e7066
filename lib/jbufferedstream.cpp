#include "jbufferedstream.h"

#include <cstring>

namespace {

constexpr int64_t largestOffset = 0x7FFFFFFF;

// Hands all n bytes to the stream, however many calls it takes; 1 when done.
int writeFully(JStream* stream, const char* bytes, int n) {
    while (n > 0) {
        int done = stream->write(bytes, n);
        if (done <= 0) return 0;
        bytes += done;
        n -= done;
    }
    return 1;
}

}  // namespace

JBufferedStream::JBufferedStream(JStream* inner, int capacity)
    : inner(inner),
      buffer(new char[capacity > 0 ? capacity : 1]),
      capacity(capacity > 0 ? capacity : 1),
      start(0),
      length(0),
      mode(idle),
      failed(false) {}

JBufferedStream::~JBufferedStream() {
    writeBack();
    delete[] buffer;
}

// Reading: `held` bytes in the buffer, the next one at `at`.
void JBufferedStream::startReading(int held, int at) {
    mode = reading;
    length = held;
    readNext = buffer + at;
    readEnd = buffer + held;
    writeNext = writeEnd = nullptr;
}

// Writing: nothing pending yet, the whole buffer as room.
void JBufferedStream::startWriting() {
    mode = writing;
    length = 0;
    writeNext = buffer;
    writeEnd = buffer + capacity;
    readNext = readEnd = nullptr;
}

void JBufferedStream::reset(int32_t offset) {
    start = offset;
    length = 0;
    mode = idle;
    readNext = readEnd = nullptr;
    writeNext = writeEnd = nullptr;
}

// Writes the pending bytes; afterwards the inner offset is the logical one.
int JBufferedStream::writeBack() {
    if (mode != writing) return 1;
    const int n = pending();
    int done = writeFully(inner, buffer, n);
    if (!done) failed = true;
    reset(start + n);
    return done;
}

// Reads the next block after the buffered one; returns the bytes now held.
int JBufferedStream::fill() {
    start += length;
    int held = inner->read(buffer, capacity);  // 0 at the end or on failure, never less
    startReading(held, 0);
    return held;
}

// Leaves read mode: the inner stream has read ahead of the logical position,
// so it is moved back to it. 0 when that seek fails.
int JBufferedStream::endReading() {
    if (mode != reading) return 1;
    if (readNext != readEnd && !inner->seek(logicalPosition(), 0)) return 0;
    reset(logicalPosition());
    return 1;
}

int JBufferedStream::open(const char* name, int openMode) {
    writeBack();
    int opened = inner->open(name, openMode);
    reset(0);
    failed = false;
    return opened;
}

void JBufferedStream::close() {
    writeBack();
    inner->close();
    reset(0);
}

char JBufferedStream::readByte() {
    if (readNext != readEnd) return *readNext++;
    char byte = 0;
    read(&byte, 1);
    return byte;
}

int JBufferedStream::read(char* out, int count) {
    if (count <= 0) return 0;
    writeBack();
    if (mode == idle) startReading(0, 0);
    int done = 0;
    while (done < count) {
        if (readNext == readEnd) {
            if (count - done >= capacity) {
                // A large request goes straight into the caller's buffer.
                start += length;
                startReading(0, 0);
                int n = inner->read(out + done, count - done);
                if (n <= 0) break;
                start += n;
                done += n;
                continue;
            }
            if (fill() == 0) break;
        }
        int n = readEnd - readNext < count - done ? static_cast<int>(readEnd - readNext) : count - done;
        std::memcpy(out + done, readNext, static_cast<size_t>(n));
        readNext += n;
        done += n;
    }
    return done;
}

int JBufferedStream::writeByte(char byte) {
    if (writeNext != writeEnd) {
        *writeNext++ = byte;
        return 1;
    }
    return write(&byte, 1) == 1 ? 1 : 0;
}

int JBufferedStream::write(const char* bytes, int count) {
    if (count > 0 && count <= writeEnd - writeNext) {  // the usual case
        std::memcpy(writeNext, bytes, static_cast<size_t>(count));
        writeNext += count;
        return count;
    }
    if (count <= 0 || failed) return 0;
    if (!endReading()) {
        failed = true;
        return 0;
    }
    if (mode == writing && pending() + count > capacity && !writeBack()) return 0;
    if (count >= capacity) {
        // Too large to gather: written straight through.
        if (!writeFully(inner, bytes, count)) {
            failed = true;
            return 0;
        }
        start += count;
        return count;
    }
    if (mode != writing) startWriting();
    std::memcpy(writeNext, bytes, static_cast<size_t>(count));
    writeNext += count;
    return count;
}

int JBufferedStream::seek(int32_t offset, int origin) {
    int64_t base = logicalPosition();
    if (origin == 0) {
        base = 0;
    } else if (origin == 2) {
        uint32_t end = size();
        if (end == 0xFFFFFFFFu) return 0;
        base = end;
    }
    int64_t target = base + offset;
    if (target < 0 || target > largestOffset) return 0;
    // Inside the bytes already read: no system call.
    if (mode == reading && target >= start && target <= start + length) {
        readNext = buffer + (target - start);
        return 1;
    }
    writeBack();
    if (!inner->seek(static_cast<int32_t>(target), 0)) return 0;
    reset(static_cast<int32_t>(target));
    return 1;
}

uint32_t JBufferedStream::size() {
    writeBack();
    return inner->size();
}

int JBufferedStream::flush() {
    writeBack();
    return failed ? 0 : 1;
}

int JBufferedStream::peekAfterRefill(const char** bytes) {
    writeBack();
    if (mode == idle) length = 0;
    if (fill() == 0) return 0;
    *bytes = readNext;
    return static_cast<int>(readEnd - readNext);
}

char* JBufferedStream::claimAfterFlush(int count) {
    if (count < 0 || count > capacity || failed) return nullptr;
    if (!endReading()) {
        failed = true;
        return nullptr;
    }
    if (!writeBack()) return nullptr;
    startWriting();
    char* room = writeNext;
    writeNext += count;
    return room;
}
