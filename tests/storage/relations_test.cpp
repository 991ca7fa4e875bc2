// Relation entries and the relational read, with a small stand-in for the
// evaluator: a quoted literal, a field reference, or FIELD{F}=literal.
#include "storage/relations.h"

#include "core/status.h"
#include "core/str_lib.h"
#include "language/field_refs.h"
#include "language/variables.h"
#include "storage/data_file.h"
#include "storage_fixture.h"

using qtest::FieldLine;
using qtest::FileLine;
using qtest::KeyLine;
using qtest::Lines;
using qtest::S;

namespace {

constexpr uint16_t kOrders = 1;
constexpr uint16_t kClients = 2;

StrDesc StandIn(StrDesc e) {
  TempMarkValue mark = TempMark();
  uint16_t eq = StrFindChar(e, '=', 1);
  if (eq != kNotFound) {
    StrDesc literal = StrUnquote(StrSub(e, eq + 1, 0xFFFF));
    Status st = AssignFieldRef(StrSub(e, 0, eq), literal);
    TempRelease(mark);
    return st ? StrError(st) : StrCopy(Lit(""));
  }
  if (e.len > 0 && e.ptr[0] == '\'') return TempKeep(mark, StrUnquote(e));
  FieldRef r = ResolveFieldRef(e);
  if (r.status) return TempKeep(mark, StrError(r.status));
  return TempKeep(mark, StrTrim(FieldValue(r.file, r.field), 2));
}
uint16_t StandInCondition(StrDesc e) {
  TempMarkValue mark = TempMark();
  StrDesc v = StandIn(e);
  uint16_t result = StrIsError(v) ? StrCheck(v) : (v.len > 0 && !StrEq(v, "0"));
  TempRelease(mark);
  return result;
}

class RelationsTest : public StorageTest {
 protected:
  void SetUp() override {
    StorageTest::SetUp();
    ASSERT_EQ(
        Load(Lines({FileLine(1, "ORDERS"), FieldLine(1, 4, 'A', "ORD"), FieldLine(1, 3, 'A', "CLI"),
                    FileLine(2, "CLIENTS"), FieldLine(2, 3, 'A', "CODE"),
                    FieldLine(2, 8, 'A', "NAME"), KeyLine(1, {{1, 4}}), KeyLine(2, {{1, 3}}),
                    "61:2R1K1=CLI{1}:2R2K1='C'", "61:12R1K3=ORD{1}"})),
        0);
    ASSERT_LE(FileOpen(kOrders, 0), 2);
    ASSERT_LE(FileOpen(kClients, 0), 2);
    for (const char* code : {"C1", "C2", "D1"})
      ASSERT_EQ(Add(kClients, {code, std::string("name ") + code}), 0);
    SetRelationEvaluator(StandIn, StandInCondition);
  }
  void TearDown() override {
    SetRelationEvaluator(nullptr, nullptr);
    StorageTest::TearDown();
  }
  void Order(const std::string& client) { Fill(kOrders, {"O1", client}); }
};

TEST_F(RelationsTest, EntriesAreFoundByTheirWholeName) {
  EXPECT_EQ(RelationKey(kOrders, 2, 1), 1);
  EXPECT_EQ(RelationKey(kOrders, 12, 1), 3);
  EXPECT_EQ(RelationKey(kOrders, 2, 3), 0);
  EXPECT_EQ(S(RelationExpression(kOrders, 2, 1)), "CLI{1}");
  EXPECT_EQ(S(RelationExpression(kOrders, 2, 2)), "'C'");
  EXPECT_EQ(S(RelationExpression(kOrders, 12, 1)), "ORD{1}");
  EXPECT_EQ(S(RelationExpression(kOrders, 3, 1)), "");
}

TEST_F(RelationsTest, NeedsAnEvaluator) {
  SetRelationEvaluator(nullptr, nullptr);
  EXPECT_EQ(RelationalRead(kOrders, 2, 1, 0, Lit("")), kStFileNotInit);
}

TEST_F(RelationsTest, ReadsTheRelatedRecord) {
  Order("C2");
  SetIntegerVar(kSysRelRes, 9);
  EXPECT_EQ(RelationalRead(kOrders, 2, 1, 0, Lit("")), kOutFound);
  EXPECT_EQ(IntegerVar(kSysRelRes), 0);
  EXPECT_EQ(Field(kClients, 2), "name C2 ");
  Order("C5");
  EXPECT_EQ(RelationalRead(kOrders, 2, 1, 0, Lit("")), kOutNotFound);
  Order("");
  EXPECT_EQ(RelationalRead(kOrders, 2, 1, 0, Lit("")), 0);        // an empty value does nothing
  EXPECT_EQ(RelationalRead(kOrders, 2, 5, 0, Lit("")), kStData);  // no such relation
}

TEST_F(RelationsTest, UpdatesOrAddsTheRelatedRecord) {
  Order("C1");
  EXPECT_EQ(RelationalRead(kOrders, 2, 1, 0, Lit("NAME{2}='renamed'")), kOutFound);
  ASSERT_EQ(Find(kClients, 1, "C1"), 0);
  EXPECT_EQ(Field(kClients, 2), "renamed ");
  // Not found, with 0x04 (and 0x01 to start a record from the key): added.
  Order("Z9");
  EXPECT_EQ(RelationalRead(kOrders, 2, 1, 0x05, Lit("NAME{2}='added'")), kOutEnd);
  EXPECT_EQ(IntegerVar(kSysRelRes), 4);
  ASSERT_EQ(Find(kClients, 1, "Z9"), 0);
  EXPECT_EQ(Field(kClients, 2), "added   ");
  // With 0x08 nothing is written.
  Order("C2");
  EXPECT_EQ(RelationalRead(kOrders, 2, 1, 0x08, Lit("NAME{2}='no'")), kOutFound);
  ASSERT_EQ(Find(kClients, 1, "C2"), 0);
  EXPECT_EQ(Field(kClients, 2), "name C2 ");
}

TEST_F(RelationsTest, DeletesTheRelatedRecordOnlyWhenAddAndNoWriteAreBothAsked) {
  // 0x04 with 0x08 (add when missing, yet write nothing) is the delete
  // request; 0x04 with 0x02 is a read that may add, and deletes nothing.
  struct Case {
    uint16_t flags;
    bool deletes;
  } cases[] = {{0x0C, true}, {0x0D, true}, {0x06, false}, {0x07, false}};
  for (const Case& c : cases) {
    if (Find(kClients, 1, "C2") != kOutFound) {
      ASSERT_EQ(Add(kClients, {"C2", "name C2"}), 0);
    }
    Order("C2");
    SetIntegerVar(kSysRelRes, 0);
    EXPECT_EQ(RelationalRead(kOrders, 2, 1, c.flags, Lit("")), c.deletes ? 0 : kOutFound)
        << c.flags;
    EXPECT_EQ(IntegerVar(kSysRelRes), c.deletes ? 12 : 0) << c.flags;
    EXPECT_EQ(Find(kClients, 1, "C2"), c.deletes ? kOutNotFound : kOutFound) << c.flags;
  }
}

TEST_F(RelationsTest, MovesOnWhenTheScreenAsks) {
  Order("C1");
  SetBits(kSysScrStat, 0x40, true);
  EXPECT_EQ(RelationalRead(kOrders, 2, 1, 0x02, Lit("")), kOutFound);
  EXPECT_EQ(Field(kClients, 1), "C2 ");
  EXPECT_EQ(IntegerVar(kSysRelRes), 2);
  EXPECT_FALSE(TestBits(kSysScrStat, 0x40));
  // With 0x08 the moves go on until the update text holds.
  SetBits(kSysScrStat, 0x40, true);
  EXPECT_EQ(RelationalRead(kOrders, 2, 1, 0x0A, Lit("'0'")), kOutEnd);
}

TEST_F(RelationsTest, BulkUpdateUnderUpStat32) {
  SetBits(kSysUpStat, 0x20, true);
  Fill(kOrders, {"O1", "C"});
  EXPECT_EQ(RelationalRead(kOrders, 2, 1, 0, Lit("NAME{2}='bulk'")), 0);
  ASSERT_EQ(Find(kClients, 1, "C1"), 0);
  EXPECT_EQ(Field(kClients, 2), "bulk    ");
  ASSERT_EQ(Find(kClients, 1, "C2"), 0);
  EXPECT_EQ(Field(kClients, 2), "bulk    ");
  ASSERT_EQ(Find(kClients, 1, "D1"), 0);
  EXPECT_EQ(Field(kClients, 2), "name D1 ");
}

}  // namespace
