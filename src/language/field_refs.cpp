// Until the data files are built, field references have no record buffers to
// reach: every operation fails with 169 (file not initialised).
#include "language/field_refs.h"

#include "core/status.h"
#include "core/temp_stack.h"
#include "language/variables.h"

FieldRef ResolveFieldRef(StrDesc text) {
  FieldRef r;
  r.status = ErrDetail(169, StrConcat(Lit("Field:"), text), false);
  return r;
}
Status ReadFieldRef(StrDesc text) { return ResolveFieldRef(text).status; }
Status AssignFieldRef(StrDesc text, StrDesc) { return ResolveFieldRef(text).status; }
StrDesc FieldText(uint16_t, uint16_t, int) { return StrError(169); }
StrDesc FieldValue(uint16_t, uint16_t) { return StrError(169); }
Status FieldStore(uint16_t, uint16_t, StrDesc) { return 169; }
Status DefineFileNameVariables() { return 0; }
uint16_t CurrentFile(uint16_t) { return static_cast<uint16_t>(IntegerVar(2)); }
