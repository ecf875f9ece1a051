// The serial buses of the "mga" board: eight I2C ports of open-drain clock
// and data lines. A line is low while anything pulls it low: the master's
// pin (a DAC general-purpose pin whose direction bit drives it low, or a
// line expander's output latch at 0), a slave, or a fixture. Slaves see the
// protocol on the lines' edges.
//
// Wiring (DAC pin numbers are bits of DAC registers 0x2A direction and 0x2B
// data):
//   port 0  clock pin 3, data pin 1 (the monitor's DDC)
//   port 1  clock pin 5, data pin 4 (the expanders' bus)
//   port 5  clock pin 2, data pin 0
//   ports 2, 3, 4  the outputs of the expanders at 0x74, 0x44 and 0x40 on
//           port 1: clock bit 0 and data bit 1 (port 4: clock bit 1, data
//           bit 0)
// On boards with the second wiring (eclipse from revision 3, every 0x0525
// board) port 0's lines also reach pins 2 (clock) and 0 (data), where they
// are read: pins 3 and 1 still pull them low but read back only what they
// drive (high when released). Port 5 is not a bus of its own there.
//
// Slaves: a DDC memory (128 or 256 bytes at 0xA0; a written byte after the
// address sets its offset pointer, further written bytes are taken and
// dropped; reads run on from the pointer and wrap) and the three line
// expanders (a written byte sets the output latch, 1 releasing a line; a
// read gives the pins: 0 where the latch pulls, else the line's level).
//
// Timing chosen (the protocol description leaves it open): slaves react at
// once. They sample data on a rising clock edge and change their data line
// on a falling one: an acknowledge is driven from the falling edge after the
// eighth bit to the falling edge after the ninth, a byte sent from the
// falling edge after the acknowledge. They never stretch the clock.
//
// Strictness, each reported as a failure:
//   - clock and data of a port with a slave on it changing in one step (the
//     order of the two edges would be unknown);
//   - a start or stop (a data change while the clock is high) after a slave
//     has taken one or more whole bits of a byte: data changed mid-bit (a
//     start or stop falls in the first bit's clock of a byte, which is how
//     a repeated start is made);
//   - the master pulling the data line low at the rising clock edge of a
//     bit a slave sends (its acknowledge or a read bit): a read of a line
//     never released.
//
// Fixtures: no device (no DDC memory), a clock held low or a data line held
// low (bus busy) on one port.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace sim {

class Machine;

class I2cSlave {
  public:
    virtual ~I2cSlave() = default;
    virtual uint8_t address() const = 0; // 8-bit write address
    virtual void addressed(bool read) { (void)read; }
    virtual bool write(uint8_t byte) = 0; // true: acknowledge
    virtual uint8_t read() = 0;
    virtual void stopped() {}
    // Bytes a slave takes after its read address before it sends (a
    // register number some devices expect there).
    virtual int bytesAfterReadAddress() const { return 0; }
    // False while the device is unplugged: it does not answer its address.
    virtual bool present() const { return true; }
};

class MgaI2cBus {
  public:
    static constexpr int kPorts = 8;
    enum class Fixture : uint8_t { None, ClockLow, BusBusy };

    MgaI2cBus(Machine &m, bool secondWiring);
    ~MgaI2cBus();

    // The DAC pins after a write of register 0x2A or 0x2B.
    void setDacPins(uint8_t direction, uint8_t data);
    // What register 0x2B reads for pins 0-5 (bits 6-7 are the caller's).
    uint8_t readDacPins(uint8_t direction, uint8_t data) const;

    void addDdcMemory(int port, std::vector<uint8_t> bytes);
    // Any other slave on a port (monitors, add-on devices).
    void addSlave(int port, std::unique_ptr<I2cSlave> slave);
    // Plugs or unplugs the module behind the expander at `address`.
    void setExpanderPresent(uint8_t address, bool present);
    // Called with each byte written to the expander's latch.
    void watchExpander(uint8_t address, std::function<void(uint8_t)> watcher);
    void setFixture(Fixture f, int port);

    bool scl(int port) const { return lines_[size_t(port)].scl; }
    bool sda(int port) const { return lines_[size_t(port)].sda; }
    // The output latch of the expander at the 8-bit address, 0 if none.
    uint8_t expanderLatch(uint8_t address) const;
    uint8_t ddcPointer() const;
    int starts(int port) const { return lines_[size_t(port)].starts; }
    int stops(int port) const { return lines_[size_t(port)].stops; }

    // The DDC contents a board carries: an EDID-like header and a pattern,
    // each 128-byte block summing to 0.
    static std::vector<uint8_t> ddcImage(int bytes);

  private:
    struct Agent;
    struct Lines {
        bool scl = true, sda = true;
        int starts = 0, stops = 0;
    };
    bool masterPullsScl(int port) const;
    bool masterPullsSda(int port) const;
    bool level(int port, bool clock) const;
    void settle();
    void edge(int port, bool scl, bool sda);
    bool pinDrivesLow(int pin) const;
    int expanderPort(uint8_t address) const;
    uint8_t expanderPins(uint8_t address, uint8_t latch) const;

    Machine &machine_;
    bool second_;
    uint8_t direction_ = 0, data_ = 0;
    std::array<Lines, kPorts> lines_{};
    std::vector<std::unique_ptr<Agent>> agents_;
    Fixture fixture_ = Fixture::None;
    int fixturePort_ = 0;
    bool settling_ = false;
};

} // namespace sim
