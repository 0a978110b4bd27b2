#include "gateway/modbus.h"

#include <algorithm>

namespace gateway {
namespace {

constexpr uint8_t kReadHolding = 3;
constexpr uint8_t kReadInput = 4;
constexpr std::size_t kReadPduBytes = 5; // function, address, quantity
constexpr uint16_t kMinLengthField = 2;  // unit and function
constexpr uint16_t kMaxLengthField = 253;

uint16_t Word(std::span<const uint8_t> bytes, std::size_t at) {
    return static_cast<uint16_t>(bytes[at] << 8 | bytes[at + 1]);
}

void PutWord(std::vector<uint8_t> &out, uint16_t word) {
    out.push_back(static_cast<uint8_t>(word >> 8));
    out.push_back(static_cast<uint8_t>(word & 0xff));
}

void PutHeader(std::vector<uint8_t> &out, const ModbusRequest &request, std::size_t pduBytes) {
    PutWord(out, request.transaction);
    PutWord(out, 0);
    PutWord(out, static_cast<uint16_t>(pduBytes + 1));
    out.push_back(request.unit);
}

ModbusException Check(const ModbusRequest &request, const UnitSnapshot *unit) {
    if (!unit) return ModbusException::GatewayPathUnavailable;
    if (request.function != kReadHolding && request.function != kReadInput)
        return ModbusException::IllegalFunction;
    if (request.quantity < 1 || request.quantity > kMaxReadQuantity) return ModbusException::IllegalDataValue;
    if (request.address + request.quantity > kRegisterCount) return ModbusException::IllegalDataAddress;
    if (!unit->online) return ModbusException::GatewayTargetFailed;
    return ModbusException::None;
}

} // namespace

std::array<uint16_t, kRegisterCount> RegistersOf(const UnitSnapshot &unit, SteadyTime now) {
    std::array<uint16_t, kRegisterCount> registers{};
    std::copy(unit.live.begin(), unit.live.end(), registers.begin());
    registers[8] = unit.tempRaw;
    registers[9] = static_cast<uint16_t>(unit.sequence >> 16);
    registers[10] = static_cast<uint16_t>(unit.sequence & 0xffff);
    const auto tenths =
        std::chrono::duration_cast<std::chrono::milliseconds>(now - unit.takenAt).count() / 100;
    registers[11] = static_cast<uint16_t>(std::clamp<int64_t>(tenths, 0, 0xffff));
    registers[12] = unit.online ? 1 : 0;
    return registers;
}

ParsedRequest ParseRequest(std::span<const uint8_t> bytes) {
    ParsedRequest parsed;
    if (bytes.size() >= 4 && Word(bytes, 2) != 0) parsed.outcome = ParseOutcome::Malformed;
    if (bytes.size() < 6 || parsed.outcome == ParseOutcome::Malformed) return parsed;
    const uint16_t length = Word(bytes, 4);
    if (length < kMinLengthField || length > kMaxLengthField) {
        parsed.outcome = ParseOutcome::Malformed;
        return parsed;
    }
    parsed.size = 6 + length;
    if (bytes.size() < parsed.size) return parsed;

    ModbusRequest &request = parsed.request;
    request.transaction = Word(bytes, 0);
    request.unit = bytes[6];
    request.function = bytes[7];
    const std::size_t pduBytes = length - 1;
    if (request.function == kReadHolding || request.function == kReadInput) {
        if (pduBytes != kReadPduBytes) {
            parsed.outcome = ParseOutcome::Malformed;
            return parsed;
        }
        request.address = Word(bytes, 8);
        request.quantity = Word(bytes, 10);
    }
    parsed.outcome = ParseOutcome::Complete;
    return parsed;
}

ModbusException AppendAnswer(const ModbusRequest &request, const UnitLookup &lookup, SteadyTime now,
                             std::vector<uint8_t> &out) {
    const UnitSnapshot *unit = lookup(request.unit);
    const ModbusException exception = Check(request, unit);
    if (exception != ModbusException::None) {
        PutHeader(out, request, 2);
        out.push_back(static_cast<uint8_t>(request.function | 0x80));
        out.push_back(static_cast<uint8_t>(exception));
        return exception;
    }
    const auto registers = RegistersOf(*unit, now);
    PutHeader(out, request, 2 + 2 * std::size_t(request.quantity));
    out.push_back(request.function);
    out.push_back(static_cast<uint8_t>(2 * request.quantity));
    for (int i = 0; i < request.quantity; ++i)
        PutWord(out, registers[request.address + i]);
    return ModbusException::None;
}

} // namespace gateway
