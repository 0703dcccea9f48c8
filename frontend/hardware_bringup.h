// The run's hold on the machine: the memory device, the SoC's register window
// mapped from it, the timer check and the bus bring-up. Front-end internal.
#ifndef IDSTAMP_HARDWARE_BRINGUP_H
#define IDSTAMP_HARDWARE_BRINGUP_H

// Opens the memory device, maps the window, checks the timer and brings the
// bus up. Returns the window, or null having said why (and closed the device).
unsigned char *bring_up_hardware(void);

// Closes memDriver: once on every way out of a run that opened it.
void close_mem_driver(void);

#endif
