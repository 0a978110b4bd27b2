// A journal segment of any content, read whole and in two chunks split at any
// byte: the reader never reads outside its bytes, finds the same samples both
// ways, and every intact record written after the garbage is found again.
#include "fuzz/fuzz_support.h"
#include "gateway/journalformat.h"

#include <vector>

namespace {

using namespace gateway::journal;

struct Found {
    std::vector<StoredSample> samples;
    std::size_t corrupt = 0;
};

Found Read(std::string_view bytes, std::size_t split) {
    Found found;
    SegmentParser parser;
    parser.onSample = [&](const std::shared_ptr<const Source> &source, const StoredSample &s,
                          uint32_t ordinal) {
        FUZZ_CHECK(source && ordinal == found.samples.size());
        found.samples.push_back(s);
    };
    std::string pending(bytes.substr(0, split));
    pending.erase(0, parser.parse(pending, false));
    pending.append(bytes.substr(split));
    FUZZ_CHECK(parser.parse(pending, true) == pending.size());
    found.corrupt = std::size_t(parser.corrupt());
    return found;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);
    const Found whole = Read(bytes, bytes.size());
    const Found split = Read(bytes, size ? data[0] % (size + 1) : 0);
    FUZZ_CHECK(whole.samples == split.samples);

    // Intact records after the garbage: the reader finds its way back to them. The
    // padding, longer than any record, ends whatever record the garbage began.
    std::string segment(bytes);
    segment.append(kHeaderBytes + 2 + 3 * 256, '\0');
    const StoredSample known{42, 1700000000000, {1, 2, 3, 4, 5, 6, 7, 8}, 9};
    AppendSource(segment, 7, {"s1", "tcp://127.0.0.1:4001", "plant/s1/data"});
    AppendSample(segment, 7, known);
    const Found after = Read(segment, segment.size());
    FUZZ_CHECK(!after.samples.empty() && after.samples.back() == known);
    return 0;
}
