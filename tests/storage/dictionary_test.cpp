// The dictionary load: files, fields, keys and relations from the dictionary
// files, default keys, includes and their numbering, and the load's failures.
#include "storage/dictionary.h"

#include "core/dyn_strings.h"
#include "core/status.h"
#include "language/variables.h"
#include "storage/data_file.h"
#include "storage/folders.h"
#include "storage_fixture.h"

using qtest::FieldLine;
using qtest::FileLine;
using qtest::KeyLine;
using qtest::Lines;
using qtest::S;

namespace {

uint32_t Segment(uint16_t offset0, uint16_t length) {
  return offset0 | (uint32_t{length} << 16);
}

class DictionaryTest : public StorageTest {};

TEST_F(DictionaryTest, FilesFieldsAndOffsets) {
  ASSERT_EQ(Load(Lines({FileLine(1, "Clients", "data"), FieldLine(1, 5, 'A', "CODE"),
                        FieldLine(1, 10, 'A', " NAME  "), FieldLine(1, 2, 'N', "AGE"),
                        FileLine(2, "LINES", "", 7), FieldLine(2, 3, 'N', "N_LINE")})),
            0);
  ASSERT_EQ(DictFileCount(), 2);
  const DictFileEntry* clients = DictFile(1);
  EXPECT_EQ(clients->number, 1);
  EXPECT_EQ(clients->field_count, 3);
  EXPECT_EQ(clients->record_length, 17);  // 5 + 10 + 2
  EXPECT_EQ(DictField(1, 2)->offset, 5);
  EXPECT_EQ(DictField(1, 3)->offset, 15);
  EXPECT_EQ(DictField(1, 3)->type, 'N');
  EXPECT_EQ(S(DictFieldName(1, 2)), "NAME");  // trimmed, case kept
  EXPECT_EQ(DictFieldFind(1, Lit("AGE")), 3);
  EXPECT_EQ(DictFieldFind(1, Lit("age")), 0);  // field names are exact
  EXPECT_EQ(S(DictFileName(1)), "clients");    // file names lower-cased
  EXPECT_EQ(S(DictFileFolder(1)), "data");
  // An empty folder is the dictionary's own folder.
  StrDesc found = FindFileInFolders(StrMake(dir_.data(), dir_.size()), Lit("QODICC.DAT"));
  EXPECT_EQ(S(DictFileFolder(2)), S(PathPart(found, kPathParent)));
  EXPECT_EQ(DictFile(2)->type_code, 7);
  EXPECT_EQ(DictFile(2)->line_file, 1);
  EXPECT_EQ(DictFile(1)->line_file, 0);
  EXPECT_EQ(DictFile(3), nullptr);
  EXPECT_EQ(DictField(1, 4), nullptr);
}

TEST_F(DictionaryTest, NamesKeepTheirCaseUnderAuxStat8) {
  SetIntegerVar(kSysAuxStat, 0x08);
  ASSERT_EQ(Load(Lines({FileLine(1, "Clients"), FieldLine(1, 5, 'A', "CODE")})), 0);
  EXPECT_EQ(S(DictFileName(1)), "Clients");
  EXPECT_EQ(DictFileRef(Lit("Clients")), 1);
  EXPECT_EQ(DictFileRef(Lit("clients")), 0);
}

TEST_F(DictionaryTest, KeysAndDefaultKeys) {
  ASSERT_EQ(
      Load(Lines({FileLine(1, "A"), FieldLine(1, 4, 'A', "X"), FieldLine(1, 6, 'A', "Y"),
                  FileLine(2, "B"), FieldLine(2, 3, 'A', "ORD"), FieldLine(2, 2, 'N', "N_LINE"),
                  FieldLine(2, 9, 'A', "Z"), FileLine(3, "C"), FieldLine(3, 2, 'A', "P"),
                  KeyLine(3, {{2, 1}, {1, 1}}), FileLine(4, "D"), FieldLine(4, 7, 'A', "Q")})),
      0);
  // Files 1 and 2 get their default keys when the key line of file 3 is
  // read; file 4 after the last line.
  ASSERT_EQ(DictFile(1)->key_count, 1);
  EXPECT_EQ(DictKey(1, 1)->segments[0], Segment(0, 4));  // end of field 1
  EXPECT_EQ(DictKey(2, 1)->segments[0], Segment(0, 5));  // up to the end of N_LINE
  ASSERT_EQ(DictFile(3)->key_count, 1);
  EXPECT_EQ(DictKey(3, 1)->segment_count, 2);
  EXPECT_EQ(DictKey(3, 1)->segments[0], Segment(1, 1));
  EXPECT_EQ(DictKey(3, 1)->segments[1], Segment(0, 1));
  EXPECT_EQ(DictKey(3, 1)->length, 2);
  EXPECT_EQ(DictKey(4, 1)->segments[0], Segment(0, 7));
  char out[8] = {};
  EXPECT_EQ(DictKeyBuild(3, 1, "ab", out), 2);
  EXPECT_EQ(std::string(out, 2), "ba");
}

TEST_F(DictionaryTest, KeyLinesOutOfOrderNumberAfterTheDefault) {
  // File 1 takes its default key before file 2's key line; a later key line
  // for file 1 becomes its key 2.
  ASSERT_EQ(Load(Lines({FileLine(1, "A"), FieldLine(1, 4, 'A', "X"), FieldLine(1, 6, 'A', "Y"),
                        FileLine(2, "B"), FieldLine(2, 3, 'A', "Z"), KeyLine(2, {{1, 3}}),
                        KeyLine(1, {{5, 6}})})),
            0);
  ASSERT_EQ(DictFile(1)->key_count, 2);
  EXPECT_EQ(DictKey(1, 1)->segments[0], Segment(0, 4));
  EXPECT_EQ(DictKey(1, 2)->segments[0], Segment(4, 6));
  EXPECT_EQ(DictKey(1, 2)->number, 2);
  EXPECT_EQ(DictKey(2, 1)->segments[0], Segment(0, 3));
}

TEST_F(DictionaryTest, RelationsAreJoinedPerFile) {
  ASSERT_EQ(Load(Lines({FileLine(1, "A"), FieldLine(1, 4, 'A', "X"), FileLine(2, "B"),
                        FieldLine(2, 4, 'A', "X"), "61 rel:2R1K1=X{1}"}),
                 Lines({"61:2R2K1='A B'", "62 other:1R1K1=X{2}"})),
            0);
  EXPECT_EQ(S(DictRelationText(1)), "2R1K1=X{1}:2R2K1='A B'");
  EXPECT_EQ(S(DictRelationText(2)), "1R1K1=X{2}");
}

TEST_F(DictionaryTest, IncludeLoadsAnotherDictionaryAndMovesTheBase) {
  qtest::WriteFile(PathOf("SHARED.DAT"),
                   Lines({FileLine(1, "S1"), FieldLine(1, 2, 'A', "A"), FileLine(2, "S2"),
                          FieldLine(2, 3, 'A', "B"), KeyLine(2, {{1, 2}})}));
  // After the include, key line 31 names the last included file (S2) and 32
  // the main dictionary's first own file.
  ASSERT_EQ(
      Load(Lines({FileLine(1, "SHARED.DAT", "$", 0), FileLine(2, "MAIN"), FieldLine(2, 6, 'A', "M"),
                  KeyLine(1, {{2, 2}}), KeyLine(2, {{1, 6}}), "62:3R1K1=M{3}"})),
      0);
  ASSERT_EQ(DictFileCount(), 3);
  EXPECT_EQ(S(DictFileName(3)), "main");
  EXPECT_EQ(DictFile(2)->key_count, 2);  // its own key, then line 31
  EXPECT_EQ(DictKey(2, 2)->segments[0], Segment(1, 2));
  EXPECT_EQ(DictKey(3, 1)->segments[0], Segment(0, 6));
  EXPECT_EQ(S(DictRelationText(3)), "3R1K1=M{3}");
}

TEST_F(DictionaryTest, MissingDictionaryNamesFileAndFolders) {
  std::string folders = dir_ + ",other";
  StatusReset();
  EXPECT_EQ(DictLoad(StrMake(folders.data(), folders.size()), Lit("QO0001")), 164);
  EXPECT_EQ(ErrWord(), (uint32_t{kModDataFile} << 16) | 164);
  EXPECT_EQ(S(ErrDetailText()), "QODICC.DAT[" + folders + "]");
  EXPECT_EQ(DictFileCount(), 0);
}

TEST_F(DictionaryTest, FailuresLeaveNoDictionary) {
  std::string thirty;
  for (int i = 1; i <= 29; ++i)
    thirty += Lines({FileLine(i, "F" + std::to_string(i)), FieldLine(i, 1, 'A', "X")});
  thirty += Lines({FileLine(30, "F30")});
  // 14 keys of 4,995 bytes: more key bytes than a 16-bit length holds.
  std::string wide_keys = Lines({FileLine(1, "W")});
  for (int i = 0; i < 5; ++i)
    wide_keys += Lines({FieldLine(1, 999, 'A', "F" + std::to_string(i))});
  for (int k = 0; k < 14; ++k)
    wide_keys +=
        Lines({KeyLine(1, {{1, 999}, {1000, 999}, {1999, 999}, {2998, 999}, {3997, 999}})});
  struct Case {
    const char* what;
    std::string text;
    Status expected;
  } cases[] = {
      {"a 31st file", thirty + Lines({FileLine(1, "F31")}), 161},
      {"a field before any file", Lines({FieldLine(1, 2, 'A', "X")}), 161},
      {"a key beyond its record",
       Lines({FileLine(1, "A"), FieldLine(1, 4, 'A', "X"), KeyLine(1, {{3, 5}})}), 168},
      {"a key starting at 0",
       Lines({FileLine(1, "A"), FieldLine(1, 4, 'A', "X"), KeyLine(1, {{0, 2}})}), 168},
      {"a key line for an undefined file",
       Lines({FileLine(1, "A"), FieldLine(1, 4, 'A', "X"), KeyLine(2, {{1, 2}})}), 161},
      {"a relation line for an undefined file",
       Lines({FileLine(1, "A"), FieldLine(1, 4, 'A', "X"), "63:1R1K1=X"}), 161},
      {"an include that is missing", Lines({FileLine(1, "NOWHERE.DAT", "$")}), 164},
      {"keys longer in all than 65,535 bytes", wide_keys, 168},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(Load(qtest::ClientsAndLines()), 0);
    EXPECT_EQ(Load(c.text), c.expected) << c.what;
    EXPECT_EQ(DictFileCount(), 0) << c.what;
  }
}

TEST_F(DictionaryTest, TheLastFileTakesNoFields) {
  std::string text;
  for (int i = 1; i <= 29; ++i)
    text += Lines({FileLine(i, "F" + std::to_string(i)), FieldLine(i, 1, 'A', "X")});
  ASSERT_EQ(Load(text + Lines({FileLine(30, "F30")})), 0);
  EXPECT_EQ(DictFileCount(), 30);
  EXPECT_EQ(Load(text + Lines({FileLine(30, "F30"), FieldLine(30, 1, 'A', "X")})), 161);
}

TEST_F(DictionaryTest, FileReferences) {
  ASSERT_EQ(Load(qtest::ClientsAndLines()), 0);
  SetIntegerVar(kSysCurFil, 2);
  struct Case {
    const char* ref;
    uint16_t file;
  } cases[] = {{"clients", 1}, {"LINES", 2}, {"2", 2}, {"", 2}, {"nothing", 0}, {"7", 7}};
  for (const Case& c : cases)
    EXPECT_EQ(DictFileRef(StrFromCstr(c.ref)), c.file) << c.ref;
}

TEST_F(DictionaryTest, ReloadingClosesOpenFiles) {
  ASSERT_EQ(Load(qtest::ClientsAndLines()), 0);
  ASSERT_LE(FileOpen(1, 0x02), 2);
  ASSERT_TRUE(FsExists(PathOf("clients.lock")));
  ASSERT_EQ(Load(qtest::ClientsAndLines()), 0);
  EXPECT_FALSE(FileIsOpen(1));
  EXPECT_FALSE(FsExists(PathOf("clients.lock")));
}

}  // namespace
