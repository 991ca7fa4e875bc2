#include "core/log.h"

#include <cstdio>

#include "core/dyn_strings.h"
#include "core/messages.h"
#include "core/status.h"
#include "core/temp_stack.h"
#include "core/token_list.h"
#include "platform/clock.h"
#include "platform/fs.h"
#include "platform/process.h"

namespace {

// Today's date in the display form of date style 2: day, month and year
// separated by dashes, day first for the languages "ES,FR,IT" and month first
// for any other.
StrDesc ReportDate(const ClockDateTime& now) {
  if (ListFind(Lit("ES,FR,IT"), DynGet(0, 4), ',') == 0) {
    return StrFormat(10, "%02d-%02d-%04d", now.month, now.day, now.year);
  }
  return StrFormat(10, "%02d-%02d-%04d", now.day, now.month, now.year);
}

}  // namespace

StrDesc LogFileName() {
  StrDesc own = DynGet(9, 10);
  if (own.len > 0) return own;
  StrDesc code = DynGet(0, 2);
  std::string prefix(StrView(code).substr(0, 2));
  return StrFormat(64, "%slog.txt", prefix.c_str());
}

Status LogErrorReport(StrDesc text, StrDesc file_name) {
  Status st = StrCheck(text);
  if (st != 0) return st;
  TempMarkValue mark = TempMark();
  StrDesc name = StrCheck(file_name) == 0 && file_name.len > 0 ? file_name : LogFileName();
  if (StrIsError(name)) {
    TempRelease(mark);
    return StrCheck(name);
  }
  FILE* f = FsOpen(StrView(name), "ab");
  if (!f) {
    ErrDetail(164, name, false);
    TempRelease(mark);
    return 164;
  }
  ClockDateTime now = ClockNow();
  StrDesc date = ReportDate(now);
  StrDesc time = StrFormat(8, "%02d:%02d:%02d", now.hour, now.minute, now.second);
  std::string report = "*****************************\r\n Date:";
  report += StrView(date);
  report += " - Time:";
  report += StrView(time);
  report += " - User:0\r\n";
  report += StrView(text);
  report += "\r\n**********************\r\n\r\n";
  bool ok = std::fwrite(report.data(), 1, report.size(), f) == report.size();
  ok = (std::fclose(f) == 0) && ok;
  TempRelease(mark);
  if (!ok) return ErrDetail(131, name, false);
  return 0;
}

void AssertTrue(bool condition, StrDesc message) {
  if (condition) return;
  MsgBox(message, Lit("Assertion Fail"), kMsgOkError);
  LogErrorReport(message, Lit("assertions.log"));
  ProcessAbort(StrCheck(message) == 0 ? StrView(message) : std::string_view("assertion failed"));
}
