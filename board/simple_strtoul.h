// The tool's one number parser: digits at the start of a text, no white
// space, no sign, no overflow check.
#ifndef IDSTAMP_SIMPLE_STRTOUL_H
#define IDSTAMP_SIMPLE_STRTOUL_H

unsigned int simple_strtoul(const char *text, char **end, unsigned int base);

#endif
