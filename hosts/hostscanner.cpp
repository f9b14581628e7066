#include "hostscanner.h"

#include "words.h"

void JHostScanner::respell(const char* text, int n, JTextBuffer& out) const {
    out.clear();
    out.add(text, n);
}

void JStatementGatherer::code(int from, int to) {
    if (start < 0) start = from;
    interrupted = interrupted || commented;
    stop = to;
}

bool JStatementGatherer::holdsLabelAtMost(const char* text) const {
    return start < 0 || (text[stop - 1] == ':' && nameLength(text + start, stop - start) == stop - start - 1);
}

void JStatementGatherer::end(const char* text, JHostEvents& events, bool runsOn) {
    if (start < 0) return;
    // A label before the mnemonic ("next:", "@@loop:") stays where it is.
    const int label = nameLength(text + start, stop - start);
    int from = start;
    if (label > 0 && from + label < stop && text[from + label] == ':' && !isAnyRegister(text + from, label)) {
        from += label + 1;
        while (from < stop && (text[from] == ' ' || text[from] == '\t')) ++from;
    }
    if (from < stop) events.statement(from, stop, interrupted || runsOn);
    start = stop = -1;
    commented = interrupted = false;
}

std::unique_ptr<JHostScanner> hostScanner(HostKind kind) {
    return kind == HostKind::pascal ? pascalScanner() : cScanner(kind == HostKind::cAsmBody);
}
