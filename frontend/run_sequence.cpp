// The run sequence: map the SoC's register window, check the timer, bring
// the bus up, then run the requested actions in a fixed order, each inside a
// retry loop with growing sleeps, and decide the exit status.
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/mman.h>
#include <syslog.h>

#include "board/wexloow.h"
#include "eeprom/rerun.h"
#include "frontend/idstamp.h"
#include "platform/platform.h"
#include "signal/onewiresignal.h"
#include "signal/timer.h"

static const char kMemDevice[] = "/dev/mem";
static const off_t kImmrPhysical = static_cast<off_t>(0xE0000000u);
static const size_t kImmrSize = 0x200000;
static const int kMaxRetries = 20; // 21 attempts in all
static const char kRetrying[] = "\r\nRetrying...";

int memDriver = -1;
static int logOpened;

// The stored IPv4 record read back as text, for the values not given.
static unsigned char Ip1[20];
static unsigned char Net1[20];
static unsigned char Gw1[20];
static unsigned char Ip2[20];
static unsigned char Net2[20];
static unsigned char Gw2[20];

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

static void close_mem_driver(void)
{
    platform_mem_close(memDriver);
}

static unsigned char *as_bytes(char *text)
{
    return reinterpret_cast<unsigned char *>(text);
}

// What every action does when it gives up: a fatal one closes memDriver
// first. logArgument, when given, ends the log line after a blank. Returns -1.
static int give_up(const ACTION *action, const char *logArgument)
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
static int retry_ip_write(const ACTION *action, RUN_CONTEXT *context)
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

// Runs an action in its retry loop, giving up as its row says.
static int run_action(const ACTION *action, RUN_CONTEXT *context, const char *logArgument)
{
    if (retry_with_sleeps(action, context) < 0)
        return give_up(action, logArgument);
    return 0;
}

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

static int op_ip_read_stored(RUN_CONTEXT *)
{
    return ipv4_addr_read(Ip1, Net1, Gw1, Ip2, Net2, Gw2, 1);
}

static int op_ip_write(RUN_CONTEXT *context)
{
    IDSTAMP_WORK *work = context->work;
    return ipv4_addr_write(as_bytes(work->ip1Addr), as_bytes(work->net1Addr), as_bytes(work->gw1Addr),
                           as_bytes(work->ip2Addr), as_bytes(work->net2Addr), as_bytes(work->gw2Addr), 0);
}

static int op_string_read(RUN_CONTEXT *context)
{
    return generic_string_read(context->readText, 1);
}

static int op_string_write(RUN_CONTEXT *context)
{
    return generic_string_write(as_bytes(context->work->stringText), context->stringLength, 0);
}

// The action table, in the order the actions run.
static const ACTION macWrite = {op_mac_write, kRetrying, 1, "\r\nUnable to write the MAC address.\r\n",
                                "Unable to write the MAC address"};
static const ACTION ipReadStored = {op_ip_read_stored, "Retrying read...", 1,
                                    "Since not all the IP options were specified,\n"
                                    "we tried to read the missing ones from EEPROM\n"
                                    "but we failed. This is possibly due to the fact\n"
                                    "that the EEPROM was never written.\n"
                                    "Try again, or try specifying all the IP options (d, f, g, i, j, k)\n",
                                    nullptr};
static const ACTION ipWrite = {op_ip_write, kRetrying, 1, "\r\nUnable to write the IP address.",
                               "Unable to write the IP address page"};
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

static int all_ipv4_given(const IDSTAMP_WORK *work)
{
    return work->ip1Given == 1 && work->net1Given == 1 && work->gw1Given == 1 && work->ip2Given == 1 &&
           work->net2Given == 1 && work->gw2Given == 1;
}

static int any_ipv4_given(const IDSTAMP_WORK *work)
{
    return work->ip1Given || work->net1Given || work->gw1Given || work->ip2Given || work->net2Given ||
           work->gw2Given;
}

// A value not given on the command line is taken from the stored record.
static void carry_over(uint8_t given, char **text, unsigned char *stored)
{
    if (given != 1)
        *text = reinterpret_cast<char *>(stored);
}

// Writes the IPv4 record; values not given are carried over from the stored
// record. Closes memDriver itself when it gives up.
static int doIpv4Work(IDSTAMP_WORK *work)
{
    RUN_CONTEXT context = {};
    context.work = work;
    puts("\r");
    if (!all_ipv4_given(work)) {
        memset(Ip1, 0, sizeof Ip1);
        memset(Net1, 0, sizeof Net1);
        memset(Gw1, 0, sizeof Gw1);
        memset(Ip2, 0, sizeof Ip2);
        memset(Net2, 0, sizeof Net2);
        memset(Gw2, 0, sizeof Gw2);
        printf("Read IP address Page ...");
        if (run_action(&ipReadStored, &context, nullptr) < 0)
            return -1;
        carry_over(work->ip1Given, &work->ip1Addr, Ip1);
        carry_over(work->net1Given, &work->net1Addr, Net1);
        carry_over(work->gw1Given, &work->gw1Addr, Gw1);
        carry_over(work->ip2Given, &work->ip2Addr, Ip2);
        carry_over(work->net2Given, &work->net2Addr, Net2);
        carry_over(work->gw2Given, &work->gw2Addr, Gw2);
    }

    puts("IP addresses to write:");
    printf(" slot 1 addr    %s\n", work->ip1Addr);
    printf(" slot 1 netmask %s\n", work->net1Addr);
    printf(" slot 1 gateway %s\n", work->gw1Addr);
    printf(" slot 2 addr    %s\n", work->ip2Addr);
    printf(" slot 2 netmask %s\n", work->net2Addr);
    printf(" slot 2 gateway %s\n", work->gw2Addr);
    printf("Writing IP address ...");

    if (retry_ip_write(&ipWrite, &context) < 0)
        return give_up(&ipWrite, nullptr);
    puts("Done!\r");
    return 0;
}

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

// Opens the memory device, maps the window, checks the timer and brings the
// bus up. Returns the window, or null having said why (and closed the device).
static unsigned char *bring_up_hardware(void)
{
    memDriver = platform_mem_open(kMemDevice, O_RDWR | O_SYNC);
    if (memDriver < 0) {
        printf("Memory Map Driver Open failed - errno[%d]\n", errno);
        return nullptr;
    }
    void *window = platform_mem_map(nullptr, kImmrSize, PROT_READ | PROT_WRITE, MAP_SHARED, memDriver, kImmrPhysical);
    if (window == MAP_FAILED) {
        printf("Call to mmap failed - errno[%d]\n", errno);
        close_mem_driver();
        return nullptr;
    }
    printf("IMMR mapped to %p\n", window);
    unsigned char *base = static_cast<unsigned char *>(window);

    if (set_timer_access(base) < 0) {
        puts("Error setting access to free running microsecond timer");
        close_mem_driver();
        return nullptr;
    }
    puts("Timer access set.");

    if (initialize_wexlo_onewire(base) < 0) {
        puts("Error initializing one wire access");
        close_mem_driver();
        return nullptr;
    }
    puts("Onewire access initialized.");
    return base;
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
            return give_up(&stringTooLong, nullptr);
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
