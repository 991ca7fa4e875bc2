// quillon-data: looks at and loads the application's data files with the
// runtime's own storage code.
//
//   quillon-data [/OPTION=value ...] dump FILE
//   quillon-data [/OPTION=value ...] check FILE
//   quillon-data [/OPTION=value ...] load FILE CSV
//
// The runtime is brought up as the program does it (core, variables, the
// command line with its options, language, identity and folders) and the
// dictionary is found as start-up finds it: in the definitions folder, else
// in the DPATH folder (or ..\APPS). FILE is a data file's name or number in
// the dictionary. dump writes the live records in the order of key 1, one
// line each, the fields trimmed and separated by "|" ("\", "|", CR, LF and
// tab escaped with "\"), Windows-1252 shown as UTF-8. check compares the
// index file with the data file and lists every fault. load adds the rows of
// a CSV file (UTF-8, comma-separated, double quotes; the first row names the
// fields) through the normal add, so the index stays right; a row with a bad
// value, a wrong number of cells or a duplicate key is reported by its line
// number and adds nothing (a duplicate is looked up before the add, and an
// add that still reports one is undone). Every open file is closed at the
// end.
// Exit status: 0 when all went well; 1 when check found faults or load
// refused rows; 2 for a usage error or a failure (the status is printed).
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "core/dyn_strings.h"
#include "core/status.h"
#include "core/str_lib.h"
#include "core/temp_stack.h"
#include "platform/cp1252.h"
#include "platform/process.h"
#include "shell/folders_setup.h"
#include "shell/startup.h"
#include "storage/data_check.h"
#include "storage/data_file.h"
#include "storage/dictionary.h"
#include "storage/index_file.h"

namespace {

constexpr int kExitFaults = 1;
constexpr int kExitFailure = 2;

StrDesc Desc(const std::string& s) {
  return StrMake(s.data(), static_cast<uint16_t>(s.size() > 0xFFFF ? 0xFFFF : s.size()));
}

std::string StatusText(Status code) {
  std::string line = std::to_string(code) + " " + Cp1252ToUtf8(StrView(ErrName(code)));
  StrDesc detail = ErrDetailText();
  if (detail.len != 0) line += ": " + Cp1252ToUtf8(StrView(detail));
  return line;
}

int Fail(const std::string& what, Status code) {
  std::fprintf(stderr, "quillon-data: %s: %s\n", what.c_str(), StatusText(code).c_str());
  return kExitFailure;
}

int Usage() {
  std::fprintf(stderr,
               "usage: quillon-data [/APNAME=code] [/DPATH=folder] dump FILE\n"
               "       quillon-data [/APNAME=code] [/DPATH=folder] check FILE\n"
               "       quillon-data [/APNAME=code] [/DPATH=folder] load FILE CSV\n");
  return kExitFailure;
}

// The dictionary, found as start-up finds it.
Status LoadDictionary() {
  StrDesc code = DynGet(0, 2);
  if (code.len < 2) return kStLoadStr;
  TempMarkValue mark = TempMark();
  StrDesc prefix = StrCopy(StrSub(code, 0, 2));
  Status st = DictLoad(StrCopy(DynGet(0, 5)), prefix);
  if (st != 0) {
    st = ResolveFolders(kFoldersFromOption);
    if (st == 0) {
      ErrDetailClear();
      ErrClear();
      st = DictLoad(StrCopy(DynGet(0, 5)), prefix);
    }
  }
  TempRelease(mark);
  return st;
}

// A dictionary file by name or number; 0 when there is none.
uint16_t FileNumber(const std::string& arg) {
  std::string ref = Utf8ToCp1252Lossy(arg);
  uint16_t f = DictFileRef(Desc(ref));
  return f >= 1 && f <= DictFileCount() ? f : 0;
}

std::string Trimmed(StrDesc field) {
  std::string_view v = StrView(field);
  size_t b = v.find_first_not_of(' ');
  if (b == std::string_view::npos) return "";
  size_t e = v.find_last_not_of(' ');
  std::string out;
  for (char c : v.substr(b, e - b + 1)) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '|':
        out += "\\|";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        out += c;
    }
  }
  return Cp1252ToUtf8(out);
}

int Dump(uint16_t f) {
  Status st = FileOpen(f, kOpenReadOnly);
  if (st > kOutEnd) return Fail("open", st);
  st = SetCurrentKey(f, 1);
  uint16_t outcome = st == 0 ? FileMove(f, kMoveFirst) : st;
  uint16_t fields = DictFile(f)->field_count;
  while (outcome == kOutFound) {
    std::string line;
    for (uint16_t k = 1; k <= fields; ++k) {
      TempMarkValue mark = TempMark();
      if (k > 1) line += '|';
      line += Trimmed(FieldRaw(f, k, 1));
      TempRelease(mark);
    }
    std::cout << line << '\n';
    outcome = FileMove(f, kMoveNext);
  }
  if (outcome >= 128) return Fail("read", outcome);
  return 0;
}

int Check(uint16_t f) {
  CheckSummary summary;
  Status st = DataFileCheck(
      f,
      [](void*, StrDesc message) {
        std::cout << "fault: " << Cp1252ToUtf8(StrView(message)) << '\n';
      },
      nullptr, &summary);
  if (st != 0) return Fail("check", st);
  std::string name = Cp1252ToUtf8(StrView(DictFileName(f)));
  std::cout << name << ": " << summary.records << " records, " << summary.live << " live, "
            << summary.free << " free, " << summary.deleted << " deleted, " << summary.faults
            << (summary.faults == 1 ? " fault" : " faults") << '\n';
  if (summary.partial != 0)
    std::cout << "note: the data file ends with " << summary.partial
              << " bytes of an add that was cut short; the next add writes over them\n";
  if (summary.faults != 0) {
    std::fprintf(stderr, "quillon-data: %s: the index does not match the data file (%u faults)\n",
                 name.c_str(), summary.faults);
    return kExitFaults;
  }
  return 0;
}

// One CSV record: its cells and the line it starts on. Returns false at the
// end of the text; *error is set for an unterminated quote.
bool NextRow(const std::string& text, size_t* at, int* line, std::vector<std::string>* cells,
             int* start_line, bool* error) {
  cells->clear();
  *error = false;
  if (*at >= text.size()) return false;
  *start_line = *line;
  std::string cell;
  bool quoted = false;
  for (;;) {
    if (*at >= text.size()) {
      if (quoted) *error = true;
      cells->push_back(cell);
      return true;
    }
    char c = text[(*at)++];
    if (quoted) {
      if (c == '"') {
        if (*at < text.size() && text[*at] == '"') {
          cell += '"';
          ++*at;
        } else {
          quoted = false;
        }
      } else {
        if (c == '\n') ++*line;
        cell += c;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      cells->push_back(cell);
      cell.clear();
    } else if (c == '\n' || c == '\r') {
      if (c == '\r' && *at < text.size() && text[*at] == '\n') ++*at;
      ++*line;
      cells->push_back(cell);
      return true;
    } else {
      cell += c;
    }
  }
}

int Load(uint16_t f, const std::string& csv_path) {
  std::ifstream in(csv_path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "quillon-data: %s: cannot be read\n", csv_path.c_str());
    return kExitFailure;
  }
  std::stringstream buffer;
  buffer << in.rdbuf();
  std::string text = buffer.str();
  if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);  // a byte-order mark

  size_t at = 0;
  int line = 1, start = 1;
  bool broken = false;
  std::vector<std::string> cells;
  if (!NextRow(text, &at, &line, &cells, &start, &broken) || broken) {
    std::fprintf(stderr, "quillon-data: %s: no header row\n", csv_path.c_str());
    return kExitFailure;
  }
  std::vector<uint16_t> columns;
  for (const std::string& cell : cells) {
    std::string name = Utf8ToCp1252Lossy(cell);
    while (!name.empty() && name.back() == ' ')
      name.pop_back();
    while (!name.empty() && name.front() == ' ')
      name.erase(0, 1);
    uint16_t field = DictFieldFind(f, Desc(name));
    for (uint16_t k = 1; field == 0 && k <= DictFile(f)->field_count; ++k)
      if (Cp1252EqualNoCase(StrView(DictFieldName(f, k)), name)) field = k;
    if (field == 0) {
      std::fprintf(stderr, "quillon-data: %s: line 1: no field %s in %s\n", csv_path.c_str(),
                   cell.c_str(), Cp1252ToUtf8(StrView(DictFileName(f))).c_str());
      return kExitFailure;
    }
    columns.push_back(field);
  }

  Status st = FileOpen(f, kOpenExclusive);
  if (st > kOutEnd) return Fail("open", st);
  int added = 0, duplicates = 0, bad = 0;
  while (NextRow(text, &at, &line, &cells, &start, &broken)) {
    if (!broken && cells.size() == 1 && cells[0].empty()) continue;  // a blank line
    std::string why;
    if (broken) {
      why = "a quote is not closed";
    } else if (cells.size() != columns.size()) {
      why =
          std::to_string(cells.size()) + " cells for " + std::to_string(columns.size()) + " fields";
    }
    TempMarkValue mark = TempMark();
    if (why.empty()) BufferClear(f, 1);
    for (size_t i = 0; why.empty() && i < cells.size(); ++i) {
      std::string value;
      std::string field = Cp1252ToUtf8(StrView(DictFieldName(f, columns[i])));
      if (!Utf8ToCp1252(cells[i], &value)) {
        why = field + ": not Windows-1252 text";
      } else if (value.size() > 0xFFFF) {
        why = field + ": too long";
      } else {
        Status put = FieldPut(f, columns[i], Desc(value));
        if (put != 0)
          why =
              field + ": " + (put == kStDataOutBound ? "the value does not fit" : StatusText(put));
      }
    }
    bool duplicate = false;
    if (why.empty() && !DictFile(f)->line_file) {
      // Looked up first, so that a duplicate leaves no deleted record behind.
      StrDesc key = KeyValue(f, 0, 1);
      IndexResult found = IndexSearch(f, CurrentKey(f), key, kSearchFirst);
      duplicate = found.status == 0 && found.outcome == kOutFound;
      if (duplicate) {
        ++duplicates;
        std::cout << "line " << start << ": duplicate key " << Trimmed(key) << '\n';
      }
    }
    if (why.empty() && !duplicate) {
      uint16_t result = FileAdd(f);
      if (result == 0) {
        ++added;
      } else if (result == kOutDuplicate) {
        // The record went in; a loader keeps keys unique, so it goes again.
        std::string key = Trimmed(KeyValue(f, 0, 1));
        uint16_t removed = FileDelete(f, 0);
        if (removed != 0) {
          TempRelease(mark);
          return Fail("line " + std::to_string(start), removed);
        }
        ++duplicates;
        std::cout << "line " << start << ": duplicate key " << key << '\n';
      } else {
        TempRelease(mark);
        return Fail("line " + std::to_string(start), result);
      }
    }
    TempRelease(mark);
    if (!why.empty()) {
      ++bad;
      std::cout << "line " << start << ": " << why << '\n';
    }
    ErrDetailClear();
    ErrClear();
  }
  std::cout << Cp1252ToUtf8(StrView(DictFileName(f))) << ": " << added
            << (added == 1 ? " row" : " rows") << " added, " << duplicates
            << (duplicates == 1 ? " duplicate key, " : " duplicate keys, ") << bad
            << (bad == 1 ? " bad row" : " bad rows") << '\n';
  return duplicates + bad > 0 ? kExitFaults : 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<const char*> program_args{argc > 0 ? argv[0] : "quillon-data"};
  std::vector<std::string> words;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (!arg.empty() && arg[0] == '/' && arg.find('=') != std::string::npos) {
      program_args.push_back(argv[i]);
    } else {
      words.push_back(arg);
    }
  }
  if (words.empty()) return Usage();
  const std::string& command = words[0];
  bool known = (command == "dump" || command == "check") ? words.size() == 2
               : command == "load"                       ? words.size() == 3
                                                         : false;
  if (!known) return Usage();

  // The command line the runtime sees: the program and its options.
  ProcessSetArgs(static_cast<int>(program_args.size()), program_args.data());
  const std::string command_line = ProcessCommandLine();
  Status st = RuntimeStart(Desc(command_line), Lit("QO0001"), Lit("Quillon Tally"), 0);
  int exit_code = 0;
  if (st != 0) {
    exit_code = Fail("start", st);
  } else if ((st = LoadDictionary()) != 0) {
    exit_code = Fail("dictionary", st);
  } else {
    uint16_t f = FileNumber(words[1]);
    if (f == 0) {
      std::fprintf(stderr, "quillon-data: %s: no such data file in the dictionary\n",
                   words[1].c_str());
      exit_code = kExitFailure;
    } else if (command == "dump") {
      exit_code = Dump(f);
    } else if (command == "check") {
      exit_code = Check(f);
    } else {
      exit_code = Load(f, words[2]);
    }
  }
  st = DataFilesCloseAll();
  if (st != 0 && exit_code == 0) exit_code = Fail("close", st);
  RuntimeStop();
  return exit_code;
}
