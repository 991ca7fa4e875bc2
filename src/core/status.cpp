#include "core/status.h"

#include "core/dyn_strings.h"
#include "core/messages.h"
#include "core/str_lib.h"
#include "core/temp_stack.h"
#include "core/token_list.h"

const char kModuleList[] =
    "STRINGINIT,STRINGASSIGN,STRCONCAT,VARNMASSIGN,SQLCONNECT,SQLEXEC,EXEC_COMPILER,"
    "Malloc-MemAcums,ExecRunTime,VarStruct,ExpExec,Sort,BufferFld,DynStrings,StructFuncs,"
    "FormatStrings,Streams,DataFile,LocalLists,Screens,Devices,HtmlScan";

namespace {

// Names of the codes from 122 on; empty items have no name.
const char kCodeNames[] =
    "Cancelado por el usuario,Expresion Nula,Aviso Indefinido,Tipo Atipico,Datos incorrectos,"
    "No hay datos,Tipos Incompatibles,Fallo de loop,Disco (I/O),Fichero I/O,"
    "Ejecuci\xF3n de Procedimiento,PRCSTCKERROR,TRANSUPERROR,VARHANDLERROR,de Lectura,"
    "de Escritura,de Apertura,de Red,BADEXPRESION,Interno,FARHEAPINIERR,"
    "de Entorno de Pantalla,INDEXCMDERROR,OUTOFMEMORY,STRINGTOOLONG,SINTAXERROR,"
    "FEATUREREMOVED,DIMSTRUCERROR,BADSTRINGTYPE,BADFILENUMBER,FORMATFAILURE,STRCONCATERR,"
    "MEMORYALLOCERR,EXPCALCERROR,LOADSTRERROR,VARNAMEERROR,BADCOMMANDLINE,STROUTBOUND,"
    "MEMTESTERROR,FILEOUTBOUND,SQLERROR,de Datos,Fichero no encontrado,Fichero Existente,"
    "Apertura de Ficheros,CHILDEXECERROR,DATAOUTBOUND,FILENOTINIT,COMMONCTLERROR,"
    "DEVICETIMEOUT,DEVICEIOERROR,SYSTEMCMDERROR,Chequeo de usuario,Permiso denegado,"
    "StructMemError,ScreenStructErr,Memory Leaks,Windows Control Error,Memory Overflow,"
    "Variable ScreenField,,Datos Existentes,Solamente Acceso Local,"
    "Soporte Grafico Insuficiente";

constexpr uint16_t kDetailGroup = 9;
constexpr uint16_t kDetailItem = 9;

uint32_t g_error_word = 0;

}  // namespace

uint32_t ErrSet(int flag, uint16_t module, Status code, uint32_t result) {
  if (flag == 0) return 0;
  if (flag == 2 || (g_error_word == 0 && code >= 128)) {
    g_error_word = (uint32_t{module} << 16) | code;
  }
  return result;
}

uint32_t ErrWord() { return g_error_word; }

void ErrClear() { g_error_word = 0; }

void StatusReset() { g_error_word = 0; }

StrDesc ErrStr(int flag, uint16_t module, Status code, StrDesc s) {
  return ErrSet(flag, module, code, code) != 0 ? StrError(code) : s;
}

Status ErrDetail(Status code, StrDesc text, bool append) {
  if (StrCheck(text) != 0) return code;
  TempMarkValue mark = TempMark();
  StrDesc current = DynGet(kDetailGroup, kDetailItem);
  if (append && current.len > 0) {
    StrDesc kept = StrCopy(current);
    while (!StrIsError(kept) && kept.len > 1024) {
      uint16_t lf = StrFindLastChar(kept, '\n', 1);
      uint16_t cr = StrFindLastChar(kept, '\r', 1);
      uint16_t at = lf == kNotFound ? cr : (cr == kNotFound ? lf : (lf > cr ? lf : cr));
      if (at == kNotFound) break;
      if (at > 0 && kept.ptr[at] == '\n' && kept.ptr[at - 1] == '\r') --at;
      kept.len = at;
    }
    DynSet(kDetailGroup, kDetailItem,
           kept.len > 0 ? StrConcat(StrConcat(kept, Lit("\r\n")), text) : text);
  } else {
    DynSet(kDetailGroup, kDetailItem, text);
  }
  TempRelease(mark);
  return code;
}

StrDesc ErrDetailText() { return DynGet(kDetailGroup, kDetailItem); }

void ErrDetailClear() {
  if (DynCount(kDetailGroup) > kDetailItem) DynSet(kDetailGroup, kDetailItem, Lit(""));
}

StrDesc ErrName(Status code) {
  if (code >= 122) {
    StrDesc name = ListItem(Lit(kCodeNames), ',', static_cast<uint16_t>(code - 121));
    if (name.len > 0) return name;
  }
  return Lit("Indefinido");
}

StrDesc ModuleName(uint16_t module) {
  if (module == 0) return Lit("");
  return ListItem(Lit(kModuleList), ',', module);
}

StrDesc ErrText(Status code) {
  if (code == 0xFFFF) {
    if (g_error_word == 0) return ErrName(0xFFFF);
    code = static_cast<Status>(g_error_word & 0xFFFF);
  }
  if (code == 0) return MsgGet("0005");
  if (code <= 120) return MsgGet("0008");
  if (code == 121) {
    StrDesc detail = ErrDetailText();
    return detail.len > 0 ? detail : Lit("Indefinido");
  }
  return ErrName(code);
}

StrDesc ErrMessage(Status code) {
  if (code == 0xFFFF && g_error_word != 0) code = static_cast<Status>(g_error_word & 0xFFFF);
  TempMarkValue mark = TempMark();
  StrDesc text = ErrText(code);
  if (code >= 128 && code != 0xFFFF) {
    text = StrConcat(MsgGet("0009"), text);
    uint16_t module = static_cast<uint16_t>(g_error_word >> 16);
    if (module != 0) {
      text = StrConcat(text, StrConcat(StrConcat(Lit("("), ModuleName(module)), Lit(")")));
    }
    StrDesc detail = ErrDetailText();
    if (detail.len > 0) text = StrConcat(text, StrConcat(Lit(": "), detail));
  }
  return TempKeep(mark, text);
}

Status ErrShow(Status code) {
  TempMarkValue mark = TempMark();
  StrDesc text = ErrMessage(code);
  if (code < 128) {
    MsgBox(text, MsgGet("0012"), kMsgOkWarning);
  } else {
    MsgBox(text, MsgGet("0013"), kMsgOkError);
  }
  ErrDetailClear();
  TempRelease(mark);
  return code;
}
