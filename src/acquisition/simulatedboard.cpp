#include "acquisition/simulatedboard.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <optional>

namespace acq {

namespace {

// ADXL345 registers the board's firmware and the program care about.
constexpr std::uint8_t kRegDevId = 0x00;
constexpr std::uint8_t kRegBwRate = 0x2C;
constexpr std::uint8_t kRegPowerCtl = 0x2D;
constexpr std::uint8_t kRegIntEnable = 0x2E;
constexpr std::uint8_t kRegIntMap = 0x2F;
constexpr std::uint8_t kRegDataFormat = 0x31;
constexpr std::uint8_t kLastRegister = 0x39;

bool readOnlyRegister(std::uint8_t a)
{
    // Device ID, the reserved block, the interrupt source, the data registers and the FIFO status
    // are the chip's to set; a write to them changes nothing.
    return a <= 0x1C || a == 0x30 || (a >= 0x32 && a <= 0x37) || a == 0x39;
}

std::uint64_t splitmix(std::uint64_t x)
{
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// Uniform in [-1, 1), a fixed function of its arguments.
double noiseUnit(std::uint32_t seed, int axis, std::int64_t frame)
{
    const std::uint64_t h =
        splitmix((std::uint64_t(seed) << 34) ^ (std::uint64_t(axis) << 62) ^ std::uint64_t(frame));
    return double(h >> 11) / double(1ull << 52) - 1.0;
}

constexpr std::uint8_t kGarbageMask = 0xA5;

} // namespace

int sensitivityPerG(int rangeIndex)
{
    return 256 >> std::clamp(rangeIndex, 0, 3);
}

double rateForCode(std::uint8_t code)
{
    return 3200.0 / double(1u << (15 - (code & 0x0F)));
}

int sceneCounts(const SimScene& scene, int axis, std::int64_t frame, double rateHz, int rangeIndex)
{
    const double t = rateHz > 0 ? double(frame) / rateHz : 0.0;
    constexpr double twoPi = 2.0 * std::numbers::pi;
    double g = 0;
    switch (axis) {
    case AxisX:
        g = scene.tremorG * std::sin(twoPi * scene.tremorHz * t);
        break;
    case AxisY:
        g = scene.vibrationG * std::sin(twoPi * scene.vibrationHz * t);
        break;
    default:
        g = scene.gravityG;
        break;
    }
    g += scene.noiseG * noiseUnit(scene.seed, axis, frame);
    const long counts = std::lround(g * sensitivityPerG(rangeIndex));
    return int(std::clamp(counts, -512L, 511L));
}

bool scenePulse(const SimScene& scene, std::int64_t frame, double rateHz)
{
    if (rateHz <= 0 || scene.pulseHz <= 0)
        return false;
    const double turns = double(frame) / rateHz * scene.pulseHz;
    return turns - std::floor(turns) >= 0.5;
}

SimulatedBoard::SimulatedBoard(platform::TickSource& ticks, Settings settings)
    : ticks_(ticks), settings_(settings), registers_(kLastRegister + 1, 0), memory_(kMemoryBytes, 0)
{
    // Power-on values of the registers that have one other than 0.
    registers_[kRegDevId] = kDeviceId;
    registers_[kRegBwRate] = 0x0A;
}

QString SimulatedBoard::description() const
{
    return QStringLiteral("имитатор платы, встроенный в программу");
}

std::uint8_t SimulatedBoard::registerValue(std::uint8_t address) const
{
    return address <= kLastRegister ? registers_[address] : 0;
}

void SimulatedBoard::writeRegister(std::uint8_t address, std::uint8_t value)
{
    if (address > kLastRegister || readOnlyRegister(address))
        return;
    registers_[address] = value;
}

void SimulatedBoard::queueReply(const std::uint8_t* bytes, std::size_t count)
{
    replies_.insert(replies_.end(), bytes, bytes + count);
}

void SimulatedBoard::failWrite(int nth)
{
    writeFaults_.push_back(std::max(1, nth));
}

void SimulatedBoard::failRead(ReadFault fault, int nth, std::uint32_t shortBytes)
{
    readFaults_.push_back({std::max(1, nth), fault, shortBytes});
}

std::uint64_t SimulatedBoard::framesProducedBy(std::uint32_t now) const
{
    if (!run_.active || !run_.measuring || run_.rateHz <= 0)
        return 0;
    const std::uint32_t elapsed = platform::ticksSince(run_.startTick, now);
    if (elapsed < run_.firstSampleAfterMs)
        return 0;
    // The chip signals a sample one period after it starts converting.
    const double frames = std::floor(double(elapsed - run_.firstSampleAfterMs) * run_.rateHz / 1000.0);
    std::uint64_t n = std::min<std::uint64_t>(std::uint64_t(frames), run_.samples);
    if (run_.toMemory && frameBytes() > 0)
        n = std::min<std::uint64_t>(n, (kMemoryBytes - kHeaderBytes) / std::uint64_t(frameBytes()));
    return n;
}

void SimulatedBoard::appendFrame(std::vector<std::uint8_t>& out, std::int64_t frame) const
{
    const int n = run_.channels.count();
    for (int slot = 0; slot < n; ++slot) {
        const int axis = run_.channels.axisOfSlot(slot);
        // The chip's 16-bit output is the sign-extended 10-bit reading; the board puts the pulse
        // input into bit 15 of the frame's last word.
        auto w = std::uint16_t(
            std::int16_t(sceneCounts(settings_.scene, axis, frame, run_.rateHz, run_.rangeIndex)));
        if (slot == n - 1) {
            w = std::uint16_t(w & 0x7FFFu);
            if (scenePulse(settings_.scene, frame, run_.rateHz))
                w = std::uint16_t(w | 0x8000u);
        }
        out.push_back(std::uint8_t(w & 0xFF));
        out.push_back(std::uint8_t(w >> 8));
    }
}

void SimulatedBoard::appendStreamBytes(std::vector<std::uint8_t>& out, std::uint64_t from,
                                       std::uint64_t to) const
{
    const auto fb = std::uint64_t(frameBytes());
    if (fb == 0 || to <= from)
        return;
    std::vector<std::uint8_t> frame;
    for (std::uint64_t k = from / fb; k * fb < to; ++k) {
        frame.clear();
        appendFrame(frame, std::int64_t(k));
        const std::uint64_t begin = std::max(from, k * fb) - k * fb;
        const std::uint64_t end = std::min(to, (k + 1) * fb) - k * fb;
        out.insert(out.end(), frame.begin() + std::ptrdiff_t(begin), frame.begin() + std::ptrdiff_t(end));
    }
}

void SimulatedBoard::syncMemory()
{
    if (!run_.active || !run_.toMemory)
        return;
    const std::uint64_t n = framesProducedBy(ticks_.now());
    if (!writeProtected_) {
        std::vector<std::uint8_t> bytes;
        for (std::uint64_t k = run_.done; k < n; ++k) {
            bytes.clear();
            appendFrame(bytes, std::int64_t(k));
            std::copy(bytes.begin(), bytes.end(),
                      memory_.begin() + std::ptrdiff_t(kHeaderBytes + k * bytes.size()));
        }
    }
    run_.done = std::max(run_.done, n);
}

const std::vector<std::uint8_t>& SimulatedBoard::memoryImage()
{
    syncMemory();
    return memory_;
}

void SimulatedBoard::startRun(const std::uint8_t* cmd)
{
    // A new start ends whatever ran before; bring the old recording up to date first so that
    // what it left in memory is what it had recorded by now.
    syncMemory();
    run_ = Run{};
    run_.active = true;
    run_.toMemory = cmd[0] == 0x2C;
    run_.channels = ChannelSet::fromMask(cmd[1]);
    run_.samples = std::uint32_t(cmd[2]) | std::uint32_t(cmd[3]) << 8 | std::uint32_t(cmd[4]) << 16 |
                   std::uint32_t(cmd[5]) << 24;
    run_.externalStart = cmd[8] == 0xFF;
    // The firmware samples on the chip's data-ready interrupt: the chip must be measuring, with
    // data-ready enabled and routed to the first interrupt pin.
    run_.rateHz = rateForCode(registers_[kRegBwRate]);
    run_.rangeIndex = registers_[kRegDataFormat] & 0x03;
    run_.measuring = (registers_[kRegPowerCtl] & 0x08) && (registers_[kRegIntEnable] & 0x80) &&
                     !(registers_[kRegIntMap] & 0x80);
    run_.startTick = ticks_.now();
    run_.firstSampleAfterMs = run_.externalStart ? settings_.contactOpenMs : std::uint32_t(cmd[8]) * 1000u;
    streaming_ = !run_.toMemory;
    contactKnown_ = false;
    if (run_.toMemory && !writeProtected_) {
        memory_[0] = cmd[1];
        memory_[1] = cmd[2];
        memory_[2] = cmd[3];
        memory_[3] = cmd[4];
        memory_[4] = cmd[6];
        memory_[5] = cmd[7];
    }
}

int SimulatedBoard::write(const std::uint8_t* bytes, std::uint32_t count, std::uint32_t& written)
{
    written = 0;
    if (droppedOut_)
        return si::DeviceNotFound;
    bool fail = false;
    for (auto it = writeFaults_.begin(); it != writeFaults_.end();) {
        if (--*it == 0) {
            fail = true;
            it = writeFaults_.erase(it);
        } else {
            ++it;
        }
    }
    if (fail)
        return si::WriteError;

    // The log is for tests, yet the connection indicator asks once a second for as long as the
    // program runs: the oldest half goes when it is full.
    if (commands_.size() >= kCommandLogLimit)
        commands_.erase(commands_.begin(), commands_.begin() + std::ptrdiff_t(kCommandLogLimit / 2));
    commands_.emplace_back(reinterpret_cast<const char*>(bytes), qsizetype(count));
    written = count;
    if (count == 0)
        return si::Success;

    const std::uint8_t code = bytes[0];
    // Anything but a register read-back ends a stream to the computer: the firmware drops the
    // run it was sending and turns to the new command.
    if (code != 0x29)
        streaming_ = false;

    switch (code) {
    case 0x28:
        if (count >= 3)
            writeRegister(bytes[1], bytes[2]);
        break;
    case 0x29:
        if (count >= 2) {
            const std::uint8_t v = registerValue(bytes[1]);
            queueReply(&v, 1);
        }
        break;
    case 0x2B:
    case 0x2C:
        if (count >= 9)
            startRun(bytes);
        break;
    case 0x25:
        if (count >= 2 && bytes[1] < kMemoryBytes / kBlockBytes) {
            syncMemory();
            queueReply(memory_.data() + std::size_t(bytes[1]) * kBlockBytes, kBlockBytes);
        }
        break;
    case 0x2D:
        // The board knows the contact's moment only once the contact has opened.
        if (run_.active && run_.externalStart &&
            platform::ticksSince(run_.startTick, ticks_.now()) >= settings_.contactOpenMs) {
            const std::uint32_t units = std::min<std::uint32_t>(settings_.contactOpenMs / 10, 0xFFFF);
            const std::uint8_t reply[2] = {std::uint8_t(units & 0xFF), std::uint8_t(units >> 8)};
            queueReply(reply, 2);
        }
        break;
    case 0x22:
        if (count >= 2 && bytes[1] == 0x00) {
            writeProtected_ = false;
            const std::uint8_t done = 0x40;
            queueReply(&done, 1);
        }
        break;
    default:
        break; // unknown commands are ignored by the firmware
    }
    return si::Success;
}

int SimulatedBoard::read(std::uint8_t* buffer, std::uint32_t max, std::uint32_t& got)
{
    got = 0;
    if (droppedOut_)
        return si::DeviceNotFound;

    std::optional<PendingReadFault> fault;
    for (auto it = readFaults_.begin(); it != readFaults_.end();) {
        if (--it->countdown == 0) {
            if (!fault)
                fault = *it;
            it = readFaults_.erase(it);
        } else {
            ++it;
        }
    }
    if (fault && fault->fault == ReadFault::Nothing)
        return si::Success;

    std::uint32_t limit = max;
    if (fault && fault->fault == ReadFault::Short)
        limit = std::min(limit, fault->shortBytes);

    std::vector<std::uint8_t> out;
    const std::size_t fromReplies = std::min<std::size_t>(replies_.size(), limit);
    out.insert(out.end(), replies_.begin(), replies_.begin() + std::ptrdiff_t(fromReplies));
    replies_.erase(replies_.begin(), replies_.begin() + std::ptrdiff_t(fromReplies));

    if (streaming_ && out.size() < limit) {
        const std::uint64_t available = framesProducedBy(ticks_.now()) * std::uint64_t(frameBytes());
        const std::uint64_t to = std::min<std::uint64_t>(available, run_.done + (limit - out.size()));
        appendStreamBytes(out, run_.done, to);
        run_.done = std::max(run_.done, to);
    }

    if (fault && fault->fault == ReadFault::Garbage) {
        if (out.empty())
            out.assign(std::min<std::uint32_t>(limit, 8), kGarbageMask);
        else
            for (auto& b : out)
                b ^= kGarbageMask;
    }

    std::copy(out.begin(), out.end(), buffer);
    got = std::uint32_t(out.size());
    return si::Success;
}

int SimulatedBoard::close()
{
    if (droppedOut_)
        return si::DeviceNotFound;
    ++closes_;
    return si::Success;
}

} // namespace acq
