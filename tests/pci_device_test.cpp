// The operating system's PCI configuration device as the stand-in serves it:
// the request records byte for byte, the searches, configuration reads and
// writes against the functions a machine carries, the failures a real device
// gives, and every other file reaching the C library untouched.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <string>
#include <sys/ioctl.h>
#include <unistd.h>
#include <vector>

#include "machine.h"
#include "nfb.h"
#include "pcibus.h"
#include "pcicfg.h"

namespace {

using sim::PciBus;
using sim::PciFunction;

// A display controller whose command byte (0x04) and a scratch word (0x40)
// software may change; everything else is read-only.
std::unique_ptr<PciFunction> display(uint16_t vendor, uint16_t device, uint8_t cls = 3,
                                     uint8_t sub = 0) {
    auto f = std::make_unique<PciFunction>(vendor, device, cls, sub);
    f->setWritable(0x04, 1, 0x07);
    f->setWritable(0x40, 4, 0xFFFFFFFF);
    f->set(0x12, 2, 0x1200);
    return f;
}

struct Device {
    int fd = -1;
    explicit Device(int flags = O_RDWR) : fd(open(PCI_DEVICE_PATH, flags)) {}
    ~Device() {
        if (fd >= 0)
            close(fd);
    }
};

PciFindRequest findRequest(uint16_t a, uint16_t b, uint16_t index) {
    PciFindRequest r;
    std::memset(&r, 0, sizeof r);
    r.vendor = a;
    r.device = b;
    r.index = index;
    r.found = 0xFFFFFFFF;
    return r;
}

PciConfigRequest configRequest(const PciLocation &loc, int reg, int size, uint32_t data = 0) {
    PciConfigRequest r;
    std::memset(&r, 0, sizeof r);
    r.location = loc;
    r.reg = static_cast<uint16_t>(reg);
    r.size = static_cast<uint16_t>(size);
    r.data = data;
    return r;
}

class PciDevice : public ::testing::Test {
  protected:
    PciBus &bus() { return sim::currentPciBus(); }
    // Three functions: a network card, then two display controllers of the
    // same identity, the second one not of the VGA subclass.
    void populate() {
        for (auto *f : {&net, &first, &second})
            bus().add(**f);
    }
    std::unique_ptr<PciFunction> net = display(0x8086, 0x1229, 2, 0);
    std::unique_ptr<PciFunction> first = display(0x100E, 0x9100);
    std::unique_ptr<PciFunction> second = display(0x100E, 0x9100, 3, 0x80);
};

TEST(PciRecords, BytesAtTheirOffsets) {
    PciFindRequest f = findRequest(0x1234, 0x5678, 0x9ABC);
    f.found = 0x11223344;
    f.location.word = 0x55667788;
    f.location.half = 0x99AA;
    const uint8_t wantFind[16] = {0x34, 0x12, 0x78, 0x56, 0xBC, 0x9A, 0x44, 0x33,
                                  0x22, 0x11, 0x88, 0x77, 0x66, 0x55, 0xAA, 0x99};
    EXPECT_EQ(std::memcmp(&f, wantFind, sizeof wantFind), 0);

    PciConfigRequest c = configRequest(f.location, 0x0102, 0x0304, 0xDEADBEEF);
    c.status = 0x0A0B0C0D;
    const uint8_t wantConfig[18] = {0x88, 0x77, 0x66, 0x55, 0xAA, 0x99, 0x04, 0x03, 0x02,
                                    0x01, 0x0D, 0x0C, 0x0B, 0x0A, 0xEF, 0xBE, 0xAD, 0xDE};
    EXPECT_EQ(std::memcmp(&c, wantConfig, sizeof wantConfig), 0);
    EXPECT_EQ(PCI_FIND_DEVICE, 0x70636901u);
    EXPECT_EQ(PCI_WRITE_CONFIG, 0x70636905u);
}

TEST_F(PciDevice, FindsByIdentityAndByClassInBusOrder) {
    populate();
    Device dev;
    ASSERT_GE(dev.fd, 0) << std::strerror(errno);
    uint8_t reply[PCI_BUS_PRESENT_REPLY_BYTES];
    EXPECT_EQ(ioctl(dev.fd, PCI_BUS_PRESENT, reply), 0);

    struct Case {
        uint32_t code;
        uint16_t a, b, index;
        uint32_t found;
        uint16_t slot;
    };
    const Case cases[] = {
        {PCI_FIND_DEVICE, 0x100E, 0x9100, 0, 1, 1},
        {PCI_FIND_DEVICE, 0x100E, 0x9100, 1, 1, 2},
        {PCI_FIND_DEVICE, 0x100E, 0x9100, 2, 0, 0},
        {PCI_FIND_DEVICE, 0x100E, 0x9001, 0, 0, 0},
        {PCI_FIND_CLASS, 3, 0, 0, 1, 1},
        {PCI_FIND_CLASS, 3, 0, 1, 0, 0},
        {PCI_FIND_CLASS, 2, 0, 0, 1, 0},
        {PCI_FIND_CLASS, 3, 0x80, 0, 1, 2},
    };
    for (const Case &c : cases) {
        PciFindRequest r = findRequest(c.a, c.b, c.index);
        ASSERT_EQ(ioctl(dev.fd, c.code, &r), 0);
        EXPECT_EQ(r.found, c.found)
            << std::hex << c.code << " " << c.a << ":" << c.b << " #" << c.index;
        if (c.found) {
            PciConfigRequest id = configRequest(r.location, 0, 4);
            ASSERT_EQ(ioctl(dev.fd, PCI_READ_CONFIG, &id), 0);
            EXPECT_EQ(id.status, 1u);
            EXPECT_EQ(id.data, bus().functions()[c.slot]->get(0, 4));
        }
    }
}

TEST_F(PciDevice, ConfigurationAccessesKeepReadOnlyFields) {
    populate();
    Device dev;
    PciFindRequest f = findRequest(0x100E, 0x9100, 0);
    ASSERT_EQ(ioctl(dev.fd, PCI_FIND_DEVICE, &f), 0);
    ASSERT_EQ(f.found, 1u);

    struct Access {
        uint32_t code;
        int reg, size;
        uint32_t data, expect; // what a read returns afterwards, same register and size
    };
    const Access cases[] = {
        {PCI_WRITE_CONFIG, 0x00, 4, 0xFFFFFFFF, 0x9100100E}, // identity is read-only
        {PCI_WRITE_CONFIG, 0x04, 1, 0xFF, 0x07},             // only the writable bits
        {PCI_WRITE_CONFIG, 0x40, 4, 0x12345678, 0x12345678},
        {PCI_WRITE_CONFIG, 0x41, 2, 0xAABB, 0xAABB},         // a word inside the scratch word
        {PCI_WRITE_CONFIG, 0x40, 3, 0x00CCDDEE, 0x00CCDDEE}, // three bytes
        {PCI_READ_CONFIG, 0x12, 1, 0, 0x00},
        {PCI_READ_CONFIG, 0x13, 1, 0, 0x12},
        {PCI_READ_CONFIG, 0xFF, 4, 0, 0xFFFFFF00}, // past the end: floating bytes
    };
    for (const Access &a : cases) {
        PciConfigRequest w = configRequest(f.location, a.reg, a.size, a.data);
        ASSERT_EQ(ioctl(dev.fd, a.code, &w), 0);
        EXPECT_EQ(w.status, 1u);
        PciConfigRequest r = configRequest(f.location, a.reg, a.size, 0x5A5A5A5A);
        ASSERT_EQ(ioctl(dev.fd, PCI_READ_CONFIG, &r), 0);
        EXPECT_EQ(r.data, a.expect) << "register 0x" << std::hex << a.reg << " size " << a.size;
    }
    EXPECT_EQ(first->get(0x40, 4), 0x12CCDDEEu);
    EXPECT_EQ(second->get(0x40, 4), 0u) << "the other function is untouched";
}

TEST_F(PciDevice, MalformedRequestsFailAsADeviceDoes) {
    populate();
    Device dev;
    PciFindRequest f = findRequest(0x100E, 0x9100, 0);
    ASSERT_EQ(ioctl(dev.fd, PCI_FIND_DEVICE, &f), 0);
    PciLocation nowhere = f.location;
    nowhere.half = 31 << 3;

    struct Case {
        const char *what;
        uint32_t code;
        PciLocation loc;
        int reg, size, err;
    };
    const Case cases[] = {
        {"size 0", PCI_READ_CONFIG, f.location, 0x40, 0, EINVAL},
        {"size 5", PCI_WRITE_CONFIG, f.location, 0x40, 5, EINVAL},
        {"register 256", PCI_READ_CONFIG, f.location, 256, 1, EINVAL},
        {"no such function", PCI_READ_CONFIG, nowhere, 0, 4, ENODEV},
        {"request 3", PCI_REQUEST_BASE + 3, f.location, 0, 4, ENOTTY},
        {"another device's request", 0x5401, f.location, 0, 4, ENOTTY},
    };
    for (const Case &c : cases) {
        PciConfigRequest r = configRequest(c.loc, c.reg, c.size, 0xFFFFFFFF);
        errno = 0;
        EXPECT_EQ(ioctl(dev.fd, c.code, &r), -1) << c.what;
        EXPECT_EQ(errno, c.err) << c.what;
        EXPECT_EQ(r.status, 0u) << c.what;
    }
    errno = 0;
    EXPECT_EQ(ioctl(dev.fd, PCI_FIND_DEVICE, nullptr), -1);
    EXPECT_EQ(errno, EFAULT);
    EXPECT_EQ(first->get(0x40, 4), 0u) << "no failed write reached the function";
}

TEST_F(PciDevice, WritesNeedADescriptorOpenForWriting) {
    populate();
    Device dev(O_RDONLY);
    PciFindRequest f = findRequest(0x100E, 0x9100, 0);
    ASSERT_EQ(ioctl(dev.fd, PCI_FIND_DEVICE, &f), 0);
    PciConfigRequest w = configRequest(f.location, 0x40, 1, 0x77);
    EXPECT_EQ(ioctl(dev.fd, PCI_WRITE_CONFIG, &w), -1);
    EXPECT_EQ(errno, EBADF);
    EXPECT_EQ(first->byte(0x40), 0);
}

TEST_F(PciDevice, OpeningMeetsTheMachinesNode) {
    // No function on the bus: a machine without PCI has no such device.
    errno = 0;
    EXPECT_EQ(open(PCI_DEVICE_PATH, O_RDWR), -1);
    EXPECT_EQ(errno, ENOENT);
    populate();
    bus().setNode(PciBus::Node::Refusing);
    EXPECT_EQ(open(PCI_DEVICE_PATH, O_RDWR), -1);
    EXPECT_EQ(errno, EACCES);
    bus().setNode(PciBus::Node::Auto);
    bus().setOpenLimit(1);
    {
        Device one;
        EXPECT_GE(one.fd, 0);
        Device two;
        EXPECT_EQ(two.fd, -1);
        EXPECT_EQ(errno, EACCES);
    }
    EXPECT_EQ(bus().opens(), 1);
    // A device without a bus behind it opens, and says so when asked.
    bus().setOpenLimit(-1);
    bus().setBusPresent(false);
    Device dev;
    uint8_t reply[PCI_BUS_PRESENT_REPLY_BYTES];
    EXPECT_EQ(ioctl(dev.fd, PCI_BUS_PRESENT, reply), -1);
    EXPECT_EQ(errno, ENODEV);
}

TEST_F(PciDevice, InjectedFaultsFailOrLeaveTheWorkUndone) {
    populate();
    Device dev;
    PciFindRequest f = findRequest(0x100E, 0x9100, 0);
    ASSERT_EQ(ioctl(dev.fd, PCI_FIND_DEVICE, &f), 0);

    bus().failRequest(PCI_READ_CONFIG, EIO);
    PciConfigRequest r = configRequest(f.location, 0, 4, 0xABCD);
    EXPECT_EQ(ioctl(dev.fd, PCI_READ_CONFIG, &r), -1);
    EXPECT_EQ(errno, EIO);
    bus().failRequest(PCI_WRITE_CONFIG, PciBus::kNotDone);
    PciConfigRequest w = configRequest(f.location, 0x40, 1, 0x77);
    EXPECT_EQ(ioctl(dev.fd, PCI_WRITE_CONFIG, &w), 0);
    EXPECT_EQ(w.status, 0u);
    EXPECT_EQ(first->byte(0x40), 0);
    bus().failRequest(PCI_FIND_DEVICE, PciBus::kNotDone);
    PciFindRequest again = findRequest(0x100E, 0x9100, 0);
    EXPECT_EQ(ioctl(dev.fd, PCI_FIND_DEVICE, &again), 0);
    EXPECT_EQ(again.found, 0u);

    bus().failRequest(PCI_READ_CONFIG, 0);
    EXPECT_EQ(ioctl(dev.fd, PCI_READ_CONFIG, &r), 0);
    EXPECT_EQ(r.data, 0x9100100Eu);
    EXPECT_EQ(bus().requests(PCI_READ_CONFIG), 2);
    EXPECT_EQ(bus().requests(PCI_FIND_DEVICE), 2);
}

// A descriptor names the device, not one machine: requests reach the bus of
// the machine current when they are made, as a driver's one descriptor
// serves each screen on its own machine.
TEST_F(PciDevice, RequestsReachTheCurrentMachine) {
    populate();
    Device dev;
    auto other = sim::Machine::make();
    auto otherFn = display(0x100E, 0x9100);
    otherFn->set(0x13, 1, 0x34);
    other->pci().add(*otherFn);

    PciFindRequest f = findRequest(0x100E, 0x9100, 0);
    ASSERT_EQ(ioctl(dev.fd, PCI_FIND_DEVICE, &f), 0);
    PciConfigRequest r = configRequest(f.location, 0x13, 1);
    ASSERT_EQ(ioctl(dev.fd, PCI_READ_CONFIG, &r), 0);
    EXPECT_EQ(r.data, 0x12u);

    sim::Machine::makeCurrent(other.get());
    ASSERT_EQ(ioctl(dev.fd, PCI_FIND_DEVICE, &f), 0);
    r = configRequest(f.location, 0x13, 1);
    ASSERT_EQ(ioctl(dev.fd, PCI_READ_CONFIG, &r), 0);
    EXPECT_EQ(r.data, 0x34u);
    sim::Machine::makeCurrent(nullptr);
}

TEST_F(PciDevice, OtherFilesReachTheCLibrary) {
    populate();
    Device dev;
    char path[] = "/tmp/pci_device_test_XXXXXX";
    const int tmp = mkstemp(path);
    ASSERT_GE(tmp, 0);
    ASSERT_EQ(write(tmp, "abc", 3), 3);
    ASSERT_EQ(close(tmp), 0);

    const int fd = open(path, O_RDONLY);
    ASSERT_GE(fd, 0) << std::strerror(errno);
    EXPECT_NE(fd, dev.fd);
    int pending = -1;
    EXPECT_EQ(ioctl(fd, FIONREAD, &pending), 0);
    EXPECT_EQ(pending, 3);
    char buf[4] = {};
    EXPECT_EQ(read(fd, buf, sizeof buf), 3);
    EXPECT_STREQ(buf, "abc");
    EXPECT_EQ(close(fd), 0);
    EXPECT_EQ(close(fd), -1) << "a closed descriptor stays closed";
    EXPECT_EQ(errno, EBADF);

    const int created = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0600);
    EXPECT_GE(created, 0);
    EXPECT_EQ(close(created), 0);
    EXPECT_EQ(unlink(path), 0);
    EXPECT_EQ(sim::openPciDescriptors(), 1);
}

TEST_F(PciDevice, TheHarnessClosesDescriptorsLeftOpen) {
    populate();
    const int fd = open(PCI_DEVICE_PATH, O_RDWR);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(sim::openPciDescriptors(), 1);
    sim::closePciDescriptors();
    EXPECT_EQ(sim::openPciDescriptors(), 0);
    PciFindRequest f = findRequest(0x100E, 0x9100, 0);
    EXPECT_EQ(ioctl(fd, PCI_FIND_DEVICE, &f), -1) << "the number is no longer the device's";
}

} // namespace
