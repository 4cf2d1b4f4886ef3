#pragma once
// Where a lightness falls on the lightness bar, the one rule that the bar's
// control and the hosts that draw over it share: a value v (0 to 65535 for
// 0 to 100 percent) lies at client x = MulDiv(v, span, 65535) + kBarMargin,
// span = width - 2 * kBarMargin - 1 (x 7 to 247 in the 255-pixel control).

namespace mattix::wheel {

// x of lightness 0, and the margin on either side of the bar's scale.
inline constexpr int kBarMargin = 7;

// Pixels from lightness 0 to 100 % in a bar `width` pixels wide.
constexpr int BarSpan(int width) { return width - 2 * kBarMargin - 1; }

}  // namespace mattix::wheel
