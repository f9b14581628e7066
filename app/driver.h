// The command-line driver: pakhod srcfile [destfile].
#ifndef PAKHOD_DRIVER_H
#define PAKHOD_DRIVER_H

// Runs pakhod on its command line and returns the process exit status:
// 1 after a completed run, 0 after the usage text or any error message.
int runDriver(int argc, const char* const* argv);

#endif
