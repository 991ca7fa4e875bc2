// Status names and classes, the first-wins error word, the detail text, the
// built-in catalogue and the message box answers.
#include <gtest/gtest.h>

#include <string>

#include "core/dyn_strings.h"
#include "core/messages.h"
#include "core/status.h"
#include "core/temp_stack.h"
#include "support/runtime_fixture.h"

using qtest::S;

namespace {

class StatusTest : public RuntimeTest {
 protected:
  void SetUp() override {
    RuntimeTest::SetUp();
    MessagesReset();
    SetMsgBoxHandler(nullptr);
  }
};

TEST_F(StatusTest, CodeNames) {
  struct Case {
    Status code;
    const char* name;
  } cases[] = {
      {121, "Indefinido"},        {200, "Indefinido"},
      {122, "Cancelado por el usuario"},
      {164, "Fichero no encontrado"},
      {132, "Ejecuci\xF3n de Procedimiento"},
      {181, "Variable ScreenField"}, {182, "Indefinido"},  // a gap in the list
      {183, "Datos Existentes"},     {185, "Soporte Grafico Insuficiente"},
      {186, "Indefinido"},
  };
  for (const Case& c : cases) EXPECT_EQ(S(ErrName(c.code)), c.name) << c.code;
}

TEST_F(StatusTest, ClassTexts) {
  EXPECT_EQ(S(ErrText(0)), "Proceso Completado Satisfactoriamente");
  EXPECT_EQ(S(ErrText(50)), "Precauci\xF3n ");
  EXPECT_EQ(S(ErrText(121)), "Indefinido");
  ErrDetail(121, Lit("abc"), false);
  EXPECT_EQ(S(ErrText(121)), "abc");
  ErrDetailClear();
  EXPECT_EQ(S(ErrText(126)), "Datos incorrectos");
  EXPECT_EQ(S(ErrText(0xFFFF)), "Indefinido") << "nothing recorded";
  ErrSet(1, kModDataFile, 164, 164);
  EXPECT_EQ(S(ErrText(0xFFFF)), "Fichero no encontrado");
}

TEST_F(StatusTest, ErrorWordIsFirstWins) {
  EXPECT_EQ(ErrSet(1, 16, 146, 146), 146u);
  ErrSet(1, 18, 164, 164);
  EXPECT_EQ(ErrWord(), (16u << 16) | 146);
  ErrClear();
  ErrSet(1, 3, 100, 100);
  EXPECT_EQ(ErrWord(), 0u) << "codes below 128 are not recorded";
  EXPECT_EQ(ErrSet(0, 3, 150, 150), 0u);
  EXPECT_EQ(ErrWord(), 0u);
  ErrSet(1, 16, 146, 146);
  ErrSet(2, 18, 164, 0);
  EXPECT_EQ(ErrWord(), (18u << 16) | 164) << "flag 2 always records";
  ErrSet(2, 0, 0, 0);
  EXPECT_EQ(ErrWord(), 0u);
  EXPECT_EQ(StrCheck(ErrStr(1, 18, 164, Lit("ok"))), 164);
  EXPECT_EQ(S(ErrStr(0, 18, 164, Lit("ok"))), "ok");
}

TEST_F(StatusTest, DetailAppendsOnNewLinesAndStaysBounded) {
  EXPECT_EQ(ErrDetail(164, Lit("first"), true), 164);
  ErrDetail(164, Lit("second"), true);
  EXPECT_EQ(S(ErrDetailText()), "first\r\nsecond");
  ErrDetail(164, Lit("replaced"), false);
  EXPECT_EQ(S(ErrDetailText()), "replaced");
  // Growing beyond 1,024 bytes cuts the oldest lines back at line breaks.
  std::string line(300, 'x');
  for (int i = 0; i < 20; ++i) ErrDetail(164, Lit(line), true);
  EXPECT_LE(ErrDetailText().len, 1024 + 2 + 300);
  EXPECT_EQ(S(ErrDetailText()).substr(ErrDetailText().len - 300), line);
}

TEST_F(StatusTest, MessageSentence) {
  ErrSet(1, kModDataFile, 164, 164);
  ErrDetail(164, Lit("QODICC.DAT(C:\\APPS)"), false);
  EXPECT_EQ(S(ErrMessage(164)), "Error Fichero no encontrado(DataFile): QODICC.DAT(C:\\APPS)");
  ErrClear();
  ErrDetailClear();
  EXPECT_EQ(S(ErrMessage(163)), "Error de Datos");
  EXPECT_EQ(S(ErrMessage(126)), "Datos incorrectos");
}

TEST_F(StatusTest, ShowUsesKindByCodeAndClearsDetail) {
  ErrDetail(163, Lit("Proceso no definido"), false);
  ErrShow(163);
  EXPECT_EQ(MsgLastBox().kind, kMsgOkError);
  EXPECT_EQ(MsgLastBox().caption, "Alerta de Mensaje Fatal");
  EXPECT_EQ(MsgLastBox().text, "Error de Datos: Proceso no definido");
  EXPECT_EQ(ErrDetailText().len, 0);
  ErrShow(127);
  EXPECT_EQ(MsgLastBox().kind, kMsgOkWarning);
  EXPECT_EQ(MsgLastBox().caption, "Mensaje Informativo");
}

TEST_F(StatusTest, BuiltinCatalogue) {
  struct Case {
    const char* key;
    const char* text;
  } cases[] = {
      {"0040", "\xBF\x44\x65sea ver Incidencias?"},
      {"0089", "Relativa,Secuencial,Delimitada,Listado"},
      {"0031", "Proceso no definido"},
      {"0033", "Recuerde sus Copias de Seguridad"},
      {"0009", "Error "},
      {"0011", "Ss,Nn"},
      {"0019", ",.'0123456789,-D',' NS','  ,NO,SI'"},
      {"0123", ""},  // not a catalogue number, though 0019 holds those digits
      {"0110", "'Fichero\tRegistros\tEstado'"},
      {"0130", "Fin de la sesi\xF3n"},
      {"0007 Datos", "Datos"},  // a default after the number
  };
  for (const Case& c : cases) EXPECT_EQ(S(MsgGet(c.key)), c.text) << c.key;
}

TEST_F(StatusTest, CatalogueHoldsEveryListedNumberAsSingleByteText) {
  auto present = [](int n) {
    return (n >= 1 && n <= 68) || (n >= 70 && n <= 77) || (n >= 80 && n <= 101) || n >= 110;
  };
  for (int n = 1; n <= 130; ++n) {
    if (!present(n) || (n > 101 && n < 110) || (n > 121 && n < 130)) continue;
    char key[5];
    std::snprintf(key, sizeof key, "%04d", n);
    StrDesc t = MsgGet(key);
    EXPECT_GT(t.len, 0) << key;
    // No UTF-8 lead bytes followed by continuation bytes: texts are 1252.
    std::string s = S(t);
    for (size_t i = 0; i + 1 < s.size(); ++i) {
      unsigned char a = s[i], b = s[i + 1];
      EXPECT_FALSE((a == 0xC3 || a == 0xC2) && (b & 0xC0) == 0x80) << key;
    }
  }
}

TEST_F(StatusTest, MessageBoxAnswersAndDefaultTitles) {
  struct Case {
    int kind;
    MsgButton pressed;
    char answer;
    const char* caption;
  } cases[] = {
      {kMsgOkInfo, kMsgOk, 'S', "Solicitud de Informaci\xF3n"},
      {kMsgOkWarning, kMsgOk, 'S', "Mensaje Informativo"},
      {kMsgOkError, kMsgOk, 'S', "Alerta de Mensaje Fatal"},
      {kMsgRetryCancelError, kMsgRetry, 'S', "Mensaje Informativo"},
      {kMsgYesNoInfo, kMsgNo, 'N', "Solicitud de Informaci\xF3n"},
      {kMsgYesNoCancelInfo, kMsgCancel, 3, "Solicitud de Informaci\xF3n"},
      {kMsgOkCancelInfo, kMsgFailed, 0, "Solicitud de Informaci\xF3n"},
  };
  static MsgButton next;
  SetMsgBoxHandler([](StrDesc, StrDesc, int) { return next; });
  for (const Case& c : cases) {
    next = c.pressed;
    EXPECT_EQ(MsgBox(Lit("t"), Lit(""), c.kind), c.answer) << c.kind;
    EXPECT_EQ(MsgLastBox().caption, c.caption) << c.kind;
  }
  next = kMsgYes;
  EXPECT_TRUE(MsgConfirm(Lit("?")));
  next = kMsgNo;
  EXPECT_FALSE(MsgConfirm(Lit("?")));
  EXPECT_EQ(MsgLastBox().kind, kMsgYesNoInfo);
  SetMsgBoxHandler(nullptr);
  EXPECT_EQ(MsgBox(Lit("t"), Lit("Own"), kMsgYesNoInfo), 'S') << "headless default: Yes";
  EXPECT_EQ(MsgLastBox().caption, "Own");
}

TEST_F(StatusTest, LanguageFileNames) {
  DynSet(0, 4, Lit("ES"));
  EXPECT_EQ(LangIndex(), 2);
  EXPECT_EQ(S(LangFileName(Lit("HELP.HLP"), -1)), "HELP_es.HLP");
  EXPECT_EQ(S(LangFileName(Lit("HELP.HLP"), 1)), "HELP_en.HLP");
  EXPECT_EQ(S(LangFileName(Lit("HELP.HLP"), 0)), "HELP.HLP");
  EXPECT_EQ(S(LangFileName(Lit("C:\\d.x\\HELP"), 2)), "C:\\d.x\\HELP_es");
  DynSet(0, 4, Lit("XX"));
  EXPECT_EQ(LangIndex(), 0);
}

}  // namespace
