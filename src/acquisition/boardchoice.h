#pragma once

// What the board chooser offers and does, without its widgets: the boards that can be chosen
// (serial ports with their USB identity, vendor-specific USB devices, the simulated board), the
// device-ID probe of one of them, the choice written into device.ini, and a udev rule that gives
// exactly the chosen board to the logged-in user.

#include "acquisition/deviceconfig.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace acq {

struct BoardCandidate {
    enum class Kind { Serial, Usb, Simulated };
    Kind kind = Kind::Simulated;
    QString path;         // a serial port's path
    QString usbId;        // "0403:6001"; empty for a port of no USB device
    QString description;  // manufacturer and product as the device tells them
    QString serialNumber; // of the USB device
    QString usbPort;      // where the USB device is plugged in ("1-1.2")

    // One line for the operator.
    QString label() const;
};

// The serial ports matching the patterns, the USB devices with a vendor-specific interface (a
// bridge in direct-access mode shows one), and the simulated board last.
std::vector<BoardCandidate> listBoardCandidates(const QStringList& serialPatterns,
                                                const QString& sysRoot = QStringLiteral("/sys"));

// base (line rate, waits, the simulated scene) with this board chosen.
DeviceSettings settingsFor(DeviceSettings base, const BoardCandidate& c);

// Asks the chosen board for the accelerometer's device ID, as the search does. The operator's
// words for the outcome; answered says whether the board answered as the accelerometer.
QString probeCandidate(const DeviceSettings& settings, bool& answered);

// Writes the choice into section [Device] of iniPath; every other key, section and comment stays,
// so the file can still be edited by hand. Throws platform::IniWriteError when it cannot.
void saveBoardChoice(const QString& iniPath, const BoardCandidate& c);

// A udev rule for this one board (by its serial number, else by the USB port it is plugged in),
// giving it to the logged-in user: a serial port also to the group dialout, named /dev/accel3.
// Empty with why filled when the board has no USB identity or a value no rule can carry.
QString udevRuleFor(const BoardCandidate& c, QString& why);
inline constexpr char kBoardRuleName[] = "61-accel3-board.rules";
// The command that installs ruleFile with root rights and applies it to the devices present.
QString udevInstallCommand(const QString& ruleFile);

} // namespace acq
