#pragma once

#include <array>

#include "files/ui/scalesui.h"

namespace app {

class TForm1;

// What the zero balancing asks of the set-up panel, the run and the chart, answered from the
// window that composes them. The settings it changes are kept here until they are put back.
class ZeroRunLink : public files::ZeroRunHost {
  public:
    explicit ZeroRunLink(TForm1& form) : f_(form) {}

    void applyZeroRunSettings() override;
    void switchSmoothingOn() override;
    bool startRun() override;
    void restoreSettings() override;
    void keepRestoredChannels() override;
    std::array<const double*, 3> channelValues() const override;
    std::array<long long, 3> channelCounts() const override;

  private:
    struct Kept {
        std::array<bool, 3> channels{};
        int samples = 0;
        int timeMs = 0;
        int view = 0;
        int smoothWeight = 0;
        bool smooth = false;
        int frequency = 0;
        int range = 0;
        int target = 0;
        bool externalStart = false;
    };

    TForm1& f_;
    Kept kept_;
};

} // namespace app
