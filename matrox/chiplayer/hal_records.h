/*
 * The records the Matrox chip layer keeps its whole state in and shares with
 * the driver side: the board handle with its board data and operation table,
 * the display mode, the VGA text-mode image and the system clock. The chip
 * layer allocates nothing: the driver side allocates the handle, zeroes it,
 * and hands it to every call.
 *
 * The target's layout is fixed (the handle is 1556 bytes, the chip layer
 * reports that size and the three size words hold the target's values); on
 * the host the 34 operation slots and the three trailing pointers are 8
 * bytes each, so the record is larger there and is allocated by sizeof.
 */
#ifndef QUARN_HAL_RECORDS_H
#define QUARN_HAL_RECORDS_H

#include <stddef.h>
#include <stdint.h>

typedef struct _BoardHandle BoardHandle;

/* The system PLL and the three clocks derived from it by ratio codes (high
 * nibble numerator, low nibble denominator: 0x23 is two thirds). */
typedef struct _SysClockInfo {
    uint32_t ulSystemPllFreq; /* kHz; 0 forces the next programming */
    uint32_t ulMCTLWTST;      /* memory timing, register 0x1C08 */
    uint8_t ucGraphicClockDiv;
    uint8_t ucGraphicClockDesc; /* bits 0-3 duty cycle, bits 4-5 source */
    uint8_t ucMemoryClockDiv;
    uint8_t ucMemoryClockDesc;
    uint8_t ucWarpClockDiv;
    uint8_t ucWarpClockDesc;
    uint8_t aucSpare[2];
} SysClockInfo;

/* lModeType bits. */
enum {
    MODE_TYPE_CRTC2 = 0x80000,
    MODE_TYPE_NO_OUTPUT = 0x100000,
    MODE_TYPE_DAC = 0x200000,
    MODE_TYPE_SECOND_OUTPUT = 0x400000,
    MODE_TYPE_DAC_ON = 0x1000000,
    MODE_TYPE_TV = 0x2000000,
    MODE_TYPE_TV2 = 0x4000000,
    MODE_TYPE_FLAT_PANEL = 0x10000000
};

/* lSignalMode bits. */
enum { SIGNAL_INTERLACED = 0x1, SIGNAL_HSYNC_POSITIVE = 0x4, SIGNAL_VSYNC_POSITIVE = 0x8 };

/* One display mode and its placement; words 0-22 are the caller's, 23-31
 * results of validation and mode setting. */
typedef struct _ModeInfo {
    uint32_t ulDispWidth;
    int32_t lDispHeight;
    int32_t lDeskWidth;
    int32_t lDeskHeight;
    int32_t lBpp; /* 8, 15, 16, 24, 32, or a second-CRTC format code */
    int32_t lModeType;
    int32_t lZoom;
    int32_t lRefreshRate;    /* Hz */
    int32_t lHorizontalRate; /* kHz */
    int32_t lPixClock;       /* kHz */
    int32_t lHFPorch;
    int32_t lHSync;
    int32_t lHBPorch;
    int32_t lHOvscan;
    int32_t lVFPorch;
    int32_t lVSync;
    int32_t lVBPorch;
    int32_t lVOvscan;
    int32_t lSignalMode;
    int32_t alTVAdjust[4];
    uint32_t ulFBPitch; /* pixels; a non-zero value going in is a lower bound */
    int32_t lDstOrg;    /* pixels */
    int32_t lDisplayOrg;
    int32_t lDisplayOrg2; /* planar second-CRTC formats */
    int32_t lPanXStep;
    int32_t lPanYStep;
    int32_t lDisplayStartX;
    int32_t lDisplayStartY;
    uint32_t flModeCaps;
} ModeInfo;

/* The VGA registers text mode needs. */
typedef struct _VgaInfo {
    uint8_t aucSeq[4]; /* sequencer registers 1 to 4 */
    uint8_t ucMisc;
    uint8_t aucCrtc[25];
    uint8_t aucAttr[20];
    uint8_t aucGc[9];
    uint8_t aucSpare[3];
} VgaInfo;

/* flMonitor bits. */
enum {
    MONITOR_CONNECTED = 0x01,
    MONITOR_EDID_VALID = 0x02,
    MONITOR_GTF = 0x04,
    MONITOR_DIGITAL = 0x08,
    MONITOR_TV = 0x10,
    MONITOR_HD15_TV_ADAPTOR = 0x20
};

/* A monitor as DDC and EDID describe it; filled by the monitor routines. */
typedef struct _MonitorInfo {
    uint32_t flMonitor;
    uint32_t ulEDIDVersion; /* major in bits 4-7, revision in 0-3; 0 without EDID */
    uint8_t aucEDID[256];
    uint32_t ulMinVertRate; /* Hz */
    uint32_t ulMaxVertRate;
    uint32_t ulMinHorzRate; /* kHz */
    uint32_t ulMaxHorzRate;
    uint32_t ulMaxPixelClock; /* kHz */
    uint32_t ulMaxImageWidth; /* mm */
    uint32_t ulMaxImageHeight;
    uint32_t ulPreferredWidth;
    uint32_t ulPreferredHeight;
} MonitorInfo;

/* TV output state and picture settings; filled by the TV routines. */
typedef struct _TVState {
    uint32_t aulData[9];
} TVState;

/* The register image handed to ClientCallBiosInt10: word 0 the function,
 * word 1 the argument in and the answer out. */
typedef struct _BiosCallRegisters {
    uint32_t aulReg[8];
} BiosCallRegisters;

#define HSL_PINS_BYTES 128

/* The chip layer's board data. */
typedef struct _HSLData {
    uint32_t ulHSLStructSize;
    uint32_t ulHSLStructRev;
    uint32_t ulBaseRegister; /* physical base of the register window */
    uint32_t ulFrameBuffer;  /* physical base of the frame buffer */
    uint32_t ulPLLRefFrequence;
    uint32_t ulI2CChannel2Cache;
    uint8_t ucFactoryOpt;
    uint8_t ucI2CAddMaven;
    uint8_t ucMavenVersion;
    uint8_t ucI2CAddVideoDecoder;
    uint8_t ucVideoDecoderKind;
    uint8_t ucI2CAddPanelLinkModule;
    uint8_t ucI2CPortPanelLink;
    uint8_t ucI2CAddPanelLink;
    uint8_t ucI2CAddMSPChip;
    uint8_t ucI2CAddTVTuner;
    uint8_t ucI2CAddHD15Module;
    uint8_t ucI2CPortSecondHD15;
    uint32_t ulMSPVersion;
    uint8_t aucPInS[HSL_PINS_BYTES]; /* the board-data block from the option ROM */
    uint32_t ulPLLFreqRef;           /* kHz */
    uint32_t ulVCOMax;
    uint32_t ulSystemVCOMax;
    uint32_t ulPclkMax8;
    uint32_t ulPclkMax16;
    uint32_t ulPclkMax24;
    uint32_t ulPclkMax32;
    uint32_t ulMCTLWTST;
    uint32_t ulMemoryConfig;
    uint32_t ulVidCtrl;
    uint32_t ulOption;
    uint32_t ulOption2;
    uint32_t ulMemRdBk;
    uint32_t ulCRTCEXT6;
    uint32_t ulCS_PCI_AGP_CMD;
    uint32_t ulCS_PCI_SubSysID;
    uint32_t aulPowerSave[6];
} HSLData;

/* Every slot takes the handle first and returns the handle's error word; a
 * slot's other arguments depend on the slot, so the table holds the generic
 * function pointer type and each dispatcher calls through the slot's own. */
typedef void (*HSLJumpSlot)(void);

enum {
    HSL_SLOT_SET_POWER_STATE,
    HSL_SLOT_VALIDATE_MODE,
    HSL_SLOT_VALIDATE_VIDEO_PARAMETERS,
    HSL_SLOT_SWITCH_TO_VGA,
    HSL_SLOT_SET_MODE,
    HSL_SLOT_PROGRAM_SYSTEM_CLOCK,
    HSL_SLOT_SET_DISPLAY_START,
    HSL_SLOT_GET_TV_PARAMETERS,
    HSL_SLOT_MODIFY_TV_PARAMETERS,
    HSL_SLOT_GET_TV_PROC_AMP,
    HSL_SLOT_SET_TV_PROC_AMP,
    HSL_SLOT_SET_TV_STANDARD,
    HSL_SLOT_SET_TV_CABLE_TYPE,
    HSL_SLOT_DETECT_TV,
    HSL_SLOT_SET_TV_OUT_MODE,
    HSL_SLOT_SET_TV_COLOR_BAR_MODE,
    HSL_SLOT_SET_TV_PASS_THROUGH_MODE,
    HSL_SLOT_SET_TV_DISABLE_MODE,
    HSL_SLOT_I2C_SET_SCL,
    HSL_SLOT_I2C_GET_SCL,
    HSL_SLOT_I2C_SET_SDA,
    HSL_SLOT_I2C_GET_SDA,
    HSL_SLOT_GET_MAX_I2C_CLOCK,
    HSL_SLOT_INIT_ACCESS,
    HSL_SLOT_GET_BOARD_INFO,
    HSL_SLOT_GET_MONITOR_EDID,
    HSL_SLOT_GET_ADD_ON_INFO,
    HSL_SLOT_SENCE_MONITOR_LOAD,
    HSL_SLOT_INIT_EXTRA_JMP_TBL,
    HSL_SLOT_CONTROL_MAFC_PORT,
    HSL_SLOT_ROUTE_PIXEL_CLOCK,
    HSL_SLOT_INIT_HARDWARE,
    HSL_SLOT_VALIDATE_PHYS_ADDR,
    HSL_SLOT_CUSTOM_CALL,
    HSL_SLOT_COUNT
};

typedef struct _HSLJumpTable {
    uint32_t ulJmpTblStructSize; /* 144 */
    uint32_t ulJmpTblStructRev;
    HSLJumpSlot apfnSlot[HSL_SLOT_COUNT];
} HSLJumpTable;

#define HSL_FLCRTCINFO_WORDS 16
#define HSL_SERIAL_BYTES 32

struct _BoardHandle {
    uint32_t ulHALStructSize; /* 1144: the part before HSLData */
    uint32_t ulHALStructRev;
    uint32_t ulErrorCode;
    ModeInfo CurrentModeCRTC1;
    ModeInfo CurrentModeCRTC2;
    uint32_t ulFreeMemStart1;
    uint32_t ulFreeMemSize1;
    uint32_t ulFreeMemStart2;
    uint32_t ulFreeMemSize2;
    uint32_t ulChipID; /* device id in bits 31-16, vendor id in 15-0 */
    uint32_t ulChipRev;
    uint32_t ulSubSystemID;
    uint32_t flCRTCInfo[HSL_FLCRTCINFO_WORDS];
    uint32_t ulBiosProg;
    uint32_t ulBiosVersion; /* major 16-19, minor 12-15, build 0-7 */
    uint32_t ulBiosOutputMode;
    uint32_t ulPCBRev;
    uint32_t ulProductID;
    char SerialNumber[HSL_SERIAL_BYTES];
    uint32_t flFeatures;
    uint32_t flStraps; /* bit 0 VGA-compatible device, bit 1 hardware initialised */
    uint32_t ulIntCtrlReg;
    uint32_t flEngineCaps1;
    uint32_t ulMemoryType;
    uint32_t ulBaseMemory;
    uint32_t ulAddonMemory;
    uint32_t ulDVDInfo;
    SysClockInfo CurrentSysClock;
    SysClockInfo SysClockVGA;
    SysClockInfo SysClockMode1;
    SysClockInfo SysClockMode2;
    MonitorInfo PrimaryMonitor;
    MonitorInfo SecondMonitor;
    /* Elaborated: the members share their records' names. */
    struct _TVState TVState;
    struct _HSLData HSLData;
    struct _HSLJumpTable HSLJumpTable;
    void *ulClientPrivate;   /* the driver's screen private */
    void *ulMappedRegisters; /* the mapped 16 KB control-register window */
    void *ulMappedMemory;    /* the mapped frame-buffer window */
};

/* The sizes the chip layer reports and stores: the target's. */
#define HAL_HANDLE_SIZE 1556
#define HAL_STRUCT_SIZE 1144
#define HSL_DATA_SIZE 256
#define HSL_JUMP_TABLE_SIZE 144

#ifdef __cplusplus
#define QUARN_STATIC_ASSERT static_assert
#else
#define QUARN_STATIC_ASSERT _Static_assert
#endif

QUARN_STATIC_ASSERT(sizeof(SysClockInfo) == 16, "SysClockInfo is 16 bytes");
QUARN_STATIC_ASSERT(sizeof(ModeInfo) == 128, "ModeInfo is 32 words");
QUARN_STATIC_ASSERT(sizeof(VgaInfo) == 62, "VgaInfo is 62 bytes");
QUARN_STATIC_ASSERT(sizeof(MonitorInfo) == 300, "MonitorInfo is 300 bytes");
QUARN_STATIC_ASSERT(offsetof(MonitorInfo, aucEDID) == 8 &&
                        offsetof(MonitorInfo, ulMinVertRate) == 264,
                    "MonitorInfo fields in their places");
QUARN_STATIC_ASSERT(sizeof(TVState) == 36, "TVState is 36 bytes");
QUARN_STATIC_ASSERT(sizeof(HSLData) == HSL_DATA_SIZE, "HSLData is 256 bytes");
QUARN_STATIC_ASSERT(offsetof(HSLData, aucPInS) == 40 && offsetof(HSLData, ulPLLFreqRef) == 168 &&
                        offsetof(HSLData, aulPowerSave) == 232,
                    "HSLData fields in their places");
QUARN_STATIC_ASSERT(offsetof(BoardHandle, HSLData) == HAL_STRUCT_SIZE,
                    "the part before HSLData is 1144 bytes");
QUARN_STATIC_ASSERT(offsetof(BoardHandle, CurrentSysClock) == 444 &&
                        offsetof(BoardHandle, PrimaryMonitor) == 508 &&
                        offsetof(BoardHandle, TVState) == 1108,
                    "the handle's blocks in their places");
QUARN_STATIC_ASSERT(offsetof(BoardHandle, HSLJumpTable) == HAL_STRUCT_SIZE + HSL_DATA_SIZE,
                    "the operation table follows HSLData");
#if defined(__i386__)
QUARN_STATIC_ASSERT(sizeof(HSLJumpTable) == HSL_JUMP_TABLE_SIZE, "the jump table is 144 bytes");
QUARN_STATIC_ASSERT(offsetof(BoardHandle, ulClientPrivate) == 1544 &&
                        offsetof(BoardHandle, ulMappedRegisters) == 1548 &&
                        offsetof(BoardHandle, ulMappedMemory) == 1552,
                    "the three trailing words");
QUARN_STATIC_ASSERT(sizeof(BoardHandle) == HAL_HANDLE_SIZE, "the handle is 1556 bytes");
#endif

#endif
