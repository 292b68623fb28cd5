#include "routines/mktime.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <limits>
#include <string_view>

#include "core/status.h"
#include "host/trace.h"

namespace vexfilt {
namespace {

struct Fields {
  long long years, month, day, hours, minutes, seconds, milliseconds;  // month 1-based
};

void PrintFields(TraceBlock& block, const char* title, const Fields& f) {
  TracePrintf(block, __LINE__, "%s", title);
  TracePrintf(block, __LINE__, "  Years since 1900 ... %lld", f.years);
  TracePrintf(block, __LINE__, "  Months ............. %lld", f.month);
  TracePrintf(block, __LINE__, "  Days ............... %lld", f.day);
  TracePrintf(block, __LINE__, "  Hours .............. %lld", f.hours);
  TracePrintf(block, __LINE__, "  Minutes ............ %lld", f.minutes);
  TracePrintf(block, __LINE__, "  Seconds ............ %lld", f.seconds);
  TracePrintf(block, __LINE__, "  Milliseconds ....... %lld", f.milliseconds);
}

// Floor division and remainder, so that milliseconds always end in 0..999 whatever the signs.
long long FloorDiv(long long a, long long b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

bool FitsInt(long long v) { return v >= std::numeric_limits<int>::min() && v <= std::numeric_limits<int>::max(); }

// The amount at the start of the increment, read as atoi reads it (blanks, a sign, then digits up to the
// first other character) but over the whole text, however long, since the text is not terminated. An
// amount too large for any calendar stops growing, and its result is refused as not a timestamp.
long long IncrementAmount(const std::uint8_t* text, std::int32_t length) {
  constexpr long long kBeyondAnyCalendar = 1'000'000'000'000'000;  // even in milliseconds
  std::int32_t i = 0;
  while (i < length && std::isspace(text[i])) ++i;
  const bool negative = i < length && text[i] == '-';
  if (i < length && (text[i] == '-' || text[i] == '+')) ++i;
  long long amount = 0;
  for (; i < length && text[i] >= '0' && text[i] <= '9'; ++i) {
    amount = std::min(amount * 10 + (text[i] - '0'), kBeyondAnyCalendar);
  }
  return negative ? -amount : amount;
}

}  // namespace

std::int32_t ShiftTimestamp(const std::uint8_t* timestamp, std::int32_t length, const std::uint8_t* increment,
                           std::int32_t incrementLength, const std::uint8_t* sign, std::uint8_t* output,
                           std::int32_t* outputLength) {
  static TraceBlock block{"VXO2_MakeTime", kRoutineUnit, __LINE__};
  TraceScope trace(block, __LINE__);
  if (length != kTimestampLength) {
    TracePrintf(block, __LINE__, "MKTIME timestamp arg has invalid length %d", length);
    return trace.Exit(status::kLengthOutOfRange, __LINE__);
  }
  char text[kTimestampLength + 1];
  std::memcpy(text, timestamp, kTimestampLength);
  text[kTimestampLength] = '\0';
  for (char c : std::string_view(text, kTimestampLength)) {
    if (c < '0' || c > '9') {
      TracePrintf(block, __LINE__, "Non-numeric MKTIME timestamp arg: \"%*.*s\" ", length, length, text);
      return trace.Exit(status::kBadNumber, __LINE__);
    }
  }
  const long long direction = sign[0] == '+' ? 1 : -1;
  int y, mo, d, h, mi, s, ms;
  std::sscanf(text, "%3d%2d%2d%2d%2d%2d%3d", &y, &mo, &d, &h, &mi, &s, &ms);
  Fields f{y, mo, d, h, mi, s, ms};
  if (trace.Has(trace_bit::k01)) PrintFields(block, "Column value timestamp fields:", f);

  const long long delta = IncrementAmount(increment, incrementLength) * direction;
  const char unit = incrementLength > 0 ? static_cast<char>(increment[incrementLength - 1]) : '\0';
  switch (unit) {
    case 'D': f.day += delta; break;
    case 'H': f.hours += delta; break;
    case 'M': f.minutes += delta; break;
    case 'S': f.seconds += delta; break;
    case 'T': {
      // The signed amount moves the time whatever the sign text says: -1500T added is -1.5 s.
      const long long total = f.milliseconds + delta;
      f.seconds += FloorDiv(total, 1000);
      f.milliseconds = total - FloorDiv(total, 1000) * 1000;
      break;
    }
    default:
      TracePrintf(block, __LINE__, "Invalid MKTIME increment unit '%c'", unit);
      return trace.Exit(status::kBadTimeUnit, __LINE__);
  }
  if (trace.Has(trace_bit::k01)) PrintFields(block, "Incremented timestamp fields:", f);

  std::tm calendar{};
  const bool representable = FitsInt(f.day) && FitsInt(f.hours) && FitsInt(f.minutes) && FitsInt(f.seconds);
  calendar.tm_year = static_cast<int>(f.years);
  calendar.tm_mon = static_cast<int>(f.month - 1);
  calendar.tm_mday = static_cast<int>(representable ? f.day : 0);
  calendar.tm_hour = static_cast<int>(representable ? f.hours : 0);
  calendar.tm_min = static_cast<int>(representable ? f.minutes : 0);
  calendar.tm_sec = static_cast<int>(representable ? f.seconds : 0);
  calendar.tm_isdst = -1;
  const std::time_t time = representable ? std::mktime(&calendar) : static_cast<std::time_t>(-1);
  std::tm normalised{};
  const char* failure = nullptr;
  if (time == static_cast<std::time_t>(-1)) {
    failure = "MKTIME result is not a valid timestamp (mktime returned -1)";
  } else if (localtime_r(&time, &normalised) == nullptr || normalised.tm_year < 0 || normalised.tm_year > 999) {
    failure = "MKTIME result is not a valid timestamp (localtime returned NULL)";
  }
  if (failure != nullptr) {
    TracePrintf(block, __LINE__, "%s", failure);
    PrintFields(block, "Rejected timestamp fields:", f);
    return trace.Exit(status::kBadNumber, __LINE__);
  }
  char result[80];  // the fields are proved in range; the room only quiets the format check
  std::snprintf(result, sizeof result, "%03d%02d%02d%02d%02d%02d%03d", normalised.tm_year, normalised.tm_mon + 1,
                normalised.tm_mday, normalised.tm_hour, normalised.tm_min, normalised.tm_sec,
                static_cast<int>(f.milliseconds));
  if (trace.Has(trace_bit::k01)) TracePrintf(block, __LINE__, "MKTIME output timestamp: \"%s\" ", result);
  std::memcpy(output, result, kTimestampLength);
  *outputLength = kTimestampLength;
  return trace.Exit(status::kOk, __LINE__);
}

std::int32_t MakeTimeRoutine(FilterElement& element, const std::uint8_t* record) {
  FilterElement& target = (&element)[element.resultTarget];
  auto* buffer = static_cast<std::uint8_t*>(element.resultOperand == 0 ? target.leftData : target.rightData);
  std::uint8_t result[kTimestampLength];
  std::int32_t length = 0;
  const std::int32_t st = ShiftTimestamp(record + element.columnOffset, element.columnLength,
                                        static_cast<const std::uint8_t*>(element.rightData), element.rightLiteralLength,
                                        static_cast<const std::uint8_t*>(element.leftData), result, &length);
  if (st != status::kOk) return 1;
  std::memcpy(buffer, result, kTimestampLength);  // a failing MKTIME leaves the target as it was
  return 0;
}

}  // namespace vexfilt
