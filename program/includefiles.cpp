#include "includefiles.h"

#include <cstdio>
#include <cstring>

#include "jbufferedstream.h"
#include "platform.h"

namespace {

constexpr int modeSharedRead = 4;  // JWinFile: read beside other readers

// Writes one line to standard error in one piece, after what standard
// output holds, so that a terminal shows them in order.
void writeLine(const JTextBuffer& line) {
    std::fflush(stdout);
    std::fwrite(line.data(), 1, static_cast<size_t>(line.length()), stderr);
}

void add(JTextBuffer& out, const char* text) { out.add(text, static_cast<int>(std::strlen(text))); }

}  // namespace

JIncludeFiles::JIncludeFiles(const JOptions& options, const JWinFile& source, bool tell)
    : options(options), openCount(1), tell(tell), warnings(0) {
    open[0] = &source;
}

bool JIncludeFiles::isOpenAlready(const char* path) const {
    for (int i = 0; i < openCount; ++i)
        if (namesHeldFile(path, *open[i])) return true;
    return false;
}

int JIncludeFiles::include(const char* name, const char* from, int line, bool tellThis, JIncludeReader& reader) {
    // The folders, in order: the including file's, the current one, each
    // -I folder; a name with a path of its own is taken as it is.
    const bool ownPath = isAbsolutePath(name) != 0;
    const JString own = ownPath ? JString("") : folderOf(from);
    const int places = ownPath ? 1 : 2 + options.includeFolderCount;
    JString searched, unread;  // the folders looked in; why a file found in one could not be read
    for (int i = 0; i < places; ++i) {
        JString folder = i == 0 ? own : i == 1 ? JString("") : JString(options.includeFolders[i - 2]);
        if (i == 1 && own.length() == 0) continue;  // the including file's folder was the current one
        if (i >= 2) endWithSeparator(folder);
        const char* shown = ownPath ? name : folder.length() > 0 ? folder.data : "./";
        searched.append(searched.length() > 0 ? ", " : "").append(shown);
        JString path = folder + name;
        if (!pathExists(path.data)) continue;
        if (isOpenAlready(path.data)) {
            if (tellThis) warnAbout(from, line, "include cycle, not read again", path.data, JString(""));
            return 0;
        }
        JWinFile file;
        if (openForReading(file, path.data, modeSharedRead)) return readFile(path, file, reader, from, line, tellThis);
        JString reason;
        errorText(file.lastError, reason);
        if (unread.length() == 0) unread = path + ": " + reason + "; ";
    }
    if (tellThis)
        warnAbout(from, line, unread.length() > 0 ? "include file not read" : "include file not found", name,
                  unread + "searched: " + searched);
    return 0;
}

// Reads the open include file `file` at `path` through a buffer, as the
// files it includes in turn are, and closes it.
int JIncludeFiles::readFile(const JString& path, JWinFile& file, JIncludeReader& reader, const char* from, int line,
                            bool tellThis) {
    if (openCount == static_cast<int>(sizeof open / sizeof open[0])) return 0;
    open[openCount++] = &file;
    int whole;
    {
        JBufferedStream buffered(&file, bufferSize);
        whole = reader.readIncluded(buffered, path.data);
    }
    --openCount;
    int error = file.lastError;
    file.close();
    if (!whole && tellThis) {
        JString reason("the bytes read did not match its size");
        if (error != 0) errorText(error, reason);
        warnAbout(from, line, "include file not read whole", path.data, reason);
    }
    return whole;
}

// "FROM:LINE: warning: WHAT: NAME (DETAIL)".
void JIncludeFiles::warnAbout(const char* from, int line, const char* what, const char* name, const JString& detail) {
    JString text = JString(from) + ":" + line + ": warning: " + what + ": " + name;
    if (detail.length() > 0) text.append(" (").append(detail).append(")");
    warn(text.data);
}

void JIncludeFiles::warn(const char* text) {
    if (!tell || ++warnings > mostListed) return;
    message.clear();
    add(message, text);
    message.add('\n');
    writeLine(message);
}

void JIncludeFiles::note(const char* text) {
    if (!tell) return;
    add(notes, text);
    notes.add('\n');
}

void JIncludeFiles::finish(const char* sourceName) {
    if (warnings > mostListed) {
        JString text = JString(sourceName) + ": warning: " + (warnings - mostListed) +
                       " more warnings about include files and names, not listed\n";
        message.clear();
        add(message, text.data);
        writeLine(message);
    }
    for (int at = 0; at < notes.length();) {  // one write a line
        const void* end = std::memchr(notes.data() + at, '\n', static_cast<size_t>(notes.length() - at));
        int n = static_cast<int>(static_cast<const char*>(end) - notes.data()) - at + 1;
        std::fflush(stdout);
        std::fwrite(notes.data() + at, 1, static_cast<size_t>(n), stderr);
        at += n;
    }
}
