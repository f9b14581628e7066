#include "jmemorystream.h"

#include <algorithm>
#include <cstring>

JMemoryStream::JMemoryStream() : cursor(0), closed(false) {}

JMemoryStream::JMemoryStream(const char* bytes, int count)
    : content(bytes, static_cast<size_t>(count > 0 ? count : 0)), cursor(0), closed(false) {}

JMemoryStream::~JMemoryStream() {}

int JMemoryStream::open(const char* name, int mode) {
    if (name == nullptr) return 0;
    if (mode == 2) content.clear();
    cursor = 0;
    closed = false;
    return 1;
}

void JMemoryStream::close() { closed = true; }

char JMemoryStream::readByte() {
    char byte = 0;
    read(&byte, 1);
    return byte;
}

int JMemoryStream::read(char* buffer, int count) {
    long available = static_cast<long>(content.size()) - cursor;
    if (closed || count <= 0 || available <= 0) return 0;
    long n = count < available ? count : available;
    std::memcpy(buffer, content.data() + cursor, static_cast<size_t>(n));
    cursor += n;
    return static_cast<int>(n);
}

int JMemoryStream::writeByte(char byte) { return write(&byte, 1); }

int JMemoryStream::write(const char* buffer, int count) {
    if (closed || count <= 0) return 0;
    size_t at = static_cast<size_t>(cursor);
    if (content.size() < at) content.resize(at, '\0');
    content.replace(at, std::min(content.size() - at, static_cast<size_t>(count)), buffer,
                    static_cast<size_t>(count));
    cursor += count;
    return count;
}

int JMemoryStream::seek(int32_t offset, int origin) {
    if (closed) return 0;
    long base = origin == 0 ? 0 : origin == 2 ? static_cast<long>(content.size()) : cursor;
    long target = base + offset;
    if (target < 0) return 0;
    cursor = target;
    return 1;
}

uint32_t JMemoryStream::size() { return closed ? 0xFFFFFFFFu : static_cast<uint32_t>(content.size()); }
