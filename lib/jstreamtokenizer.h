// JStreamTokenizer: reads lines, or fields separated by ',', TAB, CR and LF,
// from a JStream. It keeps `position`, the count of bytes consumed since the
// stream was attached; between calls it equals the stream's offset, and every
// look-ahead is undone by seeking back to it.
#ifndef PAKHOD_JSTREAMTOKENIZER_H
#define PAKHOD_JSTREAMTOKENIZER_H

#include <cstdint>

#include "jobject.h"
#include "jstream.h"
#include "jstring.h"

class JStreamTokenizer : public JObject {
public:
    JStream* stream;   // not owned
    int32_t position;  // bytes consumed since setStream

    JStreamTokenizer();
    ~JStreamTokenizer() override;

    // Attaches a stream (may be null), seeks it to its start, position 0.
    void setStream(JStream* s);

    // One line without its LF (and without a CR just before the LF or the
    // end of input). Returns the bytes consumed, 0 at end of input.
    int readLine(JString& line);
    // One field without its delimiter. 1 read, 0 at end (string unchanged).
    int nextField(JString& field);
    int nextInt();
    int skipField();
    int skipLine();
    int nextIsNumber();
    int peekFieldLength();
    int readField(char* buffer);
    int skipLineFeed();

private:
    int readOne(char* byte);
    int readLineInBlocks(JString& line, const char* bytes, int held);
    void rewind();
};

#endif
