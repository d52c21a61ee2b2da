// The host side of the program: whatever stands in for the command
// interpreter on this platform. One file per platform implements it.
#ifndef GLIMMERQUAY_HOST_H
#define GLIMMERQUAY_HOST_H

// Called once, before anything is written.
void host_init();

// Flushes standard output, hands one command line to the host, waits until
// it has finished and ignores its result.
void host_run(const char* command_line);

#endif
