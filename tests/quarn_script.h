// The scripted chip layer built into the test copy of libquarn: the eight
// entry points the driver calls, each answering the result the test put in
// for its n-th call (0 after those), filling what the driver reads back and
// recording what it was given. Tests reach the record by name in the loaded
// library.
#pragma once

#include <cstdint>

#include "hal_records.h"

enum QuarnScriptEntry {
    QS_QUERY_BOARD_SUPPORT,
    QS_GET_BOARD_INFO,
    QS_READ_VGA_INFO,
    QS_VALIDATE_MODE,
    QS_VALIDATE_VIDEO_PARAMETERS,
    QS_SET_MODE,
    QS_SWITCH_TO_VGA,
    QS_WRITE_VGA_INFO,
    QS_ENTRIES
};

constexpr int kQuarnScriptResults = 8;
constexpr int kQuarnScriptLog = 64;

struct QuarnScriptCall {
    int entry;
    ModeInfo mode; // the record handed in (validation and mode set)
    BoardHandle *board;
};

struct QuarnScript {
    uint32_t results[QS_ENTRIES][kQuarnScriptResults];
    int calls[QS_ENTRIES];
    // HALGetBoardInfo: ulChipID (0: read from configuration dword 0) and
    // ulMemoryType.
    uint32_t chipId;
    uint32_t memoryType;
    // HALValidateMode: ulFBPitch (0: the display width) and lDstOrg.
    uint32_t fbPitch;
    int32_t dstOrg;
    QuarnScriptCall log[kQuarnScriptLog];
    int logged;
};

extern "C" QuarnScript quarnScript;
