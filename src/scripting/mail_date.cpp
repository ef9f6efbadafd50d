#include "scripting/mail_date.h"

#include <array>
#include <cwctype>
#include <string>
#include <vector>

namespace pelkary {

namespace {

// The text without comments, cut into words at white space and commas.
std::vector<std::wstring> Words(std::wstring_view text) {
    std::vector<std::wstring> words;
    std::wstring word;
    int depth = 0;
    for (wchar_t c : text) {
        if (c == L'(') ++depth;
        const bool separator = depth > 0 || c == L',' || std::iswspace(c);
        if (c == L')' && depth > 0) --depth;
        if (!separator) {
            word += static_cast<wchar_t>(std::towlower(c));
        } else if (!word.empty()) {
            words.push_back(std::move(word));
            word.clear();
        }
    }
    if (!word.empty()) words.push_back(std::move(word));
    return words;
}

// The digits of `word` as a number, when it is 1 to `max_digits` digits and nothing else.
std::optional<int> Number(std::wstring_view word, size_t max_digits) {
    if (word.empty() || word.size() > max_digits) return std::nullopt;
    int value = 0;
    for (wchar_t c : word) {
        if (c < L'0' || c > L'9') return std::nullopt;
        value = value * 10 + (c - L'0');
    }
    return value;
}

std::optional<int> Month(std::wstring_view word) {
    static constexpr std::array<std::wstring_view, 12> kMonths = {L"jan", L"feb", L"mar", L"apr", L"may", L"jun",
                                                                  L"jul", L"aug", L"sep", L"oct", L"nov", L"dec"};
    if (word.size() < 3) return std::nullopt;
    for (size_t m = 0; m < kMonths.size(); ++m)
        if (word.substr(0, 3) == kMonths[m]) return static_cast<int>(m) + 1;
    return std::nullopt;
}

// The zone's offset east of UTC, in minutes.
std::optional<int> Zone(std::wstring_view word) {
    if (word.size() == 5 && (word[0] == L'+' || word[0] == L'-')) {
        auto hours = Number(word.substr(1, 2), 2), minutes = Number(word.substr(3, 2), 2);
        if (!hours || !minutes || *minutes > 59) return std::nullopt;
        const int offset = *hours * 60 + *minutes;
        return word[0] == L'-' ? -offset : offset;
    }
    struct Named {
        std::wstring_view name;
        int hours;
    };
    static constexpr std::array<Named, 11> kNames = {{{L"ut", 0}, {L"gmt", 0}, {L"z", 0}, {L"edt", -4},
                                                      {L"est", -5}, {L"cdt", -5}, {L"cst", -6}, {L"mdt", -6},
                                                      {L"mst", -7}, {L"pdt", -7}, {L"pst", -8}}};
    for (const Named& n : kNames)
        if (word == n.name) return n.hours * 60;
    // Other military letters carry no reliable meaning: read as UTC, as the format says.
    if (word.size() == 1 && std::iswalpha(word[0])) return 0;
    return std::nullopt;
}

// Days from 1970-01-01 to the given civil date (proleptic Gregorian).
long long DaysFromCivil(long long y, int m, int d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const long long yoe = y - era * 400;
    const long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

}  // namespace

std::optional<long long> ParseMailDate(std::wstring_view text) {
    const std::vector<std::wstring> words = Words(text);
    size_t i = 0;
    if (i < words.size() && std::iswalpha(words[i][0]) && !Month(words[i])) ++i;  // the weekday
    if (words.size() < i + 4) return std::nullopt;
    const auto day = Number(words[i], 2);
    const auto month = Month(words[i + 1]);
    auto year = Number(words[i + 2], 4);
    if (!day || !month || !year) return std::nullopt;
    if (words[i + 2].size() == 2) *year += *year < 50 ? 2000 : 1900;
    else if (words[i + 2].size() == 3) *year += 1900;

    const std::wstring& time = words[i + 3];
    const size_t first = time.find(L':'), second = time.find(L':', first + 1);
    if (first == std::wstring::npos) return std::nullopt;
    const auto hour = Number(std::wstring_view(time).substr(0, first), 2);
    const auto minute = Number(std::wstring_view(time).substr(first + 1, second - first - 1), 2);
    std::optional<int> seconds = 0;
    if (second != std::wstring::npos) seconds = Number(std::wstring_view(time).substr(second + 1), 2);
    if (!hour || !minute || !seconds || *hour > 23 || *minute > 59 || *seconds > 60) return std::nullopt;

    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const int days_in_month = kDays[*month - 1] + (*month == 2 && IsLeap(*year) ? 1 : 0);
    if (*day < 1 || *day > days_in_month) return std::nullopt;

    std::optional<int> zone = 0;
    if (words.size() > i + 4) zone = Zone(words[i + 4]);
    if (!zone || words.size() > i + 5) return std::nullopt;
    return DaysFromCivil(*year, *month, *day) * 86400 + *hour * 3600 + *minute * 60 + *seconds - *zone * 60LL;
}

}  // namespace pelkary
