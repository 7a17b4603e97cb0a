#pragma once

#include "acquisition/measurementrecord.h"
#include "acquisition/simulatedboard.h"

#include <QByteArray>
#include <gtest/gtest.h>

// Every whole frame of the bytes decodes to the simulated scene's readings of its channels, and
// its pulse bit to the scene's pulse input; there is no partial frame.
inline void expectScene(const QByteArray& bytes, acq::ChannelSet channels, double rateHz, int rangeIndex,
                        const acq::SimScene& scene = {})
{
    const auto* p = reinterpret_cast<const std::uint8_t*>(bytes.constData());
    acq::FrameDecoder decoder(p, std::uint64_t(bytes.size()), channels);
    ASSERT_EQ(decoder.frameCount() * channels.count() * 2, bytes.size()) << "whole frames only";
    for (std::int64_t k = 0; k < decoder.frameCount(); ++k) {
        const acq::DecodedFrame f = decoder.frame(k);
        for (int slot = 0; slot < f.count; ++slot) {
            const int axis = channels.axisOfSlot(slot);
            ASSERT_EQ(f.samples[std::size_t(slot)], acq::sceneCounts(scene, axis, k, rateHz, rangeIndex))
                << "frame " << k << " axis " << axis;
        }
        ASSERT_EQ(f.pulse, acq::scenePulse(scene, k, rateHz)) << "frame " << k;
    }
}

inline QByteArray streamBytes(const acq::SampleStream& s)
{
    return QByteArray(reinterpret_cast<const char*>(s.data()), qsizetype(s.size()));
}
