// KelvraV12's fault matrix over loopback TCP: the start-up version query and transfer plans P1 to P3.
// The matrix is split into binaries of about a minute or two, which run side by side.
#include "tests/test_fault_matrix_kelvra.h"

namespace kelvramatrix {

INSTANTIATE_TEST_SUITE_P(Tcp, KelvraMatrix, ::testing::ValuesIn(matrix::Scenarios({0, 1, 2, 3}, true)),
                         ScenarioName);

} // namespace kelvramatrix
