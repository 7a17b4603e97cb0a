#include "acquisition/deviceconfig.h"

#include "platform/inifile.h"

#include <cmath>

namespace acq {

namespace {

const QString kDeviceSection = QStringLiteral("Device");
const QString kSimulatorSection = QStringLiteral("Simulator");

// The file is edited by hand on machines with either decimal separator.
void readNumber(const platform::IniFile& ini, const char* key, double& value)
{
    const QString k = QString::fromLatin1(key);
    auto v = ini.readDouble(kSimulatorSection, k, QLatin1Char('.'));
    if (!v)
        v = ini.readDouble(kSimulatorSection, k, QLatin1Char(','));
    if (v && std::isfinite(*v))
        value = *v;
}

QString canonicalBackend(const QString& name)
{
    const QString n = name.trimmed().toLower();
    if (n == QLatin1String("sim") || n == QLatin1String("simulator") || n == QLatin1String("simulated"))
        return QStringLiteral("sim");
    return n;
}

} // namespace

DeviceSettings readDeviceSettings(const QString& iniPath, const QString& environmentValue)
{
    DeviceSettings s;
    const platform::IniFile ini(iniPath);
    const QString fromIni = ini.readString(kDeviceSection, QStringLiteral("Backend"), {});
    if (!fromIni.trimmed().isEmpty()) {
        s.backend = canonicalBackend(fromIni);
        s.origin = iniPath;
    }
    if (!environmentValue.trimmed().isEmpty()) {
        s.backend = canonicalBackend(environmentValue);
        s.origin = QString::fromLatin1(kDeviceEnvironmentVariable);
    }

    SimScene& scene = s.simulator.scene;
    readNumber(ini, "GravityG", scene.gravityG);
    readNumber(ini, "TremorHz", scene.tremorHz);
    readNumber(ini, "TremorG", scene.tremorG);
    readNumber(ini, "VibrationHz", scene.vibrationHz);
    readNumber(ini, "VibrationG", scene.vibrationG);
    readNumber(ini, "NoiseG", scene.noiseG);
    readNumber(ini, "PulseHz", scene.pulseHz);
    scene.seed = std::uint32_t(ini.readInteger(kSimulatorSection, QStringLiteral("Seed"), int(scene.seed)));
    const int contact =
        ini.readInteger(kSimulatorSection, QStringLiteral("ContactOpenMs"), int(s.simulator.contactOpenMs));
    if (contact >= 0)
        s.simulator.contactOpenMs = std::uint32_t(contact);
    return s;
}

std::unique_ptr<DeviceBackend> makeBackend(const DeviceSettings& settings, platform::TickSource& ticks)
{
    if (settings.backend == QLatin1String("sim"))
        return std::make_unique<SimulatedBoard>(ticks, settings.simulator);
    if (settings.backend == QLatin1String("none"))
        return std::make_unique<NoBoard>(QStringLiteral("no board (%1)").arg(settings.origin));
    return std::make_unique<NoBoard>(
        QStringLiteral("unknown board \"%1\" (%2)").arg(settings.backend, settings.origin));
}

} // namespace acq
