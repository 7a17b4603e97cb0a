#pragma once

namespace platform {
class Dialogs;
class Help;
class TickSource;
} // namespace platform

namespace app {

// What the windows need from the operating system. The program passes the real
// pieces; tests pass fakes, so no test waits on a dialog, a clock or a device.
struct Services {
    platform::Dialogs* dialogs = nullptr;
    platform::Help* help = nullptr;
    platform::TickSource* ticks = nullptr;
};

} // namespace app
