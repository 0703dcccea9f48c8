// The IPv4 record's write as the run does it. Front-end internal.
#ifndef IDSTAMP_IPV4_WORK_H
#define IDSTAMP_IPV4_WORK_H

#include "frontend/idstamp.h"

// Whether the command line gave any of the six IPv4 values.
int any_ipv4_given(const IDSTAMP_WORK *work);

// Writes the IPv4 record; values not given are carried over from the stored
// record. Closes memDriver itself when it gives up.
int doIpv4Work(IDSTAMP_WORK *work);

#endif
