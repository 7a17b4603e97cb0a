#pragma once

// A simulated accelerometer board: the program's default board when no real one is configured,
// and the board every acquisition test runs against.
//
// It models what the program can observe of the real board: the accelerometer's register file
// (ADXL345 register map), a run streaming frames to the computer at the rate the chip was set
// to, a run recorded into a 262,144-byte memory behind a 6-byte header and read back in blocks of
// 32,768 bytes, the start contact, and the memory chip's write protection. Time comes from the
// injectable tick counter, so a test drives a run of any length in no wall-clock time.

#include "acquisition/devicelibrary.h"
#include "acquisition/measurementrecord.h"
#include "platform/ticks.h"

#include <QByteArray>

#include <cstdint>
#include <deque>
#include <vector>

namespace acq {

// What the simulated chip feels: the board lying flat (Z near +1 g), a tremor-like oscillation
// on X, a mains-like vibration on Y, a little noise on every axis, and a pulse input turning over
// a few times a second.
struct SimScene {
    double gravityG = 1.0;
    double tremorHz = 7.0;
    double tremorG = 0.3;
    double vibrationHz = 50.0;
    double vibrationG = 0.15;
    double noiseG = 0.01; // peak of the uniform noise
    double pulseHz = 2.0; // the pulse input is high during the second half of each period
    std::uint32_t seed = 1;
};

// ADC units per g of the chip's 10-bit output for range index 0..3 (±2, ±4, ±8, ±16 g).
int sensitivityPerG(int rangeIndex);

// The reading of one axis in frame k of a run at rateHz: the scene's acceleration at k / rateHz
// seconds in ADC units of the range, clipped to -512..511 as the chip saturates. The noise is a
// fixed function of seed, axis and frame, so the same frame always reads the same.
int sceneCounts(const SimScene& scene, int axis, std::int64_t frame, double rateHz, int rangeIndex);
bool scenePulse(const SimScene& scene, std::int64_t frame, double rateHz);

// The chip's sample rate for a rate register value (3200 Hz for 0x0F, halving per step down).
double rateForCode(std::uint8_t code);

class SimulatedBoard : public DeviceBackend {
  public:
    struct Settings {
        SimScene scene;
        // With an external start the contact opens this long after the start command.
        std::uint32_t contactOpenMs = 2000;
    };

    static constexpr std::uint32_t kMemoryBytes = 262144;
    static constexpr std::uint32_t kBlockBytes = 32768;
    static constexpr std::uint32_t kHeaderBytes = 6;
    static constexpr std::uint8_t kDeviceId = 0xE5;

    explicit SimulatedBoard(platform::TickSource& ticks) : SimulatedBoard(ticks, Settings{}) {}
    SimulatedBoard(platform::TickSource& ticks, Settings settings);

    int write(const std::uint8_t* bytes, std::uint32_t count, std::uint32_t& written) override;
    int read(std::uint8_t* buffer, std::uint32_t max, std::uint32_t& got) override;
    int close() override;
    QString description() const override;
    bool simulated() const override { return true; }

    const Settings& settings() const { return settings_; }
    void setContactOpenMs(std::uint32_t ms) { settings_.contactOpenMs = ms; }

    // ---- looking inside, for tests ----
    std::uint8_t registerValue(std::uint8_t address) const;
    // The memory image with everything recorded up to now.
    const std::vector<std::uint8_t>& memoryImage();
    bool memoryWriteProtected() const { return writeProtected_; }
    void setMemoryWriteProtected(bool on) { writeProtected_ = on; }
    // The writes that reached the board, in order (the last few thousand).
    const std::vector<QByteArray>& commandsReceived() const { return commands_; }
    int closeCount() const { return closes_; }

    // ---- faults, counted from now: nth = 1 is the next call of that kind ----
    // The nth write fails with a write error and the board never sees the command.
    void failWrite(int nth = 1);
    enum class ReadFault {
        Nothing, // the read returns no bytes and leaves the board's bytes for later
        Short,   // the read returns at most shortBytes bytes
        Garbage, // the bytes come back corrupted (every byte differs from what was sent)
    };
    void failRead(ReadFault fault, int nth = 1, std::uint32_t shortBytes = 1);
    // The board drops off the bus: every call fails until it is plugged in again. What it was
    // doing carries on (a recording to memory does not need the computer).
    void dropOut() { droppedOut_ = true; }
    void reconnect() { droppedOut_ = false; }

  private:
    struct Run {
        bool active = false;
        bool toMemory = false;
        bool externalStart = false;
        ChannelSet channels;
        std::uint32_t samples = 0;
        double rateHz = 0;
        int rangeIndex = 0;
        bool measuring = false;
        std::uint32_t startTick = 0;
        std::uint32_t firstSampleAfterMs = 0; // start delay or the contact's moment
        std::uint64_t done = 0;               // bytes delivered (computer) or frames recorded (memory)
    };

    int frameBytes() const { return run_.channels.count() * 2; }
    std::uint64_t framesProducedBy(std::uint32_t now) const;
    void appendFrame(std::vector<std::uint8_t>& out, std::int64_t frame) const;
    void appendStreamBytes(std::vector<std::uint8_t>& out, std::uint64_t from, std::uint64_t to) const;
    void syncMemory();
    void startRun(const std::uint8_t* cmd);
    void writeRegister(std::uint8_t address, std::uint8_t value);
    void queueReply(const std::uint8_t* bytes, std::size_t count);

    platform::TickSource& ticks_;
    Settings settings_;
    std::vector<std::uint8_t> registers_;
    std::vector<std::uint8_t> memory_;
    std::deque<std::uint8_t> replies_;
    Run run_;
    bool streaming_ = false; // the run to the computer still has bytes for the reader
    bool writeProtected_ = false;
    bool droppedOut_ = false;
    bool contactKnown_ = false;
    std::uint32_t contactDelayMs_ = 0;
    static constexpr std::size_t kCommandLogLimit = 4096;
    std::vector<QByteArray> commands_;
    int closes_ = 0;

    struct PendingReadFault {
        int countdown;
        ReadFault fault;
        std::uint32_t shortBytes;
    };
    std::vector<int> writeFaults_; // countdowns
    std::vector<PendingReadFault> readFaults_;
};

} // namespace acq
