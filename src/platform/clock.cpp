#include "platform/clock.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

namespace {

struct ClockState {
  bool fake_now = false;
  ClockDateTime now;
  bool fake_mono = false;
  uint64_t mono_ms = 0;
  std::string reported_env;  // last malformed QUILLON_FAKE_NOW already reported
};

ClockState& State() {
  static ClockState state;
  return state;
}

int DaysInMonth(int month, int year) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month == 2 && ((year % 4 == 0 && year % 100 != 0) || year % 400 == 0)) return 29;
  return kDays[month - 1];
}

// Seconds since the epoch of a local broken-down time; also fills weekday.
int64_t ToUnix(ClockDateTime* dt) {
  std::tm tm{};
  tm.tm_year = dt->year - 1900;
  tm.tm_mon = dt->month - 1;
  tm.tm_mday = dt->day;
  tm.tm_hour = dt->hour;
  tm.tm_min = dt->minute;
  tm.tm_sec = dt->second;
  tm.tm_isdst = -1;
  const time_t t = std::mktime(&tm);
  dt->weekday = tm.tm_wday;
  return static_cast<int64_t>(t);
}

// The frozen "now", from the test override or the environment; false when
// "now" is the real clock.
bool FakeNow(ClockDateTime* out) {
  ClockState& st = State();
  if (st.fake_now) {
    *out = st.now;
    return true;
  }
  const char* env = std::getenv("QUILLON_FAKE_NOW");
  if (env == nullptr || *env == '\0') return false;
  if (ClockParseStamp(env, out)) return true;
  if (st.reported_env != env) {
    st.reported_env = env;
    std::fprintf(stderr,
                 "quillon: QUILLON_FAKE_NOW=%s is not YYYYMMDD[hhmm[ss]]; using the clock\n", env);
  }
  return false;
}

}  // namespace

bool ClockParseStamp(std::string_view stamp, ClockDateTime* out) {
  if (stamp.size() != 8 && stamp.size() != 12 && stamp.size() != 14) return false;
  for (char c : stamp) {
    if (c < '0' || c > '9') return false;
  }
  auto num = [&](size_t pos, size_t len) {
    int v = 0;
    for (size_t i = pos; i < pos + len && i < stamp.size(); ++i)
      v = v * 10 + (stamp[i] - '0');
    return v;
  };
  ClockDateTime dt;
  dt.year = num(0, 4);
  dt.month = num(4, 2);
  dt.day = num(6, 2);
  dt.hour = stamp.size() >= 12 ? num(8, 2) : 0;
  dt.minute = stamp.size() >= 12 ? num(10, 2) : 0;
  dt.second = stamp.size() == 14 ? num(12, 2) : 0;
  if (dt.year < 1970 || dt.month < 1 || dt.month > 12 || dt.day < 1 ||
      dt.day > DaysInMonth(dt.month, dt.year) || dt.hour > 23 || dt.minute > 59 || dt.second > 59) {
    return false;
  }
  ToUnix(&dt);
  *out = dt;
  return true;
}

ClockDateTime ClockLocalFromUnix(int64_t seconds) {
  if (seconds < 0) seconds = 0;
  const time_t t = static_cast<time_t>(seconds);
  std::tm tm{};
  localtime_r(&t, &tm);
  ClockDateTime dt;
  dt.year = tm.tm_year + 1900;
  dt.month = tm.tm_mon + 1;
  dt.day = tm.tm_mday;
  dt.hour = tm.tm_hour;
  dt.minute = tm.tm_min;
  dt.second = tm.tm_sec;
  dt.weekday = tm.tm_wday;
  return dt;
}

ClockDateTime ClockNow() {
  ClockDateTime fake;
  if (FakeNow(&fake)) return fake;
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  if (ts.tv_sec < 0) ts = timespec{};
  ClockDateTime dt = ClockLocalFromUnix(ts.tv_sec);
  dt.millisecond = static_cast<int>(ts.tv_nsec / 1000000);
  return dt;
}

int64_t ClockUnixNow() {
  ClockDateTime fake;
  if (FakeNow(&fake)) return ToUnix(&fake);
  const time_t t = std::time(nullptr);
  return t < 0 ? 0 : static_cast<int64_t>(t);
}

uint64_t ClockMonotonicMs() {
  ClockState& st = State();
  if (st.fake_mono) return st.mono_ms;
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
}

void ClockSleepMs(uint32_t ms) {
  ClockState& st = State();
  if (st.fake_mono) {
    st.mono_ms += ms;
    return;
  }
  timespec req{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  while (nanosleep(&req, &req) != 0 && errno == EINTR) {
  }
}

bool ClockSetFakeNow(std::string_view stamp) {
  ClockDateTime dt;
  if (!ClockParseStamp(stamp, &dt)) return false;
  State().fake_now = true;
  State().now = dt;
  return true;
}

void ClockSetFakeMonotonic(uint64_t start_ms) {
  State().fake_mono = true;
  State().mono_ms = start_ms;
}

void ClockAdvanceFake(uint64_t ms) {
  if (State().fake_mono) State().mono_ms += ms;
}

void ClockReset() {
  ClockState& st = State();
  st.fake_now = false;
  st.fake_mono = false;
  st.mono_ms = 0;
}
