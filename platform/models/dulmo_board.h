// The dulmo board (model "dulmo"): a 1024- or 1280-class accelerated VGA
// board behind a controller-select latch. Several boards may share one
// machine: they sit on one bus behind one latch (DulmoBus), and every port
// but 0x83C4 and 0x84 reaches the board whose id was last written to 0x83C4.
//
// Configuration:
//   adapter dulmo
//   int BOARD_ID = 0         the board's controller id (0x83C4 reads it back
//                             while the board is selected); ids on one bus
//                             must differ
//   int CHIP = 0x30          graphics register 0x0C as read (the class in
//                             bits 3-7: 6 the 1024 class, 14 the 1280 class)
//   int CHIP_REV = 0         graphics register 0x0D as read
//   int VRAM = 0x200000      video memory fitted (64 KB to 2 MB)
//   int BANK_UNIT = 4096     the page unit of the banked window (16384 on
//                             1280-class set-ups)
//   memory BASE LENGTH       the default area: the whole frame buffer (flat,
//                             at most the memory fitted), or with FBTYPE
//                             "BANK" a 64 KB window of two 32 KB halves
//   flag USEDFB              the area is a plain linear aperture that the
//                             server's own frame-buffer code draws in
//
// The latch starts out selecting the first board put on the bus. Reading
// port 0x84 is a delay; each palette data access (0x3C9) should follow such
// a read since the last palette data access: one that does not is counted
// (unpacedPaletteAccesses()), not failed.
//
// Ports of the selected board: graphics controller 0x3CE/0x3CF (registers
// 0x09 and up answer only while GR 0x0F holds 5; 0x0C and 0x0D are read
// only); sequencer 0x3C4/0x3C5 (SR1 bit 0x20 blanks); palette 0x3C7 (read
// index), 0x3C8 (write index), 0x3C9 (data, red, green, blue in turn); the
// engine status 0x63CA (0x40 busy, 0x80 in progress; the other bits are kept
// as written) and control 0x33CE (0 resets the engine: it is idle at once);
// the cursor: 0x13C9 command (bits 0-1: 3 shown), 0x13C6 (bits 0-1 must be
// clear while a 64-pixel image is loaded), 0x13C7 image data at the address
// 0x83C8 sets (which also names the cursor colour 0x83C9 loads, red, green,
// blue in turn), 0x93C8/0x93C9 x and 0x93C6/0x93C7 y (low, high). The image
// is 32 x 32 (64 x 64 on the 1280 class) in two planes of size/8 bytes a
// row, most significant bit leftmost: plane 0 the source, plane 1 the mask.
// The position registers hold the screen position of the image's bottom-
// right corner plus one (x + size less the hot spot): image pixel (i, j)
// shows at (X - size + i, Y - size + j).
//
// Strict: a memory access to a board that is not selected; a port access
// while no board answers to the selected id; an engine register write or a
// memory access while the engine is busy; image data for a 64-pixel cursor
// while 0x13C6 bits 0-1 are set.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "adapter.h"

namespace sim {

class DulmoAdapter;

// The select latch and the bus the boards of one machine share.
class DulmoBus : public PortDevice {
  public:
    static constexpr uint16_t kSelectPort = 0x83C4;
    static constexpr uint16_t kDelayPort = 0x84;

    explicit DulmoBus(Machine &m);
    void add(DulmoAdapter *board);
    void remove(DulmoAdapter *board);
    uint8_t selected() const { return selected_; }
    DulmoAdapter *selectedBoard() const;
    // A palette data access: true when a 0x84 read came since the last one.
    bool takePacing() {
        bool paced = paced_;
        paced_ = false;
        return paced;
    }
    Machine &machine() { return machine_; }

    uint32_t in(uint16_t port, int width) override;
    void out(uint16_t port, int width, uint32_t value) override;

  private:
    Machine &machine_;
    std::vector<DulmoAdapter *> boards_;
    uint8_t selected_ = 0;
    bool paced_ = false;
    bool attached_ = false;
};

class DulmoAdapter : public Adapter {
  public:
    static constexpr uint32_t kWindowHalf = 0x8000;

    DulmoAdapter(const std::string &model, graf::Config &cfg, Machine &m);
    ~DulmoAdapter() override;

    std::string model() const override { return "dulmo"; }
    VideoMemory *vram() override { return &vram_; }
    void drain() override;
    std::string describe() const override;
    uint32_t displayPitch() const override { return pitch_; }

    uint8_t id() const { return id_; }
    bool selected() const { return bus_->selected() == id_; }
    uint8_t gr(int i) const { return gr_[static_cast<size_t>(i & 0xFF)]; }
    uint8_t sr(int i) const { return sr_[static_cast<size_t>(i & 0xFF)]; }
    bool blanked() const { return (sr_[1] & 0x20) != 0; }
    const std::array<uint8_t, 3> &paletteEntry(int i) const {
        return palette_[static_cast<size_t>(i & 0xFF)];
    }
    void setPaletteEntry(int i, uint8_t r, uint8_t g, uint8_t b) {
        palette_[static_cast<size_t>(i & 0xFF)] = {r, g, b};
    }
    int unpacedPaletteAccesses() const { return unpaced_; }
    bool banked() const { return banked_; }
    uint32_t bankUnit() const { return bankUnit_; }

    // The engine: busy for a few status reads after each start; stuck keeps
    // it busy until a reset (0 to 0x33CE).
    bool busy() const { return busyReads_ > 0 || stuck_; }
    void setStuck(bool on) { stuck_ = on; }
    int resets() const { return resets_; }

    // The cursor.
    int cursorSize() const { return cursorSize_; }
    bool cursorShown() const { return (cursorCmd_ & 3) == 3; }
    const std::vector<uint8_t> &cursorImage() const { return cursorImage_; }
    const std::array<uint8_t, 3> &cursorColour(int i) const {
        return cursorColours_[static_cast<size_t>(i & 3)];
    }
    int cursorX() const { return cursorX_; }
    int cursorY() const { return cursorY_; }
    // What the cursor shows at screen pixel (x, y): -1 nothing (hidden or
    // transparent there), else the cursor colour index (2 source, 1 mask only).
    int cursorAt(int x, int y) const;

    // The sides the bus and the memory device reach.
    uint32_t portIn(uint16_t port, int width);
    void portOut(uint16_t port, int width, uint32_t value);
    uint32_t memRead(uint32_t offset, int width);
    void memWrite(uint32_t offset, int width, uint32_t value);

  private:
    class Memory;
    void fail(const std::string &why);
    bool engineRegister(uint16_t port) const;
    void grWrite(uint8_t index, uint8_t value);
    uint8_t grRead(uint8_t index);
    uint32_t vramOffset(uint32_t offset) const;
    void writeByte(uint32_t at, uint8_t src);
    // The engine (dulmo_engine.cpp).
    void start(uint8_t code);
    void lineControl(uint8_t value);
    void resetEngine();
    void noteRegister(uint16_t port);
    bool takesData() const;
    bool hostData(uint32_t offset, int width, uint32_t value);
    void occupy();
    void rop(uint32_t at, uint8_t src, uint8_t mask);
    uint16_t reg(uint16_t port) const;
    bool written(uint16_t port) const;
    bool need(std::initializer_list<uint16_t> ports, const char *what);
    void copy(bool backward, bool plain);
    void fill();
    void line(int x, int y, int e, int e1, int e2, int len, int octant);
    void lineToEnd();
    void beginExpansion(bool fromMemory);
    void expandRow(const uint8_t *bits, int startBit);
    void expansionByte(uint8_t byte);
    void spanWord(uint32_t offset, int width, uint32_t value);

    Machine &machine_;
    DulmoBus *bus_ = nullptr;
    VideoMemory vram_;
    Memory *memory_ = nullptr;
    uint8_t id_ = 0;
    uint32_t pitch_ = 1024;
    bool banked_ = false;
    bool plainAperture_ = false;
    uint32_t bankUnit_ = 4096;
    std::array<uint8_t, 256> gr_{};
    std::array<uint8_t, 256> sr_{};
    uint8_t grIndex_ = 0, srIndex_ = 0;
    std::array<std::array<uint8_t, 3>, 256> palette_{};
    uint8_t dacWrite_ = 0, dacRead_ = 0;
    int dacWriteComponent_ = 0, dacReadComponent_ = 0;
    int unpaced_ = 0;
    uint8_t status_ = 0;
    uint8_t rop_ = 0x0C;
    uint8_t control_ = 0;
    int busyReads_ = 0;
    bool stuck_ = false;
    int resets_ = 0;
    // 16-bit engine registers by port.
    std::array<uint16_t, 16> r23_{}, r63_{}, r83_{};
    uint8_t r33CF_ = 0;
    // Engine registers written since power-up (by port), and the host data
    // an expansion started from the processor still takes.
    std::array<bool, 3 * 16> written_{};
    bool expanding_ = false;
    bool opaque_ = false;
    int expandWidth_ = 0, expandHeight_ = 0, expandRowBytes_ = 0;
    int expandX_ = 0, expandY_ = 0, expandBit_ = 0, expandRow_ = 0;
    std::vector<uint8_t> expandBytes_;
    // Cursor.
    int cursorSize_ = 32;
    uint8_t cursorCmd_ = 0, cursor13C6_ = 0x03;
    uint8_t cursorAddress_ = 0;
    uint32_t cursorWrite_ = 0;
    int cursorColourComponent_ = 0;
    std::vector<uint8_t> cursorImage_;
    std::array<std::array<uint8_t, 3>, 4> cursorColours_{};
    uint16_t cursorX_ = 0, cursorY_ = 0;
};

} // namespace sim
