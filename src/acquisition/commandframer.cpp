#include "acquisition/commandframer.h"

#include "acquisition/devicelink.h"

namespace acq {

std::size_t commandLength(std::uint8_t code)
{
    switch (code) {
    case cmd::WriteRegister:
        return 3;
    case cmd::ReadRegister:
    case cmd::ReadMemoryBlock:
    case cmd::ClearProtection:
        return 2;
    case cmd::StartToComputer:
    case cmd::StartToMemory:
        return 9;
    case cmd::ExternalStartDelay:
    default:
        return 1;
    }
}

void CommandFramer::feed(const std::uint8_t* bytes, std::size_t count, std::vector<QByteArray>& commands)
{
    for (std::size_t i = 0; i < count;) {
        const std::size_t need = commandLength(partial_.isEmpty() ? bytes[i] : std::uint8_t(partial_[0]));
        const std::size_t take = std::min(need - std::size_t(partial_.size()), count - i);
        partial_.append(reinterpret_cast<const char*>(bytes + i), qsizetype(take));
        i += take;
        if (std::size_t(partial_.size()) == need) {
            commands.push_back(partial_);
            partial_.clear();
        }
    }
}

} // namespace acq
