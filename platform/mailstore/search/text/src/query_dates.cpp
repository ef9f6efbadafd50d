#include "query_dates.h"

#include <algorithm>

#include "query_failure.h"

namespace mailsearch {
namespace {

constexpr int64_t kTicksPerMinute = 600000000;
constexpr int64_t kTicksPerDay = kTicksPerMinute * 60 * 24;

// Days from 1601-01-01 (the FILETIME epoch) to the given day of the proleptic Gregorian calendar.
int64_t DaysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 584694;  // 584694: 0000-03-01 .. 1601-01-01
}

void CivilFromDays(int64_t days, int64_t* y, int* m, int* d) {
  const int64_t z = days + 584694;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  *d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  *m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  *y = yoe + era * 400 + (*m <= 2);
}

int DaysInMonth(int64_t y, int m) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return m == 2 && leap ? 29 : kDays[m - 1];
}

// A span of local time, in ticks; a relative end ("7d") is the point |start| == |end|.
struct Span {
  int64_t start, end;
  bool point;
};

bool ReadNumber(std::string_view s, int64_t* n) {
  if (s.empty() || s.size() > 9) return false;
  *n = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    *n = *n * 10 + (c - '0');
  }
  return true;
}

bool ReadCalendar(std::string_view s, Span* span) {
  int64_t y, m = 0, d = 0;
  if (s.size() < 4 || !ReadNumber(s.substr(0, 4), &y) || y < 1601) return false;
  if (s.size() > 4 && (s.size() < 7 || s[4] != '-' || !ReadNumber(s.substr(5, 2), &m) || m < 1 || m > 12))
    return false;
  if (s.size() > 7 && (s.size() != 10 || s[7] != '-' || !ReadNumber(s.substr(8, 2), &d) || d < 1 ||
                       d > DaysInMonth(y, static_cast<int>(m))))
    return false;
  if (s.size() != 4 && s.size() != 7 && s.size() != 10) return false;
  const int64_t first = DaysFromCivil(y, m ? static_cast<int>(m) : 1, d ? static_cast<int>(d) : 1);
  int64_t last;
  if (d) last = first + 1;
  else if (m) last = first + DaysInMonth(y, static_cast<int>(m));
  else last = DaysFromCivil(y + 1, 1, 1);
  *span = {first * kTicksPerDay, last * kTicksPerDay, false};
  return true;
}

// |local_now| less |months| calendar months, the day kept (or the month's last day).
int64_t MonthsBefore(int64_t local_now, int64_t months) {
  const int64_t days = local_now / kTicksPerDay;
  int64_t y;
  int m, d;
  CivilFromDays(days, &y, &m, &d);
  int64_t index = y * 12 + (m - 1) - months;
  if (index < 1601 * 12) return 0;
  y = index / 12;
  m = static_cast<int>(index % 12) + 1;
  d = std::min(d, DaysInMonth(y, m));
  return DaysFromCivil(y, m, d) * kTicksPerDay + local_now % kTicksPerDay;
}

bool ReadEnd(std::string_view s, int64_t local_now, Span* span) {
  const int64_t today = local_now / kTicksPerDay * kTicksPerDay;
  if (s == "today") {
    *span = {today, today + kTicksPerDay, false};
    return true;
  }
  if (s == "yesterday") {
    *span = {today - kTicksPerDay, today, false};
    return true;
  }
  int64_t n;
  if (s.size() >= 2 && ReadNumber(s.substr(0, s.size() - 1), &n)) {
    int64_t at;
    const int64_t days = std::min<int64_t>(n, 1000000);  // past 1601 anyway; keeps the products in range
    switch (s.back()) {
      case 'd': at = local_now - days * kTicksPerDay; break;
      case 'w': at = local_now - days * 7 * kTicksPerDay; break;
      case 'm': at = MonthsBefore(local_now, n); break;
      case 'y': at = MonthsBefore(local_now, n * 12); break;
      default: return ReadCalendar(s, span);
    }
    at = std::max<int64_t>(at, 0);
    *span = {at, at, true};
    return true;
  }
  return ReadCalendar(s, span);
}

uint64_t ToUtc(int64_t local, int64_t offset_ticks) {
  return static_cast<uint64_t>(std::max<int64_t>(local - offset_ticks, 0));
}

}  // namespace

void ParseDateSpan(std::string_view value, size_t offset, const QueryContext& context,
                   uint64_t* from, uint64_t* to) {
  // Tick counts stay far below 2^63 for any year a date can name, so signed arithmetic is safe.
  const int64_t offset_ticks = int64_t{context.utc_offset_minutes} * kTicksPerMinute;
  const int64_t local_now =
      std::max<int64_t>(static_cast<int64_t>(std::min<uint64_t>(context.now, uint64_t{1} << 62)) + offset_ticks, 0);
  const size_t dots = value.find("..");
  Span span;
  if (dots == std::string_view::npos) {
    if (!ReadEnd(value, local_now, &span)) throw QueryFailure{"bad date " + Quoted(value), offset};
    *from = ToUtc(span.start, offset_ticks);
    *to = span.point ? UINT64_MAX : ToUtc(span.end, offset_ticks);
    return;
  }
  const std::string_view first = value.substr(0, dots), last = value.substr(dots + 2);
  *from = 0;
  *to = UINT64_MAX;
  if (!first.empty()) {
    if (!ReadEnd(first, local_now, &span)) throw QueryFailure{"bad date " + Quoted(first), offset};
    *from = ToUtc(span.start, offset_ticks);
  }
  if (!last.empty()) {
    if (!ReadEnd(last, local_now, &span)) throw QueryFailure{"bad date " + Quoted(last), offset + dots + 2};
    *to = ToUtc(span.end, offset_ticks);
  }
}

}  // namespace mailsearch
