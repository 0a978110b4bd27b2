// The Sparkplug birth/death sequence number (bdSeq) kept in the storage folder, so
// that a gateway restarted after a crash starts with the number after the one of
// the session that died: a host would otherwise take that session's will, still
// due, for the death of the new one.
#pragma once

#include <string>

namespace gateway {

class BdSeqStore {
  public:
    // folder: the storage folder; empty keeps the number in memory only.
    explicit BdSeqStore(std::string folder);

    // The bdSeq for the next CONNECT: 0 the first time ever, then the one after the
    // last one written (255 wraps to 0).
    int next() const { return m_next; }
    // Notes that next() went out in a CONNECT, on disk before it goes; the number
    // after it is next() from now on. False with the reason when the file cannot be written.
    bool use(std::string &problem);

  private:
    std::string m_path; // the file, or empty
    int m_next = 0;
};

// "" when path is a folder the gateway may write in, the reason otherwise.
std::string CheckWritableFolder(const std::string &path);

} // namespace gateway
