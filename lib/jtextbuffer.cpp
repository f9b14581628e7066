#include "jtextbuffer.h"

#include <cstdint>
#include <cstring>

void JTextBuffer::add(const char* text, int n) {
    if (n <= 0) return;
    if (n > capacity - used) {
        int64_t need = int64_t{used} + n;
        int64_t bigger = int64_t{capacity} * 2 > need ? int64_t{capacity} * 2 : need;
        if (bigger > 0x7FFFFFFF) bigger = 0x7FFFFFFF;
        char* fresh = new char[static_cast<size_t>(bigger)];
        if (used > 0) std::memcpy(fresh, bytes, static_cast<size_t>(used));
        delete[] bytes;
        bytes = fresh;
        capacity = static_cast<int>(bigger);
    }
    std::memcpy(bytes + used, text, static_cast<size_t>(n));
    used += n;
}
