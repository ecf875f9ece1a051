/*
 * orvel: whether a Weitek second-generation accelerator answers on the VL
 * bus, and where its memory is. The steps are the same on the target and in
 * the host build, which runs them on a simulated machine.
 */
#ifndef ORVEL_H
#define ORVEL_H

#ifdef __cplusplus
extern "C" {
#endif

/* The target system's call for privileges; command 112 raises the I/O
 * privilege level to its argument. The i386 build leaves the name to the
 * target's C library (a weak reference: the link resolves every other name
 * and lets this one through); the host build defines it. */
#define ORVEL_SI86_IOPL 112
#if defined(__i386__)
int sysi86(int cmd, ...) __attribute__((weak));
#else
int sysi86(int cmd, ...);
#endif

unsigned vendor_id(void);
unsigned device_id(void);
unsigned mem_base(void);
/* The probe: 0 with the memory base printed, 1 without a board. */
int orvelProbe(void);

#ifdef __cplusplus
}
#endif

#endif
