#include "app/Clock.h"

namespace {
std::function<QDate()>& TodaySource() {
  static std::function<QDate()> source;
  return source;
}
}  // namespace

QDate Today() { return TodaySource() ? TodaySource()() : QDate::currentDate(); }
void SetTodayForTests(std::function<QDate()> today) { TodaySource() = std::move(today); }
std::string DateText(const QDate& date) { return date.toString("yyyyMMdd").toStdString(); }
