/*
 * The board's configuration registers, by byte: through the PCI
 * configuration device for a board on PCI, through the index and data ports
 * for a board on the VL bus.
 */
#include "zandel.h"

/* Process-wide: the search runs once and the device, once open, stays open
 * for every screen and server generation. -1: not searched yet. */
static int pciFound = -1;
static ZandelPciHandle PciHandle = {-1, {0, 0}};

static int zandelPciFind(int fd, int device, int vendor, int index, PciLocation *where) {
    PciFindRequest req;
    __builtin_memset(&req, 0, sizeof req);
    req.vendor = (uint16_t)vendor;
    req.device = (uint16_t)device;
    req.index = (uint16_t)index;
    if (ioctl(fd, PCI_FIND_DEVICE, &req) < 0 || req.found == 0)
        return 0;
    if (where != nullptr)
        *where = req.location;
    return 1;
}

int zandelPCI_FindDevice(int device, int vendor, int index) {
    if (pciFound == 0 || pciFound == 1)
        return pciFound;
    const int fd = open(PCI_DEVICE_PATH, 2);
    if (fd < 0) {
        pciFound = 0;
        return pciFound;
    }
    pciFound = zandelPciFind(fd, device, vendor, index, nullptr);
    close(fd);
    return pciFound;
}

void *zandelPCI_OpenCfgSpace(int device, int vendor, int index) {
    if (PciHandle.fd >= 0)
        return &PciHandle;
    const int fd = open(PCI_DEVICE_PATH, 2);
    if (fd < 0)
        return nullptr;
    if (!zandelPciFind(fd, device, vendor, index, &PciHandle.location)) {
        close(fd);
        return nullptr;
    }
    PciHandle.fd = fd;
    return &PciHandle;
}

void zandelPCI_CloseCfgSpace(void *handle) {
    /* The descriptor stays open: later screens and generations reuse it. */
    (void)handle;
}

static int zandelPciConfig(void *handle, uint32_t code, int reg, uint32_t *data) {
    const ZandelPciHandle *h = (const ZandelPciHandle *)handle;
    if (h == nullptr)
        return -1;
    PciConfigRequest req;
    __builtin_memset(&req, 0, sizeof req);
    req.location = h->location;
    req.size = 1;
    req.reg = (uint16_t)reg;
    req.data = *data;
    if (ioctl(h->fd, code, &req) < 0 || req.status == 0)
        return -1;
    *data = req.data;
    return 0;
}

int zandelPCI_ReadCfgSpace(void *handle, int reg, uint8_t *out) {
    uint32_t data = 0;
    if (zandelPciConfig(handle, PCI_READ_CONFIG, reg, &data) < 0)
        return -1;
    *out = (uint8_t)data;
    return 0;
}

int zandelPCI_WriteCfgSpace(void *handle, int reg, int value) {
    uint32_t data = (uint32_t)value & 0xFF;
    return zandelPciConfig(handle, PCI_WRITE_CONFIG, reg, &data);
}

void *zandelVLB_OpenCfgSpace(int device, int vendor, int index) {
    (void)device;
    (void)vendor;
    (void)index;
    return (void *)1; /* the ports need no handle; any non-null token will do */
}

void zandelVLB_CloseCfgSpace(void *handle) {
    (void)handle;
}

int zandelVLB_ReadCfgSpace(void *handle, int reg, uint8_t *out) {
    (void)handle;
    ioOut8(ZANDEL_VLB_INDEX, (uint8_t)reg);
    *out = ioIn8(ZANDEL_VLB_DATA);
    return 0;
}

int zandelVLB_WriteCfgSpace(void *handle, int reg, int value) {
    (void)handle;
    ioOut8(ZANDEL_VLB_INDEX, (uint8_t)reg);
    ioOut8(ZANDEL_VLB_DATA, (uint8_t)(value & 0xFF));
    return 0;
}

Bool zandelChooseCfgSpace(zandelScreenPrivPtr priv) {
    if (zandelPCI_FindDevice(priv->deviceId, priv->vendorId, 0)) {
        priv->cfgOpen = zandelPCI_OpenCfgSpace;
        priv->cfgRead = zandelPCI_ReadCfgSpace;
        priv->cfgWrite = zandelPCI_WriteCfgSpace;
        priv->cfgClose = zandelPCI_CloseCfgSpace;
    } else {
        priv->cfgOpen = zandelVLB_OpenCfgSpace;
        priv->cfgRead = zandelVLB_ReadCfgSpace;
        priv->cfgWrite = zandelVLB_WriteCfgSpace;
        priv->cfgClose = zandelVLB_CloseCfgSpace;
    }
    priv->cfgHandle = priv->cfgOpen(priv->deviceId, priv->vendorId, 0);
    return priv->cfgHandle != nullptr;
}

void zandelNativeModeOf(zandelScreenPrivPtr priv, int on) {
    uint8_t mode;
    /* Nothing is known of the register when its read fails: writing a guess
     * back could change bits that are not ours. */
    if (priv->cfgRead(priv->cfgHandle, ZANDEL_CFG_MODE, &mode) < 0)
        return;
    if (on == 1)
        mode &= (uint8_t)~ZANDEL_MODE_NOT_NATIVE;
    else
        mode |= ZANDEL_MODE_NOT_NATIVE;
    priv->cfgWrite(priv->cfgHandle, ZANDEL_CFG_MODE, mode);
}

void zandelNativeMode(ScreenPtr pScreen, int on) {
    zandelNativeModeOf(ZANDEL_PRIVATE(pScreen), on);
}
