#include "colours.h"

#include <algorithm>
#include <cmath>

namespace dravik {

namespace {

constexpr double kReadable = 4.5;

double Luminance(const QColor& c) {
  auto channel = [](double v) {
    return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
  };
  return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

} // namespace

double ContrastRatio(const QColor& a, const QColor& b) {
  const double la = Luminance(a), lb = Luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor ReadableOn(const QColor& wanted, const QColor& ground, const QColor& fallback) {
  const double step = Luminance(ground) < 0.18 ? 0.05 : -0.05;
  QColor colour = wanted.toHsl();
  for (int i = 0; i <= 20; ++i) {
    if (ContrastRatio(colour, ground) >= kReadable) return colour.toRgb();
    colour = QColor::fromHslF(colour.hslHueF(), colour.hslSaturationF(),
                              std::clamp(colour.lightnessF() + step, 0.0, 1.0));
  }
  return fallback;
}

} // namespace dravik
