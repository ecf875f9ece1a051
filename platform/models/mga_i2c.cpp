// The "mga" board's I2C buses; wiring, timing and strictness in mga_i2c.h.
#include "models/mga_i2c.h"

#include <cstdio>
#include <functional>

#include "machine.h"

namespace sim {

namespace {

// DAC pins of the ports wired to them: clock, data.
constexpr int kPinClock[] = {3, 5, -1, -1, -1, 2, -1, -1};
constexpr int kPinData[] = {1, 4, -1, -1, -1, 0, -1, -1};
// The second wiring reads port 0 on pins 2 and 0.
constexpr int kSecondClockPin = 2, kSecondDataPin = 0;
constexpr int kPins = 6;

struct ExpanderWiring {
    uint8_t address;
    int port, clockBit, dataBit;
};
constexpr ExpanderWiring kExpanders[] = {{0x74, 2, 0, 1}, {0x44, 3, 0, 1}, {0x40, 4, 1, 0}};

std::string hex(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%X", v);
    return buf;
}

class DdcMemory : public I2cSlave {
  public:
    explicit DdcMemory(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
    uint8_t address() const override { return 0xA0; }
    void addressed(bool read) override { offsetNext_ = !read; }
    bool write(uint8_t byte) override {
        if (offsetNext_)
            pointer_ = byte;
        offsetNext_ = false;
        return true;
    }
    uint8_t read() override {
        const uint8_t v = bytes_[pointer_ % bytes_.size()];
        pointer_ = uint8_t((pointer_ + 1) % bytes_.size());
        return v;
    }
    uint8_t pointer() const { return pointer_; }

  private:
    std::vector<uint8_t> bytes_;
    uint8_t pointer_ = 0;
    bool offsetNext_ = false;
};

// A line expander: its latch pulls its output lines.
class Expander : public I2cSlave {
  public:
    Expander(uint8_t address, std::function<uint8_t(uint8_t)> pins)
        : address_(address), pins_(std::move(pins)) {}
    uint8_t address() const override { return address_; }
    bool write(uint8_t byte) override {
        latch = byte;
        if (watcher)
            watcher(byte);
        return true;
    }
    uint8_t read() override { return pins_(latch); }
    bool present() const override { return plugged; }
    uint8_t latch = 0xFF;
    bool plugged = true;
    std::function<void(uint8_t)> watcher;

  private:
    uint8_t address_;
    std::function<uint8_t(uint8_t)> pins_;
};

} // namespace

// One slave on one port, with its place in the protocol.
struct MgaI2cBus::Agent {
    enum class Phase : uint8_t { Idle, Address, AddressAck, Receive, ReceiveAck, Send, SendAck };
    Agent(int p, std::unique_ptr<I2cSlave> s) : port(p), slave(std::move(s)) {}
    int port;
    std::unique_ptr<I2cSlave> slave;
    Phase phase = Phase::Idle;
    int bits = 0;
    uint8_t shift = 0, sending = 0;
    bool reading = false, acked = false, pullsSda = false;
    int toReceive = 0;

    // A start or stop is itself a data change in a bit's high clock: it
    // may fall in the first bit of a byte, not in a later one.
    bool midByte() const {
        if (phase == Phase::Address || phase == Phase::Receive)
            return bits >= 2 && bits <= 7;                     // counted at the rising edge
        return phase == Phase::Send && bits >= 1 && bits <= 7; // counted at the falling edge
    }
    // The slave owns the data line for the bit now on the bus.
    bool sends() const {
        return phase == Phase::Send ||
               ((phase == Phase::AddressAck || phase == Phase::ReceiveAck) && pullsSda);
    }
    void start() {
        phase = Phase::Address;
        bits = 0;
        shift = 0;
        pullsSda = false;
    }
    void stop() {
        if (phase != Phase::Idle)
            slave->stopped();
        phase = Phase::Idle;
        pullsSda = false;
    }
    void rise(bool sda) {
        switch (phase) {
        case Phase::Address:
        case Phase::Receive:
            shift = uint8_t(shift << 1 | (sda ? 1 : 0));
            bits++;
            break;
        case Phase::SendAck:
            acked = !sda;
            break;
        default:
            break;
        }
    }
    void sendBit() { pullsSda = ((sending >> (7 - bits)) & 1) == 0; }
    void fall() {
        switch (phase) {
        case Phase::Address:
            if (bits < 8)
                return;
            if ((shift & 0xFE) != slave->address() || !slave->present()) {
                phase = Phase::Idle;
                return;
            }
            reading = (shift & 1) != 0;
            toReceive = reading ? slave->bytesAfterReadAddress() : 0;
            slave->addressed(reading);
            phase = Phase::AddressAck;
            pullsSda = true;
            return;
        case Phase::Receive:
            if (bits < 8)
                return;
            pullsSda = slave->write(shift);
            phase = Phase::ReceiveAck;
            return;
        case Phase::AddressAck:
        case Phase::ReceiveAck: {
            const bool ackedByUs = pullsSda;
            pullsSda = false;
            bits = 0;
            shift = 0;
            if (!ackedByUs) {
                phase = Phase::Idle;
            } else if (reading && toReceive == 0) {
                phase = Phase::Send;
                sending = slave->read();
                sendBit();
            } else {
                if (reading)
                    toReceive--;
                phase = Phase::Receive;
            }
            return;
        }
        case Phase::Send:
            bits++;
            if (bits < 8) {
                sendBit();
            } else {
                pullsSda = false;
                phase = Phase::SendAck;
            }
            return;
        case Phase::SendAck:
            bits = 0;
            if (acked) {
                phase = Phase::Send;
                sending = slave->read();
                sendBit();
            } else {
                phase = Phase::Idle;
            }
            return;
        case Phase::Idle:
            return;
        }
    }
};

MgaI2cBus::MgaI2cBus(Machine &m, bool secondWiring) : machine_(m), second_(secondWiring) {
    for (const ExpanderWiring &w : kExpanders) {
        const int port = w.port, clockBit = w.clockBit, dataBit = w.dataBit;
        auto pins = [this, port, clockBit, dataBit](uint8_t latch) {
            uint8_t v = latch;
            if (((latch >> clockBit) & 1) != 0 && !lines_[size_t(port)].scl)
                v = uint8_t(v & ~(1u << clockBit));
            if (((latch >> dataBit) & 1) != 0 && !lines_[size_t(port)].sda)
                v = uint8_t(v & ~(1u << dataBit));
            return v;
        };
        agents_.push_back(std::make_unique<Agent>(1, std::make_unique<Expander>(w.address, pins)));
    }
}

MgaI2cBus::~MgaI2cBus() = default;

void MgaI2cBus::addDdcMemory(int port, std::vector<uint8_t> bytes) {
    agents_.push_back(std::make_unique<Agent>(port, std::make_unique<DdcMemory>(std::move(bytes))));
}

void MgaI2cBus::addSlave(int port, std::unique_ptr<I2cSlave> slave) {
    agents_.push_back(std::make_unique<Agent>(port, std::move(slave)));
}

void MgaI2cBus::setExpanderPresent(uint8_t address, bool present) {
    for (auto &a : agents_)
        if (auto *e = dynamic_cast<Expander *>(a->slave.get()); e && e->address() == address)
            e->plugged = present;
}

void MgaI2cBus::watchExpander(uint8_t address, std::function<void(uint8_t)> watcher) {
    for (auto &a : agents_)
        if (auto *e = dynamic_cast<Expander *>(a->slave.get()); e && e->address() == address)
            e->watcher = std::move(watcher);
}

void MgaI2cBus::setFixture(Fixture f, int port) {
    fixture_ = f;
    fixturePort_ = port;
    settle();
}

std::vector<uint8_t> MgaI2cBus::ddcImage(int bytes) {
    std::vector<uint8_t> v(size_t(bytes), 0);
    for (size_t block = 0; block < v.size(); block += 128) {
        uint8_t sum = 0;
        for (size_t i = 0; i < 127; i++) {
            uint8_t b = uint8_t((i + block) * 37 + 11);
            if (block == 0 && i < 8)
                b = (i == 0 || i == 7) ? 0x00 : 0xFF;
            v[block + i] = b;
            sum = uint8_t(sum + b);
        }
        v[block + 127] = uint8_t(-sum);
    }
    return v;
}

bool MgaI2cBus::pinDrivesLow(int pin) const {
    return ((direction_ >> pin) & 1) != 0 && ((data_ >> pin) & 1) == 0;
}

bool MgaI2cBus::masterPullsScl(int port) const {
    if (const int pin = kPinClock[port]; pin >= 0) {
        if (second_ && port == 5)
            return false;
        return pinDrivesLow(pin) || (second_ && port == 0 && pinDrivesLow(kSecondClockPin));
    }
    for (const ExpanderWiring &w : kExpanders)
        if (w.port == port)
            return ((expanderLatch(w.address) >> w.clockBit) & 1) == 0;
    return false;
}

bool MgaI2cBus::masterPullsSda(int port) const {
    if (const int pin = kPinData[port]; pin >= 0) {
        if (second_ && port == 5)
            return false;
        return pinDrivesLow(pin) || (second_ && port == 0 && pinDrivesLow(kSecondDataPin));
    }
    for (const ExpanderWiring &w : kExpanders)
        if (w.port == port)
            return ((expanderLatch(w.address) >> w.dataBit) & 1) == 0;
    return false;
}

bool MgaI2cBus::level(int port, bool clock) const {
    if (fixture_ != Fixture::None && fixturePort_ == port &&
        (clock ? fixture_ == Fixture::ClockLow : fixture_ == Fixture::BusBusy))
        return false;
    if (clock)
        return !masterPullsScl(port);
    if (masterPullsSda(port))
        return false;
    for (const auto &a : agents_)
        if (a->port == port && a->pullsSda)
            return false;
    return true;
}

uint8_t MgaI2cBus::expanderLatch(uint8_t address) const {
    for (const auto &a : agents_)
        if (a->slave->address() == address)
            if (auto *e = dynamic_cast<const Expander *>(a->slave.get()))
                return e->latch;
    return 0;
}

uint8_t MgaI2cBus::ddcPointer() const {
    for (const auto &a : agents_)
        if (auto *d = dynamic_cast<const DdcMemory *>(a->slave.get()))
            return d->pointer();
    return 0;
}

void MgaI2cBus::setDacPins(uint8_t direction, uint8_t data) {
    direction_ = direction;
    data_ = data;
    settle();
}

uint8_t MgaI2cBus::readDacPins(uint8_t direction, uint8_t data) const {
    uint8_t v = 0;
    for (int pin = 0; pin < kPins; pin++) {
        const bool driven = ((direction >> pin) & 1) != 0;
        bool high = !driven || ((data >> pin) & 1) != 0;
        // Which port line the pin senses.
        int port = -1;
        bool clock = false;
        for (int p = 0; p < kPorts && port < 0; p++) {
            if (kPinClock[p] == pin) {
                port = p;
                clock = true;
            } else if (kPinData[p] == pin) {
                port = p;
            }
        }
        if (second_) {
            if (pin == 3 || pin == 1)
                port = -1; // output only
            else if (pin == kSecondClockPin || pin == kSecondDataPin)
                port = 0;
        }
        if (port >= 0)
            high = level(port, clock);
        if (high)
            v = uint8_t(v | 1u << pin);
    }
    return v;
}

void MgaI2cBus::settle() {
    if (settling_)
        return;
    settling_ = true;
    for (int round = 0; round < 64; round++) {
        bool changed = false;
        for (int p = 0; p < kPorts; p++) {
            const bool c = level(p, true), d = level(p, false);
            if (c != lines_[size_t(p)].scl || d != lines_[size_t(p)].sda) {
                changed = true;
                edge(p, c, d);
            }
        }
        if (!changed)
            break;
    }
    settling_ = false;
}

void MgaI2cBus::edge(int port, bool scl, bool sda) {
    Lines &l = lines_[size_t(port)];
    const bool clockChanged = scl != l.scl, dataChanged = sda != l.sda;
    const bool clockWasHigh = l.scl;
    l.scl = scl;
    l.sda = sda;
    bool slaves = false;
    for (const auto &a : agents_)
        slaves = slaves || a->port == port;
    if (clockChanged && dataChanged && slaves)
        machine_.fail("mga I2C port " + std::to_string(port) +
                      ": clock and data changed in one step");
    if (dataChanged && !clockChanged && clockWasHigh) {
        bool mid = false;
        for (const auto &a : agents_)
            if (a->port == port && a->midByte())
                mid = true;
        if (mid)
            machine_.fail("mga I2C port " + std::to_string(port) + ": data changed mid-bit (a " +
                          (sda ? "stop" : "start") + " inside a byte)");
        for (const auto &a : agents_)
            if (a->port == port) {
                if (sda)
                    a->stop();
                else
                    a->start();
            }
        (sda ? l.stops : l.starts)++;
        return;
    }
    if (!clockChanged)
        return;
    for (const auto &a : agents_) {
        if (a->port != port)
            continue;
        if (scl) {
            if (a->sends() && masterPullsSda(port))
                machine_.fail("mga I2C port " + std::to_string(port) + ": the master holds the " +
                              "data line low during a bit slave " + hex(a->slave->address()) +
                              " sends (a read of a line never released)");
            a->rise(sda);
        } else {
            a->fall();
        }
    }
}

} // namespace sim
