// The procedure trace: with bit 0x08 of _TRACE every line a run attempts is
// appended to "PrcLog.txt" in the working folder as "N\tKEYWORD TEXT\r\n"
// (the keyword empty for an expression line). The file is opened for each
// line (created when missing), written at its end and closed again, so a
// trace survives a run that never ends normally.
#include "core/fixed_point.h"
#include "core/temp_stack.h"
#include "procedures/procedure_internal.h"
#include "storage/streams.h"

namespace {

constexpr char kTraceFile[] = "PrcLog.txt";

}  // namespace

void PrcTraceLine(uint16_t line_number, uint16_t code, StrDesc text) {
  TempMarkValue mark = TempMark();
  StrDesc line = StrConcat(NumFormatInt(line_number), Lit("\t"));
  line = StrConcat(line, code == kPrcExpression ? Lit("") : PrcKeyword(code));
  line = StrConcat(line, Lit(" "));
  line = StrConcat(line, text);
  line = StrConcat(line, Lit("\r\n"));
  // Quiet: a trace that cannot be written must not leave an error behind.
  if (!StrIsError(line))
    StreamWriteFile(Lit(kTraceFile), kStreamUpdate | kStreamQuiet, kStreamHere, line);
  TempRelease(mark);
}
