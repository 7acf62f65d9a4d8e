#pragma once

#include <QFont>

// The window's fonts: "MS Sans Serif" where the system has it, otherwise Liberation Sans
// Narrow, whose captions run within a few percent of MS Sans Serif's widths (plain Liberation
// Sans is a quarter wider and clips "Port Name :"), at the same point sizes and weights.
QFont windowFont(qreal points, bool bold = false);
