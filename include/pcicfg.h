/*
 * The operating system's PCI configuration device "/dev/X/pci": its request
 * codes and the packed records they carry. A driver opens the device
 * read-write with `open` and hands a record's address as the third argument
 * of `ioctl`; the device answers the request in the record.
 */
#ifndef DRV_PCICFG_H
#define DRV_PCICFG_H

#include <stdint.h>

#include "layout.h"

#ifdef __cplusplus
extern "C" {
#endif

#define PCI_DEVICE_PATH "/dev/X/pci"

/* "pci" followed by the request number. */
#define PCI_REQUEST_BASE 0x70636900u
#define PCI_BUS_PRESENT (PCI_REQUEST_BASE + 0) /* reply: 16 bytes */
#define PCI_FIND_DEVICE (PCI_REQUEST_BASE + 1) /* PciFindRequest by vendor and device */
#define PCI_FIND_CLASS (PCI_REQUEST_BASE + 2)  /* PciFindRequest by base class and subclass */
#define PCI_READ_CONFIG (PCI_REQUEST_BASE + 4) /* PciConfigRequest */
#define PCI_WRITE_CONFIG (PCI_REQUEST_BASE + 5)

#define PCI_BUS_PRESENT_REPLY_BYTES 16

/* Where a function sits, as a find request reports it; later configuration
 * requests name the function by these six bytes. */
typedef struct __attribute__((packed)) _PciLocation {
    uint32_t word;
    uint16_t half;
} PciLocation;

typedef struct __attribute__((packed)) _PciFindRequest {
    uint16_t vendor;      /* or the base class */
    uint16_t device;      /* or the subclass */
    uint16_t index;       /* 0: the first match, 1: the second, ... */
    uint32_t found;       /* out: non-zero when a function matched */
    PciLocation location; /* out */
} PciFindRequest;

typedef struct __attribute__((packed)) _PciConfigRequest {
    PciLocation location;
    uint16_t size;   /* bytes to transfer, 1 to 4 */
    uint16_t reg;    /* configuration-space offset, below 256 */
    uint32_t status; /* out: non-zero when the access was done */
    uint32_t data;   /* read (low bytes) or to write */
} PciConfigRequest;

DRV_UINT(PciLocation, word, 0, 4);
DRV_UINT(PciLocation, half, 4, 2);
DRV_SIZE(PciLocation, 6);

DRV_UINT(PciFindRequest, vendor, 0, 2);
DRV_UINT(PciFindRequest, device, 2, 2);
DRV_UINT(PciFindRequest, index, 4, 2);
DRV_UINT(PciFindRequest, found, 6, 4);
DRV_FIELD(PciFindRequest, location, 10, 6);
DRV_SIZE(PciFindRequest, 16);

DRV_FIELD(PciConfigRequest, location, 0, 6);
DRV_UINT(PciConfigRequest, size, 6, 2);
DRV_UINT(PciConfigRequest, reg, 8, 2);
DRV_UINT(PciConfigRequest, status, 10, 4);
DRV_UINT(PciConfigRequest, data, 14, 4);
DRV_SIZE(PciConfigRequest, 18);

#ifdef __cplusplus
}
#endif

#endif
