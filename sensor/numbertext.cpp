#include "sensor/numbertext.h"

#include <charconv>

namespace sensor {

std::string FixedText(double value, int decimals) {
    char text[64];
    const auto [end, ec] = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
    return ec == std::errc() ? std::string(text, end) : std::string("?");
}

} // namespace sensor
