// The gateway's journal on real files: records read back whatever garbage lies
// around them, segments that go only when the broker has every sample, a size
// that drops the oldest segment and counts it, a folder that one gateway holds.
#include "gateway/journal.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numeric>

namespace {

using namespace gateway::journal;
namespace fs = std::filesystem;

const Source kS1{"s1", "tcp://127.0.0.1:4001", "plant/s1/data"};
const Source kS2{"s2", "tcp://127.0.0.1:4002", "plant/s2/data"};

StoredSample SampleNo(int64_t seq) {
    return {seq, 1700000000000 + seq * 100, {1, 2, 3, 4, 5, 6, 7, uint16_t(seq)}, 0};
}

struct Read {
    std::vector<std::pair<std::string, int64_t>> samples; // sensor and sequence number
    int64_t corrupt = 0;
};

Read Parse(const std::string &bytes) {
    Read read;
    SegmentParser parser;
    parser.onSample = [&](const std::shared_ptr<const Source> &source, const StoredSample &s, uint32_t) {
        read.samples.emplace_back(source->name, s.seq);
    };
    EXPECT_EQ(parser.parse(bytes, true), bytes.size());
    read.corrupt = parser.corrupt();
    return read;
}

std::string Segment(int samples) {
    std::string bytes;
    AppendSource(bytes, 0, kS1);
    for (int k = 0; k < samples; ++k)
        AppendSample(bytes, 0, SampleNo(k));
    return bytes;
}

TEST(JournalFormat, SampleRecordMatchesItsLayoutByteForByte) {
    // Made by hand from the layout: mark, kind 2, length 36, CRC-32, then the fields little endian.
    const std::string expected =
        QByteArray::fromHex("d7022400af5e160803002a000000000000007b68e5cf8b01000001000200"
                            "03000400050006000700ffff0100")
            .toStdString();
    std::string bytes;
    AppendSample(bytes, 3, {42, 1700000000123, {1, 2, 3, 4, 5, 6, 7, 65535}, 1});
    EXPECT_EQ(bytes, expected);
    EXPECT_EQ(bytes.size(), kSampleRecordBytes);
}

TEST(JournalFormat, IntactRecordsSurviveGarbageAroundThem) {
    const std::string good = Segment(3);
    const std::string garbage = "\xd7\x02\x24\x00garbage\xd7\x01\xff";
    struct Case {
        const char *what;
        std::string bytes;
        std::size_t samples;
        int64_t corrupt;
    } cases[] = {
        {"intact", good, 3, 0},
        {"garbage appended", good + garbage, 3, 1},
        {"garbage before", garbage + good, 3, 1},
        {"garbage between samples",
         good.substr(0, good.size() - 44) + garbage + good.substr(good.size() - 44), 3, 1},
        {"a flipped bit in the last sample",
         good.substr(0, good.size() - 3) + "\x01" + good.substr(good.size() - 2), 2, 1},
        {"no source record", good.substr(good.size() - 88), 0, 1},
        {"empty", "", 0, 0},
    };
    for (const Case &c : cases) {
        const Read read = Parse(c.bytes);
        EXPECT_EQ(read.samples.size(), c.samples) << c.what;
        EXPECT_EQ(read.corrupt, c.corrupt) << c.what;
    }
}

TEST(JournalFormat, TruncatedAtAnyByteKeepsEveryWholeRecord) {
    const std::string good = Segment(3);
    const std::size_t sourceBytes = good.size() - 3 * kSampleRecordBytes;
    for (std::size_t cut = 0; cut <= good.size(); ++cut) {
        const Read read = Parse(good.substr(0, cut));
        const std::size_t whole = cut < sourceBytes ? 0 : (cut - sourceBytes) / kSampleRecordBytes;
        EXPECT_EQ(read.samples.size(), whole) << cut;
        const bool torn = cut != sourceBytes + whole * kSampleRecordBytes && cut != 0;
        EXPECT_EQ(read.corrupt, torn ? 1 : 0) << cut;
    }
}

TEST(JournalFormat, ChunksSplitAnywhereReadAsTheWhole) {
    const std::string good = Segment(4);
    for (std::size_t split = 0; split <= good.size(); ++split) {
        SegmentParser parser;
        int64_t last = -1;
        parser.onSample = [&](const std::shared_ptr<const Source> &, const StoredSample &s, uint32_t) {
            EXPECT_EQ(s.seq, last + 1);
            last = s.seq;
        };
        std::string pending = good.substr(0, split);
        pending.erase(0, parser.parse(pending, false));
        pending += good.substr(split);
        parser.parse(pending, true);
        EXPECT_EQ(last, 3) << split;
        EXPECT_EQ(parser.corrupt(), 0) << split;
    }
}

class JournalFolder : public ::testing::Test {
  protected:
    std::string folder() const { return m_dir.path().toStdString() + "/storage"; }
    std::vector<fs::path> segments() const {
        std::vector<fs::path> found;
        for (const auto &entry : fs::directory_iterator(folder()))
            if (entry.path().extension() == ".seg") found.push_back(entry.path());
        std::sort(found.begin(), found.end());
        return found;
    }
    // Every unsent sample, oldest first, handed over and (when confirm) confirmed.
    static std::vector<int64_t> SendAll(Journal &journal, bool confirm) {
        std::vector<int64_t> sent;
        Journal::Unsent u;
        while (journal.nextUnsent(u)) {
            sent.push_back(u.sample.seq);
            journal.markSent(u.where, true);
            if (confirm) journal.confirm(u.where);
        }
        return sent;
    }
    QTemporaryDir m_dir;
};

TEST_F(JournalFolder, WhatARunLeftIsSentAgainOldestFirstAndGoesWhenConfirmed) {
    {
        Journal journal;
        std::string problem;
        ASSERT_TRUE(journal.open(folder(), 100000, problem)) << problem;
        Location where;
        for (int k = 0; k < 1000; ++k) // several segments of 12.5 kB
            ASSERT_TRUE(journal.append(k % 2 ? kS2 : kS1, SampleNo(k), where));
        journal.markSent(where); // handed over, never confirmed: the next run sends it again
        EXPECT_EQ(journal.counts().waiting, 1000);
        EXPECT_EQ(journal.counts().unsent, 999);
    }
    ASSERT_GT(segments().size(), 2u);
    Journal journal;
    std::string problem;
    ASSERT_TRUE(journal.open(folder(), 100000, problem)) << problem;
    EXPECT_EQ(journal.counts().unsent, 1000);
    std::vector<int64_t> expected(1000);
    std::iota(expected.begin(), expected.end(), 0);
    EXPECT_EQ(SendAll(journal, true), expected);
    EXPECT_EQ(journal.counts().waiting, 0);
    EXPECT_EQ(journal.counts().replayed, 1000);
    EXPECT_EQ(segments().size(), 1u); // only the one being written
}

TEST_F(JournalFolder, ASegmentStaysUntilEverySampleInItIsConfirmed) {
    Journal journal;
    std::string problem;
    ASSERT_TRUE(journal.open(folder(), 40000, problem)) << problem; // segments of 5000 bytes
    std::vector<Location> at;
    Location where;
    for (int k = 0; k < 300; ++k) {
        ASSERT_TRUE(journal.append(kS1, SampleNo(k), where));
        at.push_back(where);
        journal.markSent(where);
    }
    const std::size_t before = segments().size();
    ASSERT_GT(before, 2u);
    for (int k = 1; k < 300; ++k) // all but the first
        journal.confirm(at[k]);
    EXPECT_EQ(segments().size(), 2u); // the first, waiting for its first sample, and the newest
    journal.confirm(at[0]);
    EXPECT_EQ(segments().size(), 1u);
    EXPECT_EQ(journal.counts().waiting, 0);
}

TEST_F(JournalFolder, ConfirmedSamplesDoNotPileUpForACrashToSendAgain) {
    Journal journal;
    std::string problem;
    ASSERT_TRUE(journal.open(folder(), 256000000, problem)) << problem; // segments of 1 MiB
    Location where;
    for (int k = 0; k < 5000; ++k) {
        ASSERT_TRUE(journal.append(kS1, SampleNo(k), where));
        journal.markSent(where);
        journal.confirm(where);
    }
    EXPECT_LE(journal.counts().bytes, 16u * 1024 + 1024);
    EXPECT_LE(segments().size(), 1u);
}

TEST_F(JournalFolder, FullDropsTheOldestSegmentAndCountsItsSamplesExactly) {
    Journal journal;
    std::string problem;
    ASSERT_TRUE(journal.open(folder(), 20000, problem)) << problem; // segments of 2500 bytes
    Location where;
    for (int k = 0; k < 2000; ++k)
        ASSERT_TRUE(journal.append(kS1, SampleNo(k), where));
    const Counts c = journal.counts();
    EXPECT_LE(c.bytes, 20000u);
    EXPECT_EQ(c.dropped + c.waiting, 2000);
    const std::vector<int64_t> left = SendAll(journal, true);
    ASSERT_EQ(int64_t(left.size()), c.waiting);
    EXPECT_EQ(left.front(), c.dropped); // the newest ones are kept, in order
    EXPECT_EQ(left.back(), 1999);
}

TEST_F(JournalFolder, GarbageInItsFilesChangesNoSample) {
    {
        Journal journal;
        std::string problem;
        ASSERT_TRUE(journal.open(folder(), 1000000, problem)) << problem;
        Location where;
        for (int k = 0; k < 50; ++k)
            ASSERT_TRUE(journal.append(kS1, SampleNo(k), where));
    }
    for (const fs::path &path : segments())
        std::ofstream(path, std::ios::app | std::ios::binary) << "\xd7\x02\x24\x00 a torn record, then noise";
    fs::create_directory(fs::path(folder()) /
                         "journal-0000000000000100.seg"); // a folder in a segment's place
    std::ofstream(fs::path(folder()) / "journal-0000000000000099.seg") << "nothing but garbage";
    Journal journal;
    std::string problem;
    ASSERT_TRUE(journal.open(folder(), 1000000, problem)) << problem;
    std::vector<int64_t> expected(50);
    std::iota(expected.begin(), expected.end(), 0);
    EXPECT_EQ(SendAll(journal, true), expected);
    EXPECT_EQ(journal.counts().corrupt, 2);
    Location where;
    EXPECT_TRUE(journal.append(kS1, SampleNo(50), where)); // after the folder's number
    EXPECT_EQ(where.segment, 101u);
}

TEST_F(JournalFolder, SecondJournalOnOneFolderIsRefused) {
    Journal first, second;
    std::string problem;
    ASSERT_TRUE(first.open(folder(), 100000, problem)) << problem;
    EXPECT_FALSE(second.open(folder(), 100000, problem));
    EXPECT_NE(problem.find("in use by another gateway"), std::string::npos) << problem;
}

TEST_F(JournalFolder, AFileWhereTheFolderShouldBeIsRefused) {
    std::ofstream(folder()) << "a file";
    Journal journal;
    std::string problem;
    EXPECT_FALSE(journal.open(folder(), 100000, problem));
    EXPECT_NE(problem.find(folder()), std::string::npos) << problem;
}

TEST_F(JournalFolder, ARefusedWriteLeavesNoTornRecord) {
    Journal journal;
    std::string problem;
    ASSERT_TRUE(journal.open(folder(), 1000000, problem)) << problem;
    Location where;
    ASSERT_TRUE(journal.append(kS1, SampleNo(0), where));
    // A file size limit refuses writes as a full disk does.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit before{};
    getrlimit(RLIMIT_FSIZE, &before);
    rlimit limit = before;
    limit.rlim_cur = fs::file_size(segments().back()) + 20;
    setrlimit(RLIMIT_FSIZE, &limit);
    EXPECT_FALSE(journal.append(kS1, SampleNo(1), where));
    EXPECT_TRUE(journal.failing());
    setrlimit(RLIMIT_FSIZE, &before);
    std::ifstream in(segments().front(), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const Read read = Parse(bytes);
    EXPECT_EQ(read.corrupt, 0);
    EXPECT_EQ(read.samples.size(), 1u);
    EXPECT_EQ(SendAll(journal, false), std::vector<int64_t>{0});
}

} // namespace
