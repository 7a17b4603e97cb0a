#include "files/ui/settingsui.h"

#include <QTimer>
#include <QWidget>

#include "platform/inifile.h"
#include "platform/ui/dialogs.h"

namespace files {

SettingsUi::SettingsUi(QString settingsFile, platform::Dialogs* dialogs,
                       std::function<MainSettings()> collect)
    : file_(std::move(settingsFile)), dialogs_(dialogs), collect_(std::move(collect))
{
}

void SettingsUi::noteUnread(QWidget* window)
{
    if (!platform::IniFile(file_).tooLarge())
        return;
    unreadState_ = collect_();
    // Shown once the event loop runs, over the window rather than before it.
    if (dialogs_) {
        QTimer::singleShot(0, window,
                           [dialogs = dialogs_, window, text = platform::iniTooLargeMessage(file_)] {
                               dialogs->message(window, text);
                           });
    }
}

void SettingsUi::writeAtClose(QWidget* window)
{
    const MainSettings now = collect_();
    if (unreadState_) {
        // Where the window manager put the window is no change of the operator's.
        MainSettings moved = now;
        moved.left = unreadState_->left;
        moved.top = unreadState_->top;
        if (moved == *unreadState_)
            return;
    }
    try {
        writeMainSettingsFile(file_, now);
    } catch (const platform::IniWriteError& e) {
        if (dialogs_)
            dialogs_->error(window, QString::fromUtf8(e.what()));
    }
}

} // namespace files
