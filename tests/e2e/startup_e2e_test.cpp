// The quillon program run for real, headless, in a copy of the bundled
// application: what it shows, what its exit status is.
#include <gtest/gtest.h>

#include <string>

#include "support/run_program.h"
#include "support/test_dirs.h"

namespace {

class StartupE2E : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = qtest::MakeTempDir("e2e");
    app_ = dir_ + "/app";
    ASSERT_TRUE(qtest::CopyTree(qtest::SourcePath("apps/quillon"), app_));
  }
  void TearDown() override { qtest::RemoveTree(dir_); }

  qtest::ProgramRun Run(const std::vector<std::string>& args, const std::string& script = "",
                        const std::string& where = "") {
    qtest::ProgramOptions options;
    options.working_folder = where.empty() ? app_ : where;
    options.script = script;
    options.env["QUILLON_FAKE_NOW"] = "20240517093005";
    return qtest::RunProgram(qtest::BuiltProgram("src/quillon"), args, options);
  }

  std::string dir_, app_;
};

TEST_F(StartupE2E, RunOptionNamingNoModeShowsUndefinedProcess) {
  qtest::ProgramRun run = Run({"/DPATH=.", "/RUN=Nada"});
  EXPECT_NE(run.transcript.find("msgbox error-ok \"Alerta de Mensaje Fatal\" "
                                "\"Error de Datos: Proceso no definido\" -> OK"),
            std::string::npos)
      << run.transcript << run.err;
  EXPECT_EQ(run.exit_code, 163);
  EXPECT_EQ(run.transcript.find("open "), std::string::npos) << "no window opened";
}

TEST_F(StartupE2E, ModeNamesAreCaseSensitive) {
  // Quoted, so the option keeps its case: "report" is not the mode Report.
  qtest::ProgramRun run = Run({"/DPATH=.", "/RUN='report X'"});
  EXPECT_NE(run.transcript.find("Proceso no definido"), std::string::npos) << run.transcript;
  EXPECT_EQ(run.exit_code, 163);
}

TEST_F(StartupE2E, StartWithoutDefinitionsFolderStopsWithMissingDictionary) {
  std::string empty = dir_ + "/empty";
  ASSERT_TRUE(qtest::WriteFile(dir_ + "/.keep", ""));
  ASSERT_EQ(system(("mkdir -p '" + empty + "'").c_str()), 0);
  qtest::ProgramRun run = Run({}, "", empty);
  EXPECT_EQ(run.exit_code, 164) << run.transcript << run.err;
  EXPECT_NE(run.transcript.find("msgbox error-ok \"Alerta de Mensaje Fatal\" "
                                "\"Error Fichero no encontrado(DataFile): QODICC.DAT"),
            std::string::npos)
      << run.transcript;
  EXPECT_EQ(run.transcript.find("open "), std::string::npos);
}

TEST_F(StartupE2E, TranscriptIsWrittenEvenForAQuietRun) {
  qtest::ProgramRun run = Run({"/DPATH=.", "/RUN='Copy'"});
  EXPECT_EQ(run.exit_code, 0) << "Copy does nothing and succeeds: " << run.transcript << run.err;
  EXPECT_EQ(run.transcript.find("msgbox"), std::string::npos) << run.transcript;
}

}  // namespace
