// VexaV32's fault matrix over loopback TCP: start-up and Send with RAM.
// The matrix is split into binaries of about a minute or two, which run side by side.
#include "tests/test_fault_matrix_vexa_runs.h"

namespace vexamatrix {

INSTANTIATE_TEST_SUITE_P(Tcp, VexaMatrix, ::testing::ValuesIn(matrix::Scenarios({0, 1, 2, 3}, true)),
                         ScenarioName);

} // namespace vexamatrix
