// sensorctl's targets files of any content: a file that is taken yields targets
// with names fit for file names and topics, all different, each one the target
// its line names; a file that is refused says why.
#include "ctl/target.h"
#include "fuzz/fuzz_support.h"

#include <algorithm>
#include <cctype>
#include <set>

using ctl::Target;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string path = fuzz::WriteScratch(data, size, "targets.txt");
    std::vector<Target> targets;
    std::string problem;
    if (!ctl::ReadTargetsFile(path, targets, problem)) {
        FUZZ_CHECK(!problem.empty());
        FUZZ_CHECK(targets.empty());
        return 0;
    }
    FUZZ_CHECK(!targets.empty());
    std::set<std::string> names;
    for (const Target &t : targets) {
        FUZZ_CHECK(!t.name.empty());
        FUZZ_CHECK(std::all_of(t.name.begin(), t.name.end(), [](char c) {
            return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '_' || c == '-';
        }));
        FUZZ_CHECK(names.insert(t.name).second);
        const sensor::Address &a = t.address;
        FUZZ_CHECK(a.tcp ? !a.host.empty() && a.port >= 1 && a.port <= 65535 : a.device.rfind('/', 0) == 0);
        Target again;
        FUZZ_CHECK(ctl::ParseTarget(t.text, t.name, again, problem));
        FUZZ_CHECK(again.address == t.address);
        FUZZ_CHECK(ctl::WithName("%n.ini", t.name) == t.name + ".ini");
    }
    return 0;
}
