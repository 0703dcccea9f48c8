// Bring-up of the run: map the SoC's register window through the memory
// device, check the timer, bring the bus up.
#include "frontend/hardware_bringup.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/mman.h>

#include "board/wexloow.h"
#include "frontend/idstamp.h"
#include "platform/platform.h"
#include "signal/timer.h"

static const char kMemDevice[] = "/dev/mem";
static const off_t kImmrPhysical = static_cast<off_t>(0xE0000000u);
static const size_t kImmrSize = 0x200000;

int memDriver = -1;

void close_mem_driver(void)
{
    platform_mem_close(memDriver);
}

unsigned char *bring_up_hardware(void)
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
