// The built-ins that reach the data files (FILEFIND, FILELOCATE, FILEREL, IER,
// KEY$, FN#FLEN, FN$FLDS), field references and file-name variables in
// expressions, on a small dictionary with data files in a temporary folder.
#include <gtest/gtest.h>

#include <string>

#include "core/dyn_strings.h"
#include "core/hook_table.h"
#include "core/status.h"
#include "core/temp_stack.h"
#include "eval_test_util.h"
#include "language/field_refs.h"
#include "language/variables.h"
#include "shell/environment.h"
#include "storage/data_file.h"
#include "storage/relations.h"
#include "storage/storage_fixture.h"

using qtest::EvalCase;
using qtest::FieldLine;
using qtest::FileLine;
using qtest::KeyLine;
using qtest::Lines;
using qtest::S;

namespace {

constexpr uint16_t kProductos = 1;
constexpr uint16_t kVentas = 2;
constexpr uint16_t kClientes = 3;

// 1 productos: CODIGO A5, NOMBRE A20, PRECIO N9; key 1 CODIGO, key 2
//   NOMBRE + CODIGO (two segments)
// 2 ventas: SERIE A2, NUMERO A4, PROD A5, CLIENTE A5; key 1 SERIE + NUMERO;
//   relation 1 to productos by its key 1 with PROD{ventas}
// 3 clientes: CODIGO A5, NOMBRE A20 (not opened by the fixture)
std::string Dictionary() {
  return Lines(
      {FileLine(1, "PRODUCTOS"), FieldLine(1, 5, 'A', "CODIGO"), FieldLine(1, 20, 'A', "NOMBRE"),
       FieldLine(1, 9, 'N', "PRECIO"), FileLine(2, "VENTAS"), FieldLine(2, 2, 'A', "SERIE"),
       FieldLine(2, 4, 'A', "NUMERO"), FieldLine(2, 5, 'A', "PROD"),
       FieldLine(2, 5, 'A', "CLIENTE"), FileLine(3, "CLIENTES"), FieldLine(3, 5, 'A', "CODIGO"),
       FieldLine(3, 20, 'A', "NOMBRE"), KeyLine(1, {{1, 5}}), KeyLine(1, {{6, 20}, {1, 5}}),
       KeyLine(2, {{1, 2}, {3, 4}}), KeyLine(3, {{1, 5}}), "62:1R1K1=PROD{ventas}"});
}

class BuiltinsFilesTest : public StorageTest {
 protected:
  void SetUp() override {
    StorageTest::SetUp();
    ASSERT_EQ(DynSet(0, 4, Lit("ES")), 0);
    LocaleReset();
    ASSERT_EQ(Load(Dictionary()), 0);
    ASSERT_LE(FileOpen(kProductos, 0), 2);
    ASSERT_LE(FileOpen(kVentas, 0), 2);
    ASSERT_EQ(Add(kProductos, {"A0001", "Cafe", "1.20"}), 0);
    ASSERT_EQ(Add(kProductos, {"C0003", "Agua", "0.80"}), 0);
    ASSERT_EQ(Add(kProductos, {"B0002", "Te", "1.00"}), 0);
    ASSERT_EQ(DefineFileNameVariables(), 0);
  }
  void TearDown() override {
    // The next test sees only what the runtime's start-up installs.
    SetRelationEvaluator(nullptr, nullptr);
    HookTableReset();
    ReleaseLocalLists();
    LocaleReset();
    StorageTest::TearDown();
  }
  // Evaluates the cases in order (each may depend on the ones before it).
  void Check(std::initializer_list<EvalCase> cases) {
    for (const EvalCase& c : cases)
      EXPECT_EQ(qtest::Eval(c.expression), c.expected) << "expression: " << c.expression;
  }
  void Run(const std::string& text) {
    const std::string r = qtest::Eval(text);
    ASSERT_NE(r.substr(0, 2), "e:") << text << " gave " << r;
  }
  uint32_t Count(uint16_t f) {
    uint32_t n = 0;
    EXPECT_EQ(FileRecordCount(f, &n), 0);
    return n;
  }
};

TEST_F(BuiltinsFilesTest, FileFindReadsByKey) {
  Check({
      {"FILEFIND('B0002';productos;1)", "n:"},
      {"FN$TRIM(NOMBRE{productos})", "s:Te"},
      {"IER(productos)", "n:"},
      {"FILEFIND('C';productos;1)", "n:"},  // a prefix of the key
      {"CODIGO{productos}", "s:C0003"},
      // Not found, a greater key follows: the buffers keep what they held.
      {"FILEFIND('B5';productos;1)", "n:1"},
      {"CODIGO{productos}", "s:C0003"},
      {"IER(productos)", "n:1"},
      // Flag 2 reads the next greater record.
      {"FILEFIND('A5';productos;1;2)", "n:1"},
      {"CODIGO{productos}", "s:B0002"},
      // Not found, no greater key; flag 1 clears and stores the value.
      {"FILEFIND('Z9';productos;1;1)", "n:2"},
      {"CODIGO{productos}", "s:Z9   "},
      {"FN$TRIM(NOMBRE{productos})", "s:"},
      {"IER(productos)", "n:2"},
      // Key 2 becomes current; key 0 then means it.
      {"FILEFIND('Te';productos;2)", "n:"},
      {"CODIGO{productos}", "s:B0002"},
      {"FILEFIND('Agua';productos)", "n:"},
      {"CODIGO{productos}", "s:C0003"},
      {"FILEFIND('x';productos;9)", "e:168"},
      {"FILEFIND('x';clientes;1)", "e:169"},  // declared, not open
      {"FILEFIND(1;productos)", "e:128"},
  });
  EXPECT_EQ(CurrentKey(kProductos), 2);
}

TEST_F(BuiltinsFilesTest, FileFindTheCurrentFile) {
  SetIntegerVar(kSysCurFil, kProductos);
  Check({{"FILEFIND('B0002')", "n:"},
         {"CODIGO{}", "s:B0002"},
         // A number that is no declared file means the current file too.
         {"FILEFIND('C0003';99)", "n:"},
         {"CODIGO{}", "s:C0003"}});
  SetIntegerVar(kSysCurFil, 0);
  Check({{"FILEFIND('B0002')", "e:168"}});
}

TEST_F(BuiltinsFilesTest, FileFindAddsWhatItDoesNotFind) {
  // An empty value is never added.
  Check({{"FILEFIND('';ventas;1;4)", "n:2"}});
  EXPECT_EQ(Count(kVentas), 0u);
  // The value is spread over the key's two fields; the other fields keep
  // what the buffer held.
  Check({{"CLIENTE{ventas}='ana'", "s:ana"},
         {"FILEFIND('B 0007';ventas;1;4)", "n:"},
         {"FN#FLEN(ventas)", "n:1"}});
  // A value that sorts before an existing key is added as well.
  Check({{"CLIENTE{ventas}='luis'", "s:luis"},
         {"FILEFIND('A 0001';ventas;1;4)", "n:"},
         {"FN#FLEN(ventas)", "n:2"},
         // Found: nothing is added.
         {"FILEFIND('B 0007';ventas;1;4)", "n:"},
         {"FN#FLEN(ventas)", "n:2"}});
  struct Case {
    const char* value;
    const char* serie;
    const char* numero;
    const char* cliente;
  } cases[] = {{"B 0007", "B ", "0007", "ana  "}, {"A 0001", "A ", "0001", "luis "}};
  for (const Case& c : cases) {
    ASSERT_EQ(Find(kVentas, 1, c.value), kOutFound) << c.value;
    EXPECT_EQ(Field(kVentas, 1), c.serie) << c.value;
    EXPECT_EQ(Field(kVentas, 2), c.numero) << c.value;
    EXPECT_EQ(Field(kVentas, 4), c.cliente) << c.value;
  }
  // The add's failure is the built-in's status, not an outcome.
  ASSERT_LE(FileOpen(kClientes, kOpenReadOnly), 2);
  Check({{"FILEFIND('X0001';clientes;1;4)", "e:175"}});
  EXPECT_EQ(Count(kClientes), 0u);
}

TEST_F(BuiltinsFilesTest, FileFindSecondRecord) {
  // Flag 8: the value is not used; first record in key order, then the next.
  Check({{"FILEFIND('C0003';productos;1;8)", "n:"}, {"CODIGO{productos}", "s:B0002"}});
  Check({{"FILEFIND('';ventas;1;8)", "n:2"}});  // an empty file
  Fill(kVentas, {"A ", "0001", "B0002", "ana"});
  ASSERT_EQ(FileAdd(kVentas), 0);
  Check({{"FILEFIND('';ventas;1;8)", "n:2"}, {"IER(ventas)", "n:2"}});  // only one record
}

TEST_F(BuiltinsFilesTest, FileLocateVerbs) {
  SetIntegerVar(kSysCurFil, kProductos);
  struct Case {
    const char* call;
    const char* outcome;
    const char* codigo;  // CODIGO{productos} afterwards
  } cases[] = {
      {"FILELOCATE('TOP';productos)", "n:", "A0001"},
      {"FILELOCATE('NXT';productos)", "n:", "B0002"},
      {"FILELOCATE('next';productos)", "n:", "C0003"},
      {"FILELOCATE('NEXT';productos)", "n:2", "     "},  // past the last: cleared
      {"IER(productos)", "n:2", "     "},
      {"FILELOCATE('PRV';productos)", "n:", "B0002"},
      {"FILELOCATE('PREVIOUS';productos)", "n:", "A0001"},
      {"FILELOCATE('PRV';productos)", "n:1", "A0001"},  // before the first
      {"FILELOCATE('BOTTOM';productos)", "n:", "C0003"},
      {"FILELOCATE('TOP')", "n:", "A0001"},  // the current file
      {"FILELOCATE('BOT')", "n:", "C0003"},
      {"FILELOCATE('RLD';productos)", "n:", "C0003"},
      {"FILELOCATE('NEW';productos)", "n:3", "     "},
      {"IER(productos)", "n:3", "     "},
      {"FILELOCATE('XYZ';productos)", "e:147", "     "},
      {"FILELOCATE(1;productos)", "e:128", "     "},
      {"FILELOCATE('NXT';clientes)", "e:169", "     "},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(qtest::Eval(c.call), c.outcome) << c.call;
    EXPECT_EQ(Field(kProductos, 1), c.codigo) << c.call;
  }
}

TEST_F(BuiltinsFilesTest, FileLocateDeletes) {
  // Nothing read: no record to delete.
  Check({{"FILELOCATE('NEW';productos)", "n:3"}, {"FILELOCATE('DEL';productos)", "e:141"}});
  EXPECT_EQ(Count(kProductos), 3u);
  Check({{"FILEFIND('B0002';productos;1)", "n:"},
         {"FILELOCATE('del';productos)", "n:"},
         {"FN#FLEN(productos)", "n:2"},
         {"FILEFIND('B0002';productos;1)", "n:1"},
         {"FILELOCATE('TOP';productos)", "n:"},
         {"FILELOCATE('NXT';productos)", "n:"},
         {"CODIGO{productos}", "s:C0003"}});
}

TEST_F(BuiltinsFilesTest, LastOutcome) {
  Check({
      {"IER(clientes)", "n:2"},  // a closed file: the reset entry
      {"FILELOCATE('BOT';productos);IER(productos)", "n:"},
      {"FILELOCATE('NXT';productos);IER(productos)", "n:2"},
      {"FILEFIND('B1';productos;1);IER(productos)", "n:1"},
      {"IER(ventas)", "n:2"},  // each file keeps its own
      {"IER()", "e:168"},      // no current file
      {"IER('x')", "e:128"},
  });
  SetIntegerVar(kSysCurFil, kProductos);
  Check({{"IER()", "n:1"}});
}

TEST_F(BuiltinsFilesTest, KeyValues) {
  Run("FILEFIND('B0002';productos;1)");
  Run("CODIGO{productos}='Q'");
  const std::string te = "Te" + std::string(18, ' ');
  Check({
      {"KEY$(productos)", "s:Q    "},  // key 0: the current key, buffer 1
      {"KEY$(productos;1;2)", "s:B0002"},
      {"KEY$(productos;2)", "s:" + te + "Q    "},
      {"KEY$(productos;2;2)", "s:" + te + "B0002"},
      {"KEY$(productos;2;2;1)", "s:" + te},  // the first segment only
      {"KEY$(productos;2;2;2)", "s:" + te + "B0002"},
      {"KEY$(productos;2;2;7)", "s:" + te + "B0002"},
      {"KEY$(productos;2;1;0)", "s:" + te + "Q    "},
      {"KEY$(productos;9)", "s:"},  // no such key
      {"KEY$()", "s:"},             // no current file
      {"KEY$('x')", "e:128"},
  });
  SetIntegerVar(kSysCurFil, kProductos);
  Check({{"KEY$()", "s:Q    "}});
}

TEST_F(BuiltinsFilesTest, FileLengthOfDeclaredAndPlainFiles) {
  const std::string data = S(DataFilePath(kProductos));
  ASSERT_TRUE(qtest::WriteFile(PathOf("notes.txt"), "hello!"));
  Check({
      {"FN#FLEN(productos)", "n:3"},
      {"FN#FLEN('productos')", "n:3"},
      {"FN#FLEN('PRODUCTOS')", "n:3"},
      {"FN#FLEN('1')", "n:3"},
      {"FN#FLEN('" + data + "')", "n:102"},  // the data file as a plain file: its bytes
      {"FN#FLEN('notes.txt')", "n:6"},
      {"FN#FLEN('clientes')", "n:"},  // declared, no data file yet
      {"FN#FLEN('4')", "n:"},         // no such file
      {"FN#FLEN(99)", "e:168"},       // no declared file, no current file
  });
  SetIntegerVar(kSysCurFil, kProductos);
  Check({{"FN#FLEN(99)", "n:3"}});
}

TEST_F(BuiltinsFilesTest, FileRelThroughTheRelationalRead) {
  Check({
      {"PROD{ventas}='C0003'", "s:C0003"},
      {"FILEREL(ventas;productos;1;0)", "n:"},
      {"FN$TRIM(NOMBRE{productos})", "s:Agua"},
      // Not found: bit 1 is always set, so the key takes the value.
      {"PROD{ventas}='X0009'", "s:X0009"},
      {"FILEREL(ventas;productos;1;0)", "n:2"},
      {"CODIGO{productos}", "s:X0009"},
      // Flag 4 adds the record, with the update text evaluated first.
      {"FILEREL(ventas;productos;1;4;NOMBRE{productos}='Leche')", "n:2"},
      {"_RELRES", "n:4"},
      {"FN#FLEN(productos)", "n:4"},
      {"FILEFIND('X0009';productos;1)", "n:"},
      {"FN$TRIM(NOMBRE{productos})", "s:Leche"},
      // Found with an update text: the record is rewritten.
      {"PROD{ventas}='A0001'", "s:A0001"},
      {"FILEREL(ventas;productos;1;0;NOMBRE{productos}='Cafe solo')", "n:"},
      {"FILELOCATE('TOP';productos)", "n:"},
      {"FN$TRIM(NOMBRE{productos})", "s:Cafe solo"},
      {"FILEREL(ventas;productos;2;0)", "e:163"},  // no such relation
      {"FILEREL(ventas;clientes;1;0)", "e:163"},
  });
}

TEST_F(BuiltinsFilesTest, FileRelMovesOnOnlyAfterTheScreenKeys) {
  // Flag 2 is kept only after the keys 29 and 23; with the screen bit 64 the
  // related file then moves on once (back after 23).
  struct Case {
    int16_t last_key;
    const char* codigo;
    const char* relres;
  } cases[] = {{4, "B0002", "n:"}, {29, "C0003", "n:2"}, {23, "A0001", "n:2"}};
  for (const Case& c : cases) {
    SetIntegerVar(kSysLastKey, c.last_key);
    SetBits(kSysScrStat, 64, true);
    Run("PROD{ventas}='B0002'");
    Check({{"FILEREL(ventas;productos;1;2)", "n:"}});
    EXPECT_EQ(Field(kProductos, 1), c.codigo) << "last key " << c.last_key;
    EXPECT_EQ(qtest::Eval("_RELRES"), c.relres) << "last key " << c.last_key;
    EXPECT_EQ(TestBits(kSysScrStat, 64), c.last_key == 4) << "last key " << c.last_key;
  }
}

TEST_F(BuiltinsFilesTest, FileRelWithoutAnEvaluator) {
  SetRelationEvaluator(nullptr, nullptr);
  Check({{"FILEREL(ventas;productos;1;0)", "e:169"}});
  SetRelationEvaluator(EvaluateToText, EvaluateCondition);
  // PROD{ventas} is blank: the lookup lands before the first key.
  Check({{"FILEREL(ventas;productos;1;0)", "n:1"}});
}

TEST_F(BuiltinsFilesTest, FileSelStreamsAndFileSets) {
  const std::string missing = PathOf("none/x.txt");
  ErrDetailClear();
  Check({
      {"S=FILESEL('" + PathOf("s.txt") + "';2);CHK#(S>=3;1;0)", "n:1"},  // after the data files
      {"WRITE(S;0;'abc')", "n:3"},
      {"FILESEL(S)", "n:"},
      {"FILESEL(S)", "n:"},   // closing a closed stream is no failure
      {"FILESEL(99)", "n:"},  // nor closing one that cannot exist
      {"READ$(S;0;2)", "s:"},
      // A failed open is the built-in's status: 65,535 (the error word tells
      // which) or, quiet, the open's own status.
      {"FILESEL('" + missing + "';8)", "e:65535"},
      {"FILESEL('" + missing + "';136)", "e:164"},
  });
  EXPECT_EQ(qtest::ReadFile(PathOf("s.txt")), "abc");
  // File sets are not available: a failure with its detail, never a value.
  ErrDetailClear();
  Check({{"FILESEL('RESTORE')", "e:169"}, {"FILESEL('productos')", "e:169"}});
  EXPECT_NE(S(ErrDetailText()).find("FileSet"), std::string::npos) << S(ErrDetailText());
  EXPECT_TRUE(FileIsOpen(kProductos));
  EXPECT_FALSE(FileIsOpen(kClientes));
}

TEST_F(BuiltinsFilesTest, FieldTextOfBothBuffers) {
  Run("FILEFIND('B0002';productos;1)");
  Run("CODIGO{productos}='Q'");
  Check({
      {"FN$FLDS(CODIGO{productos})", "s:Q    "},
      {"FN$FLDS(CODIGO{productos};1)", "s:Q    "},
      {"FN$FLDS(CODIGO{productos};2)", "s:B0002"},
      {"FN$FLDS(CODIGO{productos};1+1)", "s:B0002"},
      {"FN$FLDS(2{1};2)", "s:Te                  "},
      {"FN$FLDS(PRECIO{productos};2)", "s:     1.00"},  // raw text, not a number
      {"FN$FLDS({productos})", "s:1"},
      {"FN$FLDS(NADA{productos})", "e:147"},
      {"FN$FLDS(9{productos})", "e:168"},
      {"FN$FLDS(CODIGO{nada})", "e:161"},
  });
}

TEST_F(BuiltinsFilesTest, FieldReferencesInExpressions) {
  Run("FILEFIND('A0001';productos;1)");
  Check({
      {"NOMBRE{productos}='x'", "s:x"},
      {"NOMBRE{productos}", "s:x" + std::string(19, ' ')},
      {"FN$FLDS(NOMBRE{productos};2)", "s:Cafe                "},
      {"PRECIO{productos}", "n:1.2"},
      {"PRECIO{productos}=PRECIO{productos}*2", "n:2.4"},
      {"PRECIO{1}+1", "n:3.4"},
      {"NOMBRE{nada}='x'", "e:161"},
  });
  // The assignments changed the buffer only, until the record is rewritten.
  EXPECT_EQ(FileRewrite(kProductos), 0);
  Check({{"FILELOCATE('TOP';productos)", "n:"}, {"FN$TRIM(NOMBRE{productos})", "s:x"}});
}

TEST_F(BuiltinsFilesTest, FileNameVariables) {
  Check({
      {"productos", "n:1"},
      {"ventas", "n:2"},
      {"clientes", "n:3"},
      {"{ventas}", "s:2"},  // the reference's text
      {"FN#FLEN(productos)+ventas", "n:5"},
  });
}

// The start-up names the files once the dictionary is loaded; the relation
// evaluator is the one the runtime's core start-up installed (the fixture
// starts the runtime as the program does and installs none of its own).
TEST_F(BuiltinsFilesTest, StartUpLoadsTheDictionaryForExpressions) {
  ASSERT_TRUE(qtest::WriteFile(
      PathOf("QODICC.DAT"),
      Dictionary() + Lines({FileLine(4, "PEDIDOS"), FieldLine(4, 6, 'A', "NUMERO")})));
  ASSERT_EQ(qtest::Eval("pedidos"), "n:");  // not defined yet
  ASSERT_EQ(DynSet(0, 2, Lit("QO0001")), 0);
  ASSERT_EQ(DynSet(0, 5, StrMake(dir_.data(), static_cast<uint16_t>(dir_.size()))), 0);
  ASSERT_EQ(RuntimeLoadEnvironment(0), 0);
  Check({
      {"pedidos", "n:4"},
      {"productos", "n:1"},
      {"_CURFIL", "n:1"},
      {"FN#FLEN(productos)", "n:3"},
      {"PROD{ventas}='B0002'", "s:B0002"},
      {"FILEREL(ventas;productos;1;0)", "n:"},
      {"FN$TRIM(NOMBRE{productos})", "s:Te"},
  });
}

}  // namespace
