// Bytes from the broker on the topics the Sparkplug edge node reads: an NCMD
// payload (protobuf) and a primary host's STATE (JSON). Each reader either
// answers or refuses with a reason, never reads outside the input; and a payload
// of our own encoder carrying a rebirth request among the input's bytes reads back as one.
#include "fuzz/fuzz_support.h"
#include "gateway/sparkplugpayload.h"

#include <string>
#include <string_view>

using namespace gateway::sparkplug;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);
    std::string problem;
    const auto command = ReadNodeCommand(bytes, problem);
    FUZZ_CHECK(command.has_value() == problem.empty());

    problem.clear();
    const auto state = ReadHostState(bytes, problem);
    FUZZ_CHECK(state.has_value() == problem.empty());
    FUZZ_CHECK(!state || state->timestamp >= 0);

    Payload request;
    Metric other;
    other.name = std::string(bytes.substr(0, 64));
    other.value = std::string(bytes);
    Metric rebirth;
    rebirth.name = "Node Control/Rebirth";
    rebirth.datatype = DataType::Boolean;
    rebirth.value = true;
    request.metrics = {other, rebirth};
    problem.clear();
    const auto again = ReadNodeCommand(Encode(request), problem);
    FUZZ_CHECK(again && again->rebirth);
    return 0;
}
