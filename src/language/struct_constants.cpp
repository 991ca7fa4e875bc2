#include "language/struct_constants.h"

#include <string_view>

const char kStructConstantNames[] =
    "envron,lang,cmdline,apname,apdesc,langmodule,docpath,docroot,helppath,funclist,butlabels,"
    "maskparms,datem,datey,envvar,maincond,pdfhead,dialog,aux,scrbuf,fsel,wret,fnparm,usrfil,"
    "fileln,usrfif,top,next,previous,bottom";

namespace {

struct Constant {
  std::string_view name;
  int32_t value;
};

constexpr Constant kConstants[] = {
    {"envron", 0},     {"lang", 0},       {"cmdline", 1}, {"apname", 2},    {"apdesc", 3},
    {"langmodule", 4}, {"docpath", 5},    {"docroot", 5}, {"helppath", 7},  {"funclist", 8},
    {"butlabels", 9},  {"maskparms", 10}, {"datem", 100}, {"datey", 10000}, {"envvar", 9},
    {"maincond", 1},   {"pdfhead", 3},    {"dialog", 7},  {"aux", 31},      {"scrbuf", 32},
    {"fsel", 33},      {"wret", 34},      {"fnparm", 35}, {"usrfil", 36},   {"fileln", 37},
    {"usrfif", 38},    {"top", 36},       {"next", 16},   {"previous", 20}, {"bottom", 32},
};

}  // namespace

bool StructConstant(StrDesc name, int32_t* value) {
  const std::string_view n = StrView(name);
  for (const Constant& c : kConstants) {
    if (c.name == n) {
      *value = c.value;
      return true;
    }
  }
  return false;
}
