// The chart widgets of the user-interface layer, drawn with QPainter: the strip
// chart, the graph, and the picture file that either can be saved as.
#pragma once

#include "platform/chartpicture.h"
#include "platform/graph.h"
#include "platform/stripchart.h"
