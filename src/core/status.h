// Status codes, the process-wide error word and the error detail text.
//
// Every operation reports a 16-bit Status: 0 success, 1..120 warnings, 121
// undefined (its meaning is the detail text), 122..127 informative failures
// (122 the user's cancel), 128 and above errors. The error word keeps the
// first error (code >= 128) and the number of the module that reported it;
// later errors never overwrite it unless forced. The detail text, DynStrings
// item (9, 9), explains the last failure (a file name, an expression...). A
// code becomes a sentence only when shown (ErrMessage, ErrShow).
#pragma once

#include <cstdint>

#include "core/str_desc.h"

// Status codes by name (the numbering is fixed; ErrName gives the shown names).
enum StatusCode : Status {
  kStOk = 0,
  kStUndefined = 121,
  kStCancelled = 122,       // Cancelado por el usuario
  kStNullExpression = 123,  // Expresion Nula
  kStWarnUndefined = 124,   // Aviso Indefinido
  kStAtypical = 125,        // Tipo Atipico
  kStBadData = 126,         // Datos incorrectos
  kStNoData = 127,          // No hay datos
  kStTypeMismatch = 128,    // Tipos Incompatibles
  kStLoopFail = 129,        // Fallo de loop
  kStDiskIo = 130,          // Disco (I/O)
  kStFileIo = 131,          // Fichero I/O
  kStProcExec = 132,        // Ejecución de Procedimiento
  kStPrcStack = 133,
  kStTransUp = 134,
  kStVarHandle = 135,
  kStRead = 136,   // de Lectura
  kStWrite = 137,  // de Escritura
  kStOpen = 138,   // de Apertura
  kStNet = 139,    // de Red
  kStBadExpression = 140,
  kStInternal = 141,  // Interno
  kStFarHeapInit = 142,
  kStScreenEnv = 143,  // de Entorno de Pantalla
  kStIndexCmd = 144,
  kStOutOfMemory = 145,
  kStStringTooLong = 146,
  kStSyntax = 147,
  kStFeatureRemoved = 148,
  kStDimStruct = 149,
  kStBadStringType = 150,
  kStBadFileNumber = 151,
  kStFormatFailure = 152,
  kStStrConcat = 153,
  kStMemAlloc = 154,
  kStExpCalc = 155,
  kStLoadStr = 156,
  kStVarName = 157,
  kStBadCommandLine = 158,
  kStStrOutBound = 159,
  kStMemTest = 160,
  kStFileOutBound = 161,
  kStSql = 162,
  kStData = 163,          // de Datos
  kStFileNotFound = 164,  // Fichero no encontrado
  kStFileExists = 165,    // Fichero Existente
  kStFileOpen = 166,      // Apertura de Ficheros
  kStChildExec = 167,
  kStDataOutBound = 168,
  kStFileNotInit = 169,
  kStCommonCtl = 170,
  kStDeviceTimeout = 171,
  kStDeviceIo = 172,
  kStSystemCmd = 173,
  kStUserCheck = 174,        // Chequeo de usuario
  kStPermission = 175,       // Permiso denegado
  kStStructMem = 176,        // StructMemError
  kStScreenStruct = 177,     // ScreenStructErr
  kStMemoryLeaks = 178,      // Memory Leaks
  kStWindowsControl = 179,   // Windows Control Error
  kStMemoryOverflow = 180,   // Memory Overflow
  kStVarScreenField = 181,   // Variable ScreenField
  kStDataExists = 183,       // Datos Existentes
  kStLocalOnly = 184,        // Solamente Acceso Local
  kStGraphics = 185,         // Soporte Grafico Insuficiente
};

// Module numbers: 1-based positions in the module list.
enum ModuleNumber : uint16_t {
  kModNone = 0,
  kModStringInit = 1,
  kModStringAssign = 2,
  kModStrConcat = 3,
  kModVarNmAssign = 4,
  kModSqlConnect = 5,
  kModSqlExec = 6,
  kModExecCompiler = 7,
  kModMallocMemAcums = 8,
  kModExecRunTime = 9,
  kModVarStruct = 10,
  kModExpExec = 11,
  kModSort = 12,
  kModBufferFld = 13,
  kModDynStrings = 14,
  kModStructFuncs = 15,
  kModFormatStrings = 16,
  kModStreams = 17,
  kModDataFile = 18,
  kModLocalLists = 19,
  kModScreens = 20,
  kModDevices = 21,
  kModHtmlScan = 22,
};

// The module list, comma-separated, in module-number order.
extern const char kModuleList[];

// Records (code, module) in the error word: flag 0 does nothing and returns
// 0; flag 1 records only when the word is 0 and code >= 128; flag 2 always
// records (ErrSet(2, 0, 0, x) clears the word). Returns `result` (flag != 0).
uint32_t ErrSet(int flag, uint16_t module, Status code, uint32_t result);
// The 32-bit error word: code in the low half, module in the high half.
uint32_t ErrWord();
// Clears the error word (same as ErrSet(2, 0, 0, 0)).
void ErrClear();
// The error descriptor of `code` when ErrSet(flag, ...) returned nonzero,
// else s.
StrDesc ErrStr(int flag, uint16_t module, Status code, StrDesc s);

// Sets the detail text (9, 9) to text, or with append adds it after the
// current detail on a new line (a current detail over 1,024 bytes is first
// cut back at its last line break). Returns code.
Status ErrDetail(Status code, StrDesc text, bool append);
// The current detail text (a view into DynStrings; empty when none).
StrDesc ErrDetailText();
// Deletes the detail text.
void ErrDetailClear();

// The shown name of a code ("Indefinido" when it has none).
StrDesc ErrName(Status code);
// The module name of a module number (empty for 0 or unknown numbers).
StrDesc ModuleName(uint16_t module);
// The short text of the code's class; 65,535 means the code held in the
// error word (or 65,535 itself when the word is 0).
StrDesc ErrText(Status code);
// The full sentence: for codes >= 128 "Error " + text, the module in
// parentheses when the word has one, and ": " + detail when there is one.
StrDesc ErrMessage(Status code);
// Shows ErrMessage(code) in a message box (kind 1 titled "0012" below 128,
// kind 3 titled "0013" otherwise), then deletes the detail text. Returns code.
Status ErrShow(Status code);

// Resets the error word (at runtime start and in tests).
void StatusReset();
