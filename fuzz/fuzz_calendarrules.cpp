// The schedule's entry rules on whatever texts a service might return: a template's date,
// repeat mode and weekday list, a level and a flag. Either an occurrence list or a conversion
// error, never a crash; occurrences fall inside the period.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "calendarrules.h"
#include "vlt/errors.h"

namespace {

std::string take(const std::uint8_t*& data, std::size_t& size) {
  std::size_t n = 0;
  while (n < size && data[n] != '\n')
    ++n;
  std::string out(reinterpret_cast<const char*>(data), n);
  const std::size_t used = n < size ? n + 1 : n;
  data += used;
  size -= used;
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vlt;
  std::vector<TCalendarRow> templates(2);
  for (TCalendarRow& t : templates) {
    t.ID = take(data, size);
    t.Date = take(data, size);
    t.RepeatMode = take(data, size);
    t.RepeatValue = take(data, size);
    t.Level = take(data, size);
    t.IsAlarm = take(data, size);
  }
  TCalendarRow stored;
  stored.Date = take(data, size);
  stored.LoopID = take(data, size);
  bool important = false;
  bool urgent = false;
  calendar::SplitLevel(templates[0].Level, important, urgent);
  (void)calendar::TextToBool(templates[0].IsAlarm);
  const Date first = Date::fromYmd(2024, 2, 20);
  const Date last = first.addDays(20);
  try {
    const auto rows = calendar::ExpandPeriod({stored}, templates, first, last);
    // The stored row comes first and as given; the occurrences after it lie in the period.
    for (std::size_t i = 1; i < rows.size(); ++i) {
      (void)calendar::InfoOf(rows[i]);
      const Date d = Date::parse(rows[i].Date);
      if (d < first || d > last || rows[i].LoopID.empty()) __builtin_trap();
    }
  } catch (const ConversionError&) {
  }
  return 0;
}
