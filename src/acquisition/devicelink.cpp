#include "acquisition/devicelink.h"

#include <algorithm>

namespace acq {

std::array<std::uint8_t, 9> startCommand(const StartParams& p)
{
    std::array<std::uint8_t, 9> c{};
    c[0] = p.toMemory ? cmd::StartToMemory : cmd::StartToComputer;
    c[1] = p.channels.mask();
    for (int i = 0; i < 4; ++i)
        c[std::size_t(2 + i)] = std::uint8_t(p.samples >> (8 * i));
    c[6] = std::uint8_t(p.frequencyIndex);
    c[7] = std::uint8_t(p.rangeIndex);
    c[8] = p.externalStart ? kExternalStartMark : std::uint8_t(p.delayS);
    return c;
}

std::array<RegisterStep, 6> registerSetup(std::uint8_t rateCode, std::uint8_t rangeIndex)
{
    return {{
        {0x2E, 0x00, "Запрет прерываний"},
        {0x2C, rateCode, "Частоты выборки акселерометра"},
        {0x31, rangeIndex, "Диапазон акселерометра"},
        {0x2F, 0x7F, "Int_Map"},
        {0x2E, 0x80, "Int_Enabled"},
        {0x2D, 0x08, "Measure Enable"},
    }};
}

QString sendFailedMessage(int step, const QString& name)
{
    return QStringLiteral("Не удалось передать команду %1 (%2), проверьте подключение устройства.")
        .arg(step)
        .arg(name);
}

QString registerMismatchMessage(std::uint8_t address)
{
    return QStringLiteral("Не удалось установить состояние регистра %1")
        .arg(QString::number(address, 16).toUpper());
}

QString asRemark(QString text)
{
    while (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    // The first word up to a blank or hyphen: "USB-устройство" is lowered nowhere, "Порт" is.
    qsizetype end = 0;
    while (end < text.size() && text[end].isLetterOrNumber())
        ++end;
    const bool moreCapitals = std::any_of(text.begin() + std::min<qsizetype>(1, end), text.begin() + end,
                                          [](QChar c) { return c.isUpper(); });
    if (end > 0 && !moreCapitals)
        text[0] = text[0].toLower();
    return text;
}

bool protectionCleared(int readStatus, const QByteArray& reply)
{
    return readStatus == si::Success && !reply.isEmpty() && std::uint8_t(reply[0]) == 0x40;
}

std::uint8_t DeviceLink::SendCmd(const std::uint8_t* bytes, std::uint32_t count)
{
    lastStatus = std::uint8_t(library_.SI_Write(deviceHandle, bytes, count, &bytesWritten, nullptr));
    pause();
    return lastStatus;
}

std::optional<std::uint8_t> DeviceLink::CheckAxRg(std::uint8_t address)
{
    // Byte 2 stays as it is: a caller that has just written the register still finds the value
    // it wrote there.
    commandBuffer[0] = cmd::ReadRegister;
    commandBuffer[1] = address;
    pause();
    if (SendCmd(2) != 0)
        return std::nullopt;
    pause();
    const QByteArray reply = readReply(kRegisterReplyMax);
    if (lastStatus != 0 || reply.isEmpty())
        return std::nullopt;
    return std::uint8_t(reply[0]);
}

DeviceLink::RegisterResult DeviceLink::writeRegister(std::uint8_t address, std::uint8_t value)
{
    commandBuffer[0] = cmd::WriteRegister;
    commandBuffer[1] = address;
    commandBuffer[2] = value;
    if (SendCmd(3) != 0)
        return RegisterResult::NotSent;
    return CheckAxRg(address) == value ? RegisterResult::Written : RegisterResult::Mismatch;
}

QByteArray DeviceLink::readReply(std::uint32_t maxBytes)
{
    QByteArray buffer(qsizetype(maxBytes), Qt::Uninitialized);
    std::uint32_t got = 0;
    lastStatus = std::uint8_t(library_.SI_Read(deviceHandle, buffer.data(), maxBytes, &got, nullptr));
    if (lastStatus != 0)
        return {};
    buffer.truncate(qsizetype(got));
    return buffer;
}

QByteArray DeviceLink::readNow(std::uint32_t maxBytes)
{
    QByteArray buffer(qsizetype(maxBytes), Qt::Uninitialized);
    std::uint32_t got = 0;
    lastStatus = std::uint8_t(library_.readNow(buffer.data(), maxBytes, &got));
    if (lastStatus != 0)
        return {};
    buffer.truncate(qsizetype(got));
    return buffer;
}

std::uint8_t DeviceLink::close()
{
    lastStatus = std::uint8_t(library_.SI_Close(deviceHandle));
    return lastStatus;
}

} // namespace acq
