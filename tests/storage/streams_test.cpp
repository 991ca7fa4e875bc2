// The stream table: limits, the console, open flags, line and block reads,
// positions and the end-of-file marker, the one-call file helpers.
#include "storage/streams.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "core/status.h"
#include "core/temp_stack.h"
#include "support/runtime_fixture.h"
#include "support/test_dirs.h"

namespace {

using qtest::S;

bool Exists(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return false;
  std::fclose(f);
  return true;
}

class StreamsTest : public RuntimeTest {
 protected:
  void SetUp() override {
    RuntimeTest::SetUp();
    StreamsReset();
    dir_ = qtest::MakeTempDir("streams");
  }
  void TearDown() override {
    StreamsReset();
    qtest::RemoveTree(dir_);
    RuntimeTest::TearDown();
  }
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  uint16_t Open(const std::string& name, uint16_t flags) {
    std::string path = Path(name);
    return StreamOpen(StrMake(path.data(), static_cast<uint16_t>(path.size())), flags);
  }
  // Every line of a file read with StreamRead into a buffer of `capacity`.
  std::vector<std::string> Lines(const std::string& content, uint16_t capacity = 2048) {
    EXPECT_TRUE(qtest::WriteFile(Path("lines.txt"), content));
    uint16_t n = Open("lines.txt", 9);
    EXPECT_GE(n, kStreamFirstFile);
    std::vector<std::string> lines;
    std::vector<char> buffer(capacity);
    for (int guard = 0; guard < 100; ++guard) {
      uint16_t got = StreamRead(n, kStreamHere, kStreamLine, buffer.data(), capacity);
      if (got == kStreamFail) break;
      lines.emplace_back(buffer.data(), got);
    }
    StreamClose(n);
    return lines;
  }
  std::string dir_;
};

TEST_F(StreamsTest, AllUserEntriesThenOutOfBoundsThenReuse) {
  std::vector<uint16_t> numbers;
  for (int i = 0; i < 37; ++i) {
    uint16_t n = Open("f" + std::to_string(i), 1);
    ASSERT_EQ(n, 3 + i) << "open " << i;
    numbers.push_back(n);
  }
  EXPECT_EQ(StreamsInUse(), 37);
  EXPECT_EQ(Open("extra", 1 | kStreamQuiet), kStDataOutBound);
  EXPECT_EQ(ErrWord(), 0u) << "a quiet failure is not recorded";
  EXPECT_EQ(Open("extra", 1), kStreamFail);
  EXPECT_EQ(ErrWord(), (uint32_t{kModStreams} << 16) | kStDataOutBound);
  EXPECT_NE(S(ErrDetailText()).find("extra"), std::string::npos);

  StreamClose(10);
  EXPECT_EQ(Open("again", 1), 10);
  // The console needs no entry, so it still answers with a full table.
  EXPECT_EQ(StreamOpen(Lit("CON"), 2), 1);
}

TEST_F(StreamsTest, ConsoleNames) {
  struct Case {
    const char* name;
    uint16_t flags;
    uint16_t expect;
  } cases[] = {{"CON", 2, 1}, {"CON", 1, 0}, {"CON", 0x82, 1}, {"CON", 0x22, 1},
               {"CON", 3, 0}, {"CON", 8, 0}, {"CON", 0x12, 0}};
  for (const Case& c : cases)
    EXPECT_EQ(StreamOpen(StrFromCstr(c.name), c.flags), c.expect) << c.name << " " << c.flags;
  EXPECT_EQ(StreamsInUse(), 0);
  StreamClose(0);
  StreamClose(1);
  EXPECT_TRUE(StreamIsOpen(0));
  EXPECT_TRUE(StreamIsOpen(1));
  EXPECT_EQ(StreamSize(1), 65535u);
  EXPECT_EQ(StreamTell(0), 0u);
}

TEST_F(StreamsTest, NoStreamBeforeTheTableOrBeyondIt) {
  char buffer[8];
  EXPECT_FALSE(StreamIsOpen(0)) << "the table starts at the first open";
  EXPECT_EQ(StreamRead(0, kStreamHere, 1, buffer, 8), kStreamFail);
  EXPECT_EQ(StreamWrite(1, kStreamHere, "x", 1), kStreamFail);
  uint16_t n = Open("a", 1);
  ASSERT_EQ(n, 3);
  for (uint16_t bad : {uint16_t{4}, uint16_t{39}, uint16_t{40}, uint16_t{0xFFFF}}) {
    EXPECT_FALSE(StreamIsOpen(bad));
    EXPECT_EQ(StreamRead(bad, 0, 1, buffer, 8), kStreamFail);
    EXPECT_EQ(StreamWrite(bad, 0, "x", 1), kStreamFail);
    EXPECT_EQ(StreamSeek(bad, 0), kStDiskIo);
    EXPECT_EQ(StreamTell(bad), kStreamNoPos);
    EXPECT_EQ(StreamSize(bad), 0u);
    EXPECT_EQ(StreamAtEnd(bad), 1);
    StreamClose(bad);
  }
  EXPECT_TRUE(StreamIsOpen(n));
}

TEST_F(StreamsTest, OpenFlagsAndCreation) {
  struct Case {
    uint16_t flags;
    bool exists;  // the file holds "abc" before the open
    bool opens;
    bool after;         // the file exists after the open
    const char* write;  // written at position 1 when not null
    const char* content;
  } cases[] = {
      {1, false, true, true, nullptr, ""},    // created empty
      {1, true, true, true, "Z", "aZc"},      // update in place
      {9, false, false, false, nullptr, ""},  // read-only: never created
      {8, false, false, false, nullptr, ""},
      {9, true, true, true, "Z", "abc"},   // read-only: the write fails
      {2, true, true, true, nullptr, ""},  // emptied
      {2, false, true, true, nullptr, ""},
      {4, true, true, true, "Z", "abcZ"},  // append: writes go to the end
      {4, false, true, true, "Z", "Z"},
  };
  int i = 0;
  for (const Case& c : cases) {
    std::string name = "case" + std::to_string(i++);
    if (c.exists) {
      ASSERT_TRUE(qtest::WriteFile(Path(name), "abc"));
    }
    uint16_t n = Open(name, c.flags | kStreamQuiet);
    SCOPED_TRACE(name + " flags " + std::to_string(c.flags));
    if (!c.opens) {
      EXPECT_EQ(n, kStFileNotFound);
    } else {
      ASSERT_GE(n, kStreamFirstFile);
      ASSERT_LT(n, kStreamCount);
      if (c.write) {
        uint16_t w = StreamWrite(n, 1, c.write, 1);
        EXPECT_EQ(w, c.flags & 8 ? kStreamFail : 1);
      }
      StreamClose(n);
    }
    EXPECT_EQ(qtest::ReadFile(Path(name)), c.content);
    EXPECT_EQ(Exists(Path(name)), c.after);
  }
  EXPECT_EQ(StreamsInUse(), 0);
}

TEST_F(StreamsTest, OpenFailuresRecordTheNameUnlessQuiet) {
  std::string missing = Path("nofolder/x.dat");
  StrDesc name = StrMake(missing.data(), static_cast<uint16_t>(missing.size()));
  EXPECT_EQ(StreamOpen(name, 1 | kStreamQuiet), kStFileNotFound);
  EXPECT_EQ(ErrWord(), 0u);
  EXPECT_EQ(StreamOpen(name, 1), kStreamFail);
  EXPECT_EQ(ErrWord(), (uint32_t{kModStreams} << 16) | kStFileNotFound);
  EXPECT_NE(S(ErrDetailText()).find("nofolder"), std::string::npos);
  EXPECT_EQ(StreamsInUse(), 0);

  std::string long_name(384, 'a');
  std::string limit_name = Path(std::string(383 - dir_.size() - 1, 'b'));
  ASSERT_EQ(limit_name.size(), 383u);
  const std::string nul_name("a\0b", 3);
  EXPECT_EQ(StreamOpen(Lit(""), 0x81), kStData);
  EXPECT_EQ(StreamOpen(Lit(long_name), 0x81), kStData);
  EXPECT_EQ(StreamOpen(Lit(nul_name), 0x81), kStData);
  EXPECT_EQ(StreamOpen(StrError(145), 0x81), 145);
  // 383 bytes pass the length check (the file system may still refuse the
  // component, which is then "not found").
  uint16_t n = StreamOpen(Lit(limit_name), 0x81);
  EXPECT_NE(n, kStData);
}

TEST_F(StreamsTest, LineEndings) {
  struct Case {
    std::string content;
    std::vector<std::string> lines;
  } cases[] = {
      {"A\r\nB\rC\nD", {"A", "B", "C", "D"}},
      {"\x1a", {}},
      {"", {}},
      {"A\r\nB\r\n\x1a", {"A", "B"}},
      {"last", {"last"}},
      {"A\r\n", {"A"}},
      {"A\n\rB", {"A", "", "B"}},  // LF CR is two line ends
      {"\r\n\r\n", {"", ""}},
      {"\n\n", {"", ""}},
      {"A\x1a", {"A"}},  // a Ctrl-Z that ends the file is not text
      {"\x1a"
       "A\n",
       {"\x1a"
        "A"}},  // only a lone or final Ctrl-Z ends the file
      {"A\rB\r", {"A", "B"}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Lines(c.content), c.lines) << "content " << c.content;
}

TEST_F(StreamsTest, LongLinesAndChunkBoundaries) {
  std::string a700(700, 'x');
  EXPECT_EQ(Lines(a700 + "\r\ny"), (std::vector<std::string>{a700, "y"}));
  // The CR is the last byte of the first 512-byte chunk; its LF comes with
  // the next one and must not make an empty line.
  std::string a511(511, 'a');
  EXPECT_EQ(Lines(a511 + "\r\nb"), (std::vector<std::string>{a511, "b"}));
  std::string a1500(1500, 'q');
  EXPECT_EQ(Lines(a1500), (std::vector<std::string>{a1500}));
  // A line longer than the buffer comes in buffer-sized pieces; a CR LF right
  // at the end of a full buffer is still one terminator.
  EXPECT_EQ(Lines("abcdefgh\nij", 5), (std::vector<std::string>{"abcde", "fgh", "ij"}));
  EXPECT_EQ(Lines("abcde\r\nfg", 5), (std::vector<std::string>{"abcde", "fg"}));
  EXPECT_EQ(Lines("abcde\rfg", 5), (std::vector<std::string>{"abcde", "fg"}));
}

TEST_F(StreamsTest, ConsoleLinesLoseNoByte) {
  // The console cannot seek back: a lone CR must not swallow the byte after
  // it; and its size is unknown: the end of the input ends the last line or
  // block with what came.
  ASSERT_TRUE(qtest::WriteFile(Path("in.txt"), "A\rB\nC\r\nD"));
  ASSERT_NE(std::freopen(Path("in.txt").c_str(), "rb", stdin), nullptr);
  ASSERT_EQ(StreamOpen(Lit("CON"), 1), 0);
  char buffer[16];
  std::vector<std::string> lines;
  for (int guard = 0; guard < 10; ++guard) {
    uint16_t got = StreamRead(0, kStreamHere, kStreamLine, buffer, sizeof buffer);
    if (got == kStreamFail) break;
    lines.emplace_back(buffer, got);
  }
  EXPECT_EQ(lines, (std::vector<std::string>{"A", "B", "C", "D"}));
  ASSERT_TRUE(qtest::WriteFile(Path("in.txt"), "xyz"));
  ASSERT_NE(std::freopen(Path("in.txt").c_str(), "rb", stdin), nullptr);
  EXPECT_EQ(StreamRead(0, kStreamHere, 10, buffer, sizeof buffer), 3) << "a short last block";
  EXPECT_EQ(std::string(buffer, 3), "xyz");
  EXPECT_EQ(StreamRead(0, kStreamHere, 10, buffer, sizeof buffer), kStreamFail);
  ASSERT_NE(std::freopen("/dev/null", "rb", stdin), nullptr);
}

TEST_F(StreamsTest, LineReadLeavesThePositionAfterTheTerminator) {
  ASSERT_TRUE(qtest::WriteFile(Path("p.txt"), "AB\r\nC\rD\nE"));
  uint16_t n = Open("p.txt", 9);
  char buffer[16];
  std::vector<uint32_t> positions;
  while (StreamRead(n, kStreamHere, kStreamLine, buffer, sizeof buffer) != kStreamFail)
    positions.push_back(StreamTell(n));
  EXPECT_EQ(positions, (std::vector<uint32_t>{4, 6, 8, 9}));
  EXPECT_EQ(StreamAtEnd(n), 1);
  // A read at an explicit position starts there.
  EXPECT_EQ(StreamRead(n, 5, kStreamLine, buffer, sizeof buffer), 0)
      << "the CR at 5 is an empty line";
  EXPECT_EQ(StreamRead(n, 1, kStreamLine, buffer, sizeof buffer), 1);
  EXPECT_EQ(buffer[0], 'B');
}

TEST_F(StreamsTest, BlockReads) {
  std::string data;
  for (int i = 0; i < 1000; ++i)
    data.push_back(static_cast<char>('0' + i % 10));
  ASSERT_TRUE(qtest::WriteFile(Path("b.bin"), data));
  uint16_t n = Open("b.bin", 9);
  std::vector<char> buffer(2048);
  EXPECT_EQ(StreamRead(n, 0, 600, buffer.data(), 2048), 600);
  EXPECT_EQ(std::string(buffer.data(), 600), data.substr(0, 600));
  EXPECT_EQ(StreamRead(n, kStreamHere, 600, buffer.data(), 2048), 400) << "short at the end";
  EXPECT_EQ(std::string(buffer.data(), 400), data.substr(600));
  EXPECT_EQ(StreamRead(n, kStreamHere, 600, buffer.data(), 2048), kStreamFail) << "at the end";
  EXPECT_EQ(StreamRead(n, 990, 100, buffer.data(), 2048), 10);
  EXPECT_EQ(StreamRead(n, 1000, 1, buffer.data(), 2048), kStreamFail);
  EXPECT_EQ(StreamRead(n, 5000, 1, buffer.data(), 2048), kStreamFail);
  EXPECT_EQ(StreamRead(n, 0, 100, buffer.data(), 30), 30) << "never more than the capacity";
  EXPECT_EQ(StreamTell(n), 30u);
  EXPECT_EQ(StreamRead(n, 0, 0, buffer.data(), 30), 0);
  // Block mode does not stop at line ends.
  ASSERT_TRUE(qtest::WriteFile(Path("c.bin"), std::string("a\r\nb\x1a", 5)));
  uint16_t m = Open("c.bin", 9);
  EXPECT_EQ(StreamRead(m, 0, 5, buffer.data(), 2048), 5);
  EXPECT_EQ(std::string(buffer.data(), 5), std::string("a\r\nb\x1a", 5));
}

TEST_F(StreamsTest, ReadText) {
  ASSERT_TRUE(qtest::WriteFile(Path("t.txt"), "one\r\ntwo"));
  uint16_t n = Open("t.txt", 9);
  TempMarkValue mark = TempMark();
  StrDesc first = StreamReadText(n, kStreamHere, kStreamLine);
  EXPECT_EQ(S(first), "one");
  EXPECT_EQ(TempMark(), mark + 1) << "one temporary";
  EXPECT_EQ(S(StreamReadText(n, kStreamHere, kStreamLine)), "two");
  EXPECT_EQ(StrCheck(StreamReadText(n, kStreamHere, kStreamLine)), kStDiskIo);
  EXPECT_EQ(S(StreamReadText(n, 1, 3)), "ne\r");
  EXPECT_EQ(StrCheck(StreamReadText(n, 8, 3)), kStDiskIo);
  EXPECT_EQ(S(first), "one") << "earlier results stay put";
  TempRelease(mark);
}

TEST_F(StreamsTest, WritePositionsAndTheMarker) {
  uint16_t n = Open("w.bin", 1);
  EXPECT_EQ(StreamWrite(n, kStreamHere, "hello", 5), 5);
  EXPECT_EQ(StreamTell(n), 5u);
  EXPECT_EQ(StreamWrite(n, 0, "HE", 2), 2);
  EXPECT_EQ(StreamTell(n), 2u);
  EXPECT_EQ(StreamWrite(n, kStreamHere, "XY", 2), 2) << "the marker writes at the end";
  EXPECT_EQ(StreamSize(n), 7u);
  EXPECT_EQ(StreamSeek(n, 3), 0);
  EXPECT_EQ(StreamSize(n), 7u);
  EXPECT_EQ(StreamTell(n), 3u) << "the size leaves the position";
  EXPECT_EQ(StreamAtEnd(n), 0);
  char buffer[8];
  EXPECT_EQ(StreamRead(n, kStreamHere, 2, buffer, 8), 2) << "read after write, from here";
  EXPECT_EQ(std::string(buffer, 2), "lo");
  EXPECT_EQ(StreamWriteText(n, 10, Lit("Z")), 1) << "past the end";
  EXPECT_EQ(StreamSize(n), 11u);
  EXPECT_EQ(StreamWrite(n, 0, nullptr, 1), kStreamFail);
  EXPECT_EQ(StreamWriteText(n, 0, StrError(146)), 146);
  EXPECT_EQ(StreamWrite(n, 0, "", 0), 0);
  StreamClose(n);
  EXPECT_EQ(qtest::ReadFile(Path("w.bin")), std::string("HEllo"
                                                        "XY\0\0\0Z",
                                                        11));
}

TEST_F(StreamsTest, LargeWritesAndTheOffsetBehindTheMarker) {
  std::string big(70000, '.');
  big[65535] = 'M';
  big[65534] = 'L';
  uint16_t n = Open("big.bin", 1);
  // Writes go in pieces; a whole StrDesc-sized buffer arrives intact.
  EXPECT_EQ(StreamWrite(n, 0, big.data(), 65000), 65000);
  EXPECT_EQ(StreamWrite(n, 65000, big.data() + 65000, 5000), 5000);
  EXPECT_EQ(StreamSize(n), 70000u);
  char c = 0;
  // 65,535 is the marker for reads; the byte at that offset is reached by a
  // seek first.
  EXPECT_EQ(StreamRead(n, 65534, 1, &c, 1), 1);
  EXPECT_EQ(c, 'L');
  EXPECT_EQ(StreamRead(n, kStreamHere, 1, &c, 1), 1);
  EXPECT_EQ(c, 'M') << "the marker reads on from the current position";
  EXPECT_EQ(StreamSeek(n, 65535), 0);
  EXPECT_EQ(StreamTell(n), 65535u);
  EXPECT_EQ(StreamRead(n, kStreamHere, 1, &c, 1), 1);
  EXPECT_EQ(c, 'M');
  StreamClose(n);
  EXPECT_EQ(qtest::ReadFile(Path("big.bin")), big);
}

TEST_F(StreamsTest, WriteFileAndReadFile) {
  std::string path = Path("whole.txt");
  StrDesc name = StrMake(path.data(), static_cast<uint16_t>(path.size()));
  EXPECT_EQ(StreamWriteFile(name, 1, kStreamHere, Lit("abc")), 0) << "created";
  EXPECT_EQ(StreamWriteFile(name, 1, kStreamHere, Lit("def")), 0) << "appended";
  EXPECT_EQ(qtest::ReadFile(path), "abcdef");
  EXPECT_EQ(StreamWriteFile(name, 1, 1, Lit("XY")), 0);
  EXPECT_EQ(qtest::ReadFile(path), "aXYdef");
  EXPECT_EQ(StreamWriteFile(name, 2, 0, Lit("new")), 0) << "replaced";
  EXPECT_EQ(qtest::ReadFile(path), "new");
  EXPECT_EQ(StreamWriteFile(name, 1, 0, StrError(163)), 163);
  EXPECT_EQ(StreamsInUse(), 0);

  EXPECT_EQ(S(StreamReadFile(name, 0, kStreamLine)), "new");
  EXPECT_EQ(S(StreamReadFile(name, 1, 1)), "e");
  EXPECT_EQ(S(StreamReadFile(name, 9, 5)), "") << "past the end";
  EXPECT_EQ(StreamsInUse(), 0);

  std::string missing = Path("none/x.txt");
  StrDesc missing_name = StrMake(missing.data(), static_cast<uint16_t>(missing.size()));
  EXPECT_EQ(StrCheck(StreamReadFile(missing_name, 0, kStreamLine)), kStFileNotFound);
  EXPECT_EQ(ErrWord(), 0u) << "reading reports through the detail only";
  EXPECT_EQ(StreamWriteFile(missing_name, 1 | kStreamQuiet, 0, Lit("x")), kStFileNotFound);
  EXPECT_EQ(ErrWord(), 0u);
  EXPECT_EQ(StreamWriteFile(missing_name, 1, 0, Lit("x")), kStFileNotFound);
  EXPECT_EQ(ErrWord(), (uint32_t{kModStreams} << 16) | kStFileNotFound);
  EXPECT_EQ(StreamsInUse(), 0);
}

TEST_F(StreamsTest, ResetClosesEverything) {
  for (int i = 0; i < 5; ++i)
    Open("r" + std::to_string(i), 1);
  uint16_t n = Open("kept", 1);
  StreamWrite(n, 0, "buffered", 8);
  EXPECT_EQ(StreamsInUse(), 6);
  StreamsReset();
  EXPECT_EQ(StreamsInUse(), 0);
  EXPECT_FALSE(StreamIsOpen(n));
  EXPECT_EQ(qtest::ReadFile(Path("kept")), "buffered") << "closing flushed the buffer";
  EXPECT_EQ(Open("after", 1), 3) << "numbering starts again";
}

}  // namespace
