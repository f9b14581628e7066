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
      cursor(0),
      mode(idle),
      failed(false) {}

JBufferedStream::~JBufferedStream() {
    writeBack();
    delete[] buffer;
}

void JBufferedStream::reset(int32_t offset) {
    start = offset;
    length = 0;
    cursor = 0;
    mode = idle;
}

// Writes the pending bytes; afterwards the inner offset is the logical one.
int JBufferedStream::writeBack() {
    if (mode != writing) return 1;
    int done = writeFully(inner, buffer, length);
    if (!done) failed = true;
    reset(start + length);
    return done;
}

// Reads the next block after the buffered one; returns the bytes now held.
int JBufferedStream::fill() {
    start += length;
    cursor = 0;
    length = inner->read(buffer, capacity);  // 0 at the end or on failure, never less
    mode = reading;
    return length;
}

// Leaves read mode: the inner stream has read ahead of the logical position,
// so it is moved back to it. 0 when that seek fails.
int JBufferedStream::endReading() {
    if (mode != reading) return 1;
    if (cursor != length && !inner->seek(logicalPosition(), 0)) return 0;
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
    if (mode == reading && cursor < length) return buffer[cursor++];
    char byte = 0;
    read(&byte, 1);
    return byte;
}

int JBufferedStream::read(char* out, int count) {
    if (count <= 0) return 0;
    writeBack();
    if (mode == idle) mode = reading;
    int done = 0;
    while (done < count) {
        if (cursor == length) {
            if (count - done >= capacity) {
                // A large request goes straight into the caller's buffer.
                start += length;
                length = cursor = 0;
                int n = inner->read(out + done, count - done);
                if (n <= 0) break;
                start += n;
                done += n;
                continue;
            }
            if (fill() == 0) break;
        }
        int n = length - cursor < count - done ? length - cursor : count - done;
        std::memcpy(out + done, buffer + cursor, static_cast<size_t>(n));
        cursor += n;
        done += n;
    }
    return done;
}

int JBufferedStream::writeByte(char byte) {
    if (mode == writing && length < capacity) {
        buffer[length++] = byte;
        cursor = length;
        return 1;
    }
    return write(&byte, 1) == 1 ? 1 : 0;
}

int JBufferedStream::write(const char* bytes, int count) {
    if (mode == writing && count > 0 && count <= capacity - length) {  // the usual case
        std::memcpy(buffer + length, bytes, static_cast<size_t>(count));
        length += count;
        cursor = length;
        return count;
    }
    if (count <= 0 || failed) return 0;
    if (!endReading()) {
        failed = true;
        return 0;
    }
    if (mode == writing && length + count > capacity && !writeBack()) return 0;
    if (count >= capacity) {
        // Too large to gather: written straight through.
        if (!writeFully(inner, bytes, count)) {
            failed = true;
            return 0;
        }
        start += count;
        return count;
    }
    mode = writing;
    std::memcpy(buffer + length, bytes, static_cast<size_t>(count));
    length += count;
    cursor = length;
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
        cursor = static_cast<int>(target - start);
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

int JBufferedStream::peekBuffer(const char** bytes) {
    if (mode == reading && cursor < length) {  // the usual case
        *bytes = buffer + cursor;
        return length - cursor;
    }
    return peekAfterFill(bytes);
}

int JBufferedStream::peekAfterFill(const char** bytes) {
    writeBack();
    if (mode == idle) length = cursor = 0;
    if (fill() == 0) return 0;
    *bytes = buffer + cursor;
    return length - cursor;
}

void JBufferedStream::skipBuffered(int count) {
    if (count > length - cursor) count = length - cursor;
    if (count > 0) cursor += count;
}

char* JBufferedStream::claim(int count) {
    if (mode == writing && count <= capacity - length) {  // the usual case
        char* room = buffer + length;
        length += count;
        cursor = length;
        return room;
    }
    return claimAfterWriteBack(count);
}

char* JBufferedStream::claimAfterWriteBack(int count) {
    if (count < 0 || count > capacity || failed) return nullptr;
    if (!endReading()) {
        failed = true;
        return nullptr;
    }
    if (!writeBack()) return nullptr;
    mode = writing;
    return claim(count);
}
