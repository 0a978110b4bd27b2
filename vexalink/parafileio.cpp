#include "vexalink/parafileio.h"

#include "runtime/formatio.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <system_error>

using namespace runtime;

namespace vexalink {

namespace {

constexpr int kFieldWidth = 5;
constexpr int kMaxLineChars = 80; // far more than a value and its blanks need

// The value of one line: a decimal number with optional blanks around it.
// Empty when the line is fine, else what is wrong with it.
std::string ParseLine(const std::string &line, uint16_t &value) {
    const auto first = line.find_first_not_of(" \t");
    if (first == std::string::npos) return "is empty";
    const auto last = line.find_last_not_of(" \t");
    const char *begin = line.data() + first, *end = line.data() + last + 1;
    unsigned long number = 0;
    const auto [stop, ec] = std::from_chars(begin, end, number);
    if (stop != end || line.size() >= kMaxLineChars) return "does not hold a number";
    if (ec == std::errc::result_out_of_range || number > 65535) return "holds a value above 65535";
    if (ec != std::errc()) return "does not hold a number";
    value = static_cast<uint16_t>(number);
    return {};
}

} // namespace

bool WriteParaFile(const std::string &path, const uint16_t (&record)[kAnzPara]) {
    const std::string temporary = path + ".tmp";
    std::error_code ec;
    if (ArrayToFile(temporary, record, kAnzPara, kFieldWidth, VAL_TRUNCATE) == 0) {
        std::filesystem::rename(temporary, path, ec);
        if (!ec) return true;
    }
    std::filesystem::remove(temporary, ec);
    return false;
}

bool ReadParaFile(const std::string &path, uint16_t (&record)[kAnzPara], std::string &problem) {
    const int handle = OpenFile(path, VAL_READ_ONLY, VAL_OPEN_AS_IS, VAL_ASCII);
    if (handle < 0) {
        problem = "cannot be opened";
        return false;
    }
    uint16_t values[kAnzPara] = {};
    int count = 0;
    std::string line;
    problem.clear();
    while (count < kAnzPara && problem.empty() && ReadLine(handle, line, kMaxLineChars) >= 0) {
        const std::string wrong = ParseLine(line, values[count]);
        if (wrong.empty())
            ++count;
        else
            problem = "line " + std::to_string(count + 1) + " " + wrong;
    }
    CloseFile(handle);
    if (problem.empty() && count < kAnzPara)
        problem =
            "holds only " + std::to_string(count) + " values, " + std::to_string(kAnzPara) + " are needed";
    if (!problem.empty()) return false;
    std::copy(std::begin(values), std::end(values), std::begin(record));
    return true;
}

} // namespace vexalink
