#pragma once

// What the acquisition parts need of the rest of the window: the status bar, the chart and the
// run journal. The window answers it (src/app/ui/acquisitionlinks.cpp); the parts know nothing
// of the chart's or the files' classes.

#include "acquisition/measurementrecord.h"

#include <QString>

#include <cstdint>

namespace acq {

class AcquisitionHost {
  public:
    virtual ~AcquisitionHost() = default;

    virtual void setStatusText(int panel, const QString& text) = 0;
    virtual QString statusText(int panel) const = 0;

    // Builds the chart from the record a transfer has left.
    virtual void showChart() = 0;
    // The chart of an earlier record must not stand for a transfer that brought nothing.
    virtual void clearChart() = 0;

    // The run journal: the transfer's bytes written to disk as they arrive.
    virtual void beginJournal(bool fromMemory, ChannelSet channels) = 0;
    virtual void appendJournal(const char* bytes, std::uint64_t count) = 0;
    virtual void finishJournal() = 0;

    // The tick a run started at, which the chart's live trace counts from as well.
    virtual void setRunStartTick(std::uint32_t tick) = 0;
    virtual std::uint32_t runStartTick() const = 0;
};

} // namespace acq
