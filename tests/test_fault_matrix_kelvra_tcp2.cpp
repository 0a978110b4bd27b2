// KelvraV12's fault matrix over loopback TCP: transfer plans P4 to P6 and the block announcement.
// The matrix is split into binaries of about a minute or two, which run side by side.
#include "tests/test_fault_matrix_kelvra.h"

namespace kelvramatrix {

INSTANTIATE_TEST_SUITE_P(Tcp, KelvraMatrix, ::testing::ValuesIn(matrix::Scenarios({4, 5, 6, 7}, true)),
                         ScenarioName);

} // namespace kelvramatrix
