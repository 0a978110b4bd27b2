// Bytes from a Modbus client, as a connection receives them: every request
// framed from any input stays inside the input, and its answer is a well-formed
// Modbus TCP answer of the length its header states, echoing transaction and unit.
#include "fuzz/fuzz_support.h"
#include "gateway/modbus.h"

#include <span>

namespace {

// Units 1 (online) and 2 (offline); the others unknown.
const gateway::UnitSnapshot *Lookup(uint8_t unit) {
    static gateway::UnitSnapshot online = [] {
        gateway::UnitSnapshot s;
        s.online = true;
        s.sequence = 0x89abcdef;
        return s;
    }();
    static gateway::UnitSnapshot offline;
    return unit == 1 ? &online : unit == 2 ? &offline : nullptr;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::span<const uint8_t> rest(data, size);
    const gateway::SteadyTime now = std::chrono::steady_clock::now();
    while (!rest.empty()) {
        const gateway::ParsedRequest parsed = gateway::ParseRequest(rest);
        if (parsed.outcome != gateway::ParseOutcome::Complete) {
            FUZZ_CHECK(rest.size() < gateway::kMaxAduBytes ||
                       parsed.outcome == gateway::ParseOutcome::Malformed);
            break;
        }
        FUZZ_CHECK(parsed.size >= 8 && parsed.size <= gateway::kMaxAduBytes && parsed.size <= rest.size());
        std::vector<uint8_t> answer;
        const gateway::ModbusException exception = gateway::AppendAnswer(parsed.request, Lookup, now, answer);
        FUZZ_CHECK(answer.size() >= 9 && answer.size() <= gateway::kMaxAduBytes);
        FUZZ_CHECK(std::size_t(answer[4] << 8 | answer[5]) + 6 == answer.size());
        FUZZ_CHECK(answer[0] == rest[0] && answer[1] == rest[1] && answer[6] == rest[6]);
        FUZZ_CHECK((exception == gateway::ModbusException::None) == (answer[7] < 0x80));
        rest = rest.subspan(parsed.size);
    }
    return 0;
}
