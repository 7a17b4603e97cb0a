#pragma once

#include "display/ui/chartpart.h"
#include "files/mainsettings.h"

namespace app {

class TForm1;

// What the chart asks of the set-up panel, the run's progress panel, the zero balancing and the
// measurement files, answered from the window that composes them.
class DisplayLink : public display::ChartHost {
  public:
    explicit DisplayLink(TForm1& form) : f_(form) {}

    bool channelChecked(int channel) const override;
    void channelColourChanged(int channel, const QColor& colour) override;
    void hideRunProgress() override;
    bool zeroCapturePending() const override;
    void zeroCapture() override;
    bool windowReady() const override;
    QString shownFileName() const override;

  private:
    TForm1& f_;
};

// The chart's choices as "tremor.ini" keeps them, and back.
display::ChartSettings chartSettingsFrom(const files::MainSettings& s);
void putChartSettings(const display::ChartSettings& c, files::MainSettings& s);

} // namespace app
