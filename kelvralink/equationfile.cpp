#include "kelvralink/equationfile.h"

#include "runtime/formatio.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <sstream>

using namespace runtime;

namespace kelvralink {

namespace {

// A line longer than this holds no coefficient; it is read cut and refused as such.
constexpr int kMaxLineChars = 1000;

// Why a token is not a coefficient, or "" when it is one (then in value).
std::string TokenProblem(const std::string &token, double &value) {
    const char *end = token.data() + token.size();
    const auto [stop, ec] = std::from_chars(token.data(), end, value);
    if (ec == std::errc::result_out_of_range) return "is beyond what a coefficient can hold";
    if (ec != std::errc() || stop != end) return "is not a number";
    // "nan" and "inf" read as numbers, but no curve can be calculated from them.
    if (!std::isfinite(value)) return "is not a number a coefficient can have";
    return {};
}

} // namespace

bool ReadEquationFile(const std::string &path, const PanelDesc &p, double (&values)[kMaxEquation],
                      std::string &problem) {
    const int count = EquationSize(p);
    const int handle = OpenFile(path, VAL_READ_ONLY, VAL_OPEN_AS_IS, VAL_ASCII);
    if (handle < 0) {
        problem = "cannot be read";
        return false;
    }
    double read[kMaxEquation] = {};
    int found = 0;
    std::string line, token;
    for (int lineNumber = 1; found < count && ReadLine(handle, line, kMaxLineChars) >= 0; ++lineNumber) {
        std::istringstream tokens(line);
        while (found < count && tokens >> token) {
            const std::string why = TokenProblem(token, read[found]);
            if (!why.empty()) {
                CloseFile(handle);
                problem = "line " + std::to_string(lineNumber) + ": \"" + token + "\" " + why;
                return false;
            }
            ++found;
        }
    }
    CloseFile(handle);
    if (found < count) {
        problem = "holds " + std::to_string(found) + " of the " + std::to_string(count) + " numbers needed";
        return false;
    }
    std::copy(read, read + count, values);
    return true;
}

} // namespace kelvralink
