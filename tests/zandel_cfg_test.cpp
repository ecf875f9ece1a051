// zandel's configuration-space access, compiled into this program: the
// VL-bus port protocol, native mode, and the PCI side's one search and one
// descriptor for the whole process. The board model's strictness on the
// VL-bus ports is checked here too.
#include "driver.h" // before the source below, so that it shares the server's types
#include "pcicfg.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <memory>
#include <string>
#include <vector>

#include "adapter.h"
#include "grafstore.h"
#include "harness.h"
#include "machine.h"
#include "models/zandel_board.h"
#include "pcibus.h"

namespace zc {
#include "../weitek-banked/zandel/zandel_cfg.cpp"
} // namespace zc

// The driver's private index, which the library's frame defines.
int zc::zandelScreenPrivateIndex = 0;

namespace {

using sim::Access;
using sim::Machine;
using sim::ZandelAdapter;

struct Board {
    graf::Config cfg;
    std::unique_ptr<sim::Adapter> adapter;
    ZandelAdapter &zandel() { return static_cast<ZandelAdapter &>(*adapter); }
};

std::unique_ptr<Board> makeBoard(Machine &m, const std::string &bus, int mode = 0x02) {
    auto b = std::make_unique<Board>();
    b->cfg = graf::Builder()
                 .adapter("zandel")
                 .string("BUS", bus)
                 .memory("", 0xE0000000, 0x1000000)
                 .build();
    b->adapter = sim::makeAdapter(b->cfg, m);
    b->zandel().config().set(ZandelAdapter::kModeReg, 1, static_cast<uint32_t>(mode));
    return b;
}

class ZandelCfg : public ::testing::Test {
  protected:
    void SetUp() override {
        // The driver's process-wide state, as a newly loaded library has it.
        zc::pciFound = -1;
        zc::PciHandle.fd = -1;
        failures.clear();
        Machine::current().setFailureHandler(
            [this](const std::string &f) { failures.push_back(f); });
    }
    // A screen's private with the table the search chooses.
    zc::zandelScreenPrivate choose(bool expectOpen = true) {
        zc::zandelScreenPrivate p{};
        p.deviceId = 0x9100;
        p.vendorId = 0x100E;
        EXPECT_EQ(zc::zandelChooseCfgSpace(&p), expectOpen ? 1 : 0);
        return p;
    }
    std::vector<std::string> failures;
};

TEST_F(ZandelCfg, VlBusBytesAreOneIndexWriteAndOneDataAccess) {
    auto b = makeBoard(Machine::current(), "vlb");
    b->zandel().config().set(0x42, 1, 0x5A);
    zc::zandelScreenPrivate p = choose();
    EXPECT_EQ(p.cfgRead, zc::zandelVLB_ReadCfgSpace);
    EXPECT_EQ(p.cfgHandle, reinterpret_cast<void *>(1));
    EXPECT_EQ(sim::currentPciBus().opens(), 0) << "no PCI device on a VL-bus machine";

    Machine &m = Machine::current();
    m.clearTrace();
    uint8_t byte = 0;
    EXPECT_EQ(p.cfgRead(p.cfgHandle, 0x42, &byte), 0);
    EXPECT_EQ(byte, 0x5A);
    EXPECT_EQ(p.cfgWrite(p.cfgHandle, 0x41, 0x1FD), 0);
    const std::vector<std::string> want = {"out8 0x9100 <- 0x42", "in8 0x9104 -> 0x5A",
                                           "out8 0x9100 <- 0x41", "out8 0x9104 <- 0xFD"};
    std::vector<std::string> got;
    for (const Access &a : m.trace())
        got.push_back(m.describe(a));
    EXPECT_EQ(got, want);
    EXPECT_EQ(b->zandel().modeWrites(), std::vector<uint8_t>{0xFD});
    EXPECT_TRUE(failures.empty()) << failures[0];
}

// Native mode by the value of `on`, over both buses: bit 1 of register 0x41
// cleared for 1 only, the other bits kept.
TEST_F(ZandelCfg, NativeModeClearsBit1OnlyForOne) {
    struct Case {
        const char *bus;
        int before, on, after;
    };
    const Case cases[] = {
        {"vlb", 0x82, 1, 0x80}, {"vlb", 0x80, 0, 0x82}, {"vlb", 0x80, 2, 0x82},
        {"pci", 0x0B, 1, 0x09}, {"pci", 0x01, 0, 0x03}, {"pci", 0x01, 2, 0x03},
    };
    for (const Case &c : cases) {
        harness::beginCase();
        SetUp();
        auto b = makeBoard(Machine::current(), c.bus, c.before);
        zc::zandelScreenPrivate p = choose();
        zc::zandelNativeModeOf(&p, c.on);
        EXPECT_EQ(b->zandel().modeWrites(), std::vector<uint8_t>{static_cast<uint8_t>(c.after)})
            << c.bus << " " << std::hex << c.before << " on " << c.on;
        EXPECT_EQ(b->zandel().nativeMode(), c.on == 1);
        EXPECT_TRUE(failures.empty());
    }
}

TEST_F(ZandelCfg, NativeModeWritesNothingWhenTheReadFails) {
    auto b = makeBoard(Machine::current(), "pci");
    zc::zandelScreenPrivate p = choose();
    for (int fault : {EIO, sim::PciBus::kNotDone}) {
        sim::currentPciBus().failRequest(PCI_READ_CONFIG, fault);
        zc::zandelNativeModeOf(&p, 1);
        zc::zandelNativeModeOf(&p, 0);
    }
    EXPECT_EQ(sim::currentPciBus().requests(PCI_WRITE_CONFIG), 0);
    EXPECT_TRUE(b->zandel().modeWrites().empty());
}

TEST_F(ZandelCfg, PciReadFailuresLeaveTheByteAlone) {
    auto b = makeBoard(Machine::current(), "pci");
    zc::zandelScreenPrivate p = choose();
    EXPECT_EQ(p.cfgRead, zc::zandelPCI_ReadCfgSpace);
    uint8_t byte = 0x77;
    for (int fault : {EIO, sim::PciBus::kNotDone}) {
        sim::currentPciBus().failRequest(PCI_READ_CONFIG, fault);
        EXPECT_EQ(p.cfgRead(p.cfgHandle, 0x00, &byte), -1);
        EXPECT_EQ(byte, 0x77);
        sim::currentPciBus().failRequest(PCI_WRITE_CONFIG, fault);
        EXPECT_EQ(p.cfgWrite(p.cfgHandle, 0x42, 1), -1);
    }
    sim::currentPciBus().failRequest(PCI_READ_CONFIG, 0);
    EXPECT_EQ(p.cfgRead(p.cfgHandle, 0x00, &byte), 0);
    EXPECT_EQ(byte, 0x0E);
    EXPECT_EQ(zc::zandelPCI_ReadCfgSpace(nullptr, 0x00, &byte), -1);
    EXPECT_EQ(zc::zandelPCI_WriteCfgSpace(nullptr, 0x42, 1), -1);
    EXPECT_TRUE(b->zandel().clockWrites().empty());
}

// The search runs once and the descriptor opened once serves every screen
// (each on its own machine) and every later server generation.
TEST_F(ZandelCfg, OneSearchAndOneDescriptorForTheProcess) {
    auto first = makeBoard(Machine::current(), "pci", 0x02);
    zc::zandelScreenPrivate p1 = choose();
    EXPECT_EQ(p1.cfgWrite, zc::zandelPCI_WriteCfgSpace);
    EXPECT_EQ(sim::currentPciBus().opens(), 2) << "the search's own, then the handle's";
    EXPECT_EQ(sim::currentPciBus().requests(PCI_FIND_DEVICE), 2);
    EXPECT_EQ(sim::openPciDescriptors(), 1);
    zc::zandelNativeModeOf(&p1, 1);

    // A second screen on a machine of its own.
    auto other = Machine::make();
    auto second = makeBoard(*other, "pci", 0x02);
    Machine::makeCurrent(other.get());
    zc::zandelScreenPrivate p2 = choose();
    EXPECT_EQ(p2.cfgHandle, p1.cfgHandle);
    zc::zandelNativeModeOf(&p2, 1);
    EXPECT_EQ(other->pci().opens(), 0);
    EXPECT_EQ(other->pci().requests(PCI_FIND_DEVICE), 0);
    EXPECT_EQ(second->zandel().modeWrites(), std::vector<uint8_t>{0x00});
    Machine::makeCurrent(nullptr);
    p1.cfgClose(p1.cfgHandle);
    p2.cfgClose(p2.cfgHandle);

    // Two later generations: a new server and machine, the board anew.
    for (int generation = 2; generation <= 3; generation++) {
        harness::restartServer();
        auto again = makeBoard(Machine::current(), "pci", 0x00);
        zc::zandelScreenPrivate p = choose();
        EXPECT_EQ(p.cfgHandle, p1.cfgHandle) << generation;
        zc::zandelNativeModeOf(&p, 0);
        EXPECT_EQ(again->zandel().modeWrites(), std::vector<uint8_t>{0x02}) << generation;
        EXPECT_EQ(sim::currentPciBus().opens(), 0) << generation;
        EXPECT_EQ(sim::currentPciBus().requests(PCI_FIND_DEVICE), 0) << generation;
    }
    EXPECT_EQ(sim::openPciDescriptors(), 1);
    EXPECT_EQ(first->zandel().modeWrites(), std::vector<uint8_t>{0x00});
}

TEST_F(ZandelCfg, WithoutTheDeviceTheVlBusServes) {
    struct Case {
        const char *what;
        sim::PciBus::Node node;
        int openLimit;
        bool vlb;   // the VL-bus functions are chosen
        bool opens; // and the handle is had
    };
    const Case cases[] = {
        {"device missing", sim::PciBus::Node::Missing, -1, true, true},
        {"device refusing", sim::PciBus::Node::Refusing, -1, true, true},
        {"search finds, open fails", sim::PciBus::Node::Present, 1, false, false},
    };
    for (const Case &c : cases) {
        harness::beginCase();
        SetUp();
        auto b = makeBoard(Machine::current(), "pci");
        sim::currentPciBus().setNode(c.node);
        sim::currentPciBus().setOpenLimit(c.openLimit);
        zc::zandelScreenPrivate p = choose(c.opens);
        EXPECT_EQ(p.cfgOpen == zc::zandelVLB_OpenCfgSpace, c.vlb) << c.what;
        EXPECT_EQ(sim::openPciDescriptors(), 0) << c.what;
        EXPECT_EQ(zc::PciHandle.fd, -1) << c.what;
    }
    // A search that finds nothing: the descriptor is closed again.
    harness::beginCase();
    SetUp();
    auto b = makeBoard(Machine::current(), "pci");
    EXPECT_EQ(zc::zandelPCI_OpenCfgSpace(0x9101, 0x100E, 0), nullptr);
    EXPECT_EQ(sim::openPciDescriptors(), 0);
    EXPECT_EQ(zc::zandelPCI_FindDevice(0x9101, 0x100E, 0), 0);
    EXPECT_EQ(zc::zandelPCI_FindDevice(0x9100, 0x100E, 0), 0) << "the answer is kept";
}

// The VL-bus ports take one byte at a time, a data access only directly
// after its index write.
TEST_F(ZandelCfg, BoardRefusesVlBusAccessesOutOfProtocol) {
    struct Case {
        const char *what;
        void (*run)();
    };
    const Case cases[] = {
        {"data read without an index", [] { ioIn8(0x9104); }},
        {"second data read",
         [] {
             ioOut8(0x9100, 0x41);
             ioIn8(0x9104);
             ioIn8(0x9104);
         }},
        {"another access in between",
         [] {
             ioOut8(0x9100, 0x41);
             ioIn8(0x9100);
             ioOut8(0x9104, 0x00);
         }},
        {"16-bit index write", [] { ioOut16(0x9100, 0x41); }},
        {"32-bit data read",
         [] {
             ioOut8(0x9100, 0x41);
             ioIn32(0x9104);
         }},
        {"byte beside the ports", [] { ioOut8(0x9101, 0x41); }},
    };
    for (const Case &c : cases) {
        harness::beginCase();
        SetUp();
        auto b = makeBoard(Machine::current(), "vlb");
        c.run();
        EXPECT_EQ(failures.size(), 1u) << c.what;
        EXPECT_TRUE(b->zandel().modeWrites().empty()) << c.what;
    }
    // On PCI the ports are an empty bus.
    harness::beginCase();
    SetUp();
    auto b = makeBoard(Machine::current(), "pci");
    ioOut8(0x9100, 0x00);
    EXPECT_EQ(ioIn8(0x9104), 0xFF);
    EXPECT_TRUE(failures.empty());
}

} // namespace
