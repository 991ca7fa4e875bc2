#include "core/messages.h"

#include <cstring>
#include <string>
#include <vector>

#include "core/dyn_strings.h"
#include "core/status.h"
#include "core/str_lib.h"
#include "core/temp_stack.h"
#include "core/token_list.h"
#include "platform/fs.h"

namespace {

// ---------------------------------------------------------------------------
// Built-in texts (Windows-1252), three tab-separated blocks of "NNNN text".
// Texts that hold tabs keep them inside quotes.

const char kBlock1[] =
    "0001 Inicializando Aplicaci\xF3n\t"
    "0002 Cargando Diccionario de Datos\t"
    "0003 Abriendo Ficheros de Datos\t"
    "0004 Cerrando Ficheros de Datos\t"
    "0005 Proceso Completado Satisfactoriamente\t"
    "0006 Proceso Interrumpido\t"
    "0007 Datos\t"
    "0008 Precauci\xF3n \t"
    "0009 Error \t"
    "0010 No definido\t"
    "0011 Ss,Nn\t"
    "0012 Mensaje Informativo\t"
    "0013 Alerta de Mensaje Fatal\t"
    "0014 Solicitud de Informaci\xF3n\t"
    "0015 Aceptar,Cancelar\t"
    "0016 Pulse una tecla para continuar\t"
    "0017 Parametros incorrectos para campo de pantalla%s\r\n (%s)\t"
    "0018 Valor fuera de rango\t"
    "0019 ,.'0123456789,-D',' NS','  ,NO,SI'\t"
    "0020 Cancelar\t"
    "0021 Aceptar\t"
    "0022 Mantenimiento de Ficheros,Captura de Datos\t"
    "0023 Clave no encontrada,Fin de fichero,,,Clave incorrecta,Clave Repetida,"
    "Datos Cambiados. Grabaci\xF3n canceleda,Datos Cambiados. Confirmar,"
    "Contrase\xF1\x61s no coinciden\t"
    "0024 \xBF\x44\x65sea grabar los cambios?\t"
    "0025 \xBF\x44\x65sea borrar el registro?\t"
    "0026 Registro grabado\t"
    "0027 Registro borrado\t"
    "0028 Nuevo,Inic.,Ant.,Sig.,Ult.,Buscar,Grabar,Borrar\t"
    "0029 Cancelar,Buscar,Grabar,Insertar,Anular Lin.,Importar,Anular Doc.,Modo Impr.\t"
    "0030 Cancelar,PgAnt.,PgSig.,Grabar,Insertar,Anular,Importar,Modo\t"
    "0031 Proceso no definido\t"
    "0032 Fichero bloqueado por otro usuario\t"
    "0033 Recuerde sus Copias de Seguridad\t"
    "0034 Copia de Seguridad\t"
    "0035 Restaurar Copia de Seguridad\t"
    "0036 Reorganizando Ficheros\t"
    "0037 Reorganizaci\xF3n terminada\t"
    "0038 \xBF\x43onfirma la operaci\xF3n?\t"
    "0039 Operaci\xF3n cancelada";

const char kBlock2[] =
    "0040 \xBF\x44\x65sea ver Incidencias?\t"
    "0041 Sin incidencias\t"
    "0042 Imprimiendo\t"
    "0043 Impresi\xF3n terminada\t"
    "0044 Impresora no disponible\t"
    "0045 Dispositivo de salida\t"
    "0046 P\xE1gina\t"
    "0047 Total\t"
    "0048 Fin de Informe\t"
    "0049 Escoja Selecci\xF3n\t"
    "0050 Buscar\t"
    "0051 Valor a buscar\t"
    "0052 No se encontraron datos\t"
    "0053 Campo obligatorio\t"
    "0054 Fecha incorrecta\t"
    "0055 Hora incorrecta\t"
    "0056 N\xFAmero incorrecto\t"
    "0057 Clave duplicada\t"
    "0058 Fichero no abierto\t"
    "0059 Seleccione fichero\t"
    "0060 Todos (%s),%s\t"
    "0061 Ficheros de Estructura (%s),%s\t"
    "0062 Ficheros de Pantalla (%s),%s\t"
    "0063 Ficheros de Plantilla de Impresi\xF3n (%s),%s\t"
    "0064 Ficheros de Procedimientos (%s),%s\t"
    "0065 Ficheros de Selecci\xF3n de Aplicaci\xF3n (%s),%s\t"
    "0066 Ficheros de Men\xFA (%s),%s\t"
    "0067 Ficheros PDF (%s),%s\t"
    "0068 Ficheros de Texto (%s),%s\t"
    "0070 Ayuda\t"
    "0071 P\xE1ginas de Ayuda\t"
    "0072 Pagina de Ayuda no definida\t"
    "0073 Indice de Ayuda\t"
    "0074 Versi\xF3n\t"
    "0075 Acerca de\t"
    "0076 Usuario\t"
    "0077 Fecha de Trabajo\t"
    "0080 (Mayor que),(Menor que), (Igual a),(Desde),(Hasta),(Distinto de)\t"
    "0081 Captura de Limites de Informe\t"
    "0082 Desde\t"
    "0083 Hasta\t"
    "0084 Condici\xF3n\t"
    "0085 Ordenar por\t"
    "0086 Registros le\xED\x64os\t"
    "0087 Registros impresos\t"
    "0088 Registros procesados";

const char kBlock3[] =
    "0089 Relativa,Secuencial,Delimitada,Listado\t"
    "0090 Pantalla,Impresora,Fichero,Puerto Serie\t"
    "0091 Vista previa\t"
    "0092 Configurar impresora\t"
    "0093 Puerto serie no disponible\t"
    "0094 Tiempo de espera agotado en el dispositivo\t"
    "0095 Error de escritura en el dispositivo\t"
    "0096 Procedimiento no encontrado\t"
    "0097 Etiqueta no encontrada\t"
    "0098 Demasiados niveles de llamada\t"
    "0099 Bloque sin cerrar\t"
    "0100 Instrucci\xF3n no reconocida\t"
    "0101 Demasiadas l\xEDneas en el procedimiento\t"
    "0110 'Fichero\tRegistros\tEstado'\t"
    "0111 'Copia\tFecha\tHora'\t"
    "0112 Copia de seguridad realizada\t"
    "0113 Copia de seguridad restaurada\t"
    "0114 No existe la carpeta de copias\t"
    "0115 Ultima sesion interrumpida. Recuperacion de datos\t"
    "0116 Recuperando datos\t"
    "0117 'Enero,Febrero,Marzo,Abril,Mayo,Junio,Julio,Agosto,Septiembre,Octubre,"
    "Noviembre,Diciembre','[D] de [M] de [Y]'\t"
    "0118 Lunes,Martes,Mi\xE9rcoles,Jueves,Viernes,S\xE1\x62\x61\x64o,Domingo\t"
    "0119 Pedido\t"
    "0120 'Producto\tCantidad\tImporte'\t"
    "0121 Total Pedido\t"
    "0130 Fin de la sesi\xF3n";

// Loaded message file texts.
constexpr uint16_t kLoadedEntries = 256;
constexpr uint16_t kLoadedBlocks = 32;
constexpr uint16_t kTextGroup = 9;
constexpr uint16_t kTextItem = 2;
constexpr uint16_t kLineQueue = 37;

struct LoadedBlock {
  int first = -1;
  int last = -1;
  uint16_t base = 0;
};

struct Catalogue {
  uint8_t state = 0;  // 0 not tried, 1 tried (built-in texts), 2 loaded
  uint16_t ends[kLoadedEntries] = {};
  uint16_t entries = 0;
  LoadedBlock blocks[kLoadedBlocks];
  uint16_t block_count = 0;
};

Catalogue g_cat;
MsgBoxRecord g_last_box;
MsgBoxHandler g_box_handler = nullptr;
MsgLineReader g_line_reader = nullptr;
MsgDiscardPending g_discard = nullptr;

// The default button of each kind.
MsgButton DefaultButton(int kind) {
  switch (kind) {
    case kMsgRetryCancelError:
      return kMsgRetry;
    case kMsgYesNoInfo:
    case kMsgYesNoCancelInfo:
      return kMsgYes;
    default:
      return kMsgOk;
  }
}

MsgButton HeadlessBox(StrDesc, StrDesc, int kind) { return DefaultButton(kind); }

// The built-in text of a four-digit key.
StrDesc BuiltinText(StrDesc key) {
  StrDesc block;
  if (StrCompare(key, Lit("0089")) >= 0) {
    block = Lit(kBlock3);
  } else if (StrCompare(key, Lit("0040")) >= 0) {
    block = Lit(kBlock2);
  } else {
    block = Lit(kBlock1);
  }
  // An entry starts at the block's start or right after a tab outside quotes.
  uint16_t at = 0;
  while (at < block.len) {
    if (block.len - at >= key.len && std::memcmp(block.ptr + at, key.ptr, key.len) == 0) {
      StrDesc rest = StrSub(block, at + 5, 0xFFFF);
      uint16_t end = StrFindChar(rest, '\t', 0);
      return StrSub(rest, 0, end == kNotFound ? rest.len : end);
    }
    uint16_t tab = StrFindChar(block, '\t', 0, at);
    if (tab == kNotFound) break;
    at = static_cast<uint16_t>(tab + 1);
  }
  return Lit("");
}

// Appends an empty or real entry to the loaded table; false when full.
bool AddEntry(StrDesc text) {
  if (g_cat.entries >= kLoadedEntries) return false;
  StrDesc all = DynGet(kTextGroup, kTextItem);
  if (text.len > 0) {
    if (DynSet(kTextGroup, kTextItem, StrConcat(all, text)) != 0) return false;
  }
  g_cat.ends[g_cat.entries++] = static_cast<uint16_t>(all.len + text.len);
  return true;
}

// Parses the lines queued in group 37 (the reader put them there).
void ParseQueuedLines(uint16_t lines) {
  if (g_cat.block_count >= kLoadedBlocks) return;
  LoadedBlock& block = g_cat.blocks[g_cat.block_count];
  block = LoadedBlock{};
  block.base = g_cat.entries;
  for (uint16_t l = 0; l < lines && DynCount(kLineQueue) > 0; ++l) {
    TempMarkValue mark = TempMark();
    StrDesc line = StrReplace(StrCopy(DynTop(kLineQueue)), Lit("\\n"), Lit("\r\n"), 1);
    DynPop(kLineQueue);
    if (StrIsError(line) || line.len < 4) {
      TempRelease(mark);
      continue;
    }
    int number = StrToInt(StrSub(line, 0, 4));
    if (number > 0) {
      if (block.first < 0) block.first = number;
      // Numbers must ascend; out-of-order lines are skipped.
      if (number >= block.first && number > block.last) {
        while (g_cat.entries < block.base + (number - block.first)) {
          if (!AddEntry(Lit(""))) break;
        }
        if (g_cat.entries == block.base + (number - block.first) &&
            AddEntry(StrSub(line, 5, 0xFFFF))) {
          block.last = number;
          g_cat.state = 2;
        }
      }
    }
    TempRelease(mark);
  }
  DynTruncate(kLineQueue, 0);
  if (block.first >= 0 && block.last >= 0) ++g_cat.block_count;
}

// The loaded text of number n, or an error descriptor when it has none.
StrDesc LoadedText(int n) {
  for (uint16_t b = 0; b < g_cat.block_count; ++b) {
    const LoadedBlock& block = g_cat.blocks[b];
    if (block.last < n) continue;
    if (n < block.first) return StrError(163);
    uint32_t index = block.base + static_cast<uint32_t>(n - block.first);
    if (index >= g_cat.entries) return StrError(163);
    uint16_t start = index == 0 ? 0 : g_cat.ends[index - 1];
    StrDesc all = DynGet(kTextGroup, kTextItem);
    if (g_cat.ends[index] > all.len || start > g_cat.ends[index]) return StrError(163);
    return StrSub(all, start, static_cast<uint16_t>(g_cat.ends[index] - start));
  }
  return StrError(163);
}

// Reads whole lines (CR LF, CR or LF ends) into the line queue; the count, or
// 65,535 when the file cannot be opened.
uint16_t PlainLineReader(StrDesc path) {
  FILE* f = FsOpen(StrView(path), "rb");
  if (!f) return 0xFFFF;
  uint16_t lines = 0;
  std::string line;
  bool pending = false;
  int c;
  auto flush = [&]() {
    DynPush(kLineQueue, Lit(line));
    line.clear();
    if (lines < 0xFFFE) ++lines;
  };
  while ((c = std::fgetc(f)) != EOF) {
    if (c == '\r' || c == '\n') {
      if (c == '\r') {
        int next = std::fgetc(f);
        if (next != '\n' && next != EOF) std::ungetc(next, f);
      }
      flush();
      pending = false;
    } else {
      line.push_back(static_cast<char>(c));
      pending = true;
    }
  }
  if (pending) flush();
  std::fclose(f);
  return lines;
}

void LoadMessageFile() {
  g_cat.state = 1;
  TempMarkValue mark = TempMark();
  StrDesc lang = DynGet(0, 4);
  StrDesc name = StrFormat(15, "KV_LANG_%s.MSJ", lang.len > 0 ? StrCstr(lang) : "*");
  StrDesc folder = DynGet(0, 5);
  StrDesc pattern = name;
  if (folder.len > 0) {
    bool ends = folder.ptr[folder.len - 1] == '\\' || folder.ptr[folder.len - 1] == '/';
    pattern = ends ? StrConcat(folder, name) : StrJoin(folder, Lit("\\"), name);
  }
  std::vector<FsEntry> found;
  if (!StrIsError(pattern) && FsList(StrView(pattern), &found) == FsResult::kOk) {
    std::string path(StrView(pattern));
    size_t cut = path.find_last_of("\\/");
    path = (cut == std::string::npos ? std::string() : path.substr(0, cut + 1)) + found[0].name;
    uint16_t lines = (g_line_reader ? g_line_reader : PlainLineReader)(Lit(path));
    if (lines != 0xFFFF && lines > 0 && lines < 256) {
      ParseQueuedLines(lines);
    }
    DynTruncate(kLineQueue, 0);
  }
  TempRelease(mark);
}

}  // namespace

void SetMsgBoxHandler(MsgBoxHandler handler) { g_box_handler = handler; }
void SetMsgLineReader(MsgLineReader reader) { g_line_reader = reader; }
void SetMsgDiscardPending(MsgDiscardPending discard) { g_discard = discard; }
const MsgBoxRecord& MsgLastBox() { return g_last_box; }

void MessagesReset() {
  g_cat = Catalogue{};
  g_last_box = MsgBoxRecord{};
}

StrDesc MsgGet(StrDesc key) {
  if (StrCheck(key) != 0) return key;
  int n = StrToInt(StrSub(key, 0, 4));
  if (g_cat.state == 0 && DynReady()) LoadMessageFile();
  if (n != 0 && g_cat.state == 2) {
    StrDesc loaded = LoadedText(n);
    if (!StrIsError(loaded)) return loaded;
  }
  if (n != 0 && key.len > 4) return StrSub(key, 5, 0xFFFF);
  return BuiltinText(StrSub(key, 0, 4));
}

char MsgBox(StrDesc text, StrDesc title, int kind) {
  TempMarkValue mark = TempMark();
  if (g_discard) g_discard();
  StrDesc caption = title;
  if (StrCheck(caption) != 0 || caption.len == 0) {
    const char* fallback = "0014";
    if (kind == kMsgOkWarning || kind == kMsgRetryCancelError) fallback = "0012";
    if (kind == kMsgOkError) fallback = "0013";
    caption = MsgGet(fallback);
  }
  if (StrCheck(text) != 0) text = Lit("");
  MsgButton answer = (g_box_handler ? g_box_handler : HeadlessBox)(text, caption, kind);
  g_last_box.text.assign(text.ptr, text.len);
  g_last_box.caption.assign(caption.ptr, caption.len);
  g_last_box.kind = kind;
  g_last_box.answer = answer;
  ++g_last_box.count;
  StrDesc letters = MsgGet("0011");
  char yes = ListItem(letters, ',', 1).len > 0 ? ListItem(letters, ',', 1).ptr[0] : 'S';
  char no = ListItem(letters, ',', 2).len > 0 ? ListItem(letters, ',', 2).ptr[0] : 'N';
  TempRelease(mark);
  switch (answer) {
    case kMsgOk:
    case kMsgRetry:
    case kMsgYes:
      return yes;
    case kMsgNo:
      return no;
    case kMsgCancel:
      return 3;
    default:
      return 0;
  }
}

bool MsgConfirm(StrDesc text) {
  TempMarkValue mark = TempMark();
  char answer = MsgBox(text, Lit(""), kMsgYesNoInfo);
  StrDesc first = ListItem(MsgGet("0011"), ',', 1);
  bool yes = first.len > 0 && answer == first.ptr[0];
  TempRelease(mark);
  return yes;
}

int LangIndex() {
  StrDesc lang = DynGet(0, 4);
  if (lang.len == 0) return 0;
  return ListFind(Lit("EN,ES,FR,DE,IT"), lang, ',');
}

StrDesc LangFileName(StrDesc name, int language_index) {
  if (StrCheck(name) != 0) return name;
  if (language_index < 0) language_index = LangIndex();
  TempMarkValue mark = TempMark();
  StrDesc suffix = ListItem(Lit("_en,_es,_fr,_de,_it"), ',', static_cast<uint16_t>(language_index));
  if (language_index == 0 || suffix.len == 0) return TempKeep(mark, name);
  uint16_t dot = StrFindLastChar(name, '.', 1);
  uint16_t slash = StrFindLastChar(name, '\\', 1);
  StrDesc result;
  if (dot == kNotFound || (slash != kNotFound && dot < slash)) {
    result = StrConcat(name, suffix);
  } else {
    result = StrConcat(StrConcat(StrSub(name, 0, dot), suffix), StrSub(name, dot, 0xFFFF));
  }
  return TempKeep(mark, result);
}
