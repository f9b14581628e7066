// JMemoryStream: a JStream over bytes held in memory, for tests, fuzzing and
// callers that already hold their text. Reads and writes share one position,
// as on a file; writes past the end extend the bytes.
#ifndef PAKHOD_JMEMORYSTREAM_H
#define PAKHOD_JMEMORYSTREAM_H

#include <string>

#include "jstream.h"

class JMemoryStream : public JStream {
public:
    JMemoryStream();
    JMemoryStream(const char* bytes, int count);
    ~JMemoryStream() override;

    // Names mean nothing here: open rewinds (mode 2 also empties) and
    // always succeeds; close only marks the stream closed.
    int open(const char* name, int mode) override;
    void close() override;
    char readByte() override;
    int read(char* buffer, int count) override;
    int writeByte(char byte) override;
    int write(const char* buffer, int count) override;
    int seek(int32_t offset, int origin) override;
    uint32_t size() override;

    const std::string& bytes() const { return content; }
    long offset() const { return cursor; }

private:
    std::string content;
    long cursor;
    bool closed;
};

#endif
