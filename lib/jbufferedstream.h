// JBufferedStream: a JStream that buffers another one, so that reading and
// writing in small pieces (the tokenizer reads a byte at a time, the line
// writers a few bytes at a time) costs a memory copy instead of a system call.
//
// The logical position is exact at every moment: it is the inner stream's
// offset as if every operation had gone straight through. Seeking inside the
// bytes already read makes no system call; pending writes are written back
// before a seek, a read, a size query and at close. A failed write is
// remembered: flush() reports 0 from then on, so an error in a buffered
// write is seen by whoever flushes or closes.
//
// The inner stream is not owned; while it is wrapped nobody else may read,
// write or move it. Its offset must be 0 when it is attached (as after open).
#ifndef PAKHOD_JBUFFEREDSTREAM_H
#define PAKHOD_JBUFFEREDSTREAM_H

#include "jstream.h"

class JBufferedStream : public JStream {
public:
    static constexpr int defaultCapacity = 256 * 1024;

    explicit JBufferedStream(JStream* inner, int capacity = defaultCapacity);
    // Writes back pending bytes (the result is lost: flush() first to see
    // it); the inner stream stays open.
    ~JBufferedStream() override;
    JBufferedStream(const JBufferedStream&) = delete;
    JBufferedStream& operator=(const JBufferedStream&) = delete;

    // Opens the inner stream and starts afresh at offset 0.
    int open(const char* name, int mode) override;
    // Writes back pending bytes, then closes the inner stream.
    void close() override;
    char readByte() override;  // 0 at end of input
    int read(char* buffer, int count) override;
    int writeByte(char byte) override;
    // Returns count once the bytes are taken (buffered or written), 0 when
    // they are refused because a write has failed.
    int write(const char* buffer, int count) override;
    int seek(int32_t offset, int origin) override;
    uint32_t size() override;

    // Writes back pending bytes. 1 when they, and every write before, went
    // through; 0 once any write has failed.
    int flush();

private:
    enum Mode { idle, reading, writing };

    JStream* inner;
    char* buffer;
    int capacity;
    int32_t start;  // logical offset of buffer[0]
    int length;     // reading: bytes read into the buffer
    Mode mode;
    bool failed;    // a write went wrong since the last open
    // The position inside the buffer is the window's: readNext while
    // reading, writeNext (the end of the pending bytes) while writing.

    int cursor() const {
        return mode == reading ? static_cast<int>(readNext - buffer) : mode == writing ? pending() : 0;
    }
    int pending() const { return static_cast<int>(writeNext - buffer); }
    void startReading(int held, int at);
    void startWriting();
    void reset(int32_t offset);
    int writeBack();
    int fill();
    int endReading();
    int32_t logicalPosition() const { return start + cursor(); }

protected:
    int peekAfterRefill(const char** bytes) override;
    char* claimAfterFlush(int count) override;
};

#endif
