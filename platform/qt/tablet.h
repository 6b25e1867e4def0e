// Pen-tablet access in the shape of the calls the tools make, fed from Qt's
// tablet events. Without a tablet every call answers 0.
//
// Packets carry status, time, cursor, buttons, x, y, normal pressure and
// orientation (40 bytes). Tablet coordinates run 16 units per screen pixel
// with the y axis pointing up; the default system context maps them onto the
// whole screen. Each open context keeps a bounded queue of packets.
#pragma once

#include <cstdint>

#include "platform/qt/win_types.h"

class QScreen;
class QTabletEvent;
struct TabletContext;
using HCTX = TabletContext*;

struct ORIENTATION {
  int32_t orAzimuth;   // tenths of a degree
  int32_t orAltitude;  // tenths of a degree; negative: the pen is held upside down
  int32_t orTwist;
};

struct PACKET {
  uint32_t pkStatus;
  uint32_t pkTime;
  uint32_t pkCursor;
  uint32_t pkButtons;
  int32_t pkX;
  int32_t pkY;
  uint32_t pkNormalPressure;
  ORIENTATION pkOrientation;
};
static_assert(sizeof(PACKET) == 40);

struct AXIS {
  int32_t axMin;
  int32_t axMax;
  uint32_t axUnits;
  int32_t axResolution;  // 16.16
};

struct LOGCONTEXTA {
  char lcName[40];
  uint32_t lcOptions;
  uint32_t lcStatus;
  uint32_t lcLocks;
  uint32_t lcMsgBase;
  uint32_t lcDevice;
  uint32_t lcPktRate;
  uint32_t lcPktData;
  uint32_t lcPktMode;
  uint32_t lcMoveMask;
  uint32_t lcBtnDnMask;
  uint32_t lcBtnUpMask;
  int32_t lcInOrgX, lcInOrgY, lcInOrgZ;
  int32_t lcInExtX, lcInExtY, lcInExtZ;
  int32_t lcOutOrgX, lcOutOrgY, lcOutOrgZ;
  int32_t lcOutExtX, lcOutExtY, lcOutExtZ;
  int32_t lcSensX, lcSensY, lcSensZ;
  int32_t lcSysMode;
  int32_t lcSysOrgX, lcSysOrgY;
  int32_t lcSysExtX, lcSysExtY;
  int32_t lcSysSensX, lcSysSensY;
};

// Information categories and indices.
constexpr UINT WTI_DEFSYSCTX = 4;
constexpr UINT WTI_DEVICES = 100;  // + device number
constexpr UINT WTI_CURSORS = 200;  // + cursor number
constexpr UINT DVC_PKTDATA = 6;
constexpr UINT DVC_CSRDATA = 8;
constexpr UINT DVC_NPRESSURE = 15;
constexpr UINT DVC_ORIENTATION = 17;  // three axes: azimuth, altitude, twist
constexpr UINT CSR_SYSBTNMAP = 8;     // 32 bytes, one system action per button
// Packet status: the cursor is out of the tablet's proximity.
constexpr uint32_t TPS_PROXIMITY = 0x0001;
// Cursor numbers: the pen's tip and its eraser end.
constexpr uint32_t kTabletCursorPen = 1;
constexpr uint32_t kTabletCursorEraser = 2;
// Packet data bits.
constexpr uint32_t PK_STATUS = 0x0002;
constexpr uint32_t PK_TIME = 0x0004;
constexpr uint32_t PK_CURSOR = 0x0020;
constexpr uint32_t PK_BUTTONS = 0x0040;
constexpr uint32_t PK_X = 0x0080;
constexpr uint32_t PK_Y = 0x0100;
constexpr uint32_t PK_NORMAL_PRESSURE = 0x0400;
constexpr uint32_t PK_ORIENTATION = 0x1000;
constexpr uint32_t kTabletPacketData = PK_STATUS | PK_TIME | PK_CURSOR | PK_BUTTONS | PK_X | PK_Y |
                                       PK_NORMAL_PRESSURE | PK_ORIENTATION;  // 0x15E6
constexpr int kTabletUnitsPerPixel = 16;
constexpr int kTabletMaxPressure = 1023;
constexpr size_t kTabletQueueSize = 128;

UINT WTInfoA(UINT category, UINT index, void* output);
HCTX WTOpenA(HWND hwnd, LOGCONTEXTA* context, BOOL enable);
BOOL WTClose(HCTX context);
int WTPacketsGet(HCTX context, int maxPackets, void* packets);
int WTPacketsPeek(HCTX context, int maxPackets, void* packets);
BOOL WTGetA(HCTX context, LOGCONTEXTA* out);

// The tablet counts as present once a tablet event was seen (or a test says so).
void SetTabletPresent(bool present);
bool IsTabletPresent();
// Whether the tablet reports normal pressure: false without a tablet, else
// from the packet and cursor data of the default context's device.
bool TabletHasPressure();

// The packet of a Qt tablet event: screen position in tablet units (y up,
// from the bottom of the screen of height screenHeight pixels), pressure
// scaled to 0..1023, the eraser end as a negative altitude (at least one
// tenth of a degree below zero, so even a flat eraser reads as upside
// down), the pen's buttons (tip 1, lower barrel 2, upper barrel 4), and
// TPS_PROXIMITY while the pen is out of proximity.
PACKET TabletPacketFromEvent(const QTabletEvent& e, uint32_t time, int screenHeight);
// A window's tablet event: the tablet becomes present and the packet, stamped
// with the input source's clock, is queued on every open context.
void TabletNoteEvent(const QTabletEvent& e, const QScreen* screen);
// Proximity comes to the application, not to a window: the filter installed
// once on the application notes it (entering makes the tablet present;
// leaving queues a packet with TPS_PROXIMITY at the last position).
void InstallTabletProximityFilter();
void TabletNoteProximity(bool inProximity);
bool IsTabletInProximity();
// Queues a packet on every open context (oldest dropped when full).
void TabletQueuePacket(const PACKET& packet);
// Closes every context and forgets the tablet (exit and tests).
void UnloadWintab();
