// The first half of the tool: version line, usage text and the parse of the
// command line into one request.
#include <sched.h>
#include <stdio.h>
#include <string.h>

#include "frontend/idstamp.h"
#include "board/simple_strtoul.h"
#include "platform/platform.h"

uint32_t sleepTime;

// One option letter: where it keeps its flag and argument, and its messages.
// An option takes an argument exactly when it has a missing-argument message;
// -c has no text field because its argument is converted into pageNumber.
typedef struct {
    char letter;
    uint8_t IDSTAMP_WORK::*given;
    char *IDSTAMP_WORK::*text;
    const char *twiceMessage;
    const char *missingMessage;
} IDSTAMP_OPTION;

static const IDSTAMP_OPTION idstampOptions[] = {
    {'m', &IDSTAMP_WORK::macGiven, &IDSTAMP_WORK::macAddr, "Error: option -m entered twice",
     "Error: missing or wrong MAC addr for option -m"},
    {'d', &IDSTAMP_WORK::ip1Given, &IDSTAMP_WORK::ip1Addr, "Error: option -d entered twice",
     "Error: missing or wrong IP addr for option -d"},
    {'f', &IDSTAMP_WORK::net1Given, &IDSTAMP_WORK::net1Addr, "Error: option -f entered twice",
     "Error: missing or wrong IP addr for option -f"},
    {'g', &IDSTAMP_WORK::gw1Given, &IDSTAMP_WORK::gw1Addr, "Error: option -g entered twice",
     "Error: missing or wrong IP addr for option -g"},
    {'i', &IDSTAMP_WORK::ip2Given, &IDSTAMP_WORK::ip2Addr, "Error: option -i entered twice",
     "Error: missing or wrong IP addr for option -i"},
    {'j', &IDSTAMP_WORK::net2Given, &IDSTAMP_WORK::net2Addr, "Error: option -j entered twice",
     "Error: missing or wrong IP addr for option -j"},
    {'k', &IDSTAMP_WORK::gw2Given, &IDSTAMP_WORK::gw2Addr, "Error: option -k entered twice",
     "Error: missing or wrong IP addr for option -k"},
    {'p', &IDSTAMP_WORK::macPageGiven, nullptr, "Error: option -p entered twice", nullptr},
    {'q', &IDSTAMP_WORK::ipPageGiven, nullptr, "Error: option -q entered twice", nullptr},
    {'r', &IDSTAMP_WORK::stringReadGiven, nullptr, "Error: option -r entered twice", nullptr},
    {'w', &IDSTAMP_WORK::stringWriteGiven, &IDSTAMP_WORK::stringText,
     "Error: option -w entered twice", "Error: missing or wrong string for option -w"},
    {'c', &IDSTAMP_WORK::pageDumpGiven, nullptr, "Error: option -c entered twice",
     "Error: missing or wrong page number -c"},
};

static const char *const usageLines[] = {
    "Usage: idstamp [slot number] [options] ",
    "      slot number is zero based, decimal",
    "      -m  <MAC addr> sets the mac address for slot 1 (1 based)",
    "      -d  <IPv4 Addr> sets the IPv4 address of slot 1",
    "      -f  <IPv4 Addr> sets the netmask of slot 1",
    "      -g  <IPv4 Addr> sets the gateway IPv4 address of slot 1",
    "      -i  <IPv4 Addr> sets the IPv4 address of slot 2",
    "      -j  <IPv4 Addr> sets the netmask of slot 2",
    "      -k  <IPv4 Addr> sets the gateway IPv4 address of slot 2",
    "      -p  dumps the MAC address page and 1-wire serial number",
    "      -q  dumps the IP address page",
    "      -r  reads the string stored in page 3",
    "      -w  <string> writes the string to page 3",
    "      -c  <page number> dumps the contents of the requested page (0 based)",
    "      <MAC addr> is of the form x:x:x:x:x:x where x is a 2 digit hex number",
    "      <IPv4 addr> is of the form x.x.x.x where x is a decimal number in the [0,255] range",
    "      <string> is a quotes delimited group of characters. For example \"Wexlo rocks\"",
};

void printVersion(void)
{
    // puts adds a second line end: an empty line follows the version.
    puts("idstamp version " IDSTAMP_VERSION "\n");
}

void printUsage(void)
{
    for (const char *line : usageLines) {
        puts(line);
    }
}

// The bit slots are timed by busy-waits, so the process asks for the highest
// round-robin priority. Without the privilege it still runs, less reliably.
static void raise_priority(void)
{
    struct sched_param param;

    memset(&param, 0, sizeof param);
    param.sched_priority = platform_sched_get_priority_max(SCHED_RR);
    if (platform_sched_setscheduler(0, SCHED_RR, &param) == -1) {
        perror("sched_setscheduler");
    }
}

static const IDSTAMP_OPTION *find_option(char letter)
{
    for (const IDSTAMP_OPTION &option : idstampOptions) {
        if (option.letter == letter) {
            return &option;
        }
    }
    return nullptr;
}

// The slot number only sets the back-off; anything but 0 or 1 means 2.
static uint32_t parse_slot_number(const char *text)
{
    if (strlen(text) > 2) {
        puts("Bad slot number - use default number");
        return 2;
    }
    uint32_t slot = simple_strtoul(text, nullptr, 10);
    if (slot > 1) {
        printf("Bad slot number (%lu) - using default number\n", static_cast<unsigned long>(slot));
        return 2;
    }
    return slot;
}

int idstamp_parse(int argc, char **argv, IDSTAMP_WORK *work)
{
    int i = 2;

    memset(work, 0, sizeof *work);
    printVersion();
    if (argc <= 2) {
        printUsage();
        return 0;
    }

    raise_priority();

    // argv[1] is the slot number whatever it holds, even a leading '-'.
    sleepTime = parse_slot_number(argv[1]) + 1;
    printf("Setting sleep time to %d microseconds.\n", static_cast<int>(sleepTime));

    while (i < argc) {
        const char *arg = argv[i];
        if (arg[0] != '-') {
            printf("Option %d error [%s]- missing '-'\n\n", i, arg);
            printUsage();
            return -1;
        }
        // Characters after the letter are ignored: -pxyz is -p.
        const IDSTAMP_OPTION *option = find_option(arg[1]);
        if (option == nullptr) {
            printf("Unknown otion [%s]\n\n", arg);
            printUsage();
            return -1;
        }
        uint8_t *given = &(work->*(option->given));
        if (*given == 1) {
            puts(option->twiceMessage);
            return -1;
        }
        *given = 1;
        if (option->missingMessage != nullptr) {
            i++;
            if (i >= argc || argv[i][0] == '-') {
                puts(option->missingMessage);
                return -1;
            }
            if (option->text != nullptr) {
                work->*(option->text) = argv[i];
            } else {
                work->pageNumber = simple_strtoul(argv[i], nullptr, 10);
            }
        }
        i++;
    }
    return 1;
}
