// File services: array files, line I/O, file information.
#include "runtime/formatio.h"
#include "tests/test_support.h"

#include <bit>
#include <filesystem>
#include <gtest/gtest.h>
#include <limits>
#include <vector>

using namespace runtime;

namespace {

class FormatIo : public ::testing::Test {
  protected:
    QTemporaryDir dir;
    std::string Path(const char *name) const { return dir.filePath(name).toStdString(); }
};

TEST_F(FormatIo, Uint16ArrayIsRightAlignedInFieldWithCrLf) {
    const std::string path = Path("Parameter.ini");
    const uint16_t values[] = {1, 0, 65535, 42};
    ASSERT_EQ(ArrayToFile(path, values, 4, 5, VAL_TRUNCATE), 0);
    ASSERT_EQ(ArrayToFile(path, values, 1, 3, VAL_APPEND), 0);
    EXPECT_EQ(ReadFileBytes(path), "    1\r\n    0\r\n65535\r\n   42\r\n  1\r\n");
    uint16_t back[6] = {};
    ASSERT_EQ(FileToArray(path, back, 6), 5);
    EXPECT_EQ(std::vector<uint16_t>(back, back + 6), (std::vector<uint16_t>{1, 0, 65535, 42, 1, 0}));
}

TEST_F(FormatIo, DoubleArrayReadsBackBitForBit) {
    const std::string path = Path("equation.equ");
    const std::vector<double> values = {
        0.1,       1.2345678e-07,       -0.0,    1e300,
        1.0 / 3.0, 0.30000000000000004, -1e-300, std::numeric_limits<double>::denorm_min()};
    const int n = static_cast<int>(values.size());
    ASSERT_EQ(ArrayToFile(path, values.data(), n, 10, VAL_TRUNCATE), 0);
    EXPECT_EQ(ReadFileBytes(path).substr(0, 39), "       0.1\r\n1.2345678e-07\r\n        -0\r\n");
    std::vector<double> back(values.size());
    ASSERT_EQ(FileToArray(path, back.data(), n), n);
    for (int i = 0; i < n; ++i)
        EXPECT_EQ(std::bit_cast<uint64_t>(back[i]), std::bit_cast<uint64_t>(values[i])) << "value " << i;
}

TEST_F(FormatIo, FailedOrIncompleteArrayWriteReportsError) {
    const std::vector<double> many(5000, 1.0 / 7.0);
    EXPECT_EQ(ArrayToFile(Path("no/such/dir.equ"), many.data(), 5, 10, VAL_TRUNCATE), -1);
    EXPECT_EQ(ArrayToFile(Path("x.equ"), many.data(), 5, -1, VAL_TRUNCATE), -1);
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no full device to write to";
    // A full disk accepts the open and fails the write, either at once or when flushed.
    EXPECT_EQ(ArrayToFile("/dev/full", many.data(), 5000, 10, VAL_TRUNCATE), -1);
    EXPECT_EQ(ArrayToFile("/dev/full", many.data(), 1, 10, VAL_APPEND), -1);
}

TEST_F(FormatIo, Uint16ReadingAcceptsLineEndsAndStopsAtFirstNonNumber) {
    const struct {
        std::string content;
        std::vector<uint16_t> expected; // numbers read; the rest must stay untouched
    } cases[] = {
        {"1\n2\n3\n", {1, 2, 3}},
        {"    1\r\n65535\r\n", {1, 65535}},
        {" 7  8\t9", {7, 8, 9}},
        {"", {}},
        {"\r\n\n", {}},
        {"5\nabc\n7\n", {5}},
        {"4\n65536\n", {4}},
        {"-1\n", {}},
        {"12x 1.5\n", {}},
        {std::string("\0\xff", 2), {}},
        {std::string(100000, '9'), {}},
    };
    const std::string path = Path("read.ini");
    for (const auto &c : cases) {
        WriteFileBytes(path, c.content);
        std::vector<uint16_t> back(5, 777);
        EXPECT_EQ(FileToArray(path, back.data(), 5), static_cast<int>(c.expected.size())) << c.content;
        std::vector<uint16_t> expected = c.expected;
        expected.resize(5, 777);
        EXPECT_EQ(back, expected) << c.content;
    }
    uint16_t one = 0;
    EXPECT_EQ(FileToArray(Path("missing.ini"), &one, 1), -1);
}

TEST_F(FormatIo, DoubleReadingStopsAtFirstInvalidNumber) {
    const std::string path = Path("read.equ");
    WriteFileBytes(path, "  1.5e3\r\n-2\n.25\n1e999\n4\n");
    double back[5] = {};
    EXPECT_EQ(FileToArray(path, back, 5), 3);
    EXPECT_EQ((std::vector<double>(back, back + 4)), (std::vector<double>{1500.0, -2.0, 0.25, 0.0}));
    WriteFileBytes(path, "7\n2,5\n");
    EXPECT_EQ(FileToArray(path, back, 5), 1);
    EXPECT_EQ(back[1], -2.0); // a token that only starts like a number changes nothing
    EXPECT_EQ(FileToArray(Path("missing.equ"), back, 5), -1);
}

TEST_F(FormatIo, ReadLineCutsLongLinesDropsLineEndsAndSignalsEndOfFile) {
    // Server-name records are padded with zero bytes; the text ends at the first one.
    const std::string path = Path("lines.cfg");
    WriteFileBytes(path, "abcdef\r\nxyz\r\n\n" + std::string("srv\0\0\0\n", 7) + "last");
    const int h = OpenFile(path, VAL_READ_ONLY, VAL_OPEN_AS_IS, VAL_ASCII);
    ASSERT_GT(h, 0);
    std::string line;
    for (const std::string expected : {"abcd", "xyz", "", "srv", "last"}) {
        EXPECT_EQ(ReadLine(h, line, 4), static_cast<int>(expected.size()));
        EXPECT_EQ(line, expected);
    }
    EXPECT_EQ(ReadLine(h, line, 4), -2);
    EXPECT_EQ(ReadLine(h, line, 4), -2);
    EXPECT_EQ(CloseFile(h), 0);
    EXPECT_EQ(ReadLine(h, line, 3), -1);
    EXPECT_EQ(CloseFile(h), -1);
}

TEST_F(FormatIo, WriteLineUsesPlatformLineEndAndBytesPassUntranslated) {
#ifdef _WIN32
    const std::string lineEnd = "\r\n";
#else
    const std::string lineEnd = "\n";
#endif
    const std::string path = Path("ComSettings.cfg");
    WriteFileBytes(path, "old content that must go away\n");
    const int h = OpenFile(path, VAL_READ_WRITE, VAL_TRUNCATE, VAL_ASCII);
    ASSERT_GT(h, 0);
    EXPECT_EQ(WriteLine(h, "1"), static_cast<int>(1 + lineEnd.size()));
    const std::string raw("\r\n\x1a\0\n", 5);
    EXPECT_EQ(WriteFile(h, raw), 5);
    EXPECT_EQ(CloseFile(h), 0);
    EXPECT_EQ(ReadFileBytes(path), "1" + lineEnd + raw);
}

TEST_F(FormatIo, FileInfoDeleteAndBadOpens) {
    const std::string path = Path("record.dat");
    WriteFileBytes(path, "12345");
    long size = 0;
    EXPECT_EQ(GetFileInfo(path, size), 1);
    EXPECT_EQ(size, 5);
    EXPECT_EQ(DeleteFile(path), 0);
    EXPECT_EQ(GetFileInfo(path, size), 0);
    EXPECT_EQ(DeleteFile(path), -1);
    EXPECT_EQ(OpenFile(path, VAL_READ_ONLY, VAL_OPEN_AS_IS, VAL_ASCII), -1);
    EXPECT_EQ(OpenFile(path, 7, VAL_TRUNCATE, VAL_ASCII), -1);
}

} // namespace
