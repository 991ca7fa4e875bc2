// Data files against SQLite on the same work: files of 1,000, 100,000 and
// 1,000,000 records (key 1 unique, key 2 a second order, a payload), and for
// each size keyed lookups, moves in key order, rewrites of the payload,
// rewrites that move a record in key 2, additions and deletions.
//
// The data files are built by writing their records directly and letting the
// first open rebuild the index; the SQLite table (same columns, a unique
// index on k1 and an index on k2) is filled in one transaction. Every
// measured operation then stands alone, as the runtime's do: each data-file
// write is flushed to the operating system before it returns, and SQLite runs
// each statement in its own transaction with WAL and synchronous=OFF, the
// same promise (what was reported done survives the process, not a power
// cut). Benchmarks run in the order registered: reads first, deletions last.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "core/mem_pool.h"
#include "core/status.h"
#include "core/temp_stack.h"
#include "language/variables.h"
#include "platform/fs.h"
#include "storage/data_file.h"
#include "storage/dictionary.h"

namespace {

constexpr int kFieldLength = 10;
constexpr int kPayloadLength = 40;
constexpr int kRecordLength = 2 * kFieldLength + kPayloadLength;

std::string g_dir;

// The key of record i: unique, in an order unrelated to i.
std::string Key1(uint32_t i) {
  char text[16];
  std::snprintf(text, sizeof text, "%010u", static_cast<unsigned>(i * 2654435761u));
  return text;
}
std::string Key2(uint32_t i) {
  char text[16];
  std::snprintf(text, sizeof text, "%010u", static_cast<unsigned>((i * 40503u) % 1000003u));
  return text;
}
std::string Payload(uint32_t i) {
  std::string p = "payload " + std::to_string(i);
  p.resize(kPayloadLength, ' ');
  return p;
}

uint16_t FileFor(int64_t size) {
  return size <= 1000 ? 1 : size <= 100000 ? 2 : 3;
}

StrDesc Desc(const std::string& s) {
  return StrMake(s.data(), static_cast<uint16_t>(s.size()));
}

// The data file of `size` records, open; built on first use.
void EnsureDataFile(int64_t size) {
  static std::map<int64_t, bool> built;
  uint16_t f = FileFor(size);
  if (built[size]) return;
  std::string name = g_dir + "/b" + std::to_string(f) + ".FD";
  {
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    std::string block;
    for (uint32_t i = 0; i < size; ++i) {
      block += Key1(i) + Key2(i) + Payload(i);
      if (block.size() > (1 << 20)) {
        out << block;
        block.clear();
      }
    }
    out << block;
  }
  std::filesystem::remove(g_dir + "/b" + std::to_string(f) + ".DIR");
  if (FileOpen(f, 0) > 2) std::fprintf(stderr, "bench: open failed\n");
  built[size] = true;
}

sqlite3* EnsureTable(int64_t size) {
  static std::map<int64_t, sqlite3*> dbs;
  if (dbs[size]) return dbs[size];
  sqlite3* db = nullptr;
  std::string name = g_dir + "/t" + std::to_string(size) + ".db";
  sqlite3_open(name.c_str(), &db);
  sqlite3_exec(db,
               "PRAGMA journal_mode=WAL; PRAGMA synchronous=OFF;"
               "CREATE TABLE t (k1 TEXT, k2 TEXT, pay TEXT);",
               nullptr, nullptr, nullptr);
  sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
  sqlite3_stmt* ins = nullptr;
  sqlite3_prepare_v2(db, "INSERT INTO t VALUES (?, ?, ?)", -1, &ins, nullptr);
  for (uint32_t i = 0; i < size; ++i) {
    std::string k1 = Key1(i), k2 = Key2(i), pay = Payload(i);
    sqlite3_bind_text(ins, 1, k1.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(ins, 2, k2.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(ins, 3, pay.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_step(ins);
    sqlite3_reset(ins);
  }
  sqlite3_finalize(ins);
  sqlite3_exec(db, "CREATE UNIQUE INDEX t1 ON t(k1); CREATE INDEX t2 ON t(k2); COMMIT;", nullptr,
               nullptr, nullptr);
  dbs[size] = db;
  return db;
}

// Records still there for the deletions: every number not yet deleted.
std::vector<uint32_t>& Remaining(int64_t size, bool sqlite) {
  static std::map<std::pair<int64_t, bool>, std::vector<uint32_t>> left;
  auto& v = left[{size, sqlite}];
  if (v.empty()) {
    v.resize(static_cast<size_t>(size));
    for (uint32_t i = 0; i < size; ++i)
      v[i] = i;
    std::shuffle(v.begin(), v.end(), std::mt19937(11));
  }
  return v;
}

void Lookup(benchmark::State& state) {
  int64_t size = state.range(0);
  EnsureDataFile(size);
  uint16_t f = FileFor(size);
  std::mt19937 rng(1);
  for (auto _ : state) {
    std::string k = Key1(static_cast<uint32_t>(rng() % size));
    uint16_t o = FileReadKey(f, 1, Desc(k), 0);
    if (o != 0) state.SkipWithError("not found");
  }
}

void LookupSqlite(benchmark::State& state) {
  sqlite3* db = EnsureTable(state.range(0));
  sqlite3_stmt* q = nullptr;
  sqlite3_prepare_v2(db, "SELECT k1, k2, pay FROM t WHERE k1 = ?", -1, &q, nullptr);
  std::mt19937 rng(1);
  for (auto _ : state) {
    std::string k = Key1(static_cast<uint32_t>(rng() % state.range(0)));
    sqlite3_bind_text(q, 1, k.c_str(), -1, SQLITE_TRANSIENT);
    if (sqlite3_step(q) != SQLITE_ROW) state.SkipWithError("not found");
    benchmark::DoNotOptimize(sqlite3_column_text(q, 2));
    sqlite3_reset(q);
  }
  sqlite3_finalize(q);
}

void MoveNext(benchmark::State& state) {
  int64_t size = state.range(0);
  EnsureDataFile(size);
  uint16_t f = FileFor(size);
  SetCurrentKey(f, 1);
  FileMove(f, kMoveFirst);
  for (auto _ : state) {
    if (FileMove(f, kMoveNext) != 0) FileMove(f, kMoveFirst);
  }
}

void MoveNextSqlite(benchmark::State& state) {
  sqlite3* db = EnsureTable(state.range(0));
  sqlite3_stmt* q = nullptr;
  sqlite3_prepare_v2(db, "SELECT k1, k2, pay FROM t ORDER BY k1", -1, &q, nullptr);
  for (auto _ : state) {
    if (sqlite3_step(q) != SQLITE_ROW) {
      sqlite3_reset(q);
      sqlite3_step(q);
    }
    benchmark::DoNotOptimize(sqlite3_column_text(q, 2));
  }
  sqlite3_finalize(q);
}

void Rewrite(benchmark::State& state, bool move_key2) {
  int64_t size = state.range(0);
  EnsureDataFile(size);
  uint16_t f = FileFor(size);
  std::mt19937 rng(2);
  uint32_t n = 0;
  for (auto _ : state) {
    std::string k = Key1(static_cast<uint32_t>(rng() % size));
    if (FileReadKey(f, 1, Desc(k), 0) != 0) state.SkipWithError("not found");
    std::string v = move_key2 ? Key2(static_cast<uint32_t>(rng())) : Payload(++n);
    FieldPut(f, move_key2 ? 2 : 3, Desc(v));
    if (FileRewrite(f) != 0) state.SkipWithError("rewrite failed");
  }
}

void RewriteSqlite(benchmark::State& state, bool move_key2) {
  sqlite3* db = EnsureTable(state.range(0));
  sqlite3_stmt* q = nullptr;
  sqlite3_prepare_v2(
      db, move_key2 ? "UPDATE t SET k2 = ? WHERE k1 = ?" : "UPDATE t SET pay = ? WHERE k1 = ?", -1,
      &q, nullptr);
  std::mt19937 rng(2);
  uint32_t n = 0;
  for (auto _ : state) {
    std::string k = Key1(static_cast<uint32_t>(rng() % state.range(0)));
    std::string v = move_key2 ? Key2(static_cast<uint32_t>(rng())) : Payload(++n);
    sqlite3_bind_text(q, 1, v.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(q, 2, k.c_str(), -1, SQLITE_TRANSIENT);
    if (sqlite3_step(q) != SQLITE_DONE) state.SkipWithError("update failed");
    sqlite3_reset(q);
  }
  sqlite3_finalize(q);
}

void Add(benchmark::State& state) {
  int64_t size = state.range(0);
  EnsureDataFile(size);
  uint16_t f = FileFor(size);
  std::mt19937 rng(3);
  for (auto _ : state) {
    BufferClear(f, 1);
    std::string k = "A" + std::to_string(rng() % 1000000000u);
    FieldPut(f, 1, Desc(k));
    FieldPut(f, 2, Desc(Key2(static_cast<uint32_t>(rng()))));
    FieldPut(f, 3, Desc(Payload(0)));
    if (FileAdd(f) > kOutDuplicate) state.SkipWithError("add failed");
  }
}

void AddSqlite(benchmark::State& state) {
  sqlite3* db = EnsureTable(state.range(0));
  sqlite3_stmt* q = nullptr;
  sqlite3_prepare_v2(db, "INSERT OR IGNORE INTO t VALUES (?, ?, ?)", -1, &q, nullptr);
  std::mt19937 rng(3);
  for (auto _ : state) {
    std::string k = "A" + std::to_string(rng() % 1000000000u);
    std::string k2 = Key2(static_cast<uint32_t>(rng())), pay = Payload(0);
    sqlite3_bind_text(q, 1, k.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(q, 2, k2.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(q, 3, pay.c_str(), -1, SQLITE_TRANSIENT);
    if (sqlite3_step(q) != SQLITE_DONE) state.SkipWithError("insert failed");
    sqlite3_reset(q);
  }
  sqlite3_finalize(q);
}

void Delete(benchmark::State& state) {
  int64_t size = state.range(0);
  EnsureDataFile(size);
  uint16_t f = FileFor(size);
  std::vector<uint32_t>& left = Remaining(size, false);
  for (auto _ : state) {
    if (left.empty()) {
      state.SkipWithError("no records left");
      break;
    }
    std::string k = Key1(left.back());
    left.pop_back();
    if (FileReadKey(f, 1, Desc(k), 0) != 0 || FileDelete(f, 0) != 0)
      state.SkipWithError("delete failed");
  }
}

void DeleteSqlite(benchmark::State& state) {
  sqlite3* db = EnsureTable(state.range(0));
  std::vector<uint32_t>& left = Remaining(state.range(0), true);
  sqlite3_stmt* q = nullptr;
  sqlite3_prepare_v2(db, "DELETE FROM t WHERE k1 = ?", -1, &q, nullptr);
  for (auto _ : state) {
    if (left.empty()) {
      state.SkipWithError("no records left");
      break;
    }
    std::string k = Key1(left.back());
    left.pop_back();
    sqlite3_bind_text(q, 1, k.c_str(), -1, SQLITE_TRANSIENT);
    if (sqlite3_step(q) != SQLITE_DONE) state.SkipWithError("delete failed");
    sqlite3_reset(q);
  }
  sqlite3_finalize(q);
}

void Sizes(benchmark::internal::Benchmark* b) {
  for (int64_t n : {1000, 100000, 1000000})
    b->Arg(n);
  b->Unit(benchmark::kMicrosecond);
}
// Writes are limited in number: a deletion needs a record that is still
// there, and every addition lands in the same file.
void WriteSizes(benchmark::internal::Benchmark* b) {
  Sizes(b);
  b->Iterations(500);
}

BENCHMARK(Lookup)->Apply(Sizes);
BENCHMARK(LookupSqlite)->Apply(Sizes);
BENCHMARK(MoveNext)->Apply(Sizes);
BENCHMARK(MoveNextSqlite)->Apply(Sizes);
BENCHMARK_CAPTURE(Rewrite, payload, false)->Apply(WriteSizes);
BENCHMARK_CAPTURE(RewriteSqlite, payload, false)->Apply(WriteSizes);
BENCHMARK_CAPTURE(Rewrite, key2, true)->Apply(WriteSizes);
BENCHMARK_CAPTURE(RewriteSqlite, key2, true)->Apply(WriteSizes);
BENCHMARK(Add)->Apply(WriteSizes);
BENCHMARK(AddSqlite)->Apply(WriteSizes);
BENCHMARK(Delete)->Apply(WriteSizes);
BENCHMARK(DeleteSqlite)->Apply(WriteSizes);

std::string DictionaryText() {
  std::string text;
  for (int f = 1; f <= 3; ++f) {
    char line[64];
    std::snprintf(line, sizeof line, "%02d**01B%d\r\n", f, f);
    text += line;
    std::snprintf(line, sizeof line, "%02d       %03d AK1\r\n", f, kFieldLength);
    text += line;
    std::snprintf(line, sizeof line, "%02d       %03d AK2\r\n", f, kFieldLength);
    text += line;
    std::snprintf(line, sizeof line, "%02d       %03d APAY\r\n", f, kPayloadLength);
    text += line;
  }
  for (int f = 1; f <= 3; ++f) {
    char line[64];
    std::snprintf(line, sizeof line, "%02d key <0001%03d\r\n", 30 + f, kFieldLength);
    text += line;
    std::snprintf(line, sizeof line, "%02d key <%04d%03d\r\n", 30 + f, kFieldLength + 1,
                  kFieldLength);
    text += line;
  }
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  char templ[] = "/tmp/quillon-bench-XXXXXX";
  if (mkdtemp(templ) == nullptr) return 1;
  g_dir = templ;
  MemConfigure(512, 64);
  if (InitVariables() != 0) return 1;
  { std::ofstream(g_dir + "/QODICC.DAT", std::ios::binary) << DictionaryText(); }
  FsChangeFolder(g_dir);
  if (DictLoad(StrMake(g_dir.data(), static_cast<uint16_t>(g_dir.size())), Lit("QO")) != 0) {
    std::fprintf(stderr, "bench: dictionary not loaded\n");
    return 1;
  }
  if (DictFile(1)->record_length != kRecordLength) return 1;
  benchmark::RunSpecifiedBenchmarks();
  DataFilesCloseAll();
  ReleaseVariables();
  RuntimeMemoryShutdown();
  std::filesystem::remove_all(g_dir);
  return 0;
}
