// The board's PCI configuration space through the operating system's
// configuration device. Failures print the request's name with perror and
// return -1; the callers do not report them further.
#include <fcntl.h>

#include "nfb.h"
#include "quarn.h"

namespace {

constexpr uint16_t kDisplayClass = 3, kVgaSubclass = 0;
constexpr uint32_t kConfigBytes = 256, kMaxTransfer = 4;
constexpr uint32_t kHeaderDwords = 16; // the first 64 bytes of a function

bool openDevice(quarnScreenPrivate *priv) {
    if (priv->pciFd != -1)
        return true;
    priv->pciFd = open(PCI_DEVICE_PATH, O_RDWR);
    if (priv->pciFd == -1) {
        perror(PCI_DEVICE_PATH);
        return false;
    }
    uint8_t reply[PCI_BUS_PRESENT_REPLY_BYTES];
    if (ioctl(priv->pciFd, PCI_BUS_PRESENT, reply) == -1) {
        perror("PCI_BUS_PRESENT");
        return false;
    }
    return true;
}

// Size 0 is not refused here: the device decides (it fails the request).
bool acceptable(uint32_t reg, uint32_t size) {
    return reg < kConfigBytes && size <= kMaxTransfer;
}

int configRequest(uint32_t code, const char *name, uint32_t reg, uint32_t size, uint32_t data,
                  uint32_t *result, const quarnScreenPrivate *priv) {
    PciConfigRequest rq;
    rq.location = priv->pciLocation;
    rq.size = static_cast<uint16_t>(size);
    rq.reg = static_cast<uint16_t>(reg);
    rq.status = 0;
    rq.data = data;
    if (ioctl(priv->pciFd, code, &rq) == -1) {
        perror(name);
        return -1;
    }
    if (result != nullptr)
        *result = rq.data;
    return 1;
}

} // namespace

extern "C" {

int QUARN_PCI_Find_Board(uint32_t vendor, uint32_t device, quarnScreenPrivate *priv) {
    if (!openDevice(priv))
        return -1;
    // One record for the whole walk, made afresh at every search.
    static PciFindRequest find;
    find.vendor = kDisplayClass;
    find.device = kVgaSubclass;
    find.index = 0;
    find.found = 0xFFFFFFFFu;
    for (;; find.index++) {
        if (ioctl(priv->pciFd, PCI_FIND_CLASS, &find) == -1) {
            perror("PCI_FIND_CLASS");
            return -1;
        }
        if (find.found == 0)
            return -1;
        uint32_t header[kHeaderDwords];
        for (uint32_t i = 0; i < kHeaderDwords; i++) {
            PciConfigRequest rq;
            rq.location = find.location;
            rq.size = 4;
            rq.reg = static_cast<uint16_t>(4 * i);
            rq.status = 0;
            rq.data = 0;
            if (ioctl(priv->pciFd, PCI_READ_CONFIG, &rq) == -1) {
                perror("PCI_READ_CONFIG");
                return -1;
            }
            header[i] = rq.data;
        }
        if ((header[0] & 0xFFFF) == vendor && (header[0] >> 16) == device) {
            priv->pciLocation = find.location;
            return 0;
        }
    }
}

int QUARN_PCI_Read_Config(uint32_t reg, uint32_t size, uint32_t *result, quarnScreenPrivate *priv) {
    if (!acceptable(reg, size))
        return -1;
    return configRequest(PCI_READ_CONFIG, "PCI_READ_CONFIG", reg, size, 0, result, priv);
}

int QUARN_PCI_Write_Config(uint32_t reg, uint32_t size, const uint32_t *value,
                           quarnScreenPrivate *priv) {
    if (!acceptable(reg, size))
        return -1;
    return configRequest(PCI_WRITE_CONFIG, "PCI_WRITE_CONFIG", reg, size, *value, nullptr, priv);
}

} // extern "C"
