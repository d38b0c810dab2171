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

QStringList Pool() {
  QStringList pool = {"",
                      "a",
                      "A",
                      "b",
                      "Émile^Zoë",
                      "émile^zoë",
                      "Emile^Zoe",
                      "EMILE^ZOE",
                      "Müller",
                      "MÜLLER",
                      "Mueller",
                      "Zoë^Ann",
                      "zoe^ann",
                      "ß",
                      "ẞ",
                      "ss",
                      "1.2.840.10008.5.1.4.1.1.9.1.1",
                      "1.2.840.10008.5.1.4.1.1.9.1.10",
                      "1.2.840.10008.5.1.4.1.1.9.1.2",
                      "20240101",
                      "235959",
                      "ECG",
                      "HD",
                      "Dr^Á",
                      "dr^a",
                      "x" + QString::fromUcs4(U"\U00010400"),
                      "x" + QString::fromUcs4(U"\U00010428")};
  for (const QString& text : kIgnorables) pool << text << "a" + text << text + "a";
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

// The pairwise comparison that the list's keys stand for orders texts of ignorable characters as
// the collator does: after the empty text, though their keys equal its key.
TEST(ListSort, IgnorableTextsCompareAsTheCollatorDoes) {
  const QStringList pool = Pool();
  for (const char* locale : {"C", "en_US", "de_DE"}) {
    QLocale::setDefault(QLocale(QString(locale)));
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    const GridTextLess less = ListOrder();
    for (const QString& a : pool)
      for (const QString& b : pool)
        EXPECT_EQ(less(a, b), collator.compare(a, b) < 0)
            << locale << ": " << a.toStdString() << " < " << b.toStdString();
  }
  QLocale::setDefault(QLocale(QLocale::C));
}

}  // namespace
