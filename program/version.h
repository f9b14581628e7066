// pakhod's version, as --version, the banner, the man page and the packages
// give it (CMakeLists.txt reads it from here).
#ifndef PAKHOD_VERSION_H
#define PAKHOD_VERSION_H

#define PAKHOD_VERSION "1.00 beta 1"

#endif
