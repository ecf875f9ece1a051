// The TV encoder's constant tables: register sets, the display timings a
// mode must use for TV output, the encoder's timing records, the picture
// controls' limits and defaults, the luminance levels, the gamma curves and
// the ITU-R 656 parameters. hsl_mav_tables.h gives the keys and the lookup.
#include "hsl_mav_tables.h"

namespace {

constexpr uint8_t V11 = 0x11, V13 = 0x13, V14 = 0x14;

constexpr MavEncoderEntry encoder(uint8_t version, uint8_t standard, uint8_t board,
                                  const uint32_t (&w)[19]) {
    MavEncoderEntry e{};
    e.aucKey[0] = version;
    e.aucKey[1] = standard;
    e.aucKey[2] = board;
    for (int i = 0; i < 19; i++)
        e.Params.aulWord[i] = w[i];
    return e;
}

// t: refresh, horizontal rate, pixel clock, HFP, HSync, HBP, VFP, VSync,
// VBP, signal mode; tv: the four TV adjustment words.
constexpr ModeInfo modeInfo(uint32_t width, int32_t height, const int32_t (&t)[10],
                            const int32_t (&tv)[4]) {
    ModeInfo m{};
    m.ulDispWidth = width;
    m.lDispHeight = height;
    m.lRefreshRate = t[0];
    m.lHorizontalRate = t[1];
    m.lPixClock = t[2];
    m.lHFPorch = t[3];
    m.lHSync = t[4];
    m.lHBPorch = t[5];
    m.lVFPorch = t[6];
    m.lVSync = t[7];
    m.lVBPorch = t[8];
    m.lSignalMode = t[9];
    for (int i = 0; i < 4; i++)
        m.alTVAdjust[i] = tv[i];
    return m;
}

constexpr MavModeEntry mode(uint8_t version, uint8_t standard, uint8_t board, uint32_t width,
                            int32_t height, const int32_t (&t)[10], const int32_t (&tv)[4]) {
    MavModeEntry e{};
    e.aucKey[0] = version;
    e.aucKey[1] = standard;
    e.aucKey[2] = board;
    e.Mode = modeInfo(width, height, t, tv);
    return e;
}

// The YUV modes name only their rates, clock, front porches and signal
// mode; their sync and back-porch words stay 0.
constexpr MavModeEntry yuv(uint8_t standard, uint8_t board, uint32_t width, int32_t height,
                           int32_t refresh, int32_t hfp, int32_t vfp, int32_t signal) {
    return mode(V14, standard, board, width, height,
                {refresh, 31, 27000, hfp, 0, 0, vfp, 0, 0, signal}, {0, 0, 0, 0});
}

constexpr MavTimingEntry timing(uint8_t version, uint8_t standard, uint8_t board, uint32_t width,
                                uint32_t height, const uint32_t (&w)[20]) {
    MavTimingEntry e{};
    e.aucKey[0] = version;
    e.aucKey[1] = standard;
    e.aucKey[2] = board;
    e.ulWidth = width;
    e.ulHeight = height;
    for (int i = 0; i < 20; i++)
        e.Timing.aulWord[i] = w[i];
    return e;
}

// s: the four scale words; t: refresh, horizontal rate, clock, HFP, HSync,
// HBP, VFP, VSync, VBP, signal mode, then the four TV adjustment words.
constexpr MavVScaleEntry vscale(const uint32_t (&s)[4], uint32_t width, int32_t height,
                                const int32_t (&t)[14]) {
    MavVScaleEntry e{};
    e.aucKey[0] = V14;
    e.aucKey[1] = 1;
    for (int i = 0; i < 4; i++)
        e.aulScale[i] = s[i];
    e.Mode = modeInfo(width, height, {t[0], t[1], t[2], t[3], t[4], t[5], t[6], t[7], t[8], t[9]},
                      {t[10], t[11], t[12], t[13]});
    return e;
}

constexpr MavProcAmpEntry procAmp(uint8_t version, uint8_t standard, uint8_t board, uint8_t kind,
                                  const uint32_t (&w)[8]) {
    MavProcAmpEntry e{};
    e.aucKey[0] = version;
    e.aucKey[1] = standard;
    e.aucKey[2] = board;
    e.aucKey[3] = kind;
    e.Settings = {w[0], w[1], w[2], w[3], w[4], w[5], w[6], w[7]};
    return e;
}

constexpr MavLumaEntry luma(uint8_t version, uint8_t standard, uint8_t board,
                            const uint32_t (&w)[4]) {
    MavLumaEntry e{};
    e.aucKey[0] = version;
    e.aucKey[1] = standard;
    e.aucKey[2] = board;
    for (int i = 0; i < 4; i++)
        e.aulLuma[i] = w[i];
    return e;
}

constexpr MavGammaEntry gammaCurve(uint8_t key, const uint32_t (&w)[14]) {
    MavGammaEntry e{};
    e.aucKey[0] = key;
    for (int i = 0; i < 14; i++)
        e.aulGamma[i] = w[i];
    return e;
}

constexpr MavITU656Entry itu656(uint8_t standard, uint32_t width, uint32_t height,
                                const uint32_t (&w)[8]) {
    MavITU656Entry e{};
    e.aucKey[0] = V14;
    e.aucKey[1] = standard;
    e.aucKey[2] = 1;
    e.ulWidth = width;
    e.ulHeight = height;
    for (int i = 0; i < 8; i++)
        e.Params.aulWord[i] = w[i];
    return e;
}

template <class Entry> constexpr Entry endMark() {
    Entry e{};
    e.aucKey[0] = MAV_TABLE_END;
    return e;
}

} // namespace

extern "C" {

const MavEncoderEntry MavEncoderParm[] = {
    encoder(V11, 0, 0,
            {0x2A098ACB, 0, 38, 126, 156, 64, 26, 1408, 625, 48, 33, 16, 255, 255, 829, 138, 138, 0,
             89}),
    encoder(
        V11, 1, 0,
        {0x21F07C1F, 0, 36, 126, 126, 64, 16, 1428, 525, 64, 0, 15, 240, 282, 820, 137, 137, 0, 2}),
    encoder(V13, 0, 0,
            {0x2A098ACB, 0, 38, 126, 156, 64, 26, 1408, 625, 48, 33, 16, 255, 255, 829, 138, 138, 0,
             89}),
    encoder(
        V13, 1, 0,
        {0x21F07C1F, 0, 36, 126, 126, 64, 16, 1428, 525, 64, 0, 15, 240, 282, 820, 137, 137, 0, 2}),
    encoder(V14, 0, 0,
            {0x2A098ACB, 0, 38, 126, 156, 64, 26, 1408, 625, 48, 33, 16, 255, 255, 829, 138, 138, 0,
             73}),
    encoder(
        V14, 1, 0,
        {0x21F07C1F, 0, 36, 126, 126, 64, 16, 1428, 525, 64, 0, 15, 240, 282, 820, 137, 137, 0, 2}),
    encoder(V14, 0, 1,
            {0x2A098ACB, 0, 38, 126, 156, 60, 26, 1408, 625, 46, 33, 16, 255, 255, 829, 138, 138, 0,
             73}),
    encoder(
        V14, 1, 1,
        {0x21F07C1F, 0, 36, 126, 126, 67, 16, 1428, 525, 61, 0, 15, 240, 282, 820, 137, 137, 0, 2}),
    endMark<MavEncoderEntry>(),
};

// Each size's display timings have a 31 kHz line (twice the TV's) and a
// frame of the TV's line count or more; the encoder scales the rest.
const MavModeEntry MavTVParm[] = {
    mode(V11, 0, 0, 640, 400, {50, 31, 26781, 48, 64, 105, 86, 4, 135, 0}, {-1, -1, -1, -1}),
    mode(V11, 0, 0, 640, 480, {50, 31, 26750, 48, 64, 104, 54, 4, 87, 0}, {-1, -1, -1, -1}),
    mode(V11, 0, 0, 800, 600, {50, 31, 43719, 72, 88, 161, 68, 4, 108, 0}, {-1, -1, -1, -1}),
    mode(V11, 0, 0, 1024, 768, {50, 31, 65587, 56, 104, 160, 80, 4, 124, 0}, {-1, -1, -1, -1}),
    mode(V11, 1, 0, 640, 400, {60, 31, 26996, 40, 64, 113, 46, 4, 75, 16}, {-1, -1, -1, -1}),
    mode(V11, 1, 0, 640, 480, {60, 31, 26996, 40, 64, 113, 14, 4, 27, 16}, {-1, -1, -1, -1}),
    mode(V11, 1, 0, 800, 600, {60, 31, 43970, 16, 80, 97, 52, 4, 82, 16}, {-1, -1, -1, -1}),
    mode(V11, 1, 0, 1024, 768, {60, 31, 67253, 32, 96, 128, 39, 4, 64, 16}, {-1, -1, -1, -1}),
    mode(V13, 0, 0, 640, 400, {50, 31, 26781, 48, 64, 105, 86, 4, 135, 0}, {44, 85, 59, 0}),
    mode(V13, 0, 0, 640, 480, {50, 31, 26750, 48, 64, 104, 54, 4, 87, 0}, {44, 53, 59, 0}),
    mode(V13, 0, 0, 800, 600, {50, 31, 43719, 72, 88, 161, 68, 4, 108, 0}, {44, 60, 35, 0}),
    mode(V13, 0, 0, 1024, 768, {50, 31, 65587, 56, 104, 160, 80, 4, 124, 0}, {68, 77, 13, 0}),
    mode(V13, 1, 0, 640, 400, {60, 31, 26996, 40, 64, 113, 46, 4, 75, 16}, {54, 45, 63, 0}),
    mode(V13, 1, 0, 640, 480, {60, 31, 26996, 40, 64, 113, 14, 4, 27, 16}, {44, 4, 63, 0}),
    mode(V13, 1, 0, 800, 600, {60, 31, 43970, 16, 80, 97, 52, 4, 82, 16}, {60, 40, 35, 0}),
    mode(V13, 1, 0, 1024, 768, {60, 31, 67253, 32, 96, 128, 39, 4, 64, 16}, {54, 20, 16, 0}),
    mode(V14, 0, 0, 640, 400, {50, 31, 26781, 48, 64, 105, 86, 4, 135, 0}, {44, 85, 59, 0}),
    mode(V14, 0, 0, 640, 480, {50, 31, 26750, 48, 64, 104, 54, 4, 87, 0}, {44, 53, 59, 0}),
    mode(V14, 0, 0, 720, 576, {50, 31, 27706, 16, 64, 88, 16, 4, 28, 0}, {-1, -1, -1, -1}),
    mode(V14, 0, 0, 800, 600, {50, 31, 43663, 72, 88, 161, 68, 4, 108, 0}, {58, 67, 35, 0}),
    mode(V14, 0, 0, 1024, 768, {50, 31, 72679, 120, 112, 241, 78, 4, 122, 0}, {68, 77, 13, 0}),
    mode(V14, 1, 0, 640, 400, {60, 31, 26996, 40, 64, 113, 46, 4, 75, 16}, {54, 45, 63, 0}),
    mode(V14, 1, 0, 640, 480, {60, 31, 35688, 96, 80, 177, 44, 4, 72, 16}, {54, 35, 59, 0}),
    mode(V14, 1, 0, 720, 480, {60, 31, 27385, 24, 64, 80, 14, 4, 26, 16}, {-1, -1, -1, -1}),
    mode(V14, 1, 0, 800, 600, {60, 31, 44625, 16, 80, 97, 56, 4, 90, 16}, {66, 48, 35, 0}),
    mode(V14, 1, 0, 1024, 768, {60, 31, 76264, 32, 104, 145, 79, 4, 124, 16}, {74, 78, 14, 0}),
    mode(V14, 0, 1, 640, 400, {50, 31, 26781, 48, 64, 105, 86, 4, 135, 0}, {44, 85, 59, 0}),
    mode(V14, 0, 1, 640, 480, {50, 31, 26750, 48, 64, 104, 54, 4, 87, 0}, {44, 53, 59, 0}),
    mode(V14, 0, 1, 720, 576, {50, 31, 27706, 16, 64, 88, 16, 4, 28, 0}, {-1, -1, -1, -1}),
    mode(V14, 0, 1, 800, 600, {50, 31, 43663, 72, 88, 161, 68, 4, 108, 0}, {58, 67, 35, 0}),
    mode(V14, 0, 1, 1024, 768, {50, 31, 72679, 120, 112, 241, 78, 4, 122, 0}, {68, 77, 13, 0}),
    mode(V14, 1, 1, 640, 400, {60, 31, 26996, 40, 64, 113, 46, 4, 75, 16}, {54, 45, 63, 0}),
    mode(V14, 1, 1, 640, 480, {60, 31, 35688, 96, 80, 177, 44, 4, 72, 16}, {54, 35, 59, 0}),
    mode(V14, 1, 1, 720, 480, {60, 31, 27385, 24, 64, 80, 14, 4, 26, 16}, {-1, -1, -1, -1}),
    mode(V14, 1, 1, 800, 600, {60, 31, 44625, 16, 80, 97, 56, 4, 90, 16}, {66, 48, 35, 0}),
    mode(V14, 1, 1, 1024, 768, {60, 31, 76264, 32, 104, 145, 79, 4, 124, 16}, {74, 78, 14, 0}),
    endMark<MavModeEntry>(),
};

const MavModeEntry MavTV_YUVParm[] = {
    yuv(0, 0, 704, 576, 50, 152, 24, 1),
    yuv(0, 0, 712, 576, 50, 152, 24, 1),
    yuv(0, 0, 720, 576, 50, 152, 24, 1),
    yuv(1, 0, 704, 486, 60, 146, 22, 17),
    yuv(1, 0, 712, 486, 60, 146, 22, 17),
    yuv(1, 0, 720, 486, 60, 146, 22, 17),
    yuv(1, 0, 720, 480, 60, 146, 22, 17),
    yuv(0, 1, 704, 576, 50, 152, 24, 1),
    yuv(0, 1, 712, 576, 50, 152, 24, 1),
    yuv(0, 1, 720, 576, 50, 152, 24, 1),
    yuv(1, 1, 704, 486, 60, 146, 22, 17),
    yuv(1, 1, 712, 486, 60, 146, 22, 17),
    yuv(1, 1, 720, 486, 60, 146, 22, 17),
    yuv(1, 1, 720, 480, 60, 146, 22, 17),
    endMark<MavModeEntry>(),
};

// Encoder timing records. Rows other than the four fixed ones (0x11 640 x 480
// at both standards, 0x14 720 x 576 at standard 0 and 640 x 480 at standard
// 1) are tuned to the encoder model this way:
//   words 0-2: the encoder's clock search (HSLMAVComputePLLParam) for the
//     matching MavTVParm mode's pixel clock, the nearest its dividers reach;
//   word 4: 32768 x lines / vtotal, at most 0x7FFF, so that the mode's frame
//     (vtotal) fills the 625- or 525-line frame at 50 or 59.94 Hz;
//   words 5-8, 10-12, 15: the generator's timings taken from the mode (sync,
//     back porch, active end, htotal + 1, vsync + back porch, line 11,
//     vtotal - 1, or the TV's whole frame for a native size a line short
//     of it), word 9 the vertical position 14 the mode-built records use,
//     word 16 the vertical reset just after the active line;
//   words 18, 19: the borders the position calculation gives with no offset
//     (limited to 0..255), recomputed whenever a mode's TV words are set.
// Version 0x13 repeats 0x11; board 1 repeats board 0 but for word 13 of
// 800 x 600 at standard 1.
const MavTimingEntry MavTimingParm[] = {
    timing(V11, 0, 0, 640, 400, {1,   7,  139, 127, 32767, 64,  4,   809, 858, 14,
                                 139, 11, 624, 0,   2043,  858, 700, 0,   71,  66}),
    timing(V11, 0, 0, 640, 480, {1,  15, 159, 123, 32767, 50,  3,   708, 862, 140,
                                 91, 11, 624, 0,   55,    862, 700, 48,  136, 55}),
    timing(V11, 0, 0, 800, 600, {12,  83, 147, 127, 26256, 88,   4,   1049, 1122, 14,
                                 112, 11, 779, 0,   32,    1122, 884, 0,    112,  0}),
    timing(V11, 0, 0, 1024, 768, {6,   67, 155, 127, 20983, 104,  4,    1288, 1345, 14,
                                  128, 11, 975, 0,   32,    1345, 1092, 0,    117,  0}),
    timing(V11, 1, 0, 640, 400,
           {1, 7, 139, 127, 32767, 64, 4, 817, 858, 14, 79, 11, 524, 0, 2043, 858, 692, 0, 71, 66}),
    timing(V11, 1, 0, 640, 480, {1,  15, 159, 127, 32767, 48,  3,   699, 856, 32,
                                 31, 11, 524, 0,   2043,  856, 691, 0,   113, 45}),
    timing(V11, 1, 0, 800, 600,
           {1, 12, 147, 127, 23310, 80, 4, 977, 994, 14, 86, 11, 737, 0, 32, 994, 828, 0, 85, 0}),
    timing(V11, 1, 0, 1024, 768, {1,  19, 155, 127, 19660, 96,   4,    1248, 1281, 14,
                                  68, 11, 874, 0,   32,    1281, 1068, 0,    102,  0}),
    timing(V13, 0, 0, 640, 400, {1,   7,  139, 127, 32767, 64,  4,   809, 858, 14,
                                 139, 11, 624, 0,   2043,  858, 700, 0,   71,  66}),
    timing(V13, 0, 0, 640, 480, {1,  15, 159, 123, 32767, 50,  3,   708, 862, 140,
                                 91, 11, 624, 0,   55,    862, 700, 48,  136, 55}),
    timing(V13, 0, 0, 800, 600, {12,  83, 147, 127, 26256, 88,   4,   1049, 1122, 14,
                                 112, 11, 779, 0,   32,    1122, 884, 0,    112,  0}),
    timing(V13, 0, 0, 1024, 768, {6,   67, 155, 127, 20983, 104,  4,    1288, 1345, 14,
                                  128, 11, 975, 0,   32,    1345, 1092, 0,    117,  0}),
    timing(V13, 1, 0, 640, 400,
           {1, 7, 139, 127, 32767, 64, 4, 817, 858, 14, 79, 11, 524, 0, 2043, 858, 692, 0, 71, 66}),
    timing(V13, 1, 0, 640, 480, {1,  15, 159, 127, 32767, 48,  3,   699, 856, 32,
                                 31, 11, 524, 0,   2043,  856, 691, 0,   113, 45}),
    timing(V13, 1, 0, 800, 600,
           {1, 12, 147, 127, 23310, 80, 4, 977, 994, 14, 86, 11, 737, 0, 32, 994, 828, 0, 85, 0}),
    timing(V13, 1, 0, 1024, 768, {1,  19, 155, 127, 19660, 96,   4,    1248, 1281, 14,
                                  68, 11, 874, 0,   32,    1281, 1068, 0,    102,  0}),
    timing(V14, 0, 0, 640, 400, {1,   7,  139, 127, 32767, 64,  4,   809, 858, 14,
                                 139, 11, 624, 0,   2043,  858, 700, 0,   71,  66}),
    timing(V14, 0, 0, 640, 480, {13, 54, 139, 127, 32767, 64,  4,   808, 857, 14,
                                 91, 11, 624, 0,   2043,  857, 700, 0,   111, 66}),
    timing(V14, 0, 0, 720, 576, {7,  32, 139, 127, 32767, 4,   4,   734, 889, 33,
                                 32, 11, 624, 0,   2043,  889, 712, 0,   159, 33}),
    timing(V14, 0, 0, 800, 600, {12,  83, 147, 127, 26256, 88,   4,   1049, 1122, 14,
                                 112, 11, 779, 0,   32,    1122, 884, 0,    112,  0}),
    timing(V14, 0, 0, 1024, 768, {12,  69, 145, 127, 21069, 112,  4,    1377, 1498, 14,
                                  126, 11, 971, 0,   32,    1498, 1156, 0,    118,  0}),
    timing(V14, 1, 0, 640, 400,
           {1, 7, 139, 127, 32767, 64, 4, 817, 858, 14, 79, 11, 524, 0, 2043, 858, 692, 0, 71, 66}),
    timing(V14, 1, 0, 640, 480, {11, 63, 147, 123, 28672, 59,  4,   707, 999, 115,
                                 75, 11, 599, 920, 32,    999, 758, 38,  99,  51}),
    timing(V14, 1, 0, 720, 480, {13, 56, 139, 127, 32767, 64,  4,   864, 889, 14,
                                 30, 11, 524, 0,   2043,  889, 756, 0,   111, 27}),
    timing(V14, 1, 0, 800, 600, {12, 85, 147, 127, 22937, 80,  4,   977, 994, 14,
                                 94, 11, 749, 448, 32,    994, 828, 0,   81,  0}),
    timing(V14, 1, 0, 1024, 768, {9,   112, 155, 127, 17644, 104,  4,    1273, 1306, 14,
                                  128, 11,  974, 0,   32,    1306, 1068, 0,    78,   0}),
    timing(V14, 0, 1, 640, 400, {1,   7,  139, 127, 32767, 64,  4,   809, 858, 14,
                                 139, 11, 624, 0,   2043,  858, 700, 0,   71,  66}),
    timing(V14, 0, 1, 640, 480, {13, 54, 139, 127, 32767, 64,  4,   808, 857, 14,
                                 91, 11, 624, 0,   2043,  857, 700, 0,   111, 66}),
    timing(V14, 0, 1, 720, 576, {7,  32, 139, 127, 32767, 4,   4,   734, 889, 33,
                                 32, 11, 624, 0,   2043,  889, 712, 0,   159, 33}),
    timing(V14, 0, 1, 800, 600, {12,  83, 147, 127, 26256, 88,   4,   1049, 1122, 14,
                                 112, 11, 779, 0,   32,    1122, 884, 0,    112,  0}),
    timing(V14, 0, 1, 1024, 768, {12,  69, 145, 127, 21069, 112,  4,    1377, 1498, 14,
                                  126, 11, 971, 0,   32,    1498, 1156, 0,    118,  0}),
    timing(V14, 1, 1, 640, 400,
           {1, 7, 139, 127, 32767, 64, 4, 817, 858, 14, 79, 11, 524, 0, 2043, 858, 692, 0, 71, 66}),
    timing(V14, 1, 1, 640, 480, {11, 63, 147, 123, 28672, 59,  4,   707, 999, 115,
                                 75, 11, 599, 920, 32,    999, 758, 38,  99,  51}),
    timing(V14, 1, 1, 720, 480, {13, 56, 139, 127, 32767, 64,  4,   864, 889, 14,
                                 30, 11, 524, 0,   2043,  889, 756, 0,   111, 27}),
    timing(V14, 1, 1, 800, 600, {12, 85, 147, 127, 22937, 80,  4,   977, 994, 14,
                                 94, 11, 749, 256, 32,    994, 828, 0,   81,  0}),
    timing(V14, 1, 1, 1024, 768, {9,   112, 155, 127, 17644, 104,  4,    1273, 1306, 14,
                                  128, 11,  974, 0,   32,    1306, 1068, 0,    78,   0}),
    endMark<MavTimingEntry>(),
};

// Only the keys are compared; the size words name the colour-bar picture.
const MavTimingEntry MavTimingColorBarParm[] = {
#define BARS0(v, b, w14)                                                                           \
    timing(v, 0, b, 640, 480, {1,  15, 159, 123, 32767, 50,  3, 708, 862, 140,                     \
                               91, 11, 624, 0,   w14,   862, 0, 0,   144, 47})
#define BARS1(v, b)                                                                                \
    timing(v, 1, b, 640, 480,                                                                      \
           {1, 15, 159, 127, 32767, 41, 3, 690, 856, 123, 79, 11, 524, 0, 43, 856, 0, 0, 100, 45})
    BARS0(V11, 0, 53),         BARS1(V11, 0), BARS0(V13, 0, 53), BARS1(V13, 0),
    BARS0(V14, 0, 54),         BARS1(V14, 0), BARS0(V14, 1, 54), BARS1(V14, 1),
#undef BARS0
#undef BARS1
    endMark<MavTimingEntry>(),
};

// Vertical size steps of the board-1 chips (version 0x14).
// Rows other than the four fixed ones (640 x 480 standard 0 step 1,
// 640 x 480 standard 1 step 4, 800 x 600 standard 0 step 5, 1024 x 768
// standard 1 step 4) are tuned to the encoder model: each step below the
// last adds 24 lines to the frame (3/8 of the blanking before the sync,
// the rest after), word s1 = 32768 x lines / vtotal fits the frame into
// the TV's 625 or 525 lines, and the clock is the one the timing record
// computes, (s2 + 2) x vtotal x 2700 / (54000 or 45045) kHz. 800 x 600 at
// standard 1 and 1024 x 768 at standard 0 have no fixed row: they take the
// horizontal words of the other standard's rows and a last-step frame of
// 630 and 840 lines.
const MavVScaleEntry MavVScaleTVParm[] = {
    vscale({31006, 898, 73, 64}, 640, 480,
           {50, 32, 29523, 64, 64, 128, 68, 4, 108, 0, 50, 65, 60, 1}),
    vscale({32201, 898, 73, 64}, 640, 480,
           {50, 32, 28620, 64, 64, 128, 57, 4, 95, 0, 50, 0, 60, 2}),
    vscale({28816, 856, 519, 0}, 640, 480,
           {60, 31, 30702, 40, 64, 112, 42, 4, 71, 16, 50, 0, 60, 1}),
    vscale({30023, 856, 519, 0}, 640, 480,
           {60, 31, 29468, 40, 64, 112, 33, 4, 56, 16, 50, 0, 60, 2}),
    vscale({31335, 856, 519, 0}, 640, 480,
           {60, 31, 28234, 40, 64, 112, 24, 4, 41, 16, 50, 0, 60, 3}),
    vscale({32767, 856, 519, 0}, 640, 480,
           {60, 31, 26912, 40, 64, 112, 14, 4, 27, 16, 50, 0, 60, 4}),
    vscale({27089, 998, 1, 256}, 800, 600, {50, 32, 37800, 16, 80, 96, 57, 4, 95, 0, 50, 0, 35, 1}),
    vscale({27978, 998, 1, 256}, 800, 600, {50, 32, 36600, 16, 80, 96, 48, 4, 80, 0, 50, 0, 35, 2}),
    vscale({28926, 998, 1, 256}, 800, 600, {50, 32, 35400, 16, 80, 96, 39, 4, 65, 0, 50, 0, 35, 3}),
    vscale({29941, 998, 1, 256}, 800, 600, {50, 32, 34200, 16, 80, 96, 30, 4, 50, 0, 50, 0, 35, 4}),
    vscale({31006, 998, 1, 256}, 800, 600, {50, 32, 34786, 16, 80, 96, 20, 4, 36, 0, 50, 0, 35, 5}),
    vscale({23695, 998, 1, 256}, 800, 600,
           {60, 31, 43516, 16, 80, 96, 45, 4, 77, 16, 50, 0, 35, 1}),
    vscale({24505, 998, 1, 256}, 800, 600,
           {60, 31, 42077, 16, 80, 96, 36, 4, 62, 16, 50, 0, 35, 2}),
    vscale({25373, 998, 1, 256}, 800, 600,
           {60, 31, 40639, 16, 80, 96, 27, 4, 47, 16, 50, 0, 35, 3}),
    vscale({26304, 998, 1, 256}, 800, 600,
           {60, 31, 39200, 16, 80, 96, 18, 4, 32, 16, 50, 0, 35, 4}),
    vscale({27306, 998, 1, 256}, 800, 600, {60, 31, 37762, 16, 80, 96, 9, 4, 17, 16, 50, 0, 35, 5}),
    vscale({22456, 1285, 828, 0}, 1024, 768,
           {50, 32, 58687, 32, 96, 128, 52, 4, 88, 0, 65, 0, 14, 1}),
    vscale({23063, 1285, 828, 0}, 1024, 768,
           {50, 32, 57142, 32, 96, 128, 43, 4, 73, 0, 65, 0, 14, 2}),
    vscale({23703, 1285, 828, 0}, 1024, 768,
           {50, 32, 55598, 32, 96, 128, 34, 4, 58, 0, 65, 0, 14, 3}),
    vscale({24380, 1285, 828, 0}, 1024, 768,
           {50, 32, 54054, 32, 96, 128, 25, 4, 43, 0, 65, 0, 14, 4}),
    vscale({18863, 1285, 828, 0}, 1024, 768,
           {60, 31, 70354, 32, 96, 128, 52, 4, 88, 16, 65, 0, 14, 1}),
    vscale({19372, 1285, 828, 0}, 1024, 768,
           {60, 31, 68502, 32, 96, 128, 43, 4, 73, 16, 65, 0, 14, 2}),
    vscale({19911, 1285, 828, 0}, 1024, 768,
           {60, 31, 66651, 32, 96, 128, 34, 4, 58, 16, 65, 0, 14, 3}),
    vscale({20480, 1285, 828, 0}, 1024, 768,
           {60, 31, 64435, 32, 96, 128, 25, 4, 43, 16, 65, 0, 14, 4}),
    endMark<MavVScaleEntry>(),
};

const MavProcAmpEntry MavProcAmpParm[] = {
#define PROCAMP(v, s, b, d0, d1, d2, p0, p1, p2)                                                   \
    procAmp(v, s, b, 0, {0, 0, 0, 0, 0, 0, 4, 0}),                                                 \
        procAmp(v, s, b, 1, {0, 2, d0, d1, d2, 0, 10, 0}),                                         \
        procAmp(v, s, b, 2, {0, 2, 255, 255, 255, 255, 40, 3}),                                    \
        procAmp(v, s, b, 3, {0, 1, 1, 1, 1, 1, 2, 1}),                                             \
        procAmp(v, s, b, 5, {0, 2, p0, p1, p2, 0, 10, 0})
    PROCAMP(V11, 0, 0, 103, 87, 121, 138, 167, 255),
    PROCAMP(V11, 1, 0, 90, 100, 100, 137, 180, 234),
    PROCAMP(V13, 0, 0, 103, 87, 121, 138, 167, 255),
    PROCAMP(V13, 1, 0, 90, 100, 100, 137, 180, 234),
    PROCAMP(V14, 0, 0, 103, 87, 121, 138, 167, 255),
    PROCAMP(V14, 1, 0, 90, 100, 100, 137, 180, 234),
    PROCAMP(V14, 0, 1, 114, 87, 121, 149, 168, 255),
    PROCAMP(V14, 1, 1, 95, 100, 100, 142, 181, 234),
#undef PROCAMP
    endMark<MavProcAmpEntry>(),
};

const MavLumaEntry MavLumaParm[] = {
    luma(V11, 0, 0, {255, 799, 64, 64}),
    luma(V11, 1, 0, {240, 802, 64, 64}),
    luma(V13, 0, 0, {255, 799, 64, 64}),
    luma(V13, 1, 0, {240, 802, 64, 64}),
    luma(V14, 0, 0, {255, 799, 64, 64}),
    luma(V14, 1, 0, {240, 802, 64, 64}),
    luma(V14, 0, 1, {255, 786, 64, 64}),
    luma(V14, 1, 1, {242, 786, 64, 64}),
    endMark<MavLumaEntry>(),
};

const MavGammaEntry MavGammaParm[] = {
    gammaCurve(0, {1, 0, 15, 1, 0, 100, 0, 1, 0, 200, 0, 1, 0, 0}),
    gammaCurve(4, {0, 7, 15, 7, 5, 91, 3, 13, 4, 156, 57, 15, 3, 223}),
    gammaCurve(6, {3, 4, 15, 9, 4, 100, 5, 9, 3, 180, 61, 12, 3, 128}),
    gammaCurve(8, {1, 1, 15, 3, 2, 64, 3, 4, 2, 176, 19, 10, 3, 63}),
    gammaCurve(10, {1, 0, 15, 1, 0, 100, 0, 1, 0, 200, 0, 1, 0, 0}),
    gammaCurve(12, {4, 1, 9, 9, 3, 80, 8, 15, 4, 195, 23, 13, 4, 47}),
    gammaCurve(14, {5, 1, 16, 9, 3, 85, 22, 7, 3, 168, 43, 3, 2, 64}),
    gammaCurve(16, {13, 1, 6, 9, 3, 85, 34, 13, 4, 167, 60, 11, 4, 80}),
    gammaCurve(18, {13, 1, 8, 9, 3, 85, 45, 6, 3, 159, 77, 5, 3, 96}),
    gammaCurve(20, {6, 0, 11, 9, 3, 64, 56, 13, 4, 144, 76, 9, 4, 112}),
    gammaCurve(22, {8, 0, 9, 9, 3, 69, 65, 12, 4, 148, 91, 1, 1, 128}),
    gammaCurve(24, {8, 0, 10, 9, 3, 73, 72, 11, 4, 147, 104, 15, 5, 136}),
    gammaCurve(26, {7, 0, 14, 1, 0, 77, 87, 5, 3, 144, 116, 14, 5, 143}),
    gammaCurve(28, {15, 1, 14, 15, 4, 77, 95, 5, 3, 151, 119, 13, 5, 152}),
    gammaCurve(30, {9, 0, 12, 15, 4, 77, 100, 9, 4, 160, 129, 12, 5, 159}),
    gammaCurve(32, {15, 0, 7, 15, 4, 84, 105, 8, 4, 166, 141, 11, 5, 167}),
    gammaCurve(34, {15, 0, 7, 15, 4, 90, 105, 15, 5, 170, 147, 11, 5, 168}),
    gammaCurve(36, {15, 0, 8, 13, 4, 90, 120, 14, 5, 180, 153, 10, 5, 175}),
    gammaCurve(38, {15, 0, 8, 15, 4, 74, 119, 14, 5, 160, 156, 5, 4, 176}),
    gammaCurve(40, {15, 0, 8, 15, 4, 78, 119, 14, 5, 165, 158, 9, 5, 183}),
    endMark<MavGammaEntry>(),
};

const MavITU656Entry CVE2ITU656Parm[] = {
    itu656(0, 704, 576, {696, 856, 290, 311, 1408, 38, 156, 22}),
    itu656(0, 712, 576, {704, 856, 290, 311, 1424, 36, 142, 22}),
    itu656(0, 720, 576, {712, 856, 290, 311, 1440, 32, 130, 22}),
    itu656(1, 704, 486, {696, 850, 242, 261, 1408, 56, 126, 20}),
    itu656(1, 712, 486, {704, 850, 242, 261, 1424, 40, 126, 20}),
    itu656(1, 720, 486, {712, 850, 242, 261, 1440, 24, 126, 20}),
    itu656(1, 720, 484, {712, 850, 241, 261, 1440, 24, 126, 21}),
    itu656(1, 720, 480, {712, 850, 240, 261, 1440, 24, 126, 21}),
    endMark<MavITU656Entry>(),
};

} // extern "C"
