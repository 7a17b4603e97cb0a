#pragma once

#include "acquisition/ui/acquisitionhost.h"

namespace app {

class TForm1;

// Answers the acquisition parts' questions from the window: its status bar, the chart build and
// the run journal (acquisitionlinks.cpp).
class AcquisitionLink : public acq::AcquisitionHost {
  public:
    explicit AcquisitionLink(TForm1& form) : f_(form) {}

    void setStatusText(int panel, const QString& text) override;
    QString statusText(int panel) const override;
    void showChart() override;
    void clearChart() override;
    void beginJournal(bool fromMemory, acq::ChannelSet channels) override;
    void appendJournal(const char* bytes, std::uint64_t count) override;
    void finishJournal() override;
    void setRunStartTick(std::uint32_t tick) override;
    std::uint32_t runStartTick() const override;

  private:
    TForm1& f_;
};

} // namespace app
