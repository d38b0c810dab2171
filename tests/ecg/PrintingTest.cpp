// Page placement of the printed chart on an image page, pixel exact.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include "ecg/window/Printing.h"
#include "tests/ecg/QtTestApp.h"

namespace {

bool RowIsWhite(const QImage& page, int y) {
  for (int x = 0; x < page.width(); ++x) {
    if ((page.pixel(x, y) & 0xFFFFFF) != 0xFFFFFF) return false;
  }
  return true;
}

TEST(PrintChart, LetterLandscapeAt300Dpi) {
  TestApp();
  QImage chart(1008, 672, QImage::Format_RGB32);
  chart.fill(Qt::black);
  QImage page(3300, 2550, QImage::Format_RGB32);
  page.fill(Qt::white);
  ASSERT_EQ(PrintChart(page, chart), 0);
  // h = 3300 x 672 / 1008 = 2200 at y = (2550 - 2200) / 2 = 175.
  EXPECT_TRUE(RowIsWhite(page, 174));
  EXPECT_FALSE(RowIsWhite(page, 175));
  EXPECT_FALSE(RowIsWhite(page, 2374));
  EXPECT_TRUE(RowIsWhite(page, 2375));
  EXPECT_EQ(page.pixel(0, 1000) & 0xFFFFFF, 0u);
  EXPECT_EQ(page.pixel(3299, 1000) & 0xFFFFFF, 0u);
}

TEST(PrintChart, FailedCopiesReturnNonZero) {
  TestApp();
  QImage page(100, 100, QImage::Format_RGB32);
  QPainter inactive;
  EXPECT_NE(StretchBitmapToCanvas(inactive, 0, 0, 10, 10, QImage(4, 4, QImage::Format_RGB32)), 0);
  QPainter painter(&page);
  EXPECT_NE(StretchBitmapToCanvas(painter, 0, 0, 10, 10, QImage()), 0);
  EXPECT_NE(PrintChart(painter, 100, 100, QImage()), 0);
}

}  // namespace
