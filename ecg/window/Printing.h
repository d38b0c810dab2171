// Printing the chart: a stretched copy of the chart bitmap as wide as the page, centred
// vertically.
#pragma once

#include <QImage>

class QPainter;
class QPaintDevice;

// Copies `image` stretched into (x, y, w, h) of the painter's device, without smoothing.
// Returns 0 on success, non-zero when the painter is inactive or the image is null or empty.
int StretchBitmapToCanvas(QPainter& painter, int x, int y, int w, int h, const QImage& image);

// Draws the chart on an active painter over a page of pageWidth x pageHeight pixels:
// h = pageWidth * imageHeight / imageWidth (32-bit, product first) at y = (pageHeight - h) / 2.
int PrintChart(QPainter& painter, int pageWidth, int pageHeight, const QImage& image);
// The same on a whole paint device (a printer or an image page).
int PrintChart(QPaintDevice& page, const QImage& image);
