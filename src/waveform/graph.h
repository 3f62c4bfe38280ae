// SPDX-License-Identifier: MIT
#pragma once
// The waveform graph: a dotted grid and a chain of red dots, one per
// millisecond, with a column of dots at every change of level.
#include "waveform/table.h"

namespace gaspuff {

// Time in ms (0..1000 spans the width) to an x coordinate on a surface whose
// interior is w units wide. Wide integers: no table value can overflow.
int scalegraphx(int x, double w);
// Amplitude in percent (0 at the bottom, 100 at the top) to a y coordinate on
// a surface whose interior is h units high.
int scalegraphy(int y, double h);
// The millisecond drawn in column x of a surface w units wide: the one whose
// column is nearest, the middle of those sharing it. Columns beyond either
// edge give the first or the last millisecond.
int graphtime(int x, double w);

constexpr int kDotRadius = 2;

// What drawgraph needs of a drawing surface. Coordinates are in the
// surface's scale units with the origin at the top left of the interior;
// whatever falls outside the interior is clipped by the surface.
class GraphSurface {
  public:
    virtual ~GraphSurface() = default;
    virtual double scalewidth() const = 0;
    virtual double scaleheight() const = 0;
    // Fills the interior with the background colour.
    virtual void cls() = 0;
    // A black dotted line, 1 pixel wide.
    virtual void gridline(int x1, int y1, int x2, int y2) = 0;
    // A red circle of kDotRadius around (x, y), outline and interior.
    virtual void dot(int x, int y) = 0;
    // Called once the whole graph has been handed over.
    virtual void done() {}
};

// Draws the grid and the trace of waveform. Dots whose centre lies too far
// outside the surface to touch it are not handed to the surface at all.
void drawgraph(const Waveform& waveform, GraphSurface& surface);

}  // namespace gaspuff
