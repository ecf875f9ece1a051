/*
 * What a driver source includes: the server interface, grafinfo access, the
 * register accessors and the layout checks.
 */
#ifndef DRV_DRIVER_H
#define DRV_DRIVER_H

#include "x11.h"
#include "grafinfo.h"
#include "nfb.h"
#include "hwio.h"
#include "layout.h"
#include "xalu.h"
#include "xcolor.h"

/* The one symbol a driver library exports. */
#define DRV_EXPORT __attribute__((visibility("default")))

#endif
