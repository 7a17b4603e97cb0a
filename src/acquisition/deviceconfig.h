#pragma once

// Which board the device library talks to. The choice is made once, when the main window is
// created, from (in this order of precedence):
//   1. the environment variable ACCEL3_DEVICE,
//   2. the key Backend of section [Device] in "device.ini" beside the executable,
//   3. a search: a real board where one is looked for (the serial ports of the known or listed
//      bridges, a USB device whose IDs device.ini gives), else no board at all. The simulated
//      board is used only when it is chosen.
// "device.ini" also tunes the simulated board (section [Simulator]) and the line to a real one.
//
// ACCEL3_DEVICE: "auto" (search as with nothing set), "sim", "none", "serial" (find the board),
// "serial:/dev/ttyUSB0", "usb:0403:6014" (vendor and product ID in hexadecimal, optionally ":serial number").

#include "acquisition/boardsearch.h"
#include "acquisition/devicelibrary.h"
#include "acquisition/serialline.h"
#include "acquisition/streambackend.h"
#include "acquisition/usbboard.h"
#include "acquisition/simulatedboard.h"
#include "platform/ticks.h"

#include <QString>

#include <memory>

namespace acq {

inline constexpr char kDeviceEnvironmentVariable[] = "ACCEL3_DEVICE";
inline constexpr char kDeviceIniName[] = "device.ini";

struct DeviceSettings {
    // "auto": a real board if the search finds one, else none;
    // "sim": the simulated board; "none": no board, every command fails; "serial": a board on a
    // serial line (serial.port empty or "auto": found by probing); "usb": a USB device in
    // direct-access mode.
    QString backend = QStringLiteral("auto");
    // Where the choice came from: "default", the variable's name or the INI file's path.
    QString origin = QStringLiteral("default");
    SimulatedBoard::Settings simulator;
    SerialSettings serial;
    UsbSettings usb;
    StreamOptions stream;
    // A device.ini that is there but could not be read: what the operator is told, once.
    QString unreadNote;
};

// A value for the 1251 file that reads back as itself: a character the code page lacks is written
// "\uXXXX" (a USB serial number may be any Unicode text), a backslash "\\".
QString escapeIniText(const QString& text);
QString unescapeIniText(const QString& text);

// iniPath may name a missing file; an empty environmentValue counts as not set. Values that do
// not parse keep their defaults: a typo must not stop the program from starting.
DeviceSettings readDeviceSettings(const QString& iniPath, const QString& environmentValue);

// What the operator reads below a command that failed because the search found no board.
inline constexpr char kNoBoardHint[] = "Плата не найдена. Выберите плату или имитатор платы: «Плата…» в меню "
                                       "правой кнопки мыши на индикаторе связи.";

// A backend name nobody knows gives a board that is never there, so the operator sees the
// program's own "command not sent" messages instead of a board that silently is not the one
// configured.
std::unique_ptr<DeviceBackend> makeBackend(const DeviceSettings& settings, platform::TickSource& ticks);

} // namespace acq
