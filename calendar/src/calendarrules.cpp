#include "calendarrules.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <iterator>

namespace vlt::calendar {

namespace {

std::string trimmed(const std::string& text) {
  std::size_t b = 0;
  std::size_t e = text.size();
  while (b < e && std::isspace(static_cast<unsigned char>(text[b])))
    ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(text[e - 1])))
    --e;
  return text.substr(b, e - b);
}

// The number a text holds, or nothing when it is not a whole number.
bool wholeNumber(const std::string& text, long long& out) {
  const std::string t = trimmed(text);
  if (t.empty()) return false;
  const char* end = t.data() + t.size();
  auto [ptr, ec] = std::from_chars(t.data(), end, out);
  return ec == std::errc() && ptr == end;
}

}  // namespace

bool TextToBool(const std::string& text) {
  std::string t = trimmed(text);
  std::transform(t.begin(), t.end(), t.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (t == "true") return true;
  long long n = 0;
  return wholeNumber(t, n) && n != 0;
}

void SplitLevel(const std::string& level, bool& important, bool& urgent) {
  const std::size_t comma = level.find(',');
  important = TextToBool(level.substr(0, comma));
  urgent = comma != std::string::npos && TextToBool(level.substr(comma + 1));
}

std::string FlagText(bool on) {
  return on ? "-1" : "0";
}

TCalendarInfo InfoOf(const TCalendarRow& row, int rowIndex) {
  TCalendarInfo info;
  info.ID = row.ID;
  info.UserID = row.UserID;
  info.Date = row.Date;
  info.Title = row.Title;
  info.ReMark = row.Remark;
  SplitLevel(row.Level, info.Important, info.Urgent);
  info.Finished = TextToBool(row.Finished);
  info.IsAlarm = TextToBool(row.IsAlarm);
  info.AlarmTime = row.AlarmTime;
  info.RepeatMode = row.RepeatMode;
  info.RepeatValue = row.RepeatValue;
  info.LoopID = row.LoopID;
  info.RowIndex = rowIndex;
  return info;
}

std::vector<TCalendarRow> RowsOfPacket(const Packet& packet) {
  std::string TCalendarRow::*const members[] = {
      &TCalendarRow::ID,         &TCalendarRow::UserID,      &TCalendarRow::Title,
      &TCalendarRow::Date,       &TCalendarRow::Remark,      &TCalendarRow::Level,
      &TCalendarRow::Finished,   &TCalendarRow::IsAlarm,     &TCalendarRow::AlarmTime,
      &TCalendarRow::RepeatMode, &TCalendarRow::RepeatValue, &TCalendarRow::LoopID};
  const char* const names[] = {"ID",        "UserID",     "Title",       "Date",
                               "Remark",    "Level",      "Finished",    "IsAlarm",
                               "AlarmTime", "RepeatMode", "RepeatValue", "LoopID"};
  int column[std::size(names)];
  for (std::size_t i = 0; i < std::size(names); ++i)
    column[i] = packet.fields.indexOf(names[i]);
  std::vector<TCalendarRow> rows;
  rows.reserve(packet.rows.size());
  for (const Row& values : packet.rows) {
    TCalendarRow& row = rows.emplace_back();
    for (std::size_t i = 0; i < std::size(names); ++i)
      if (column[i] >= 0 && static_cast<std::size_t>(column[i]) < values.size())
        row.*members[i] = values[static_cast<std::size_t>(column[i])].toText();
  }
  return rows;
}

std::vector<TCalendarRow> ExpandPeriod(const std::vector<TCalendarRow>& stored,
                                       const std::vector<TCalendarRow>& templates, Date first,
                                       Date last) {
  std::vector<TCalendarRow> rows = stored;
  std::vector<Date> starts;
  starts.reserve(templates.size());
  for (const TCalendarRow& t : templates)
    starts.push_back(Date::parse(trimmed(t.Date)));
  std::int64_t counter = kOccurrenceIdBase;
  for (Date d = first; d <= last; d = d.addDays(1)) {
    const std::string day = d.toString();
    for (std::size_t i = 0; i < templates.size(); ++i) {
      const TCalendarRow& t = templates[i];
      ++counter;
      // An occurrence is told from a stored task by its template id: without one it cannot be.
      if (t.ID.empty() || d < starts[i]) continue;
      const bool taken = std::any_of(rows.begin(), rows.end(), [&](const TCalendarRow& r) {
        return r.Date == day && r.LoopID == t.ID;
      });
      if (taken) continue;
      int count = 0;
      const std::string mode = trimmed(t.RepeatMode);
      if (mode == "2") {
        count = 1;
      } else if (mode == "3") {
        std::size_t from = 0;
        while (from <= t.RepeatValue.size()) {
          std::size_t comma = t.RepeatValue.find(',', from);
          if (comma == std::string::npos) comma = t.RepeatValue.size();
          long long n = 0;
          if (wholeNumber(t.RepeatValue.substr(from, comma - from), n) && n == d.isoWeekday())
            ++count;
          from = comma + 1;
        }
      }
      for (int k = 0; k < count; ++k) {
        TCalendarRow o = t;
        o.ID = std::to_string(counter);
        o.Date = day;
        o.Finished = "False";
        o.LoopID = t.ID;
        rows.push_back(std::move(o));
      }
    }
  }
  return rows;
}

}  // namespace vlt::calendar
