// The command line and the run sequence of the tool.
#ifndef IDSTAMP_IDSTAMP_H
#define IDSTAMP_IDSTAMP_H

#include <stdint.h>

#include "frontend/version.h" // IDSTAMP_VERSION, from the project's version

// One parsed request; the texts point into the argument vector.
typedef struct {
    uint8_t macGiven;
    char *macAddr;
    uint8_t ip1Given;
    char *ip1Addr;
    uint8_t net1Given;
    char *net1Addr;
    uint8_t gw1Given;
    char *gw1Addr;
    uint8_t ip2Given;
    char *ip2Addr;
    uint8_t net2Given;
    char *net2Addr;
    uint8_t gw2Given;
    char *gw2Addr;
    uint8_t macPageGiven;
    uint8_t ipPageGiven;
    uint8_t stringReadGiven;
    uint8_t stringWriteGiven;
    uint8_t pageDumpGiven;
    uint32_t pageNumber;
    char *stringText;
} IDSTAMP_WORK;

// The descriptor of /dev/mem while a run has it open; closed once on every
// way out of the run.
extern int memDriver;

// Base back-off of every retry loop, in whole seconds: slot number + 1.
extern uint32_t sleepTime;

void printVersion(void);
void printUsage(void);

// Parses the command line into work. Returns 1 when the run goes on, or the
// result of main (0 after the usage text, -1 after a parse error).
int idstamp_parse(int argc, char **argv, IDSTAMP_WORK *work);

// Carries out a parsed request: 0 when every action is done, -1 otherwise.
int idstamp_run(IDSTAMP_WORK *work);

// The whole tool: parse, then run. Its result is the process's exit status.
int idstamp_main(int argc, char **argv);

#endif
