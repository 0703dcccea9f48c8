// The IPv4 write of the run: the stored record read back for the values not
// given, the six values listed, then the write in its own retry loop.
#include "frontend/ipv4_work.h"

#include <stdio.h>
#include <string.h>

#include "board/wexloow.h"
#include "frontend/run_action.h"

// The stored IPv4 record read back as text, for the values not given.
static unsigned char Ip1[20];
static unsigned char Net1[20];
static unsigned char Gw1[20];
static unsigned char Ip2[20];
static unsigned char Net2[20];
static unsigned char Gw2[20];

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

// The two actions of the IPv4 write, in the order they run.
static const ACTION ipReadStored = {op_ip_read_stored, "Retrying read...", 1,
                                    "Since not all the IP options were specified,\n"
                                    "we tried to read the missing ones from EEPROM\n"
                                    "but we failed. This is possibly due to the fact\n"
                                    "that the EEPROM was never written.\n"
                                    "Try again, or try specifying all the IP options (d, f, g, i, j, k)\n",
                                    nullptr};
static const ACTION ipWrite = {op_ip_write, kRetrying, 1, "\r\nUnable to write the IP address.",
                               "Unable to write the IP address page"};

static int all_ipv4_given(const IDSTAMP_WORK *work)
{
    return work->ip1Given == 1 && work->net1Given == 1 && work->gw1Given == 1 && work->ip2Given == 1 &&
           work->net2Given == 1 && work->gw2Given == 1;
}

int any_ipv4_given(const IDSTAMP_WORK *work)
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

int doIpv4Work(IDSTAMP_WORK *work)
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
        return give_up_action(&ipWrite, nullptr);
    puts("Done!\r");
    return 0;
}
