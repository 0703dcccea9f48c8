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
#include "frontend/idstamp.h"
#include "platform/platform.h"
#include "signal/timer.h"

static const char kMemDevice[] = "/dev/mem";
static const off_t kImmrPhysical = static_cast<off_t>(0xE0000000u);
static const size_t kImmrSize = 0x200000;
static const int kMaxRetries = 20; // 21 attempts in all

int memDriver = -1;

// The stored IPv4 record read back as text, for the values not given.
static unsigned char Ip1[20];
static unsigned char Net1[20];
static unsigned char Gw1[20];
static unsigned char Ip2[20];
static unsigned char Net2[20];
static unsigned char Gw2[20];

// What the operations inside the retry loops work on.
static IDSTAMP_WORK *currentWork;
static unsigned char macText[20];
static unsigned char readText[32];
static unsigned int stringLength;

static void close_mem_driver(void)
{
    platform_mem_close(memDriver);
}

static unsigned char *as_bytes(char *text)
{
    return reinterpret_cast<unsigned char *>(text);
}

// Every action but -c: an attempt, then on failure a sleep of sleepTime plus
// the attempts so far, and at most 21 attempts; the last sleep comes before
// the give-up.
static int retry_with_sleeps(int (*operation)(void), const char *retryText)
{
    int counter = 0;
    for (;;) {
        if (operation() >= 0)
            return 0;
        platform_sleep(sleepTime + static_cast<unsigned int>(counter));
        counter++;
        if (counter > kMaxRetries)
            return -1;
        fputs(retryText, stdout);
    }
}

static int op_mac_write(void)
{
    return mac_addr_write(as_bytes(currentWork->macAddr), 0);
}

static int op_rom_report(void)
{
    return read_owrom();
}

static int op_mac_read(void)
{
    return mac_addr_read(macText, 1);
}

static int op_ip_print(void)
{
    return ipv4_addr_read(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 1);
}

static int op_ip_read_stored(void)
{
    return ipv4_addr_read(Ip1, Net1, Gw1, Ip2, Net2, Gw2, 1);
}

static int op_string_read(void)
{
    return generic_string_read(readText, 1);
}

static int op_string_write(void)
{
    return generic_string_write(as_bytes(currentWork->stringText), stringLength, 0);
}

static int op_ip_write(void)
{
    IDSTAMP_WORK *work = currentWork;
    return ipv4_addr_write(as_bytes(work->ip1Addr), as_bytes(work->net1Addr), as_bytes(work->gw1Addr),
                           as_bytes(work->ip2Addr), as_bytes(work->net2Addr), as_bytes(work->gw2Addr), 0);
}

// The IPv4 write counts the failure before it sleeps, so its sleeps are
// sleepTime + 1 to 20, and it gives up without a last sleep.
static int retry_ip_write(void)
{
    int counter = 0;
    for (;;) {
        if (op_ip_write() >= 0)
            return 0;
        counter++;
        if (counter > kMaxRetries)
            return -1;
        platform_sleep(sleepTime + static_cast<unsigned int>(counter));
        fputs("\r\nRetrying...", stdout);
    }
}

static int allIpv4Given(const IDSTAMP_WORK *work)
{
    return work->ip1Given == 1 && work->net1Given == 1 && work->gw1Given == 1 && work->ip2Given == 1 &&
           work->net2Given == 1 && work->gw2Given == 1;
}

// Writes the IPv4 record; values not given are carried over from the stored
// record. Closes memDriver itself when it gives up.
static int doIpv4Work(IDSTAMP_WORK *work)
{
    puts("\r");
    if (!allIpv4Given(work)) {
        memset(Ip1, 0, sizeof Ip1);
        memset(Net1, 0, sizeof Net1);
        memset(Gw1, 0, sizeof Gw1);
        memset(Ip2, 0, sizeof Ip2);
        memset(Net2, 0, sizeof Net2);
        memset(Gw2, 0, sizeof Gw2);
        printf("Read IP address Page ...");
        if (retry_with_sleeps(op_ip_read_stored, "Retrying read...") < 0) {
            puts("Since not all the IP options were specified,");
            puts("we tried to read the missing ones from EEPROM");
            puts("but we failed. This is possibly due to the fact");
            puts("that the EEPROM was never written.");
            puts("Try again, or try specifying all the IP options (d, f, g, i, j, k)");
            close_mem_driver();
            return -1;
        }
        if (work->ip1Given != 1)
            work->ip1Addr = reinterpret_cast<char *>(Ip1);
        if (work->net1Given != 1)
            work->net1Addr = reinterpret_cast<char *>(Net1);
        if (work->gw1Given != 1)
            work->gw1Addr = reinterpret_cast<char *>(Gw1);
        if (work->ip2Given != 1)
            work->ip2Addr = reinterpret_cast<char *>(Ip2);
        if (work->net2Given != 1)
            work->net2Addr = reinterpret_cast<char *>(Net2);
        if (work->gw2Given != 1)
            work->gw2Addr = reinterpret_cast<char *>(Gw2);
    }

    puts("IP addresses to write:");
    printf(" slot 1 addr    %s\n", work->ip1Addr);
    printf(" slot 1 netmask %s\n", work->net1Addr);
    printf(" slot 1 gateway %s\n", work->gw1Addr);
    printf(" slot 2 addr    %s\n", work->ip2Addr);
    printf(" slot 2 netmask %s\n", work->net2Addr);
    printf(" slot 2 gateway %s\n", work->gw2Addr);
    printf("Writing IP address ...");

    if (retry_ip_write() < 0) {
        close_mem_driver();
        printf("\r\nUnable to write the IP address.");
        platform_syslog(LOG_ERR, "Unable to write the IP address page");
        return -1;
    }
    puts("Done!\r");
    return 0;
}

static int anyIpv4Given(const IDSTAMP_WORK *work)
{
    return work->ip1Given || work->net1Given || work->gw1Given || work->ip2Given || work->net2Given ||
           work->gw2Given;
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
    currentWork = work;
    if (bring_up_hardware() == nullptr)
        return -1;
    platform_openlog("##### IDSTAMP", LOG_CONS | LOG_NDELAY, LOG_USER);

    if (work->macGiven) {
        printf("\r\nWriting MAC address %s...", work->macAddr);
        platform_syslog(LOG_NOTICE, "Writing MAC address %s", work->macAddr);
        if (retry_with_sleeps(op_mac_write, "\r\nRetrying...") < 0) {
            close_mem_driver();
            puts("\r\nUnable to write the MAC address.\r");
            platform_syslog(LOG_ERR, "Unable to write the MAC address %s", work->macAddr);
            return -1;
        }
        puts("Done!\r");
    }

    if (anyIpv4Given(work) && doIpv4Work(work) < 0)
        return -1; // the step has closed memDriver

    if (work->macPageGiven) {
        puts("\r\nReading 1-wire 64 bits ROM ...");
        if (retry_with_sleeps(op_rom_report, "\r\nRetrying...") < 0) {
            // Not fatal: the MAC page may still be readable.
            puts("\r\nUnable to read 1-wire 64 bits ROM");
            platform_syslog(LOG_ERR, "Unable to read 1-wire 64 bits ROM");
        }
        puts("\r\nRead MAC address Page ...");
        if (retry_with_sleeps(op_mac_read, "\r\nRetrying...") < 0) {
            close_mem_driver();
            puts("\r\nUnable to read the MAC address.\r");
            platform_syslog(LOG_ERR, "Unable to read the MAC address");
            return -1;
        }
        platform_syslog(LOG_NOTICE, "Read MAC address %s", reinterpret_cast<char *>(macText));
    }

    if (work->ipPageGiven) {
        printf("\r\nRead IP address Page ...");
        if (retry_with_sleeps(op_ip_print, "\r\nRetrying...") < 0) {
            close_mem_driver();
            puts("\r\nUnable to read the IP address page.");
            platform_syslog(LOG_ERR, "Unable to read the IP address page");
            return -1;
        }
    }

    if (work->stringReadGiven) {
        printf("\r\nRead string from page 3 ...");
        if (retry_with_sleeps(op_string_read, "\r\nRetrying...") < 0) {
            close_mem_driver();
            puts("\r\nUnable to read the 1-Wire EEPROM page.\r");
            platform_syslog(LOG_ERR, "Unable to read the 1-Wire EEPROM page");
            return -1;
        }
        printf("\r\nRead string: \"%s\"\r\n", reinterpret_cast<char *>(readText));
    }

    if (work->stringWriteGiven) {
        const size_t length = strlen(work->stringText);
        if (length > WEXLO_STRING_MAX) {
            puts("\r\nError: option w - string too long");
            close_mem_driver();
            return -1;
        }
        stringLength = static_cast<unsigned int>(length);
        printf("\r\nWriting Generic string \"%s\"...", work->stringText);
        if (retry_with_sleeps(op_string_write, "\r\nRetrying...") < 0) {
            close_mem_driver();
            puts("\r\nUnable to write the 1-Wire EEPROM page.\r");
            platform_syslog(LOG_ERR, "Unable to write the 1-Wire EEPROM page");
            return -1;
        }
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
    return idstamp_run(&work);
}
