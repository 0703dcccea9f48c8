// The run sequence: map the SoC's register window, check the timer, bring
// the bus up, then run the requested actions in a fixed order, each inside a
// retry loop with growing sleeps, and decide the exit status.
#include <stdio.h>
#include <string.h>
#include <syslog.h>

#include "board/wexloow.h"
#include "eeprom/rerun.h"
#include "frontend/hardware_bringup.h"
#include "frontend/idstamp.h"
#include "frontend/ipv4_work.h"
#include "frontend/run_action.h"
#include "platform/platform.h"
#include "signal/onewiresignal.h"

static int logOpened;

static int op_mac_write(RUN_CONTEXT *context)
{
    return mac_addr_write(as_bytes(context->work->macAddr), 0);
}

static int op_rom_report(RUN_CONTEXT *)
{
    return read_owrom();
}

static int op_mac_read(RUN_CONTEXT *context)
{
    return mac_addr_read(context->macText, 1);
}

static int op_ip_print(RUN_CONTEXT *)
{
    return ipv4_addr_read(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 1);
}

static int op_string_read(RUN_CONTEXT *context)
{
    return generic_string_read(context->readText, 1);
}

static int op_string_write(RUN_CONTEXT *context)
{
    return generic_string_write(as_bytes(context->work->stringText), context->stringLength, 0);
}

// The action table, in the order the actions run (the IPv4 write, second,
// keeps its own).
static const ACTION macWrite = {op_mac_write, kRetrying, 1, "\r\nUnable to write the MAC address.\r\n",
                                "Unable to write the MAC address"};
static const ACTION romReport = {op_rom_report, kRetrying, 0, "\r\nUnable to read 1-wire 64 bits ROM\n",
                                 "Unable to read 1-wire 64 bits ROM"};
static const ACTION macRead = {op_mac_read, kRetrying, 1, "\r\nUnable to read the MAC address.\r\n",
                               "Unable to read the MAC address"};
static const ACTION ipPrint = {op_ip_print, kRetrying, 1, "\r\nUnable to read the IP address page.\n",
                               "Unable to read the IP address page"};
static const ACTION stringRead = {op_string_read, kRetrying, 1, "\r\nUnable to read the 1-Wire EEPROM page.\r\n",
                                  "Unable to read the 1-Wire EEPROM page"};
// -w's length test gives up without a retry loop.
static const ACTION stringTooLong = {nullptr, nullptr, 1, "\r\nError: option w - string too long\n", nullptr};
static const ACTION stringWrite = {op_string_write, kRetrying, 1, "\r\nUnable to write the 1-Wire EEPROM page.\r\n",
                                   "Unable to write the 1-Wire EEPROM page"};

static void open_log(void)
{
    platform_openlog("##### IDSTAMP", LOG_CONS | LOG_NDELAY, LOG_USER);
    logOpened = 1;
}

// A run that lost the processor inside a slot says so once, at its end, so
// that a board's interrupt load shows in its log.
static void log_disturbed_slots(void)
{
    if (owDisturbedSlots == 0)
        return;
    if (!logOpened)
        open_log();
    platform_syslog(LOG_WARNING, "%u disturbed 1-Wire time slots, %u re-runs", owDisturbedSlots, onewireReruns);
}

int idstamp_run(IDSTAMP_WORK *work)
{
    RUN_CONTEXT context = {};
    context.work = work;
    if (bring_up_hardware() == nullptr)
        return -1;
    open_log();

    if (work->macGiven) {
        printf("\r\nWriting MAC address %s...", work->macAddr);
        platform_syslog(LOG_NOTICE, "Writing MAC address %s", work->macAddr);
        if (run_action(&macWrite, &context, work->macAddr) < 0)
            return -1;
        puts("Done!\r");
    }

    if (any_ipv4_given(work) && doIpv4Work(work) < 0)
        return -1; // the step has closed memDriver

    if (work->macPageGiven) {
        puts("\r\nReading 1-wire 64 bits ROM ...");
        run_action(&romReport, &context, nullptr); // not fatal: the MAC page may still be readable
        puts("\r\nRead MAC address Page ...");
        if (run_action(&macRead, &context, nullptr) < 0)
            return -1;
        platform_syslog(LOG_NOTICE, "Read MAC address %s", reinterpret_cast<char *>(context.macText));
    }

    if (work->ipPageGiven) {
        printf("\r\nRead IP address Page ...");
        if (run_action(&ipPrint, &context, nullptr) < 0)
            return -1;
    }

    if (work->stringReadGiven) {
        printf("\r\nRead string from page 3 ...");
        if (run_action(&stringRead, &context, nullptr) < 0)
            return -1;
        printf("\r\nRead string: \"%s\"\r\n", reinterpret_cast<char *>(context.readText));
    }

    if (work->stringWriteGiven) {
        const size_t length = strlen(work->stringText);
        if (length > WEXLO_STRING_MAX)
            return give_up_action(&stringTooLong, nullptr);
        context.stringLength = static_cast<unsigned int>(length);
        printf("\r\nWriting Generic string \"%s\"...", work->stringText);
        if (run_action(&stringWrite, &context, nullptr) < 0)
            return -1;
        puts("Done!\r");
    }

    if (work->pageDumpGiven) {
        printf("Reading page %d...\r\n\r\n", work->pageNumber);
        generic_page_read(nullptr, work->pageNumber, 1); // a failed dump does not change the status
    }

    close_mem_driver();
    return 0;
}

int idstamp_main(int argc, char **argv)
{
    IDSTAMP_WORK work;
    const int parsed = idstamp_parse(argc, argv, &work);
    if (parsed != 1)
        return parsed;
    const int status = idstamp_run(&work);
    log_disturbed_slots();
    return status;
}
