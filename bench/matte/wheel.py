"""Where the engine puts a colour on the 241 x 209 hue/saturation wheel.

The same arithmetic as the engine's: RGB to hue and saturation by the double
hexcone model (stdfx/HSL.h: computed in double precision, rounded once to
float), then the wheel position (wheel/WheelGeometry.h) in single precision:
  row    = trunc((sin(2 pi h) * s + 1) * 104 + 0.5)   (buffer row, 0 = bottom)
  column = trunc((cos(2 pi h) * s + 1) * 120 + 0.5)
with colours without hue at buffer row 120, column 120. The mask pictures
that `mattix mask import` reads are as displayed: picture row = 208 - buffer row.
sin and cos are the C library's sinf and cosf, as the engine's (a correctly
rounded sine moves two colours of the 2^24 to another row); `matte_bench.py
--verify-wheel` checks the positions of all 2^24 colours against the engine.
"""

import ctypes
import ctypes.util

import numpy as np

_libm = ctypes.CDLL(ctypes.util.find_library("m"))
_libm.sinf.restype = _libm.cosf.restype = ctypes.c_float
_libm.sinf.argtypes = _libm.cosf.argtypes = [ctypes.c_float]

WIDTH, HEIGHT = 241, 209
GREY_ROW, GREY_COLUMN = 120, 120
TWO_PI = np.float32(6.2831855)


def hue_saturation(rgb):
    """Hue in turns (-1 for greys) and saturation, float32, of uint8 RGB."""
    rgb = rgb.astype(np.int64)
    r, g, b = rgb[..., 0], rgb[..., 1], rgb[..., 2]
    mx = rgb.max(axis=-1)
    mn = rgb.min(axis=-1)
    total = mx + mn
    delta = mx - mn
    grey = delta == 0
    safe_delta = np.where(grey, 1, delta)
    denom = np.where(total <= 255, total, 510 - total)
    s = np.where(grey, 0.0, delta / np.where(denom == 0, 1, denom)).astype(np.float32)
    sector = np.where(r == mx, (g - b) / safe_delta,
                      np.where(g == mx, 2.0 + (b - r) / safe_delta, 4.0 + (r - g) / safe_delta))
    turns = sector / 6.0
    turns = np.where(turns < 0.0, turns + 1.0, turns)
    h = turns.astype(np.float32)
    h = np.where(h >= np.float32(1.0), np.float32(0.0), h)
    h = np.where(grey, np.float32(-1.0), h).astype(np.float32)
    return h, s


def sin_cos(theta):
    """The C library's sinf and cosf of each float32 angle (computed once per
    distinct angle: a frame has few)."""
    values, inverse = np.unique(theta, return_inverse=True)
    sin = np.array([_libm.sinf(float(v)) for v in values], dtype=np.float32)
    cos = np.array([_libm.cosf(float(v)) for v in values], dtype=np.float32)
    return sin[inverse].reshape(theta.shape), cos[inverse].reshape(theta.shape)


def positions(rgb):
    """Buffer row and column of each colour (arrays of ints)."""
    h, s = hue_saturation(rgb)
    fx = np.float32(0.5) * np.float32(WIDTH - 1)
    fy = np.float32(0.5) * np.float32(HEIGHT - 1)
    theta = (h * TWO_PI).astype(np.float32)
    sin, cos = sin_cos(theta)
    one, half = np.float32(1.0), np.float32(0.5)
    row = ((sin * s).astype(np.float32) + one).astype(np.float32) * fy + half
    col = ((cos * s).astype(np.float32) + one).astype(np.float32) * fx + half
    row = np.clip(row.astype(np.float32), 0, 2 * fy)
    col = np.clip(col.astype(np.float32), 0, 2 * fx)
    row = row.astype(np.int64)
    col = col.astype(np.int64)
    grey = h < 0
    row[grey] = GREY_ROW
    col[grey] = GREY_COLUMN
    return row, col


def to_picture(buffer_mask):
    """A mask in buffer rows (0 = bottom) as the picture `mask import` reads."""
    return buffer_mask[::-1]
