// The records of the gateway's journal, as they lie in its segment files. Each
// record is an 8-byte header and its payload:
//   byte 0     0xD7, the mark of a record's start: after garbage, the reader looks
//              for the next one
//   byte 1     its kind: 1 names a source, 2 is a sample
//   bytes 2-3  the payload's length, little endian
//   bytes 4-7  CRC-32 of bytes 1-3 and the payload, little endian
// A source record gives a sensor a number within its segment (u16 number, then
// name, target and data topic, each a u8 length and its bytes), so that each
// segment reads on its own; a sample record (36 bytes) holds that number, the
// sequence number, the wall-clock time in ms and the nine words of the sample.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>

namespace gateway::journal {

// A sensor as its samples name it.
struct Source {
    std::string name;
    std::string target;
    std::string topic; // where its samples go

    bool operator==(const Source &) const = default;
};

struct StoredSample {
    int64_t seq = 0;
    int64_t wallMs = 0;
    std::array<uint16_t, 8> values{};
    uint16_t trigger = 0;

    bool operator==(const StoredSample &) const = default;
};

constexpr std::size_t kHeaderBytes = 8;
constexpr std::size_t kSampleRecordBytes = kHeaderBytes + 36;

// Appends a source record (each string cut to 255 bytes) or a sample record to out.
void AppendSource(std::string &out, uint16_t number, const Source &source);
void AppendSample(std::string &out, uint16_t source, const StoredSample &sample);

// Reads one segment's records, chunk after chunk, in order. Garbage (a bad
// mark, length or checksum, a sample of a source the segment never named) is
// skipped up to the next intact record and counted once per stretch.
class SegmentParser {
  public:
    // ordinal: the sample's place among the segment's intact samples.
    std::function<void(const std::shared_ptr<const Source> &, const StoredSample &, uint32_t ordinal)>
        onSample;

    // Reads the records in bytes; returns how many bytes it used up. When final is
    // false, a record cut by the chunk's end waits for the next chunk (the bytes
    // from its start are not used up); when true, the rest is garbage.
    std::size_t parse(std::string_view bytes, bool final);

    int64_t corrupt() const { return m_corrupt; }
    uint32_t samples() const { return m_samples; }

  private:
    void garbage();

    std::map<uint16_t, std::shared_ptr<const Source>> m_sources;
    int64_t m_corrupt = 0;
    uint32_t m_samples = 0;
    bool m_inGarbage = false;
};

} // namespace gateway::journal
