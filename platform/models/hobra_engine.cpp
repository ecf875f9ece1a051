// The 8514/A front end of the engine core; its ports and choices are listed
// in hobra_engine.h.
#include "models/hobra_engine.h"

#include <cstdio>
#include <string>

namespace sim {

namespace {

constexpr uint16_t kAcrossPlane = 0x53F3;

std::string hex(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%04X", v);
    return buf;
}

std::vector<S3Command> hobraCommands() {
    std::vector<S3Command> t;
    t.push_back({0x80B3, S3Op::Fill});
    for (uint16_t w : {0xC0F3, 0xC0D3, 0xC073, 0xC053})
        t.push_back({w, S3Op::Blit, (w & 0x20) != 0, (w & 0x80) != 0});
    t.push_back({0x201B, S3Op::Point});
    for (uint16_t base : {0x2017, 0x2057})
        for (uint16_t dir : {0x00, 0x20, 0x80, 0xA0}) {
            uint16_t w = uint16_t(base | dir);
            t.push_back({w, S3Op::Line, (w & 0x20) != 0, (w & 0x80) != 0, (w & 0x40) != 0});
        }
    t.push_back({0x53F1, S3Op::HostPixels});
    t.push_back({0x53F3, S3Op::HostBits});
    t.push_back({0x53F0, S3Op::ReadBack});
    return t;
}

S3ChipParams makeHobraParams() {
    S3ChipParams p;
    p.name = "8514/A engine";
    p.fifoDepth = 8;
    p.coordBits = 12;
    p.readMaskPlaneShift = 1;
    p.readMaskRotates = true;
    // Height, the four scissors, memory control, 8, 9 and pixel control.
    p.multiIndices = 0x073F;
    p.transfersQueue = true;
    p.hostPixelStream = true;
    p.hostOpsQueue = true;
    p.hostBitOrder = {4, 3, 2, 1, 12, 11, 10, 9};
    p.commands = hobraCommands();
    // 0xE2E8 is the background colour here; the front end routes it to the
    // pixel transfer while a command is owed words.
    p.ports = {{0x42E8, S3Reg::SubsystemControl},
               {0x4AE8, S3Reg::AdvancedFunction},
               {0x9AE8, S3Reg::Command},
               {0xC2E8, S3Reg::CurY},
               {0xC6E8, S3Reg::CurX},
               {0xCAE8, S3Reg::DestY},
               {0xCEE8, S3Reg::DestX},
               {0xD2E8, S3Reg::ErrTerm},
               {0xD6E8, S3Reg::MajorAxis},
               {0xE2E8, S3Reg::BgColour},
               {0xE6E8, S3Reg::FgColour},
               {0xEAE8, S3Reg::WriteMask},
               {0xEEE8, S3Reg::ReadMask},
               {0xF6E8, S3Reg::BgMix},
               {0xFAE8, S3Reg::FgMix},
               {0xFEE8, S3Reg::Multi}};
    return p;
}

// The multifunction index an ATI scissor port stands for.
bool atiScissor(uint16_t port, uint16_t *index) {
    switch (port) {
    case hobraport::AtiScissorLeft:
        *index = s3multi::ScissorLeft;
        return true;
    case hobraport::AtiScissorTop:
        *index = s3multi::ScissorTop;
        return true;
    case hobraport::AtiScissorRight:
        *index = s3multi::ScissorRight;
        return true;
    case hobraport::AtiScissorBottom:
        *index = s3multi::ScissorBottom;
        return true;
    default:
        return false;
    }
}

} // namespace

const S3ChipParams &hobraChipParams() {
    static const S3ChipParams params = makeHobraParams();
    return params;
}

void HobraEnginePorts::attach(Machine &m) {
    for (const S3PortRole &p : core_.chip().ports)
        m.attachPorts(p.port, 2, this, 2);
    m.attachPorts(hobraport::Status2, 2, this, 2);
    if (atiScissors_)
        for (uint16_t port : {hobraport::AtiScissorLeft, hobraport::AtiScissorTop,
                              hobraport::AtiScissorRight, hobraport::AtiScissorBottom})
            m.attachPorts(port, 2, this, 2);
}

bool HobraEnginePorts::wordAccess(const char *what, uint16_t port, int width,
                                  uint32_t value) const {
    if (width == 2 && (port & 1) == 0)
        return true;
    std::string m =
        core_.chip().name + ": " + std::to_string(8 * width) + "-bit " + what + " at " + hex(port);
    if (std::string(what) == "write")
        m += " <- " + hex(value);
    Machine::current().fail(m + " (the engine's ports take 16-bit accesses)");
    return false;
}

uint32_t HobraEnginePorts::in(uint16_t port, int width) {
    const uint32_t none = width == 1 ? 0xFFu : 0xFFFFu;
    if (!wordAccess("read", port, width, 0))
        return none;
    if (port == hobraport::Status2)
        return core_.read(S3Reg::Command);
    if (port == hobraport::PixelData)
        return core_.readData(2);
    S3Reg reg = S3Reg::Count;
    uint16_t index;
    if (atiScissor(port, &index) || !core_.chip().roleAt(port, &reg)) {
        Machine::current().fail(core_.chip().name + ": read of " + hex(port) +
                                ", which is write-only");
        return none;
    }
    return core_.read(reg);
}

void HobraEnginePorts::out(uint16_t port, int width, uint32_t value) {
    if (!wordAccess("write", port, width, value))
        return;
    const uint16_t v = uint16_t(value);
    uint16_t index;
    if (atiScissor(port, &index)) {
        core_.write(S3Reg::Multi, uint16_t(index | (v & 0x0FFF)));
        return;
    }
    if (port == hobraport::PixelData && core_.transferOwed()) {
        core_.writeData(v, 2);
        return;
    }
    S3Reg reg = S3Reg::Count;
    if (port == hobraport::Status2 || !core_.chip().roleAt(port, &reg)) {
        Machine::current().fail(core_.chip().name + ": write of " + hex(v) + " at " + hex(port) +
                                ", which is read-only");
        return;
    }
    if (reg == S3Reg::Command && v == kAcrossPlane && (core_.regs().curX & 3) != 0)
        Machine::current().fail(core_.chip().name + ": across-plane transfer " + hex(v) + " at x " +
                                std::to_string(core_.regs().curX) +
                                ", which is not a multiple of 4");
    core_.write(reg, v);
}

} // namespace sim
