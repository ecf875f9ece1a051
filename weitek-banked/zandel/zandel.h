/*
 * Private header of the zandel driver: the Weitek second-generation
 * accelerator on PCI or on the VL bus, at 1, 2 or 4 bytes per pixel.
 *
 * The chip's configuration registers (native mode, the clock synthesiser's
 * serial lines) are bytes of its PCI configuration space. On PCI they are
 * reached through the system's configuration device; a VL-bus board answers
 * the same byte indices at an index and a data port. Which of the two serves
 * a screen is chosen once per screen and kept as a table of four functions
 * in its private.
 */
#ifndef ZANDEL_H
#define ZANDEL_H

#include "driver.h"
#include "pcicfg.h"

/* ---- Configuration space ---- */

#define ZANDEL_VENDOR_ID 0x100E
#define ZANDEL_DEVICE_ID 0x9100

/* VL-bus configuration ports, 8-bit accesses: the register's byte index to
 * the index port, then its byte at the data port. */
#define ZANDEL_VLB_INDEX 0x9100
#define ZANDEL_VLB_DATA 0x9104

#define ZANDEL_CFG_MODE 0x41  /* bit 1 clear: native mode */
#define ZANDEL_CFG_CLOCK 0x42 /* the clock synthesiser's serial lines */
#define ZANDEL_MODE_NOT_NATIVE 0x02

/* The PCI side's one handle for the whole process: the device's descriptor
 * (-1 while not open) and where the board sits. */
typedef struct _ZandelPciHandle {
    int fd;
    PciLocation location;
} ZandelPciHandle;

typedef void *(*ZandelCfgOpenProc)(int device, int vendor, int index);
typedef void (*ZandelCfgCloseProc)(void *handle);
typedef int (*ZandelCfgWriteProc)(void *handle, int reg, int value);
typedef int (*ZandelCfgReadProc)(void *handle, int reg, uint8_t *out);

/* ---- Screen private ---- */

typedef struct _ZandelOffScreen {
    int32_t x, y, width, height;
} ZandelOffScreen;

typedef struct _zandelScreenPrivate {
    uint8_t *frameBuffer; /* registers + memOffset */
    uint8_t *registers;   /* the default memory area: the chip's register window */
    int32_t pixBytes;
    uint32_t sysConfig;
    int32_t revision;
    int32_t hrzt, hrzsr, hrzbr, hrzbf, vrtt, vrtsr, vrtbr, vrtbf;
    int32_t width, height;
    uint32_t memConf;
    int32_t pixelSize;
    int32_t memoryMB;
    int32_t memOffset;
    BoxRec screenBox;
    BoxRec clipBox;
    int32_t ramWrite, palData;
    uint32_t srtCtl, srtCtl2;
    ZandelOffScreen offScreen;
    int32_t deviceId, vendorId;
    int32_t clockType;
    int32_t ramdacType;
    int32_t busWidth;
    int32_t backendReady;
    int32_t pixClock, pixClockConfig;
    int32_t memClock, memClockConfig;
    int32_t cyclesPerRowMiss, overrideDotClock, overrideRefClock, overrideMemClock;
    int32_t icdSerPixClk, icdCtrlPixClk, icdSer525Ref, icdCtrl525Ref;
    int32_t refClkCnt525, vidClkFreq525;
    int32_t memCfgClr, memCfgSet, srtCtrlClr, srtCtrlSet;
    int32_t timing[10]; /* HSP HBP HFP HCO HP VSP VBP VFP VCO VP */
    int32_t pll525;
    uint32_t fillRop[16];
    uint32_t copyRop[16];
    uint8_t dacSave[256];
    void *cfgHandle;
    ZandelCfgOpenProc cfgOpen;
    ZandelCfgCloseProc cfgClose;
    ZandelCfgWriteProc cfgWrite;
    ZandelCfgReadProc cfgRead;
} zandelScreenPrivate, *zandelScreenPrivPtr;

extern int zandelScreenPrivateIndex;
#define ZANDEL_PRIVATE(pScreen)                                                                    \
    ((zandelScreenPrivPtr)((pScreen)->devPrivates[zandelScreenPrivateIndex].ptr))

/* ---- Configuration space (zandel_cfg.cpp) ---- */

int zandelPCI_FindDevice(int device, int vendor, int index);
void *zandelPCI_OpenCfgSpace(int device, int vendor, int index);
void zandelPCI_CloseCfgSpace(void *handle);
int zandelPCI_ReadCfgSpace(void *handle, int reg, uint8_t *out);
int zandelPCI_WriteCfgSpace(void *handle, int reg, int value);
void *zandelVLB_OpenCfgSpace(int device, int vendor, int index);
void zandelVLB_CloseCfgSpace(void *handle);
int zandelVLB_ReadCfgSpace(void *handle, int reg, uint8_t *out);
int zandelVLB_WriteCfgSpace(void *handle, int reg, int value);
/* Fills the private's table for the board the search finds (PCI) or not
 * (VL bus) and opens it; 0 when the handle could not be had. */
Bool zandelChooseCfgSpace(zandelScreenPrivPtr priv);
void zandelNativeMode(ScreenPtr pScreen, int on);
void zandelNativeModeOf(zandelScreenPrivPtr priv, int on);

#endif
