// The gateway's journal: every sample on disk before it is sent, kept until the
// broker has acknowledged it. A folder of segment files (journal-NUMBER.seg, of
// records as in journalformat.h) and a lock file that keeps a second gateway
// out. Appends go to the newest segment with one write() each, so a killed
// process loses none of them; sync() puts them on the disk. A segment goes when
// every sample in it is confirmed, or, when the journal outgrows its size, as
// the oldest (its unconfirmed samples counted as dropped). A journal left by an
// earlier run is read at open: every sample in it is sent again, oldest first.
#pragma once

#include "gateway/journalformat.h"

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace gateway::journal {

// Where a sample lies: its segment and its place among the segment's samples.
struct Location {
    uint64_t segment = 0;
    uint32_t ordinal = 0;
};

struct Counts {
    uint64_t bytes = 0;    // of every segment
    int64_t waiting = 0;   // samples not yet confirmed by the broker
    int64_t unsent = 0;    // of them, not yet handed to the broker
    int64_t replayed = 0;  // samples handed to the broker from the disk
    int64_t dropped = 0;   // unsent samples of segments removed because the journal was full
    int64_t corrupt = 0;   // stretches of garbage skipped by the reader
    int64_t oldestMs = -1; // wall-clock time of the oldest segment's first sample; -1: none
};

class Journal {
  public:
    Journal() = default;
    ~Journal();
    Journal(const Journal &) = delete;
    Journal &operator=(const Journal &) = delete;

    // Opens (and makes) the folder, locks it and reads what an earlier run left;
    // false with the reason when it cannot be written or another process holds it.
    bool open(const std::string &folder, uint64_t maxBytes, std::string &problem);
    void setMaxBytes(uint64_t maxBytes);

    // Writes a sample; false when the disk refuses it (full, failing): the caller
    // keeps the sample in memory, and the journal tries again a little later.
    bool append(const Source &source, const StoredSample &sample, Location &where);
    // Puts what was appended on the disk.
    void sync();

    // The oldest sample not yet handed to the broker, read back from its segment.
    struct Unsent {
        std::shared_ptr<const Source> source;
        StoredSample sample;
        Location where;
    };
    bool nextUnsent(Unsent &out);
    // The sample was handed to the broker (as a live or a replayed one).
    void markSent(const Location &where, bool replayed = false);
    // The broker has it: a segment whose samples all are confirmed goes.
    void confirm(const Location &where);
    // A sample that can never go (its device is unknown to the host): removed as dropped.
    void discard(const Location &where);
    // The next nextUnsent() starts from the oldest again: samples passed over come again.
    void rewind();
    // Handed-over samples the broker has not confirmed are to be sent again (a new connection).
    void unsendUnconfirmed();

    Counts counts() const;
    bool failing() const { return m_fd < 0 && m_retryAt > 0; }

  private:
    enum class State : uint8_t { Unsent, Sent, Confirmed };
    struct Segment {
        uint64_t number = 0;
        uint64_t bytes = 0;
        std::vector<State> samples;
        uint32_t confirmed = 0;
        uint32_t unsent = 0;
        int64_t firstMs = -1;
        bool sealed = false;
    };

    std::string pathOf(uint64_t number) const;
    void readEarlier();
    Segment *find(uint64_t number);
    bool startSegment();
    void sealCurrent();
    void removeIfDone(uint64_t number);
    void remove(std::deque<Segment>::iterator it);
    void keepWithinSize();
    void readAhead();

    std::string m_folder;
    uint64_t m_maxBytes = 0;
    uint64_t m_segmentBytes = 0;
    int m_lock = -1;
    int m_fd = -1; // the segment being written
    uint64_t m_nextNumber = 1;
    double m_retryAt = 0;
    std::deque<Segment> m_segments;            // oldest first; the last one is written while m_fd is open
    std::map<std::string, uint16_t> m_numbers; // sources named in the segment being written
    std::string m_buffer;
    bool m_dirty = false;
    Counts m_counts;

    // The reader of unsent samples: where it stands and what it has read ahead.
    uint64_t m_readSegment = 0;
    uint64_t m_readOffset = 0;
    std::unique_ptr<SegmentParser> m_parser;
    std::deque<Unsent> m_ahead;
};

// The size of one segment for a journal of maxBytes.
uint64_t SegmentBytes(uint64_t maxBytes);

} // namespace gateway::journal
