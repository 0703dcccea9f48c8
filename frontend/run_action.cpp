// The actions' retry loops with their growing sleeps, and their give-up.
#include "frontend/run_action.h"

#include <stdio.h>
#include <syslog.h>

#include "frontend/hardware_bringup.h"
#include "platform/platform.h"

static const int kMaxRetries = 20; // 21 attempts in all

int give_up_action(const ACTION *action, const char *logArgument)
{
    if (action->fatal)
        close_mem_driver();
    fputs(action->giveUpText, stdout);
    if (action->giveUpLog != nullptr && logArgument != nullptr)
        platform_syslog(LOG_ERR, "%s %s", action->giveUpLog, logArgument);
    else if (action->giveUpLog != nullptr)
        platform_syslog(LOG_ERR, "%s", action->giveUpLog);
    return -1;
}

// Every action but -c and the IPv4 write: an attempt, then on failure a
// sleep of sleepTime plus the failures before this one (sleepTime + 0 after
// the first), and at most 21 attempts; the last sleep comes before the
// give-up, which is left to the caller.
static int retry_with_sleeps(const ACTION *action, RUN_CONTEXT *context)
{
    int counter = 0;
    for (;;) {
        if (action->operation(context) >= 0)
            return 0;
        platform_sleep(sleepTime + static_cast<unsigned int>(counter));
        counter++;
        if (counter > kMaxRetries)
            return -1;
        fputs(action->retryText, stdout);
    }
}

// The IPv4 write counts the failure before it sleeps, so its sleeps are
// sleepTime + 1 to 20, and it gives up without a last sleep.
int retry_ip_write(const ACTION *action, RUN_CONTEXT *context)
{
    int counter = 0;
    for (;;) {
        if (action->operation(context) >= 0)
            return 0;
        counter++;
        if (counter > kMaxRetries)
            return -1;
        platform_sleep(sleepTime + static_cast<unsigned int>(counter));
        fputs(action->retryText, stdout);
    }
}

int run_action(const ACTION *action, RUN_CONTEXT *context, const char *logArgument)
{
    if (retry_with_sleeps(action, context) < 0)
        return give_up_action(action, logArgument);
    return 0;
}
