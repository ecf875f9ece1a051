// The seam between the Matrox chip layer and its driver as the chip layer's
// tests meet it: an "mga" board, the driver's private for it and a zeroed
// board handle, as Init leaves them before the first chip-layer call.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "adapter.h"
#include "client.h"
#include "clock_perror.h"
#include "grafstore.h"
#include "machine.h"
#include "models/mga_board.h"
#include "quarn.h"

namespace quarnseam {

constexpr uint32_t kMB = 0x100000;
constexpr uint32_t kRegsBase = 0xD0000000u, kFbBase = 0xC0000000u;

inline graf::Builder mgaBoard(int device = 0x0521) {
    graf::Builder b;
    b.adapter("mga")
        .integer("PCI_DEVICE", device)
        .integer("MEMSIZE", int(2 * kMB))
        .memory("", kRegsBase, 0x4000)
        .memory("FBM", kFbBase, 16 * kMB)
        .memory("BIOS", 0xC0000, 0x10000);
    return b;
}

inline sim::Machine &machine() {
    return sim::Machine::current();
}

// A board, the driver's private for it and a zeroed handle, as Init leaves
// them before the first chip-layer call.
struct Seam {
    explicit Seam(graf::Builder b = mgaBoard()) : cfg(b.build()) {
        // A machine of its own, also for each row of a table.
        sim::closePciDescriptors();
        sim::Machine::reset();
        machine().setFailureHandler([this](const std::string &m) { failures.push_back(m); });
        auto made = sim::makeAdapter(cfg, machine());
        mga.reset(dynamic_cast<sim::MgaBoard *>(made.release()));
        priv.pciFd = -1;
        for (const graf::MemoryArea &a : cfg.areas) {
            auto *host = static_cast<uint8_t *>(a.mapped);
            if (a.name.empty())
                priv.regs = host;
            else if (a.name == "FBM")
                priv.fb = host;
            else if (a.name == "BIOS")
                priv.legacyBios = host;
        }
        handle = std::make_unique<BoardHandle>();
        std::memset(handle.get(), 0, sizeof(BoardHandle));
        handle->ulClientPrivate = &priv;
        priv.board = handle.get();
        sim::clearPerrorLines();
    }
    ~Seam() {
        if (priv.pciFd >= 0)
            close(priv.pciFd);
        machine().setFailureHandler(nullptr);
    }
    BoardHandle *h() { return handle.get(); }
    // Find the board and open both windows, as the chip layer's access
    // operation does.
    void open() {
        ASSERT_EQ(QUARN_PCI_Find_Board(QUARN_PCI_VENDOR, mga->deviceId(), &priv), 0);
        ClientOpenRegisterBase(h(), kRegsBase, 0x4000);
        ClientOpenMemoryBase(h(), kFbBase, 16 * kMB);
    }

    graf::Config cfg;
    std::vector<std::string> failures;
    std::unique_ptr<sim::MgaBoard> mga;
    quarnScreenPrivate priv{};
    std::unique_ptr<BoardHandle> handle;
};

// A seam whose windows are open and whose frame-buffer base is known, as
// the family's access operation leaves it.
struct Board : Seam {
    explicit Board(graf::Builder b = mgaBoard()) : Seam(std::move(b)) {
        open();
        h()->HSLData.ulFrameBuffer = kFbBase;
        h()->HSLData.ulBaseRegister = kRegsBase;
    }
    void rom(const sim::MgaRom &r) { mga->setRom(sim::buildMgaRom(r)); }
    // The status mark that says the memory was initialised already.
    void memoryInitialised() { ClientWriteRegisterDword(h(), 0x1E14, 0x80000000u); }
    uint32_t config(int reg) { return mga->configRead(reg, 4); }
    uint32_t vram32(uint32_t offset) {
        uint32_t v = 0;
        std::memcpy(&v, mga->vram()->data() + offset, 4);
        return v;
    }
    void pins(const std::vector<uint8_t> &bytes) {
        std::memcpy(h()->HSLData.aucPInS, bytes.data(), bytes.size());
    }
};

// The register and memory accesses the machine has seen since its trace was
// cleared, one line each.
inline std::vector<std::string> traceLines() {
    std::vector<std::string> out;
    for (const sim::Access &a : machine().trace())
        out.push_back(machine().describe(a));
    return out;
}

// w x h at `bpp` on the 640 x 480 60 Hz timing (25.175 MHz, HT 800,
// VT 525), the desktop the size of the display.
inline ModeInfo vgaMode(uint32_t w, int32_t h, int32_t bpp, int32_t type = 0x1200000) {
    ModeInfo m{};
    m.ulDispWidth = w;
    m.lDispHeight = h;
    m.lDeskWidth = int32_t(w);
    m.lDeskHeight = h;
    m.lBpp = bpp;
    m.lModeType = type;
    m.lZoom = 1;
    m.lRefreshRate = 60;
    m.lPixClock = 25175;
    m.lHFPorch = 16;
    m.lHSync = 96;
    m.lHBPorch = 48;
    m.lVFPorch = 10;
    m.lVSync = 2;
    m.lVBPorch = 33;
    return m;
}

} // namespace quarnseam
