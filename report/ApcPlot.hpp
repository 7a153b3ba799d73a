#pragma once

#include <QRectF>
#include <string>
#include <vector>

class QPainter;

namespace nuv {

struct ApcFigure;

namespace pdf {

// How tall a figure of `curves` curves is drawn, in mm, legend included.
double ApcFigureHeight(std::size_t curves);

// Draws one channel's APC run into `box` (device units; `unitsPerMm` of them to a mm): the
// temperature of each sensor against the seconds since the run's first poll, gaps where a
// value was an error, and a legend of the serials in `levelOrder` (the report's level order;
// serials not in it follow).
void DrawApcFigure(QPainter& painter, const QRectF& box, double unitsPerMm, const ApcFigure& figure,
                   const std::vector<std::string>& levelOrder);

// The colour of the n-th curve, the same as the trend plot's.
unsigned CurveColour(std::size_t index);

}  // namespace pdf
}  // namespace nuv
