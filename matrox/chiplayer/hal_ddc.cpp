// What is connected to each output: DDC reads of EDID blocks, the monitor
// records the chip family's EDID routine fills, and the properties and
// limits derived from them.
#include "client.h"
#include "hal_error.h"
#include "hal_i2c.h"
#include "hal_monitor.h"
#include "hsl_regs.h"

namespace {

constexpr uint32_t kDdcSettle = 500;
constexpr uint8_t kEdidHeader[8] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
constexpr uint32_t kSecondHD15 = 0x60000, kFlatPanelModule = 0x6000;

I2CCommand ddcStep(uint32_t operation, uint32_t data, uint32_t control) {
    I2CCommand c{};
    c.ulOperation = operation;
    c.ucData = data;
    c.flControl = control;
    c.ulClockRate = DDC_CLOCK_RATE;
    return c;
}

MonitorInfo &monitorOf(BoardHandle *pBoard, uint32_t index) {
    return index == 0 ? pBoard->PrimaryMonitor : pBoard->SecondMonitor;
}

uint32_t lessMargin(uint32_t v) {
    return v - v * 15 / 1000;
}

// The monitor an output's EDID describes: connected, with its properties
// and limits.
void takeEdid(BoardHandle *pBoard, uint32_t index) {
    MonitorInfo &m = monitorOf(pBoard, index);
    if (!(m.flMonitor & MONITOR_EDID_VALID))
        return;
    m.flMonitor |= MONITOR_CONNECTED;
    HALPGetMonitorProperties(pBoard, index);
    HALPGetMonitorLimits(pBoard, index);
}

} // namespace

extern "C" {

uint32_t HALPReadDDCByte(BoardHandle *pBoard, uint32_t port, uint32_t address, uint32_t offset,
                         uint8_t *pBuffer, uint32_t count) {
    if (hsl::failed(pBoard) || count == 0)
        return pBoard->ulErrorCode;
    I2CCommand c = ddcStep(I2C_OP_WRITE, address, I2C_START | I2C_ACK | I2C_CHECK_CLOCK);
    HALPI2CExecute(pBoard, port, &c);
    if (c.ulStatus == I2C_STATUS_OK) {
        c = ddcStep(I2C_OP_WRITE, offset & 0xFF, I2C_ACK | I2C_CHECK_CLOCK);
        HALPI2CExecute(pBoard, port, &c);
        ClientWait(pBoard, kDdcSettle);
    }
    if (c.ulStatus == I2C_STATUS_OK) {
        c = ddcStep(I2C_OP_WRITE, address | 1u, I2C_START | I2C_ACK | I2C_CHECK_CLOCK);
        HALPI2CExecute(pBoard, port, &c);
    }
    if (c.ulStatus != I2C_STATUS_OK) {
        I2CCommand release = ddcStep(I2C_OP_NULL, 0, I2C_NAK | I2C_STOP);
        HALPI2CExecute(pBoard, port, &release);
        ClientWait(pBoard, kDdcSettle);
        return SetErr(pBoard, HALP_ERR_DDC_NO_ANSWER);
    }
    for (uint32_t i = 0; i < count; i++) {
        const bool last = i + 1 == count;
        c = ddcStep(I2C_OP_READ, 0, last ? I2C_NAK | I2C_STOP : I2C_ACK);
        HALPI2CExecute(pBoard, port, &c);
        pBuffer[i] = uint8_t(c.ucData);
    }
    return pBoard->ulErrorCode;
}

uint32_t HALPGetEDIDVersion(BoardHandle *pBoard, const uint8_t *pEdid, uint32_t *pVersion) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    bool header = true;
    for (int i = 0; i < 8; i++)
        header = header && pEdid[i] == kEdidHeader[i];
    *pVersion = header ? 0x10u | (pEdid[19] & 0x0Fu) : pEdid[0];
    return pBoard->ulErrorCode;
}

uint32_t HALPDetectHD15ToTVAdaptor(BoardHandle *pBoard, uint32_t *pFound) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    *pFound = 0;
    pBoard->HSLData.ulI2CChannel2Cache = 0x7F;
    const uint32_t port = pBoard->HSLData.ucI2CPortSecondHD15;
    uint8_t scl = 0, sda = 0;
    hsl::callSlot(pBoard, HSL_SLOT_I2C_GET_SCL, port, &scl);
    hsl::callSlot(pBoard, HSL_SLOT_I2C_GET_SDA, port, &sda);
    if (scl == 1 && sda == 1) {
        // The adaptor joins the two lines: pulling data low pulls the clock.
        hsl::callSlot(pBoard, HSL_SLOT_I2C_SET_SDA, port, 0u);
        hsl::callSlot(pBoard, HSL_SLOT_I2C_GET_SCL, port, &scl);
        if (scl == 0)
            *pFound = 1;
    }
    hsl::callSlot(pBoard, HSL_SLOT_I2C_SET_SDA, port, 1u);
    return pBoard->ulErrorCode;
}

uint32_t HALPGetMonitorProperties(BoardHandle *pBoard, uint32_t index) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    MonitorInfo &m = monitorOf(pBoard, index);
    const uint8_t *e = m.aucEDID;
    switch (m.ulEDIDVersion >> 4 & 0xF) {
    case 1:
        m.flMonitor = (m.flMonitor & ~uint32_t(MONITOR_DIGITAL | MONITOR_GTF)) |
                      ((e[20] & 0x80) ? MONITOR_DIGITAL : 0) | ((e[24] & 0x01) ? MONITOR_GTF : 0);
        if ((e[24] & 0x02) && (e[54] != 0 || e[55] != 0)) {
            m.ulPreferredWidth = e[56] + ((e[58] & 0xF0u) << 4);
            m.ulPreferredHeight = e[59] + ((e[61] & 0xF0u) << 4);
        }
        break;
    case 2: {
        m.flMonitor &= ~uint32_t(MONITOR_DIGITAL | MONITOR_GTF);
        if (e[79] & 0xF0)
            m.flMonitor |= MONITOR_DIGITAL;
        if (e[126] & 0x40) {
            if (const uint8_t *d = edid2::entry(e, edid2::kDetailed, 0)) {
                m.ulPreferredWidth = d[2] + ((d[4] & 0xF0u) << 4);
                m.ulPreferredHeight = d[5] + ((d[7] & 0xF0u) << 4);
            }
        }
        break;
    }
    default:
        return SetErr(pBoard, HALP_ERR_PROPERTIES_VERSION);
    }
    return pBoard->ulErrorCode;
}

uint32_t HALPGetMonitorLimits(BoardHandle *pBoard, uint32_t index) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    MonitorInfo &m = monitorOf(pBoard, index);
    const uint8_t *e = m.aucEDID;
    switch (m.ulEDIDVersion >> 4 & 0xF) {
    case 1:
        m.ulMinVertRate = m.ulMaxVertRate = m.ulMinHorzRate = m.ulMaxHorzRate = 0;
        m.ulMaxPixelClock = 0;
        for (int at = 54; at <= 108; at += 18) {
            const uint8_t *d = e + at;
            if (d[0] == 0 && d[1] == 0 && d[3] == 0xFD) {
                m.ulMinVertRate = d[5];
                m.ulMaxVertRate = lessMargin(d[6]);
                m.ulMinHorzRate = d[7];
                m.ulMaxHorzRate = lessMargin(d[8]);
                m.ulMaxPixelClock = lessMargin(d[9] * 10000u);
                break;
            }
        }
        m.ulMaxImageWidth = e[21] * 10u;
        m.ulMaxImageHeight = e[22] * 10u;
        break;
    case 2:
        m.ulMinVertRate = m.ulMaxVertRate = m.ulMinHorzRate = m.ulMaxHorzRate = 0;
        m.ulMaxPixelClock = 0;
        m.ulMaxImageWidth = e[114] * 256u + e[115];
        m.ulMaxImageHeight = e[116] * 256u + e[117];
        break;
    default:
        break;
    }
    return pBoard->ulErrorCode;
}

uint32_t HALPGetPrimaryMonitorInfo(BoardHandle *pBoard) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    MonitorInfo &m = pBoard->PrimaryMonitor;
    m.flMonitor = 0;
    hsl::callSlot(pBoard, HSL_SLOT_GET_MONITOR_EDID, 0u);
    if (m.flMonitor & MONITOR_EDID_VALID) {
        takeEdid(pBoard, 0);
    } else {
        uint8_t loaded = 0;
        hsl::callSlot(pBoard, HSL_SLOT_SENCE_MONITOR_LOAD, &loaded);
        if (loaded != 0)
            m.flMonitor |= MONITOR_CONNECTED;
    }
    return pBoard->ulErrorCode;
}

uint32_t HALPGetSecondMonitorInfo(BoardHandle *pBoard) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    MonitorInfo &m = pBoard->SecondMonitor;
    m.flMonitor = 0;
    if (pBoard->flFeatures & kFlatPanelModule) {
        hsl::callSlot(pBoard, HSL_SLOT_GET_MONITOR_EDID, 2u);
        takeEdid(pBoard, 1);
    }
    if (!(m.flMonitor & MONITOR_CONNECTED) && (pBoard->flFeatures & kSecondHD15)) {
        uint32_t found = 0;
        HALPDetectHD15ToTVAdaptor(pBoard, &found);
        if (found) {
            m.flMonitor |= MONITOR_HD15_TV_ADAPTOR;
        } else {
            hsl::callSlot(pBoard, HSL_SLOT_GET_MONITOR_EDID, 1u);
            if (m.flMonitor & MONITOR_EDID_VALID) {
                takeEdid(pBoard, 1);
            } else {
                uint8_t tv = 0;
                hsl::callSlot(pBoard, HSL_SLOT_DETECT_TV, &tv);
                if (pBoard->TVState.ucTVDetect != 0)
                    m.flMonitor |= MONITOR_CONNECTED;
            }
        }
    }
    if (!(m.flMonitor & MONITOR_CONNECTED)) {
        uint8_t tv = 0;
        hsl::callSlot(pBoard, HSL_SLOT_DETECT_TV, &tv);
        if (tv != 0)
            m.flMonitor |= MONITOR_CONNECTED | MONITOR_TV;
    }
    return pBoard->ulErrorCode;
}

uint32_t HALPGetMonitorInfo(BoardHandle *pBoard, uint32_t which) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    return which == 0 ? HALPGetPrimaryMonitorInfo(pBoard) : HALPGetSecondMonitorInfo(pBoard);
}

uint32_t HALGetMonitorInfo(BoardHandle *pBoard, uint32_t which) {
    pBoard->ulErrorCode = HAL_OK;
    return HALPGetMonitorInfo(pBoard, which);
}

uint32_t HALGetEdidContent(BoardHandle *pBoard, uint32_t block, uint8_t *pBuffer) {
    pBoard->ulErrorCode = HAL_OK;
    if (block > 1)
        return SetErr(pBoard, HAL_ERR_EDID_BLOCK);
    uint8_t bytes[128];
    HALPReadDDCByte(pBoard, 0, DDC_ADDRESS, block * 128, bytes, sizeof bytes);
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    uint8_t sum = 0;
    for (uint8_t b : bytes)
        sum = uint8_t(sum + b);
    if (sum != 0)
        return SetErr(pBoard, HAL_ERR_EDID_SUM);
    for (size_t i = 0; i < sizeof bytes; i++)
        pBuffer[i] = bytes[i];
    return pBoard->ulErrorCode;
}

} // extern "C"
