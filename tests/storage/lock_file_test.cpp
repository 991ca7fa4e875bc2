// Lock files: exclusive opens take and release them, shared opens ignore
// them, a lock held elsewhere refuses an exclusive open.
#include "storage/lock_file.h"

#include "core/status.h"
#include "language/variables.h"
#include "storage/data_file.h"
#include "storage_fixture.h"

namespace {

constexpr uint16_t kClients = 1;

class LockFileTest : public StorageTest {
 protected:
  void SetUp() override {
    StorageTest::SetUp();
    ASSERT_EQ(Load(qtest::ClientsAndLines()), 0);
  }
};

TEST_F(LockFileTest, ExclusiveOpenHoldsTheLockUntilClose) {
  EXPECT_EQ(qtest::S(LockFileName(kClients)), "clients.lock");
  EXPECT_FALSE(LockExists(kClients));
  ASSERT_EQ(FileOpen(kClients, kOpenExclusive), kOutEnd);
  EXPECT_TRUE(LockExists(kClients));
  EXPECT_EQ(qtest::ReadFile(PathOf("clients.lock")), " ");
  // Reopening with other flags keeps working: the lock is this open's own.
  EXPECT_EQ(FileOpen(kClients, kOpenExclusive | kOpenMakeCurrent), kOutEnd);
  EXPECT_TRUE(LockExists(kClients));
  ASSERT_EQ(FileClose(kClients), 0);
  EXPECT_FALSE(LockExists(kClients));
}

TEST_F(LockFileTest, ALockHeldElsewhereRefusesExclusiveOpens) {
  qtest::WriteFile(PathOf("clients.lock"), " ");  // another process has it
  ASSERT_LE(FileOpen(2, kOpenMakeCurrent), 2);
  SetIntegerVar(kSysCurFil, 2);
  StatusReset();
  EXPECT_EQ(FileOpen(kClients, kOpenExclusive | kOpenMakeCurrent), kStPermission);
  EXPECT_FALSE(FileIsOpen(kClients));
  EXPECT_EQ(IntegerVar(kSysCurFil), 2);  // nothing changed
  EXPECT_EQ(ErrWord(), (uint32_t{kModDataFile} << 16) | kStPermission);
  EXPECT_TRUE(LockExists(kClients));  // not ours to remove
  // A shared open neither tests nor takes it.
  EXPECT_EQ(FileOpen(kClients, 0), kOutEnd);
  ASSERT_EQ(FileClose(kClients), 0);
  EXPECT_TRUE(LockExists(kClients));
}

TEST_F(LockFileTest, TakingIsExclusive) {
  EXPECT_EQ(LockTake(kClients), 0);
  EXPECT_EQ(LockTake(kClients), kStPermission);
  EXPECT_EQ(LockRelease(kClients), 0);
  EXPECT_EQ(LockRelease(kClients), 0);  // nothing to remove is fine
  EXPECT_EQ(LockTake(kClients), 0);
}

TEST_F(LockFileTest, AFailedOpenGivesTheLockBack) {
  // The data file's folder does not exist: the open fails after the lock
  // was taken.
  ASSERT_EQ(Load(qtest::Lines(
                {qtest::FileLine(1, "GONE", "missing/folder"), qtest::FieldLine(1, 2, 'A', "X")})),
            0);
  EXPECT_EQ(FileOpen(1, kOpenExclusive), kStFileNotFound);
  EXPECT_FALSE(FileIsOpen(1));
  EXPECT_FALSE(FsExists(PathOf("gone.lock")));
}

TEST_F(LockFileTest, TemporaryModeLeavesLocksAlone) {
  qtest::WriteFile(PathOf("clients.lock"), " ");
  SetIntegerVar(kSysUpStat, 0x02);
  EXPECT_EQ(FileOpen(kClients, kOpenExclusive), kOutEnd);
  ASSERT_EQ(FileClose(kClients), 0);
  EXPECT_TRUE(LockExists(kClients));
}

TEST_F(LockFileTest, ResetRemovesOnlyTheLocksThisProcessTook) {
  qtest::WriteFile(PathOf("lines.lock"), " ");
  ASSERT_EQ(FileOpen(kClients, kOpenExclusive), kOutEnd);
  DataFilesAbandon();  // a crash leaves the lock behind
  EXPECT_TRUE(LockExists(kClients));
  LockRelease(kClients);
  ASSERT_EQ(FileOpen(kClients, kOpenExclusive), kOutEnd);
  DataFilesReset();
  EXPECT_FALSE(LockExists(kClients));
  EXPECT_TRUE(LockExists(2));
}

}  // namespace
