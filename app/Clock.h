// Today's date for the browser's date edits, the log name and a supplied Study Date. Tests
// install a fixed clock; an empty function restores the system's local date.
#pragma once

#include <QDate>
#include <functional>
#include <string>

QDate Today();
void SetTodayForTests(std::function<QDate()> today);
// "yyyyMMdd" (beware: "mm" would be minutes).
std::string DateText(const QDate& date);
