#pragma once

#include <QString>

#include <functional>
#include <optional>

#include "files/mainsettings.h"

class QWidget;

namespace platform {
class Dialogs;
}

namespace files {

// "tremor.ini" at the window's start and close. The window's state comes from `collect`: plain
// values the window gathers from its parts at that moment, so that this part knows none of them.
class SettingsUi {
  public:
    SettingsUi(QString settingsFile, platform::Dialogs* dialogs, std::function<MainSettings()> collect);

    // The end of creation: when the file was too large to be read, the operator is told (over
    // `window`, once its event loop runs) that the defaults are in use, and the state they gave
    // is remembered so that closing leaves the file alone unless something changed.
    void noteUnread(QWidget* window);

    // The last step of closing: every setting written in one replacement. A failure is shown in
    // the standard error box and the previous file stays as it was; the window closes all the
    // same.
    void writeAtClose(QWidget* window);

    // The state the defaults gave the window when the file could not be read.
    const std::optional<MainSettings>& unreadState() const { return unreadState_; }

  private:
    QString file_;
    platform::Dialogs* dialogs_;
    std::function<MainSettings()> collect_;
    std::optional<MainSettings> unreadState_;
};

} // namespace files
