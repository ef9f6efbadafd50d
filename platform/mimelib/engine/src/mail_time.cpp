#include "mimeengine/mail_time.h"

#include <cctype>
#include <limits>
#include <string>

#include "ascii.h"

namespace mimeengine {
namespace {

int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

bool ReadNumber(std::string_view s, size_t& i, int max_digits, int* value, int* digits) {
  int v = 0, n = 0;
  while (i < s.size() && n < max_digits && s[i] >= '0' && s[i] <= '9') {
    v = v * 10 + (s[i] - '0');
    ++i;
    ++n;
  }
  *value = v;
  if (digits) *digits = n;
  return n > 0;
}

void SkipBlanks(std::string_view s, size_t& i) {
  while (i < s.size() && (ascii::IsSpace(s[i]) || s[i] == ',')) ++i;
}

std::string_view ReadWord(std::string_view s, size_t& i) {
  const size_t b = i;
  while (i < s.size() && std::isalpha(static_cast<unsigned char>(s[i]))) ++i;
  return s.substr(b, i - b);
}

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

}  // namespace

bool parse_date(std::string_view text, int64_t* seconds) {
  static const char* kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                  "jul", "aug", "sep", "oct", "nov", "dec"};
  // Drop comments such as "(CEST)".
  std::string s;
  int depth = 0;
  for (char c : text.substr(0, 256)) {
    if (c == '(') ++depth;
    else if (c == ')' && depth > 0) --depth;
    else if (depth == 0) s.push_back(c);
  }
  size_t i = 0;
  SkipBlanks(s, i);
  // Optional weekday.
  if (i < s.size() && std::isalpha(static_cast<unsigned char>(s[i]))) {
    ReadWord(s, i);
    SkipBlanks(s, i);
  }
  int day = 0, month = -1, year = 0, digits = 0;
  if (!ReadNumber(s, i, 2, &day, nullptr)) return false;
  SkipBlanks(s, i);
  const std::string month_word = ascii::Lower(ReadWord(s, i));
  for (int m = 0; m < 12; ++m) {
    if (month_word.size() >= 3 && month_word.compare(0, 3, kMonths[m]) == 0) month = m;
  }
  if (month < 0) return false;
  SkipBlanks(s, i);
  if (!ReadNumber(s, i, 4, &year, &digits)) return false;
  if (digits <= 2) year += year < 50 ? 2000 : 1900;
  else if (digits == 3) year += 1900;
  SkipBlanks(s, i);
  int hour = 0, minute = 0, second = 0;
  if (ReadNumber(s, i, 2, &hour, nullptr)) {
    if (i < s.size() && s[i] == ':') {
      ++i;
      ReadNumber(s, i, 2, &minute, nullptr);
      if (i < s.size() && s[i] == ':') {
        ++i;
        ReadNumber(s, i, 2, &second, nullptr);
      }
    }
  }
  SkipBlanks(s, i);
  int offset_minutes = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
    const int sign = s[i] == '-' ? -1 : 1;
    ++i;
    int hhmm = 0;
    if (ReadNumber(s, i, 4, &hhmm, &digits)) {
      if (digits <= 2) {
        hhmm *= 100;
        int minutes = 0;  // "+02:00", as some mailers write it
        if (i + 1 < s.size() && s[i] == ':' && (++i, ReadNumber(s, i, 2, &minutes, nullptr))) hhmm += minutes;
      }
      offset_minutes = sign * ((hhmm / 100) * 60 + hhmm % 100);
    }
  } else {
    const std::string zone = ascii::Lower(ReadWord(s, i));
    struct Zone {
      const char* name;
      int hours;
    };
    static const Zone kZones[] = {{"ut", 0},   {"gmt", 0},  {"utc", 0},  {"z", 0},
                                  {"est", -5}, {"edt", -4}, {"cst", -6}, {"cdt", -5},
                                  {"mst", -7}, {"mdt", -6}, {"pst", -8}, {"pdt", -7}};
    for (const auto& z : kZones) {
      if (zone == z.name) offset_minutes = z.hours * 60;
    }
  }
  SkipBlanks(s, i);
  if (i < s.size()) return false;  // text after the zone: not a date this reader understands
  static const int kDaysInMonth[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const int last_day = kDaysInMonth[month] + (month == 1 && IsLeapYear(year) ? 1 : 0);
  if (day < 1 || day > last_day || hour > 23 || minute > 59 || second > 60) return false;
  const int64_t days = DaysFromCivil(year, static_cast<unsigned>(month + 1), static_cast<unsigned>(day));
  *seconds = days * 86400 + hour * 3600 + minute * 60 + second - offset_minutes * 60;
  return true;
}

bool filetime_ticks_from_unix(int64_t seconds, uint64_t* ticks) {
  if (seconds < -kFiletimeEpochOffsetSeconds) return false;
  const uint64_t since_1601 = static_cast<uint64_t>(seconds + kFiletimeEpochOffsetSeconds);
  if (since_1601 > std::numeric_limits<uint64_t>::max() / kFiletimeTicksPerSecond) return false;
  *ticks = since_1601 * kFiletimeTicksPerSecond;
  return true;
}

int64_t unix_from_filetime_ticks(uint64_t ticks) {
  return static_cast<int64_t>(ticks / kFiletimeTicksPerSecond) - kFiletimeEpochOffsetSeconds;
}

}  // namespace mimeengine
