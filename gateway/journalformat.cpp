#include "gateway/journalformat.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace gateway::journal {
namespace {

constexpr uint8_t kMark = 0xD7;
constexpr uint8_t kSourceKind = 1;
constexpr uint8_t kSampleKind = 2;
constexpr std::size_t kSamplePayload = kSampleRecordBytes - kHeaderBytes;
constexpr std::size_t kMostPayload = 2 + 3 * 256; // a source record with the longest strings

void Put(std::string &out, uint64_t value, int bytes) {
    for (int k = 0; k < bytes; ++k)
        out.push_back(static_cast<char>((value >> (8 * k)) & 0xff));
}

uint64_t Get(const unsigned char *in, int bytes) {
    uint64_t value = 0;
    for (int k = 0; k < bytes; ++k)
        value |= uint64_t(in[k]) << (8 * k);
    return value;
}

uint32_t Checksum(const unsigned char *kindAndLength, const unsigned char *payload, std::size_t length) {
    uLong crc = crc32(0L, kindAndLength, 3);
    return static_cast<uint32_t>(crc32(crc, payload, static_cast<uInt>(length)));
}

// Frames the payload that starts at out[start + kHeaderBytes].
void Seal(std::string &out, std::size_t start, uint8_t kind) {
    const std::size_t length = out.size() - start - kHeaderBytes;
    auto *header = reinterpret_cast<unsigned char *>(out.data() + start);
    header[0] = kMark;
    header[1] = kind;
    header[2] = static_cast<unsigned char>(length & 0xff);
    header[3] = static_cast<unsigned char>(length >> 8);
    const uint32_t crc = Checksum(header + 1, header + kHeaderBytes, length);
    for (int k = 0; k < 4; ++k)
        header[4 + k] = static_cast<unsigned char>(crc >> (8 * k));
}

void PutString(std::string &out, const std::string &text) {
    const std::size_t length = std::min<std::size_t>(text.size(), 255);
    out.push_back(static_cast<char>(length));
    out.append(text, 0, length);
}

// A source record's payload into number and source; false when it does not add up.
bool ReadSource(const unsigned char *p, std::size_t length, uint16_t &number, Source &source) {
    if (length < 2) return false;
    number = static_cast<uint16_t>(Get(p, 2));
    std::size_t at = 2;
    for (std::string *field : {&source.name, &source.target, &source.topic}) {
        if (at >= length || at + 1 + p[at] > length) return false;
        field->assign(reinterpret_cast<const char *>(p + at + 1), p[at]);
        at += 1 + p[at];
    }
    return at == length;
}

} // namespace

void AppendSource(std::string &out, uint16_t number, const Source &source) {
    const std::size_t start = out.size();
    out.append(kHeaderBytes, '\0');
    Put(out, number, 2);
    PutString(out, source.name);
    PutString(out, source.target);
    PutString(out, source.topic);
    Seal(out, start, kSourceKind);
}

void AppendSample(std::string &out, uint16_t source, const StoredSample &sample) {
    const std::size_t start = out.size();
    out.append(kHeaderBytes, '\0');
    Put(out, source, 2);
    Put(out, static_cast<uint64_t>(sample.seq), 8);
    Put(out, static_cast<uint64_t>(sample.wallMs), 8);
    for (uint16_t value : sample.values)
        Put(out, value, 2);
    Put(out, sample.trigger, 2);
    Seal(out, start, kSampleKind);
}

void SegmentParser::garbage() {
    if (!m_inGarbage) ++m_corrupt;
    m_inGarbage = true;
}

std::size_t SegmentParser::parse(std::string_view bytes, bool final) {
    const auto *data = reinterpret_cast<const unsigned char *>(bytes.data());
    std::size_t at = 0;
    while (at < bytes.size()) {
        if (data[at] != kMark) {
            garbage();
            const void *next = std::memchr(data + at, kMark, bytes.size() - at);
            at = next ? static_cast<std::size_t>(static_cast<const unsigned char *>(next) - data)
                      : bytes.size();
            continue;
        }
        const std::size_t left = bytes.size() - at;
        const uint8_t kind = left >= 2 ? data[at + 1] : kSampleKind;
        const std::size_t length = left >= 4 ? Get(data + at + 2, 2) : kSamplePayload;
        const bool plausible = (kind == kSourceKind && length <= kMostPayload) ||
                               (kind == kSampleKind && length == kSamplePayload);
        if (plausible && left < kHeaderBytes + length) {
            if (!final) return at; // the rest of this record comes with the next chunk
            garbage();             // a record torn at the end, or a mark in garbage
            ++at;
            continue;
        }
        const unsigned char *payload = data + at + kHeaderBytes;
        if (!plausible || Get(data + at + 4, 4) != Checksum(data + at + 1, payload, length)) {
            garbage();
            ++at;
            continue;
        }
        if (kind == kSourceKind) {
            uint16_t number = 0;
            auto source = std::make_shared<Source>();
            if (!ReadSource(payload, length, number, *source)) {
                garbage();
                ++at;
                continue;
            }
            m_sources[number] = std::move(source);
        } else {
            const auto known = m_sources.find(static_cast<uint16_t>(Get(payload, 2)));
            if (known == m_sources.end()) {
                garbage(); // its source record was lost
                at += kHeaderBytes + length;
                continue;
            }
            StoredSample sample;
            sample.seq = static_cast<int64_t>(Get(payload + 2, 8));
            sample.wallMs = static_cast<int64_t>(Get(payload + 10, 8));
            for (std::size_t k = 0; k < sample.values.size(); ++k)
                sample.values[k] = static_cast<uint16_t>(Get(payload + 18 + 2 * k, 2));
            sample.trigger = static_cast<uint16_t>(Get(payload + 34, 2));
            if (onSample) onSample(known->second, sample, m_samples);
            ++m_samples;
        }
        m_inGarbage = false;
        at += kHeaderBytes + length;
    }
    return at;
}

} // namespace gateway::journal
