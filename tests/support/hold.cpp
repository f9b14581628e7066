// Test helper. `hold FILE MS` opens FILE as pakhod opens its inputs, for
// exclusive use, prints "held" and keeps it for MS milliseconds (status 1
// when it cannot). `hold names DIR N` makes N files in DIR, each holding
// "keep", named as pakhod names its next N temporary files.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "jwinfile.h"
#include "platform.h"

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "names") == 0) {
        const uint32_t tick = tickCount();
        for (int i = 0; i < std::atoi(argv[3]); ++i)
            std::ofstream(std::string(argv[2]) + "/qzvt" + std::to_string(int32_t(tick + i)) + ".asm",
                          std::ios::binary) << "keep\n";
        return 0;
    }
    JWinFile file;
    if (argc != 3 || !file.open(argv[1], 1)) return 1;
    std::puts("held");
    std::fflush(stdout);
    sleepMilliseconds(std::atoi(argv[2]));
    return 0;
}
