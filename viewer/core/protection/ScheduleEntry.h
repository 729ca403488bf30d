// The inactivity schedule of prevention as its page lists it: entries "<day>/<start>/<end>" of
// PreventionSchedule and the rows shown for them (day text, start, end). Day 0 is every day, 1..7
// a weekday (1 = Sunday), any other number the seconds of a date's local midnight. Times are
// stored "HH:MM:SS" (24 hours, zero-padded), the one form the service reads, whatever the
// display shows; a display time in the en-US form "h:mm:ss AM" is taken as well.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tarvell {

struct ScheduleRow {
    std::int64_t day = 0;
    int start = 0;  // seconds of the day
    int end = 0;
    bool operator==(const ScheduleRow&) const = default;
};

// "Every Day", "Every Sunday" .. "Every Saturday" for days 0..7.
const std::vector<std::string>& ScheduleDayTexts();
// The day's text: one of the eight, or the date "M/D/YYYY".
std::string ScheduleDayText(std::int64_t day);
// One of the eight texts (any case) or a date "M/D/YYYY" (its local midnight); nothing else.
std::optional<std::int64_t> ParseScheduleDay(const std::string& text);

// "HH:MM:SS" of seconds of the day.
std::string ScheduleTimeText(int seconds);
// "HH:MM:SS" (0..23 hours) or "h:mm:ss AM|PM" (1..12 hours); nothing else.
std::optional<int> ParseScheduleTime(const std::string& text);

// The stored entry and back; an entry the service would not read gives nothing.
std::string StoredScheduleEntry(const ScheduleRow& row);
std::optional<ScheduleRow> ParseStoredSchedule(const std::string& entry);

// The dialog's moves, on one day: a start not before the end pushes the end an hour later (at
// most 23:59:59); an end not after the start pulls the start an hour earlier (at least 00:00:00).
void ScheduleStartChanged(ScheduleRow& row);
void ScheduleEndChanged(ScheduleRow& row);

// The page's order: the weekly days first (0..7), then the dates, earliest first; equal days by
// start time.
void SortScheduleRows(std::vector<ScheduleRow>& rows);
// The order of a header click on the page's list: column 0 as above, 1 by start time, 2 by end
// time; descending reverses it. Rows that compare equal keep their order.
void SortScheduleRowsBy(std::vector<ScheduleRow>& rows, int column, bool ascending);

}  // namespace tarvell
