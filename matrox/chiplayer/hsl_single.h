// The two single-head families, eclipse and twister, run one set of
// routines. What tells them apart is a family record: the codes each step
// records, the family's own routine wherever a step calls one (a shared
// step on a twister board calls twister's routines and records twister's
// codes), and the few rules that differ. Internal to the chip layer.
#ifndef QUARN_HSL_SINGLE_H
#define QUARN_HSL_SINGLE_H

#include <stdint.h>

#include "hal_records.h"

namespace hsl {

struct SingleHeadCodes {
    uint32_t noClock, clockLimit, vOvscan, clockDepth; // ValidateVideoParameters
    uint32_t deskWidth, zoom, noTv, modeDepth, memory; // ValidateMode
    uint32_t pitchDepth, pitchWidth;                   // ComputePitch
    uint32_t route, setRoute, tvAlone;                 // the output routes
    uint32_t edidWhich, mafcMode, customCall;
};

using BoardOp = uint32_t (*)(BoardHandle *);
using ModeOp = uint32_t (*)(BoardHandle *, ModeInfo *);

struct SingleHead {
    SingleHeadCodes codes;

    // The family's routines, as its operation table and its shared steps
    // call them.
    BoardOp initAccess, getBoardInfo, initExtraJmpTbl, getPInSInfo;
    uint32_t (*setPowerState)(BoardHandle *, uint32_t);
    ModeOp validateMode, validateVideoParameters, validateLatency, setModeCaps, computePitch,
        computeDSTORG, setMode;
    uint32_t (*validateOutputMode)(BoardHandle *, ModeInfo *, uint32_t *);
    BoardOp switchToVGA;
    uint32_t (*programSystemClock)(BoardHandle *, SysClockInfo *);
    uint32_t (*setDisplayStart)(BoardHandle *, uint32_t, uint32_t);
    BoardOp waitEngineNotBusy, sgramInit, powerUp, initHardware, disableCRTC1Output;
    uint32_t (*getMonitorEDID)(BoardHandle *, uint32_t);
    BoardOp getPrimaryMonitorEDID, getFlatPanelMonitorEDID, getAddOnInfo;
    uint32_t (*controlMAFCPort)(BoardHandle *, uint32_t);
    uint32_t (*routePixelClock)(BoardHandle *, uint32_t);
    BoardOp validatePhysAddr;
    uint32_t (*customCall)(BoardHandle *, uint32_t, uint32_t *);

    // Rules that differ.
    uint32_t engineCaps;
    uint32_t modeCapsAlways; // flModeCaps bits set whatever the memory
    // Memory that takes the block-mode features (engine caps bit 11, mode
    // caps bits 0 and 2).
    bool (*blockModeMemory)(const BoardHandle *);
    bool tvParameters;        // slot 8 holds the TV encoder's ModifyTVParameters
    bool altI2CReaders;       // from revision 3 port 0 is read on other pins
    bool zoomAnyDesktop;      // zoom 2 and 4 pass whatever the desktop size
    bool panelOffByMode;      // output off tests the current mode, not flFeatures
    bool powerUpForgetsClock; // power-up forgets the programmed system clock
    bool powerSaves1E70;      // the power states keep register 0x1E70
    // Step 1 of the memory initialisation: the memory-type set-up.
    void (*memoryTypeSetup)(BoardHandle *);
    // The flat-panel module's I2C port once the module answered.
    uint8_t (*panelLinkPort)(const BoardHandle *);
};

extern const SingleHead kEclipseFamily;
extern const SingleHead kTwisterFamily;

// Shared bodies (hsl_ecl.cpp, hsl_ecl_mode.cpp). Each tests the error word
// first and returns it.
uint32_t singleInitAccess(const SingleHead &f, BoardHandle *pBoard);
uint32_t singleValidatePhysAddr(const SingleHead &f, BoardHandle *pBoard);
uint32_t singleGetBoardInfo(const SingleHead &f, BoardHandle *pBoard);
uint32_t singleInitExtraJmpTbl(const SingleHead &f, BoardHandle *pBoard);
uint32_t singleWaitEngineNotBusy(const SingleHead &f, BoardHandle *pBoard);
uint32_t singleSetPowerState(const SingleHead &f, BoardHandle *pBoard, uint32_t state);
uint32_t singleSwitchToVGA(const SingleHead &f, BoardHandle *pBoard);
uint32_t singleSGRAMInit(const SingleHead &f, BoardHandle *pBoard);
uint32_t singlePowerUp(const SingleHead &f, BoardHandle *pBoard);
uint32_t singleGetPrimaryMonitorEDID(const SingleHead &f, BoardHandle *pBoard);
uint32_t singleGetFlatPanelMonitorEDID(const SingleHead &f, BoardHandle *pBoard);
uint32_t singleGetMonitorEDID(const SingleHead &f, BoardHandle *pBoard, uint32_t which);
uint32_t singleControlMAFCPort(const SingleHead &f, BoardHandle *pBoard, uint32_t mode);
uint32_t singleRoutePixelClock(const SingleHead &f, BoardHandle *pBoard, uint32_t route);
uint32_t singleGetAddOnInfo(const SingleHead &f, BoardHandle *pBoard);

uint32_t singleValidateOutputMode(const SingleHead &f, BoardHandle *pBoard, ModeInfo *pMode,
                                  uint32_t *pRoute);
uint32_t singleComputePitch(const SingleHead &f, BoardHandle *pBoard, ModeInfo *pMode);
uint32_t singleValidateMode(const SingleHead &f, BoardHandle *pBoard, ModeInfo *pMode);
uint32_t singleSetModeCaps(const SingleHead &f, BoardHandle *pBoard, ModeInfo *pMode);
uint32_t singleValidateVideoParameters(const SingleHead &f, BoardHandle *pBoard, ModeInfo *pMode);
uint32_t singleDisableCRTC1Output(const SingleHead &f, BoardHandle *pBoard);
uint32_t singleSetModeCRTC1ToNoOutput(const SingleHead &f, BoardHandle *pBoard, ModeInfo *pMode);
uint32_t singleSetModeCRTC1ToDacFlat(const SingleHead &f, BoardHandle *pBoard, ModeInfo *pMode);
uint32_t singleSetModeCRTC1ToDacTV(const SingleHead &f, BoardHandle *pBoard, ModeInfo *pMode);
uint32_t singleSetModeCRTC1ToTV(const SingleHead &f, BoardHandle *pBoard, ModeInfo *pMode);
// The DAC route's steps after the pitch: timing, DAC, pixel clock, screen.
void singleDacSteps(BoardHandle *pBoard, ModeInfo *pMode);
// The free-memory words after a mode set.
void singleFreeMemory(BoardHandle *pBoard, const ModeInfo *pMode);
// The route a masked mode type names (ROUTE_NONE for none).
uint32_t singleRouteOf(uint32_t maskedType);
// 1, 2, 3 or 4 bytes per pixel; 0 for a depth the chips do not show.
uint32_t singleBytesPerPixel(int32_t bpp);

} // namespace hsl

#endif
