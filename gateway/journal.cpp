#include "gateway/journal.h"

#include "gateway/log.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace gateway::journal {
namespace {

constexpr uint64_t kLeastSegment = 1024;
constexpr uint64_t kMostSegment = 1 << 20;
constexpr std::size_t kChunk = 256 * 1024;    // read back at a time
constexpr uint64_t kSettledBytes = 16 * 1024; // a written segment whose samples all are confirmed
constexpr double kRetrySeconds = 2.0;         // after the disk refused a write
constexpr std::size_t kNumberDigits = 16;

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::string Reason() {
    return strerrordesc_np(errno);
}

// The segment number in a file name "journal-NUMBER.seg"; 0 when it is none.
uint64_t NumberOf(const std::string &name) {
    if (name.size() != 8 + kNumberDigits + 4 || name.rfind("journal-", 0) != 0 ||
        name.substr(8 + kNumberDigits) != ".seg")
        return 0;
    uint64_t number = 0;
    for (std::size_t k = 8; k < 8 + kNumberDigits; ++k) {
        if (name[k] < '0' || name[k] > '9') return 0;
        number = number * 10 + uint64_t(name[k] - '0');
    }
    return number;
}

void SyncFolder(const std::string &folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);
    close(fd);
}

} // namespace

uint64_t SegmentBytes(uint64_t maxBytes) {
    return std::clamp(maxBytes / 8, kLeastSegment, kMostSegment);
}

Journal::~Journal() {
    sealCurrent();
    if (m_lock >= 0) close(m_lock); // and with it the lock
}

bool Journal::open(const std::string &folder, uint64_t maxBytes, std::string &problem) {
    m_folder = folder;
    std::error_code failed;
    std::filesystem::create_directories(folder, failed);
    if (failed) {
        problem = "cannot make the storage folder " + folder + ": " + failed.message();
        return false;
    }
    const std::string lockPath = folder + "/lock";
    m_lock = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (m_lock < 0) {
        problem = "cannot write in the storage folder " + folder + ": " + Reason();
        return false;
    }
    if (flock(m_lock, LOCK_EX | LOCK_NB) != 0) {
        char holder[32] = {};
        const ssize_t n = pread(m_lock, holder, sizeof holder - 1, 0);
        problem = "the storage folder " + folder + " is in use by another gateway" +
                  (n > 0 ? " (process " + std::string(holder, std::size_t(n)) + ")" : std::string()) +
                  "; give each gateway a folder of its own";
        close(m_lock);
        m_lock = -1;
        return false;
    }
    const std::string pid = std::to_string(getpid());
    if (ftruncate(m_lock, 0) != 0 || pwrite(m_lock, pid.data(), pid.size(), 0) != ssize_t(pid.size())) {
        problem = "cannot write in the storage folder " + folder + ": " + Reason();
        return false;
    }
    readEarlier();
    setMaxBytes(maxBytes);
    if (!startSegment()) {
        problem = "cannot write in the storage folder " + folder + ": " + Reason();
        return false;
    }
    return true;
}

void Journal::setMaxBytes(uint64_t maxBytes) {
    m_maxBytes = maxBytes;
    m_segmentBytes = SegmentBytes(maxBytes);
    keepWithinSize();
}

std::string Journal::pathOf(uint64_t number) const {
    char name[48];
    std::snprintf(name, sizeof name, "/journal-%016llu.seg", static_cast<unsigned long long>(number));
    return m_folder + name;
}

// Every segment an earlier run left, checked record by record: its samples are all to be sent.
void Journal::readEarlier() {
    std::vector<uint64_t> numbers;
    std::error_code failed;
    for (const auto &entry : std::filesystem::directory_iterator(m_folder, failed)) {
        const uint64_t number = NumberOf(entry.path().filename().string());
        if (number == 0) continue;
        m_nextNumber = std::max(m_nextNumber, number + 1);
        if (entry.is_regular_file(failed))
            numbers.push_back(number);
        else
            LogWarning("journal: " + entry.path().string() + " is not a file; left alone");
    }
    std::sort(numbers.begin(), numbers.end());
    for (const uint64_t number : numbers) {
        const std::string path = pathOf(number);
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            LogWarning("journal: cannot read " + path + ": " + Reason() + "; left alone");
            continue;
        }
        Segment segment;
        segment.number = number;
        segment.sealed = true;
        SegmentParser parser;
        parser.onSample = [&](const std::shared_ptr<const Source> &, const StoredSample &s, uint32_t) {
            if (segment.firstMs < 0) segment.firstMs = s.wallMs;
        };
        std::string chunk(kChunk, '\0');
        std::string pending;
        for (ssize_t n; (n = read(fd, chunk.data(), chunk.size())) > 0;) {
            pending.append(chunk.data(), std::size_t(n));
            segment.bytes += uint64_t(n);
            pending.erase(0, parser.parse(pending, false));
        }
        close(fd);
        parser.parse(pending, true);
        segment.samples.assign(parser.samples(), State::Unsent);
        segment.unsent = parser.samples();
        if (parser.corrupt() > 0)
            LogWarning("journal: " + path + ": " + std::to_string(parser.corrupt()) +
                       " damaged stretches skipped (a torn or corrupt record)");
        m_counts.corrupt += parser.corrupt();
        if (segment.samples.empty()) {
            unlink(path.c_str());
            continue;
        }
        m_counts.bytes += segment.bytes;
        m_counts.waiting += segment.unsent;
        m_counts.unsent += segment.unsent;
        m_segments.push_back(std::move(segment));
    }
    if (!m_segments.empty())
        LogInfo("journal: " + std::to_string(m_counts.unsent) + " samples in " +
                std::to_string(m_segments.size()) + " segments wait to be sent");
}

Journal::Segment *Journal::find(uint64_t number) {
    const auto it = std::lower_bound(m_segments.begin(), m_segments.end(), number,
                                     [](const Segment &s, uint64_t n) { return s.number < n; });
    return it != m_segments.end() && it->number == number ? &*it : nullptr;
}

bool Journal::startSegment() {
    const uint64_t number = m_nextNumber;
    const std::string path = pathOf(number);
    m_fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, 0644);
    if (m_fd < 0) return false;
    ++m_nextNumber;
    SyncFolder(m_folder); // so that a power cut keeps the new file's name
    Segment segment;
    segment.number = number;
    m_segments.push_back(std::move(segment));
    m_numbers.clear();
    return true;
}

void Journal::sealCurrent() {
    if (m_fd < 0) return;
    if (m_dirty) fdatasync(m_fd);
    m_dirty = false;
    close(m_fd);
    m_fd = -1;
    m_segments.back().sealed = true;
    removeIfDone(m_segments.back().number);
}

bool Journal::append(const Source &source, const StoredSample &sample, Location &where) {
    if (m_fd < 0 && (Now() < m_retryAt || !startSegment())) {
        if (Now() >= m_retryAt) m_retryAt = Now() + kRetrySeconds;
        return false;
    }
    const bool named = m_numbers.count(source.name);
    const uint64_t need = kSampleRecordBytes + (named ? 0 : kHeaderBytes + 2 + 3 * 256);
    if (m_segments.back().bytes + need > m_segmentBytes && !m_segments.back().samples.empty()) {
        sealCurrent();
        if (!startSegment()) {
            LogWarning("journal: cannot start a segment in " + m_folder + ": " + Reason() +
                       "; samples wait in memory until it can");
            m_retryAt = Now() + kRetrySeconds;
            return false;
        }
    }
    m_buffer.clear();
    auto known = m_numbers.find(source.name);
    if (known == m_numbers.end()) {
        known = m_numbers.emplace(source.name, static_cast<uint16_t>(m_numbers.size())).first;
        AppendSource(m_buffer, known->second, source);
    }
    AppendSample(m_buffer, known->second, sample);
    Segment &segment = m_segments.back();
    ssize_t written = 0;
    do
        written = ::write(m_fd, m_buffer.data(), m_buffer.size());
    while (written < 0 && errno == EINTR);
    if (written != ssize_t(m_buffer.size())) {
        if (written >= 0) errno = ENOSPC;
        LogWarning("journal: cannot write to " + pathOf(segment.number) + ": " + Reason() +
                   "; samples wait in memory until it can");
        // A part of the record would read as garbage, and the next record would follow it.
        if (ftruncate(m_fd, off_t(segment.bytes)) != 0) m_numbers.clear();
        sealCurrent();
        m_retryAt = Now() + kRetrySeconds;
        return false;
    }
    if (m_retryAt > 0) LogInfo("journal: writing to " + m_folder + " again");
    m_retryAt = 0;
    where = {segment.number, static_cast<uint32_t>(segment.samples.size())};
    segment.bytes += m_buffer.size();
    segment.samples.push_back(State::Unsent);
    ++segment.unsent;
    if (segment.firstMs < 0) segment.firstMs = sample.wallMs;
    m_counts.bytes += m_buffer.size();
    ++m_counts.waiting;
    ++m_counts.unsent;
    m_dirty = true;
    keepWithinSize();
    return true;
}

void Journal::sync() {
    if (m_dirty && m_fd >= 0) fdatasync(m_fd);
    m_dirty = false;
}

void Journal::removeIfDone(uint64_t number) {
    const Segment *segment = find(number);
    if (segment && segment->sealed && segment->confirmed == segment->samples.size())
        remove(m_segments.begin() + (segment - &m_segments.front()));
}

void Journal::remove(std::deque<Segment>::iterator it) {
    unlink(pathOf(it->number).c_str());
    m_counts.bytes -= it->bytes;
    m_counts.waiting -= int64_t(it->samples.size() - it->confirmed);
    m_counts.unsent -= it->unsent;
    if (it->number == m_readSegment) {
        m_readSegment = 0;
        m_parser.reset();
    }
    std::erase_if(m_ahead, [&](const Unsent &u) { return u.where.segment == it->number; });
    m_segments.erase(it);
}

void Journal::keepWithinSize() {
    while (m_counts.bytes > m_maxBytes && !m_segments.empty() && m_segments.front().sealed) {
        // Samples handed over stay with the broker connection, which still delivers them.
        const int64_t lost = m_segments.front().unsent;
        m_counts.dropped += lost;
        LogWarning("journal: full (max_mb): its oldest segment goes, " + std::to_string(lost) +
                   " samples dropped");
        remove(m_segments.begin());
    }
}

// Reads the next stretch of unsent samples from their segment into m_ahead.
void Journal::readAhead() {
    for (int chunks = 0; chunks < 8 && m_ahead.empty() && m_counts.unsent > 0; ++chunks) {
        Segment *segment = m_readSegment ? find(m_readSegment) : nullptr;
        if (segment && (segment->unsent == 0 || (segment->sealed && m_readOffset >= segment->bytes)))
            segment = nullptr;
        if (!segment) {
            const uint64_t after = m_readSegment; // 0: from the oldest
            const auto next = std::find_if(m_segments.begin(), m_segments.end(), [&](const Segment &s) {
                return s.unsent > 0 && s.number > after;
            });
            m_readSegment = 0;
            if (next == m_segments.end()) {
                if (after == 0) return;
                continue;
            }
            segment = &*next;
            m_readSegment = segment->number;
            m_readOffset = 0;
            m_parser = std::make_unique<SegmentParser>();
            m_parser->onSample = [this](const std::shared_ptr<const Source> &source, const StoredSample &s,
                                        uint32_t ordinal) {
                const Segment *at = find(m_readSegment);
                if (at && ordinal < at->samples.size() && at->samples[ordinal] == State::Unsent)
                    m_ahead.push_back({source, s, {m_readSegment, ordinal}});
            };
        }
        if (m_readOffset >= segment->bytes) return; // the newest samples are not written yet
        const std::string path = pathOf(segment->number);
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        std::string chunk(std::min<uint64_t>(kChunk, segment->bytes - m_readOffset), '\0');
        const ssize_t n = fd < 0 ? -1 : pread(fd, chunk.data(), chunk.size(), off_t(m_readOffset));
        if (fd >= 0) close(fd);
        if (n <= 0) {
            LogWarning("journal: cannot read " + path + ": " + Reason() + "; its samples are dropped");
            m_counts.dropped += int64_t(segment->samples.size() - segment->confirmed);
            remove(m_segments.begin() + (segment - &m_segments.front()));
            continue;
        }
        chunk.resize(std::size_t(n));
        const bool last = segment->sealed && m_readOffset + uint64_t(n) >= segment->bytes;
        const std::size_t used = m_parser->parse(chunk, last);
        m_readOffset = last ? segment->bytes : m_readOffset + used;
    }
}

bool Journal::nextUnsent(Unsent &out) {
    for (;;) {
        if (m_ahead.empty()) readAhead();
        if (m_ahead.empty()) return false;
        out = std::move(m_ahead.front());
        m_ahead.pop_front();
        const Segment *segment = find(out.where.segment);
        if (segment && segment->samples[out.where.ordinal] == State::Unsent) return true;
    }
}

void Journal::markSent(const Location &where, bool replayed) {
    Segment *segment = find(where.segment);
    if (!segment || where.ordinal >= segment->samples.size()) return;
    State &state = segment->samples[where.ordinal];
    if (state != State::Unsent) return;
    state = State::Sent;
    --segment->unsent;
    --m_counts.unsent;
    if (replayed) ++m_counts.replayed;
}

void Journal::confirm(const Location &where) {
    Segment *segment = find(where.segment);
    if (!segment || where.ordinal >= segment->samples.size()) return;
    State &state = segment->samples[where.ordinal];
    if (state == State::Confirmed) return;
    if (state == State::Unsent) {
        --segment->unsent;
        --m_counts.unsent;
    }
    state = State::Confirmed;
    ++segment->confirmed;
    --m_counts.waiting;
    // A confirmed segment that is still written to goes too, once it is of some size:
    // after a crash, only the samples since then come again.
    if (!segment->sealed && segment->confirmed == segment->samples.size() && segment->bytes >= kSettledBytes)
        sealCurrent();
    removeIfDone(where.segment);
}

void Journal::discard(const Location &where) {
    const Segment *segment = find(where.segment);
    if (!segment || where.ordinal >= segment->samples.size() ||
        segment->samples[where.ordinal] == State::Confirmed)
        return;
    ++m_counts.dropped;
    confirm(where);
}

void Journal::unsendUnconfirmed() {
    for (Segment &segment : m_segments)
        for (State &state : segment.samples)
            if (state == State::Sent) {
                state = State::Unsent;
                ++segment.unsent;
                ++m_counts.unsent;
            }
    rewind();
}

void Journal::rewind() {
    m_readSegment = 0;
    m_parser.reset();
    m_ahead.clear();
}

Counts Journal::counts() const {
    Counts c = m_counts;
    const auto oldest = std::find_if(m_segments.begin(), m_segments.end(),
                                     [](const Segment &s) { return s.confirmed < s.samples.size(); });
    c.oldestMs = oldest == m_segments.end() ? -1 : oldest->firstMs;
    return c;
}

} // namespace gateway::journal
