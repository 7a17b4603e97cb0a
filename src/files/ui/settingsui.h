#pragma once

#include "files/mainsettings.h"

namespace app {
class TForm1;
}

namespace files {

// The window's state as "tremor.ini" keeps it, taken from the controls at this moment.
MainSettings collectMainSettings(const app::TForm1& form);

// The end of creation: when "tremor.ini" was too large to be read, the operator is told that the
// defaults are in use, and the window's state is remembered so that closing leaves the file alone
// unless something changed.
void noteUnreadSettings(app::TForm1& form);

// The last step of closing: every setting written to "tremor.ini" in one replacement. A failure
// is shown in the standard error box and the previous file stays as it was; the window closes
// all the same.
void writeSettingsAtClose(app::TForm1& form);

} // namespace files
