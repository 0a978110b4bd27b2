// The dimming of VexaV32's operation controls while an operation runs, so that a
// click cannot start a second exchange inside the first one's wait.
#pragma once

namespace vexaprogram {

// Dims (1) or releases (0) the controls that start an operation, then lets the change show.
void SetButtonsDimmed(int flag);

} // namespace vexaprogram
