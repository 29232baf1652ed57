// What the test command hands the tests about the test bed, through the environment: the
// ports of its nginx and squid (QUEN6_NGINX_PORT, QUEN6_SQUID_PORT), nginx's folder of served
// files (QUEN6_NGINX_ROOT), and the small drive with its size in bytes (QUEN6_SMALL_DRIVE,
// QUEN6_SMALL_DRIVE_BYTES; unset where the bed could not mount it).
#pragma once

#include "SysUtils.h"

// The value of that variable; empty when the test bed did not set it.
AnsiString TestBedValue(const char* name);
