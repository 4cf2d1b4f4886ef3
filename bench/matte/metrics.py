"""Matte error measures, in plain numpy (and scipy.ndimage for filters and labels).

The four alpha errors follow Rhemann, Rother, Wang, Gelautz, Kohli, Rott, "A
Perceptually Motivated Online Benchmark for Image Matting", CVPR 2009:
  SAD   sum of |alpha - true alpha|, alpha in 0..1;
  MSE   mean of (alpha - true alpha)^2 over the pixels counted;
  grad  sum of (|grad alpha| - |grad true alpha|)^2, the gradients taken with
        first-order Gaussian derivative filters of sigma 1.4 (each filter
        scaled to unit L2 norm);
  conn  sum of |phi(alpha) - phi(true alpha)|, phi(a) = 1 - (a - l) [a - l >= 0.15],
        l the highest threshold (steps of 0.1) at which the pixel still
        belongs to the largest 4-connected region where both mattes reach
        the threshold (1 for pixels in it at every threshold).
Each is computed over the whole frame and summed (or averaged, for MSE) over
a region: the whole frame, or the band where 0 < true alpha < 1.
The other measures are defined where they are computed.
"""

import numpy as np
from scipy import ndimage

GRAD_SIGMA = 1.4
CONN_STEP = 0.1
CONN_THETA = 0.15


def sad(alpha, truth, region=None):
    d = np.abs(alpha - truth)
    return float(d.sum() if region is None else d[region].sum())


def mse(alpha, truth, region=None):
    d = (alpha - truth) ** 2
    if region is None:
        return float(d.mean())
    return float(d[region].mean()) if region.any() else 0.0


def gaussian_derivative_kernels(sigma=GRAD_SIGMA):
    """kx (derivative along x, columns) and ky = kx.T, each of unit L2 norm."""
    half = int(np.ceil(3.0 * sigma))
    u = np.arange(-half, half + 1, dtype=np.float64)
    g = np.exp(-(u**2) / (2 * sigma**2))
    dg = -u / sigma**2 * g
    kx = np.outer(g, dg)  # rows: the Gaussian, columns: its derivative
    kx /= np.sqrt((kx**2).sum())
    return kx, kx.T


def gradient_magnitude(alpha, sigma=GRAD_SIGMA):
    kx, ky = gaussian_derivative_kernels(sigma)
    gx = ndimage.correlate(alpha, kx, mode="nearest")
    gy = ndimage.correlate(alpha, ky, mode="nearest")
    return np.hypot(gx, gy)


def gradient_error_map(alpha, truth):
    return (gradient_magnitude(alpha) - gradient_magnitude(truth)) ** 2


def gradient_error(alpha, truth, region=None):
    d = gradient_error_map(alpha, truth)
    return float(d.sum() if region is None else d[region].sum())


def connectivity_levels(alpha, truth, step=CONN_STEP):
    """Per pixel, the highest threshold at which it is still connected to the source."""
    n = int(round(1.0 / step))
    steps = np.arange(n + 1) / n
    level = np.full(alpha.shape, -1.0)
    four = ndimage.generate_binary_structure(2, 1)
    for i in range(1, len(steps)):
        both = (alpha >= steps[i]) & (truth >= steps[i])
        labels, n = ndimage.label(both, structure=four)
        if n:
            sizes = np.bincount(labels.ravel())
            sizes[0] = 0
            omega = labels == np.argmax(sizes)
        else:
            omega = np.zeros(alpha.shape, dtype=bool)
        drop = (level == -1) & ~omega
        level[drop] = steps[i - 1]
    level[level == -1] = 1.0
    return level


def connectivity_error_map(alpha, truth, theta=CONN_THETA):
    level = connectivity_levels(alpha, truth)
    da = alpha - level
    dt = truth - level
    phi_a = 1.0 - da * (da >= theta)
    phi_t = 1.0 - dt * (dt >= theta)
    return np.abs(phi_a - phi_t)


def connectivity_error(alpha, truth, region=None):
    d = connectivity_error_map(alpha, truth)
    return float(d.sum() if region is None else d[region].sum())


def colour_error(rgb, fg, truth):
    """Mean |keyed colour - true foreground| in levels (mean of R, G, B),
    weighted by the true alpha, over the pixels it covers."""
    w = truth
    if w.sum() <= 0:
        return 0.0
    d = np.abs(rgb.astype(np.float64) - fg.astype(np.float64)).mean(axis=2)
    return float((d * w).sum() / w.sum())


def screen_cast(rgb, screen_channel):
    """Screen channel less the larger of the other two, in levels."""
    rgb = rgb.astype(np.float64)
    others = [c for c in range(3) if c != screen_channel]
    return rgb[..., screen_channel] - np.maximum(rgb[..., others[0]], rgb[..., others[1]])


def cast_excess(rgb, fg, screen_channel, region):
    """Mean over the region of the keyed picture's screen cast less the true
    foreground's (positive: the screen's colour is left on it)."""
    if not region.any():
        return 0.0
    d = screen_cast(rgb, screen_channel) - screen_cast(fg, screen_channel)
    return float(d[region].mean())


def backdrop_left(alpha, truth, level=0.1):
    """Percentage of the pixels of true alpha 0 whose alpha is above level."""
    bg = truth == 0
    return float(100.0 * (alpha[bg] > level).mean()) if bg.any() else 0.0


def holes(alpha, truth, level=0.9):
    """Percentage of the pixels of true alpha 1 whose alpha is below level."""
    fg = truth == 1
    return float(100.0 * (alpha[fg] < level).mean()) if fg.any() else 0.0


def inner_holes(alpha, truth, level=0.9):
    """Holes away from the subject's edge: the percentage of the pixels of
    true alpha 1 whose eight neighbours are of true alpha 1 too (outside the
    frame counts as 1) whose alpha is below level."""
    inner = ndimage.binary_erosion(truth == 1, structure=np.ones((3, 3), bool), border_value=1)
    return float(100.0 * (alpha[inner] < level).mean()) if inner.any() else 0.0


def ramp_profile(alpha, box):
    """Column means of alpha over the ramp (x0, y0, x1, y1), inner rows only,
    and their standard errors."""
    x0, y0, x1, y1 = box
    part = alpha[y0 + 2:y1 - 2, x0:x1]
    return part.mean(axis=0), part.std(axis=0) / np.sqrt(part.shape[0])


def ramp_reversals(means, sems, floor=1.0 / 255):
    """Columns whose mean lies below the highest mean of the columns before
    it by more than the noise of the two means (3 standard errors of their
    difference, at least one level). 0: the ramp is monotonic."""
    count = 0
    top, top_sem = means[0], sems[0]
    for m, e in zip(means[1:], sems[1:]):
        if m < top - max(3.0 * np.hypot(e, top_sem), floor):
            count += 1
        if m > top:
            top, top_sem = m, e
    return count


def self_test():
    """Known cases, worked out by hand. Returns the number of failures."""
    failures = []

    def check(name, got, want, tol=1e-9):
        if not abs(got - want) <= tol:
            failures.append(f"{name}: got {got!r}, want {want!r}")

    rng = np.random.default_rng(1)
    t = rng.uniform(0, 1, (20, 24))
    t[5:15, 6:18] = 1.0
    t[:3] = 0.0
    # Identical mattes: every error is 0.
    for name, fn in [("sad", sad), ("mse", mse), ("grad", gradient_error),
                     ("conn", connectivity_error)]:
        check(f"{name} identical", fn(t, t), 0.0)

    # One pixel off by 0.5 in a 5 x 5 matte of zeros.
    z = np.zeros((5, 5))
    one = z.copy()
    one[2, 2] = 0.5
    check("sad one pixel", sad(one, z), 0.5)
    check("mse one pixel", mse(one, z), 0.25 / 25)
    band = np.zeros((5, 5), dtype=bool)
    band[2, 2] = band[0, 0] = True
    check("mse one pixel in a band of two", mse(one, z, band), 0.25 / 2)
    check("sad outside the region", sad(one, z, ~band), 0.0)

    # Gradient: kernels of unit norm, odd along x; a constant offset changes
    # no gradient; on a ramp of slope c the interior gradient is c times the
    # kernel's first moment.
    kx, ky = gaussian_derivative_kernels()
    check("kernel norm", float((kx**2).sum()), 1.0, 1e-12)
    check("kernel odd", float(np.abs(kx + kx[:, ::-1]).max()), 0.0, 1e-15)
    check("ky is kx transposed", float(np.abs(ky - kx.T).max()), 0.0)
    check("grad of an offset", gradient_error(t * 0.5 + 0.25, t * 0.5), 0.0, 1e-20)
    c = 0.01
    ramp = np.tile(np.arange(40) * c, (40, 1))
    u = np.arange(kx.shape[1]) - kx.shape[1] // 2
    moment = float((kx * u[None, :]).sum()) * c
    check("grad of a ramp", float(gradient_magnitude(ramp)[20, 20]), abs(moment), 1e-12)

    # Connectivity, on one row: a source of two opaque pixels.
    truth = np.array([[1.0, 1.0, 0.0, 0.0, 0.0]])
    # A detached speck of 1: its level is 0 (never connected), phi 1 - 1 = 0
    # against the truth's phi 1 there: error 1.
    check("conn detached speck", connectivity_error(np.array([[1.0, 1, 0, 0, 1]]), truth), 1.0)
    # A detached speck of 0.1 is within theta of its level 0: phi 1, no error.
    check("conn faint speck", connectivity_error(np.array([[1.0, 1, 0, 0, 0.1]]), truth), 0.0)
    # A pixel of 0.5 next to the source, 0.6 in the truth: connected up to
    # threshold 0.5 (level 0.5), the truth 0.1 above it (under theta): phi 1 on
    # both, no error although the alphas differ.
    check("conn connected half",
          connectivity_error(np.array([[1.0, 1, 0.5, 0, 0]]), np.array([[1.0, 1, 0.6, 0, 0]])), 0.0)
    # A 0.5 pixel detached by a 0 (matte [1,1,0,0.5,0], truth [1,1,0,0.5,0.5]):
    # level 0 for pixels 2..4; phi(0.5) = 0.5 on both at pixel 3, and at pixel
    # 4 the matte's 0 gives phi 1 against the truth's 0.5: error 0.5.
    a = np.array([[1.0, 1, 0, 0.5, 0]])
    tr = np.array([[1.0, 1, 0, 0.5, 0.5]])
    check("conn detached half", connectivity_error(a, tr), 0.5)
    lv = connectivity_levels(a, tr)
    check("conn levels", float(np.abs(lv - np.array([[1.0, 1, 0, 0, 0]])).max()), 0.0)

    # Colour: keyed (10, 20, 30) against true (12, 20, 27) on a pixel of alpha
    # 1, and off by 90 on a pixel of alpha 0 (not counted): (2 + 0 + 3) / 3.
    rgb = np.array([[[10, 20, 30], [0, 0, 0]]], dtype=np.uint8)
    fg = np.array([[[12.0, 20, 27], [90, 90, 90]]])
    check("colour error", colour_error(rgb, fg, np.array([[1.0, 0.0]])), 5.0 / 3)
    # Alpha 1 and 0.5, errors 3 and 6 levels: (1 * 3 + 0.5 * 6) / 1.5 = 4.
    rgb2 = np.array([[[3, 3, 3], [6, 6, 6]]], dtype=np.uint8)
    check("colour error weighted", colour_error(rgb2, np.zeros((1, 2, 3)),
                                                np.array([[1.0, 0.5]])), 4.0)
    # Cast on green: keyed (100, 130, 90) has 130 - 100 = 30, the true
    # (100, 110, 90) has 10: excess 20.
    keyed = np.array([[[100, 130, 90]]], dtype=np.uint8)
    true_fg = np.array([[[100.0, 110, 90]]])
    check("cast excess", cast_excess(keyed, true_fg, 1, np.ones((1, 1), bool)), 20.0)
    check("cast of blue", float(screen_cast(np.array([[[10, 60, 200]]]), 2)[0, 0]), 140.0)

    # Backdrop left and holes: 1 of 4 pixels of true alpha 0 above 0.1; 1 of 2
    # opaque pixels below 0.9 (0.9 itself is not a hole).
    tr = np.array([[0.0, 0, 0, 0, 1, 1, 0.5]])
    al = np.array([[0.0, 0.1, 0.2, 0, 0.9, 0.5, 0]])
    check("backdrop left", backdrop_left(al, tr), 25.0)
    check("holes", holes(al, tr), 50.0)
    # Away from the edge: of a 3 x 4 opaque block with one corner at 0.5, the
    # 8 pixels not beside that corner; a hole beside it does not count.
    tr = np.ones((3, 4))
    tr[0, 0] = 0.5
    al = np.ones((3, 4))
    al[1, 1] = al[2, 3] = 0.5
    check("inner holes", inner_holes(al, tr), 12.5)
    check("holes with an edge", holes(al, tr), 200.0 / 11)

    # Ramp: a clean rise has no reversal; a dip of 5 levels is one, a wobble
    # of half a level is none.
    rise = np.linspace(0, 1, 50)
    check("ramp clean", ramp_reversals(rise, np.zeros(50)), 0)
    dip = rise.copy()
    dip[25] = dip[24] - 5 / 255
    check("ramp dip", ramp_reversals(dip, np.zeros(50)), 1)
    flat = np.full(50, 0.5)
    flat[::2] += 0.5 / 255
    check("ramp wobble", ramp_reversals(flat, np.zeros(50)), 0)
    # A dip of 5 levels where each mean has a standard error of 2 levels is
    # within 3 x 2 x sqrt 2 = 8.5 levels: no reversal; one of 10 levels is.
    noisy = np.full(50, 2 / 255)
    check("ramp dip within noise", ramp_reversals(dip, noisy), 0)
    dip[25] = dip[24] - 10 / 255
    check("ramp dip beyond noise", ramp_reversals(dip, noisy), 1)
    box_alpha = np.zeros((10, 8))
    box_alpha[:, 2:6] = [0.1, 0.2, 0.3, 0.4]
    means, _ = ramp_profile(box_alpha, (2, 1, 6, 9))
    check("ramp profile", float(np.abs(means - [0.1, 0.2, 0.3, 0.4]).max()), 0.0, 1e-15)

    for f in failures:
        print("FAIL", f)
    return len(failures)
