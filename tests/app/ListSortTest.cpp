// A header click over a long list: the column's collation keys are made once, shared out among
// threads in parts, and compared instead of the texts. The order must be exactly the stable sort
// by the collator's comparison, across the parts' borders and for texts whose keys cannot tell
// them apart from an empty one.
#include <gtest/gtest.h>

#include <QCollator>
#include <QLocale>
#include <algorithm>
#include <numeric>
#include <random>
#include <vector>

#include "app/StringGrid.h"
#include "app/TFindForm.h"
#include "tests/app/AppTestSupport.h"

namespace {

// Texts of no weight but their presence: control characters and a soft hyphen.
const QString kIgnorables[] = {QString(QChar(0x01)), QString(QChar(0x1F)), QString(QChar(0xAD)),
                               QString(QChar(0x01)) + QChar(0xAD)};

// Names that differ in case and accents only, or not at all to the collator, shared UID
// beginnings, expansions (ß, ẞ, ss), characters beyond 16 bits, empty and ignorable texts.
QStringList Pool() {
  QStringList pool = {"",
                      "Álvarez^Ana",
                      "ALVAREZ^ANA",
                      "alvarez^ana",
                      "Bäcker",
                      "Baecker",
                      "BACKER",
                      "Núñez",
                      "NUNEZ",
                      "Øster",
                      "oster",
                      "Çelik",
                      "celik",
                      "Dvorák",
                      "DVORAK",
                      "ß",
                      "ẞ",
                      "ss",
                      "SS",
                      "ECG",
                      "ecg",
                      "HD",
                      "20130125",
                      "105919",
                      "0",
                      "1.2.826.0.1.3680043.8.498.70.1",
                      "1.2.826.0.1.3680043.8.498.70.10",
                      "1.2.826.0.1.3680043.8.498.70.2",
                      "y" + QString::fromUcs4(U"\U00010400"),
                      "y" + QString::fromUcs4(U"\U00010428")};
  for (const QString& text : kIgnorables) pool << text << "b" + text << text + "b";
  return pool;
}

TEST(ListSort, ALongColumnSortsAsTheStableSortByTheCollator) {
  // More rows than one thread takes, so the keys come from several parts.
  constexpr int kRows = 40000;
  const QStringList pool = Pool();
  std::mt19937 random(26);
  std::vector<QString> texts(kRows);
  for (QString& text : texts) {
    text = pool[qsizetype(random() % pool.size())];
    if (random() % 4 == 0) text += QString::number(random() % 1000);
  }
  for (const char* locale : {"C", "en_US", "de_DE"}) {
    QLocale::setDefault(QLocale(QString(locale)));
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::vector<int> expected(kRows);
    std::iota(expected.begin(), expected.end(), 0);
    std::stable_sort(expected.begin(), expected.end(), [&](int a, int b) {
      return collator.compare(texts[size_t(a)], texts[size_t(b)]) < 0;
    });
    // Column 1 holds each row's place before the sort.
    StringGrid grid(2, kRows + 1);
    for (int row = 1; row <= kRows; ++row) {
      grid.SetCell(0, row, texts[size_t(row - 1)]);
      grid.SetCell(1, row, QString::number(row - 1));
    }
    SortGridByColumn(grid, 0);
    int wrong = 0;
    for (int row = 1; row <= kRows && wrong < 5; ++row) {
      const int was = grid.Cell(1, row).toInt();
      if (was == expected[size_t(row - 1)]) continue;
      ++wrong;
      ADD_FAILURE() << locale << ", row " << row << ": "
                    << texts[size_t(expected[size_t(row - 1)])].toStdString() << " expected, "
                    << texts[size_t(was)].toStdString() << " found";
    }
  }
  QLocale::setDefault(QLocale(QLocale::C));
}

}  // namespace
