#include "language/calendar.h"

#include <cstdio>
#include <string_view>

#include "core/str_lib.h"
#include "core/temp_stack.h"
#include "core/token_list.h"
#include "platform/clock.h"
#include "platform/fs.h"

namespace {

// Year, month and day while a computation runs. Wider than the stored 16-bit
// fields so that large amounts cannot wrap around mid-way.
struct Unpacked {
  int64_t year = 0;
  int64_t month = 0;
  int64_t day = 0;
};

// Every run of 48 consecutive months holds exactly one leap February, so it
// is 4 * 365 + 1 days long wherever it starts.
constexpr int64_t kDaysPer4Years = 4 * 365 + 1;

int64_t MonthLength64(int64_t month, int64_t year) {
  if (month == 4 || month == 6 || month == 9 || month == 11) return 30;
  if (month == 2) return year % 4 == 0 ? 29 : 28;
  return 31;
}

// Field of a date text by position, read with StrToInt.
int64_t Field(StrDesc s, int32_t from, int32_t to) {
  if (from < 0) from = 0;
  if (to <= from) return 0;
  return StrToInt(StrSub(s, from, static_cast<uint16_t>(to - from)));
}

Unpacked UnpackText(StrDesc date) {
  Unpacked u;
  if (StrCheck(date) != 0) return u;
  const int32_t n = date.len;
  u.day = Field(date, n - 2, n);
  u.month = Field(date, n - 4, n - 2);
  u.year = Field(date, 0, n < 4 ? n : 4);
  return u;
}

Unpacked UnpackNumber(int64_t n) {
  Unpacked u;
  u.year = n / 10000;
  u.month = (n % 10000) / 100;
  u.day = n % 100;
  return u;
}

// Brings month and day into range, stepping as a calendar would: month
// overflow carries into the year, day overflow into the month. Whole 48-month
// runs are skipped in one step, which gives the same result as stepping
// month by month.
void Normalise(Unpacked* u) {
  if (u->month < 1 || u->month > 12) {
    int64_t m = u->month - 1;
    int64_t carry = m / 12;
    m %= 12;
    if (m < 0) {
      m += 12;
      carry -= 1;
    }
    u->month = m + 1;
    u->year += carry;
  }
  if (u->day > kDaysPer4Years) {
    const int64_t runs = (u->day - 1) / kDaysPer4Years;
    u->day -= runs * kDaysPer4Years;
    u->year += 4 * runs;
  } else if (u->day <= -kDaysPer4Years) {
    const int64_t runs = -u->day / kDaysPer4Years;
    u->day += runs * kDaysPer4Years;
    u->year -= 4 * runs;
  }
  while (u->day < 1 || u->day > MonthLength64(u->month, u->year)) {
    if (u->day > 0) {
      u->day -= MonthLength64(u->month, u->year);
      if (++u->month == 13) {
        u->month = 1;
        u->year += 1;
      }
    } else {
      if (--u->month == 0) {
        u->month = 12;
        u->year -= 1;
      }
      u->day += MonthLength64(u->month, u->year);
    }
  }
}

int32_t Pack(const Unpacked& u) {
  const int64_t n = u.year * 10000 + u.month * 100 + u.day;
  return static_cast<int32_t>(n);  // dates past year 214,748 wrap (no meaning)
}

// Days from a difference of dates: whole years count 365, the months between
// the two month numbers are measured in year1.
int64_t DayDifference(const Unpacked& a, const Unpacked& b) {
  int64_t s = 0;
  for (int64_t m = b.month; m < a.month; ++m)
    s += MonthLength64(m, a.year);
  for (int64_t m = a.month; m < b.month; ++m)
    s -= MonthLength64(m, a.year);
  return 365 * (a.year - b.year) + (a.day - b.day) + s;
}

int32_t TimeFromClock(const ClockDateTime& dt) {
  return dt.hour * 3600000 + dt.minute * 60000 + dt.second * 1000;
}

}  // namespace

int MonthLength(int month, int year) {
  return static_cast<int>(MonthLength64(month, year));
}

bool DateIsValid(int32_t n) {
  const Unpacked u = UnpackNumber(n);
  return u.year >= 0 && u.year <= 9999 && u.month >= 1 && u.month <= 12 && u.day >= 1 &&
         u.day <= MonthLength64(u.month, u.year);
}

int32_t DateToday() {
  const ClockDateTime now = ClockNow();
  return now.year * 10000 + now.month * 100 + now.day;
}

int32_t TimeOfDay() {
  return TimeFromClock(ClockNow());
}

StrDesc DateText(int32_t n) {
  if (!DateIsValid(n)) return StrCopy(Lit(""));
  const Unpacked u = UnpackNumber(n);
  return StrFormat(8, "%04d%02d%02d", static_cast<int>(u.year), static_cast<int>(u.month),
                   static_cast<int>(u.day));
}

int32_t DatePart(StrDesc date, int selector) {
  const Unpacked u = UnpackText(date);
  if (selector == kDateWhole) return static_cast<int32_t>(u.day + u.month * 100 + u.year * 10000);
  if (selector & kDateYear) return static_cast<int32_t>(u.year);
  if (selector & kDateMonth) return static_cast<int32_t>(u.month);
  if (selector & kDateDay) return static_cast<int32_t>(u.day);
  return 0;
}

int32_t DateArith(StrDesc date, int32_t amount, int unit) {
  Unpacked u = UnpackText(date);
  if (amount >= 10001) {
    const Unpacked other = UnpackNumber(amount);
    switch (unit) {
      case kDateDay:
        return static_cast<int32_t>(DayDifference(u, other));
      case kDateMonth:
        return static_cast<int32_t>(12 * (u.year - other.year) + (u.month - other.month));
      case kDateYear:
        return static_cast<int32_t>(u.year - other.year);
      default:
        return 0;
    }
  }
  switch (unit) {
    case kDateDay:
      u.day += amount;
      break;
    case kDateMonth: {
      u.month += amount;
      // The month number as it now stands decides the clamp (13 and above
      // count 31 days), before the month is brought into range.
      const int64_t length = MonthLength64(u.month, u.year);
      if (length < u.day) u.day = length;
      break;
    }
    case kDateYear:
      u.year += amount;
      break;
    default:
      break;
  }
  Normalise(&u);
  return Pack(u);
}

int32_t TimeParse(StrDesc text) {
  if (StrCheck(text) != 0) return 0;
  int64_t fraction = 0;
  const uint16_t dot = StrFindChar(text, '.', 1);
  if (dot != kNotFound && dot + 1 < text.len) {
    const uint16_t digits = static_cast<uint16_t>(text.len - dot - 1 < 3 ? text.len - dot - 1 : 3);
    fraction = StrToInt(StrSub(text, dot + 1, digits));
    for (uint16_t i = digits; i < 3; ++i)
      fraction *= 10;
    text = StrSub(text, 0, dot);
  }
  if (text.len == 0) return TimeOfDay();
  int64_t items[3] = {0, 0, 0};
  const uint16_t count = ListCount(text, ':');
  if (count <= 3) {
    for (uint16_t i = 0; i < count; ++i) {
      items[3 - count + i] = StrToInt(ListItem(text, ':', static_cast<uint16_t>(i + 1)));
    }
  }
  const int64_t t = items[0] * 3600000 + items[1] * 60000 + items[2] * 1000 + fraction;
  return static_cast<int32_t>(t);
}

StrDesc TimeFormat(int32_t t, int flags) {
  int64_t v = t;
  if (v < 0) v = kMsPerDay - 1 - ((-v - 1) % kMsPerDay);
  const int hours = static_cast<int>((v / 3600000) % 100);
  const int minutes = static_cast<int>((v / 60000) % 60);
  const int seconds = static_cast<int>((v / 1000) % 60);
  const int millis = static_cast<int>(v % 1000);
  const bool colons = (flags & 1) != 0;
  char area[16];
  if (colons) {
    std::snprintf(area, sizeof area, "%02d:%02d:%02d.%03d", hours, minutes, seconds, millis);
  } else {
    std::snprintf(area, sizeof area, "%02d%02d%02d.%03d", hours, minutes, seconds, millis);
  }
  const int s = colons ? 1 : 0;
  int length = 4 + s;
  if (flags & 2) length = 6 + 2 * s;
  if (flags & 4) length += 4;
  return StrCopy(StrMake(area, static_cast<uint16_t>(length)));
}

int32_t TimeElapsed(int32_t start, int32_t end) {
  int64_t d = static_cast<int64_t>(end) - start;
  if (d < 0) d += kMsPerDay;
  return static_cast<int32_t>(d);
}

namespace {

// The local broken-down time of a file's last write.
Status FileWriteTime(StrDesc path, ClockDateTime* out) {
  if (StrCheck(path) != 0) return StrCheck(path);
  FsEntry entry;
  if (FsStat(std::string_view(path.ptr, path.len), &entry) != FsResult::kOk) return 164;
  *out = ClockLocalFromUnix(entry.write_time);
  return 0;
}

}  // namespace

Status FileModDate(StrDesc path, int32_t* date) {
  *date = 0;
  ClockDateTime dt;
  const Status st = FileWriteTime(path, &dt);
  if (st != 0) return st;
  *date = dt.year * 10000 + dt.month * 100 + dt.day;
  return 0;
}

Status FileModTime(StrDesc path, int32_t* time) {
  *time = 0;
  ClockDateTime dt;
  const Status st = FileWriteTime(path, &dt);
  if (st != 0) return st;
  *time = TimeFromClock(dt);
  return 0;
}
