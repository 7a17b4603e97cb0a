#pragma once

#include <QString>

#include <array>
#include <cstdint>

namespace platform {
class IniFile;
}

namespace files {

// Everything the main window keeps between runs. The defaults are those of a
// first start with no settings file.
struct MainSettings {
    int height = 515;
    int width = 794;
    int left = 0;
    int top = 0;

    int timeUnits = 0;       // cbTimeunits: "мкс", "мс", "с"
    int xyMode = 0;          // cbShowK: the four views
    int smoothWeight = 8;    // seSmooth
    int timeStep = 1;        // seTimeStep
    int samplesStep = 1;     // seSamplesStep
    int divider = 1;         // cbDivider: "запятая", "точка"
    int loadHelpOnStart = 0; // cbHelp: 0 "загружать", 1 "не загружать"

    // Colours are 0x00BBGGRR values, as stored in the file.
    std::array<std::uint32_t, 3> channelColour{64, 128, 192};
    std::array<bool, 3> channelSelected{true, true, true};
    std::uint32_t modulusColour = 0;
    std::uint32_t pulseColour = 0;

    int sensitivity = 0; // cbRange
    int frequency = 0;   // cbF
    int samples = 16384; // seSamples
    int pcOrMem = 0;     // rgMem: "В компьютер", "В память"
    bool externalStart = false;
    int delay = 0; // seDelayStart, seconds

    bool modulusShown = true;
    bool markShown = true;
    bool pulseShown = true;
    int degreeOrTime = 1; // rgTimGrad: "Время", "Градусы"

    // The chart's view choices of the "График" panel and the marker table's place: its gaps to
    // the plot's right and top edges, in pixels.
    bool fitValuesToVisible = false;
    bool pulseStrip = false;
    bool markerTableShown = true;
    int markerTableRight = 4;
    int markerTableTop = 4;

    friend bool operator==(const MainSettings&, const MainSettings&) = default;
};

// "tremor.ini": a missing file, section or key, or a value that is no integer, gives the value of
// `defaults`. Nothing is checked against the controls' ranges here: the controls bring values
// into their own bounds, and a list index outside its list selects the list's default item.
MainSettings readMainSettings(const platform::IniFile& ini, const MainSettings& defaults = {});
MainSettings readMainSettingsFile(const QString& path, const MainSettings& defaults = {});

// Sets every key, in the order the file has always had them; the caller saves.
void writeMainSettings(platform::IniFile& ini, const MainSettings& s);
// Writes the file with every key in one replacement, so a failure or a kill leaves the previous
// file exactly as it was, and never a mixture of old and new keys. A file too large to have been
// read is replaced. Throws platform::IniWriteError.
void writeMainSettingsFile(const QString& path, const MainSettings& s);

} // namespace files
