#pragma once

#include "files/mainsettings.h"

namespace app {
class TForm1;
}

namespace files {

// The window's state as "tremor.ini" keeps it, taken from the controls at this moment.
MainSettings collectMainSettings(const app::TForm1& form);

// The last step of closing: every setting written to "tremor.ini" in one replacement. A failure
// is shown in the standard error box and the previous file stays as it was; the window closes
// all the same.
void writeSettingsAtClose(app::TForm1& form);

} // namespace files
