#pragma once
// The rules of the schedule's entries, apart from any window: one record per entry, how the
// stored texts read (levels, flags), and the expansion of repeat templates into the occurrences
// of a period.

#include <cstdint>
#include <string>
#include <vector>

#include "vlt/datetime.h"
#include "vlt/packet.h"

// One row of usercalendar (a stored entry), of usercalendar_ex (a template) or a generated
// occurrence, as the texts the service returns.
struct TCalendarRow {
  std::string ID;
  std::string UserID;
  std::string Title;
  std::string Date;
  std::string Remark;
  std::string Level;
  std::string Finished;
  std::string IsAlarm;
  std::string AlarmTime;
  std::string RepeatMode;
  std::string RepeatValue;
  std::string LoopID;
};

// One list entry.
struct TCalendarInfo {
  std::string ID;
  std::string UserID;
  std::string Date;
  std::string Title;
  std::string ReMark;
  bool Important = false;
  bool Urgent = false;
  bool Finished = false;
  bool IsAlarm = false;
  std::string AlarmTime;
  std::string RepeatMode;
  std::string RepeatValue;
  std::string LoopID;
  // Position of the entry's row in the shown data set (0-based); -1 for none.
  int RowIndex = -1;

  // A generated occurrence or the stored row a finished occurrence left: both belong to a
  // template and are changed only through it.
  bool Repeating() const { return !LoopID.empty(); }
};

namespace vlt::calendar {

// Generated occurrence ids start above this; the database keeps stored ids at or below
// kLastStoredId, so the two never meet.
inline constexpr std::int64_t kOccurrenceIdBase = 9900000000;
inline constexpr std::int64_t kLastStoredId = 9899999999;

// "-1", "1", any other non-zero number and "True" (any case) are true; the rest false.
bool TextToBool(const std::string& text);
// "important,urgent" -> both flags (a missing part is false).
void SplitLevel(const std::string& level, bool& important, bool& urgent);
// Flags as stored: "-1" set, "0" not.
std::string FlagText(bool on);

TCalendarInfo InfoOf(const TCalendarRow& row, int rowIndex = -1);

// The rows of a calendar packet, columns found by name in any case (a missing column and null
// give empty text).
std::vector<TCalendarRow> RowsOfPacket(const Packet& packet);

// The rows of a period [first, last]: the stored rows in their order, then for each day and
// within it for each template in order, the occurrences the template has that day (every day
// from its start date for mode "2"; on the listed ISO weekdays for mode "3"), unless a stored
// row of that day already carries the template's id. Occurrence ids count from
// kOccurrenceIdBase + 1, one step per template and day. A template date that is not a date
// throws ConversionError.
std::vector<TCalendarRow> ExpandPeriod(const std::vector<TCalendarRow>& stored,
                                       const std::vector<TCalendarRow>& templates, Date first,
                                       Date last);

}  // namespace vlt::calendar
