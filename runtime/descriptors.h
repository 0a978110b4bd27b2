// Room for the descriptors a run needs, checked before any sensor is touched: a
// run that would fail sensor after sensor once the limit is reached is refused at
// start with the numbers instead.
#pragma once

#include <string>

namespace runtime {

// Raises the soft limit of open descriptors to needed when it is lower (never
// lowers it); false with the numbers in problem when the hard limit is below needed.
// what names the run in the message ("10000 sensors").
bool MakeRoomForDescriptors(long needed, const std::string &what, std::string &problem);

} // namespace runtime
