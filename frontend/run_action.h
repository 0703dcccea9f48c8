// One action of the run: the operation its retry loop calls, and what the
// run prints and logs when it gives up. Front-end internal.
#ifndef IDSTAMP_RUN_ACTION_H
#define IDSTAMP_RUN_ACTION_H

#include "frontend/idstamp.h"

// What most actions print before each new attempt.
static const char kRetrying[] = "\r\nRetrying...";

// What the actions of one run work on: the request and the buffers the
// reads fill.
typedef struct {
    IDSTAMP_WORK *work;
    unsigned int stringLength; // of work->stringText, once its length test passed
    unsigned char macText[20];
    unsigned char readText[32];
} RUN_CONTEXT;

// One row of the action table: the operation its retry loop calls, and what
// the run prints and logs when the action gives up.
typedef struct {
    int (*operation)(RUN_CONTEXT *);
    const char *retryText;
    int fatal;              // giving up closes memDriver and ends the run
    const char *giveUpText; // printed as it stands, line end included
    const char *giveUpLog;  // LOG_ERR line; null: nothing is logged
} ACTION;

// The command line's texts as the record operations take them.
static inline unsigned char *as_bytes(char *text)
{
    return reinterpret_cast<unsigned char *>(text);
}

// What every action does when it gives up: a fatal one closes memDriver
// first. logArgument, when given, ends the log line after a blank. Returns -1.
int give_up_action(const ACTION *action, const char *logArgument);

// Runs an action in its retry loop, giving up as its row says.
int run_action(const ACTION *action, RUN_CONTEXT *context, const char *logArgument);

// The IPv4 write's own retry loop (see run_action.cpp); the give-up is left
// to the caller. 0 once the operation succeeded, -1 when it never did.
int retry_ip_write(const ACTION *action, RUN_CONTEXT *context);

#endif
