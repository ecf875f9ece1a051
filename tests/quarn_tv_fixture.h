// A board with a TV encoder on its second bus, for the encoder's table
// lookups and picture controls: the handle says which chip and encoder
// version it is, and a listening encoder records every register transfer.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "hal_addon.h"
#include "hal.h"
#include "hal_error.h"
#include "hal_i2c.h"
#include "hsl.h"
#include "hsl_ecl.h"
#include "hsl_mav_tables.h"
#include "models/mga_addons.h"
#include "quarn_seam.h"

namespace quarntv {

constexpr uint8_t kEncoderAddress = 0x36;

// One register transfer as the encoder saw it: the first register and the
// bytes written (none for a read).
struct Transfer {
    bool read;
    int reg;
    std::vector<uint8_t> bytes;
};

// The encoder model with a log of its transfers.
class ListeningEncoder : public sim::TvEncoder {
  public:
    ListeningEncoder(uint8_t address, uint8_t version) : TvEncoder(address, version) {}
    void addressed(bool read) override {
        TvEncoder::addressed(read);
        log.push_back({read, -1, {}});
    }
    bool write(uint8_t byte) override {
        if (!log.empty()) {
            Transfer &t = log.back();
            if (t.reg < 0)
                t.reg = byte;
            else
                t.bytes.push_back(byte);
        }
        return TvEncoder::write(byte);
    }
    // Register numbers of the write transfers, in order.
    std::vector<int> writtenRegs() const {
        std::vector<int> out;
        for (const Transfer &t : log)
            if (!t.read)
                out.push_back(t.reg);
        return out;
    }
    std::vector<Transfer> log;
};

template <class F> HSLJumpSlot slotOf(F fn) {
    return reinterpret_cast<HSLJumpSlot>(fn);
}

struct TvBoard : quarnseam::Board {
    // device and revision are what the handle reports (the board id follows
    // from them); the simulated machine is always an integrated-DAC board
    // whose DAC pins carry the second bus.
    explicit TvBoard(uint8_t version = 0x14, uint32_t device = 0x0525, uint32_t revision = 2,
                     bool encoder = true)
        : Board(quarnseam::mgaBoard(0x0521).integer("PCI_REVISION", 2)) {
        HSLJumpSlot *s = h()->HSLJumpTable.apfnSlot;
        s[HSL_SLOT_I2C_SET_SCL] = slotOf(HSLDACI2CSetSCL);
        s[HSL_SLOT_I2C_SET_SDA] = slotOf(HSLDACI2CSetSDA);
        s[HSL_SLOT_I2C_GET_SCL] = slotOf(HSLDACI2CGetSCL);
        s[HSL_SLOT_I2C_GET_SDA] = slotOf(HSLDACI2CGetSDA);
        s[HSL_SLOT_GET_MAX_I2C_CLOCK] = slotOf(HSLDACGetMaxI2CClock);
        h()->ulChipID = device << 16 | 0x102B;
        h()->ulChipRev = revision;
        h()->HSLData.ucMavenVersion = version;
        if (encoder) {
            auto e = std::make_unique<ListeningEncoder>(kEncoderAddress, version);
            enc = e.get();
            mga->i2c().addSlave(1, std::move(e));
            h()->HSLData.ucI2CAddMaven = kEncoderAddress;
            h()->flFeatures |= FEATURE_ENCODER;
        }
    }
    uint8_t &standard() { return h()->TVState.ucTVStandard; }
    // A register pair written at width 10 (high eight bits first).
    uint32_t level(int reg) const { return uint32_t(enc->regs[reg]) << 2 | enc->regs[reg + 1]; }
    std::string firstFailure() const { return failures.empty() ? "" : failures[0]; }
    ListeningEncoder *enc = nullptr;
};

// An eclipse board as the chip layer reads it (board data, add-ons), with
// an encoder of `version` on its second bus; the handle can then be made
// to report another chip so that the tables take their board-1 rows.
struct ReadBoard : quarnseam::Board {
    explicit ReadBoard(uint8_t version = 0x14)
        : Board(quarnseam::mgaBoard(0x0521).integer("MEMSIZE", int(4 * quarnseam::kMB))) {
        enc = sim::attachEncoder(mga->i2c(), kEncoderAddress, version);
        EXPECT_EQ(HALGetBoardInfo(h()), 0u);
        EXPECT_EQ(HSLECLGetAddOnInfo(h()), 0u);
        h()->ulErrorCode = 0;
    }
    void reportChip(uint32_t device, uint32_t revision) {
        h()->ulChipID = device << 16 | 0x102B;
        h()->ulChipRev = revision;
    }
    std::string firstFailure() const { return failures.empty() ? "" : failures[0]; }
    sim::TvEncoder *enc = nullptr;
};

// A TV mode of the given size and standard, with no picture adjustment.
inline ModeInfo tvMode(uint32_t width, int32_t height, int standard) {
    ModeInfo m{};
    m.ulDispWidth = width;
    m.lDispHeight = height;
    m.lDeskWidth = int32_t(width);
    m.lDeskHeight = height;
    m.lBpp = 8;
    m.lModeType = MODE_TYPE_TV;
    m.lZoom = 1;
    m.lSignalMode = standard << 4;
    for (int32_t &w : m.alTVAdjust)
        w = -1;
    return m;
}

} // namespace quarntv
