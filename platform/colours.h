// Colours that stay readable on the desktop's own palette, light or dark.
#pragma once

#include <QColor>

namespace dravik {

// The contrast ratio of two colours (1 to 21), as the web's accessibility guidelines define it.
double ContrastRatio(const QColor& a, const QColor& b);

// `wanted` where it stands out from `ground` as clearly as text should (a ratio of 4.5);
// otherwise `wanted` made lighter (on a dark ground) or darker (on a light one), keeping its
// hue, until it does; `fallback` when even that does not.
QColor ReadableOn(const QColor& wanted, const QColor& ground, const QColor& fallback);

} // namespace dravik
