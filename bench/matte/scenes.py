"""Green- and blue-screen scenes with a known alpha, for the matte benchmark.

Each scene is a 480 x 360 composite C = alpha * F' + (1 - alpha) * B + noise,
rounded to 8 bits (or the same shot sampled `scale` times finer: every
length, the strands' widths and the spill's reach times scale, the noise
per pixel the same), where
  B      the lit screen: a flat screen colour times 1 + 0.15 L(x, y), L a smooth
         field (a tilt, a hot spot and low-frequency noise) scaled to span
         exactly -1..1, so the light varies by +-15 %;
  alpha  the true alpha, 8-bit (a perfect key can give it exactly);
  F      the true foreground colour (no spill), F' the colour composited: F
         pulled toward B by the spill share (25 % on the subject's pixels next
         to the screen, fading to 0 four pixels further in);
  noise  Gaussian, sigma 3 levels, on each channel of each pixel.
The layers, back to front:
  subject   a photograph from python3-skimage cut by a drawn silhouette
            (ellipses and polygons), edges anti-aliased by 4 x 4 supersampling;
  strands   hair, whiskers, steam threads or cables: curves 1 to 3 px wide
            that taper to their tips, rooted in the subject, anti-aliased;
  glass     a pane of alpha 0.5 (128/255) over the screen, neutral or tinted;
  ramp      a 150 x 50 strip whose alpha runs 0 to 1 from left to right.
Everything is drawn from a seed: the same scene every run.
"""

import math

import numpy as np
from scipy import ndimage
from skimage import data, draw, io, transform

W, H = 480, 360
SS = 4  # supersampling of the shapes' coverage
SPILL = 0.25
SPILL_FADE = 4.0  # pixels over which the spill fades out inside the subject
LIGHT = 0.15
NOISE = 3.0
GLASS_ALPHA8 = 128
GLASS_BOX = (335, 30, 455, 160)  # x0, y0, x1, y1 (exclusive ends)
RAMP_BOX = (318, 285, 468, 335)

SKIMAGE_DATA = "/usr/lib/python3/dist-packages/skimage/data"


def _photo(name):
    if name == "motorcycle":
        return io.imread(SKIMAGE_DATA + "/motorcycle_left.png")[..., :3]
    return getattr(data, name)()[..., :3]


def _sample_grid(x0, y0, x1, y1):
    """Sample centres (x, y) of the supersampled grid over pixels x0..x1, y0..y1."""
    xs = x0 + (np.arange((x1 - x0) * SS) + 0.5) / SS
    ys = y0 + (np.arange((y1 - y0) * SS) + 0.5) / SS
    return np.meshgrid(xs, ys)


def _downsample(samples):
    h, w = samples.shape[0] // SS, samples.shape[1] // SS
    return samples.reshape(h, SS, w, SS).mean(axis=(1, 3))


def shape_coverage(shapes, w=W, h=H):
    """Coverage (0..1) of a union of shapes over a w x h frame.

    shapes: ("ellipse", cx, cy, rx, ry, angle_degrees) or ("polygon", [(x, y), ...])
    in pixel coordinates (pixel x covers x..x+1)."""
    inside = np.zeros((h * SS, w * SS), dtype=bool)
    xs, ys = _sample_grid(0, 0, w, h)
    for shape in shapes:
        if shape[0] == "ellipse":
            _, cx, cy, rx, ry, angle = shape
            a = math.radians(angle)
            dx, dy = xs - cx, ys - cy
            u = dx * math.cos(a) + dy * math.sin(a)
            v = -dx * math.sin(a) + dy * math.cos(a)
            inside |= (u / rx) ** 2 + (v / ry) ** 2 <= 1.0
        else:
            pts = np.array(shape[1], dtype=float) * SS - 0.5
            inside |= draw.polygon2mask(inside.shape, pts[:, ::-1])
    return _downsample(inside.astype(np.float64))


def _bezier(p0, p1, p2, n=40):
    t = np.linspace(0.0, 1.0, n)[:, None]
    return (1 - t) ** 2 * np.array(p0) + 2 * (1 - t) * t * np.array(p1) + t**2 * np.array(p2)


def strand_coverage(curve, width_root, width_tip, w=W, h=H):
    """Coverage of a curve (N x 2 points) drawn with a width tapering from root to tip."""
    cov = np.zeros((h, w))
    x0 = max(int(np.floor(curve[:, 0].min() - width_root)) - 1, 0)
    x1 = min(int(np.ceil(curve[:, 0].max() + width_root)) + 2, w)
    y0 = max(int(np.floor(curve[:, 1].min() - width_root)) - 1, 0)
    y1 = min(int(np.ceil(curve[:, 1].max() + width_root)) + 2, h)
    if x1 <= x0 or y1 <= y0:
        return cov
    xs, ys = _sample_grid(x0, y0, x1, y1)
    best = np.full(xs.shape, np.inf)  # distance to the curve less its half width there
    n = len(curve) - 1
    for i in range(n):
        a, b = curve[i], curve[i + 1]
        ab = b - a
        t = np.clip(((xs - a[0]) * ab[0] + (ys - a[1]) * ab[1]) / max(ab @ ab, 1e-12), 0, 1)
        d = np.hypot(xs - a[0] - t * ab[0], ys - a[1] - t * ab[1])
        half = 0.5 * (width_root + (width_tip - width_root) * (i + t) / n)
        np.minimum(best, d - half, out=best)
    cov[y0:y1, x0:x1] = _downsample((best <= 0).astype(np.float64))
    return cov


def light_field(rng, scale=1):
    """Smooth field spanning exactly -1..1: a tilt, a hot spot, low-frequency noise."""
    w, h = W * scale, H * scale
    yy, xx = np.mgrid[0:h, 0:w].astype(np.float64)
    angle = rng.uniform(0, 2 * math.pi)
    tilt = (xx - w / 2) * math.cos(angle) + (yy - h / 2) * math.sin(angle)
    hx, hy = rng.uniform(0.2 * w, 0.8 * w), rng.uniform(0.2 * h, 0.8 * h)
    spot = np.exp(-((xx - hx) ** 2 + (yy - hy) ** 2) / (2 * (0.3 * w) ** 2))
    lowfreq = ndimage.gaussian_filter(rng.standard_normal((h, w)), 40 * scale, mode="reflect")
    field = tilt / np.abs(tilt).max() + 1.2 * spot + lowfreq / np.abs(lowfreq).max() * 0.5
    field -= field.min()
    return 2.0 * field / field.max() - 1.0


def over(dst_a, dst_f, src_a, src_f):
    """Premultiplied 'over' of a layer (src) on the layers drawn so far (dst)."""
    a = src_a + dst_a * (1 - src_a)
    num = src_a[..., None] * src_f + (dst_a * (1 - src_a))[..., None] * dst_f
    f = np.where(a[..., None] > 0, num / np.maximum(a, 1e-12)[..., None], 0.0)
    return a, f


# Each scene: the photograph and the part of it placed in the subject's box,
# the silhouette, the strands (root, control point, tip, widths), colours.
SCENES = [
    dict(
        name="astronaut",
        title="1 astronaut, green",
        photo="astronaut",
        crop=(20, 0, 420, 470),  # x0, y0, x1, y1 of the photograph
        box=(20, 30, 300, 360),  # where it lands in the frame
        silhouette=[
            ("ellipse", 138, 94, 50, 62, 0),
            ("ellipse", 139, 182, 28, 30, 0),
            ("polygon", [(40, 360), (35, 250), (60, 205), (110, 185), (170, 185),
                         (225, 200), (275, 240), (292, 360)]),
            ("ellipse", 62, 238, 32, 40, 15),
            ("ellipse", 255, 240, 36, 44, -15),
        ],
        strands=dict(count=14, colour=(120, 84, 48), origin=(138, 94), radius=(50, 62),
                     arc=(200, 340), length=(25, 70), widths=(1.0, 3.0)),
        screen=(40, 172, 64),
        glass=(190, 190, 190),
        ramp=(224, 172, 140),
        seed=11,
    ),
    dict(
        name="chelsea",
        title="2 cat, green",
        photo="chelsea",
        crop=(50, 0, 410, 300),
        box=(10, 75, 310, 360),
        silhouette=[
            ("ellipse", 160, 190, 125, 95, 0),
            ("polygon", [(55, 150), (45, 62), (120, 110)]),
            ("polygon", [(200, 110), (275, 62), (268, 150)]),
            ("polygon", [(70, 240), (250, 240), (275, 360), (45, 360)]),
        ],
        strands=dict(count=16, colour=(236, 230, 218), origin=(160, 215), radius=(118, 60),
                     arc=(150, 390), length=(35, 80), widths=(1.0, 2.0)),
        screen=(48, 180, 72),
        glass=(214, 170, 110),
        ramp=(128, 128, 128),
        seed=23,
    ),
    dict(
        name="coffee",
        title="3 coffee, green",
        photo="coffee",
        crop=(60, 0, 500, 400),
        box=(20, 80, 300, 335),
        silhouette=[
            ("ellipse", 162, 252, 132, 70, -4),
            ("polygon", [(95, 126), (237, 126), (232, 230), (215, 268), (125, 268),
                         (105, 230)]),
            ("ellipse", 165, 126, 72, 22, 0),
            ("ellipse", 98, 196, 20, 26, 0),
        ],
        strands=dict(count=12, colour=(226, 222, 214), origin=(165, 126), radius=(70, 20),
                     arc=(210, 330), length=(40, 85), widths=(1.0, 3.0)),
        screen=(36, 168, 58),
        glass=(228, 228, 228),
        ramp=(190, 44, 40),
        seed=37,
    ),
    dict(
        name="motorcycle",
        title="4 motorcycle, blue",
        photo="motorcycle",
        crop=(150, 80, 680, 480),
        box=(5, 70, 315, 305),
        silhouette=[
            ("ellipse", 74, 240, 44, 52, 0),
            ("ellipse", 255, 246, 40, 50, 0),
            ("polygon", [(40, 175), (95, 150), (150, 140), (205, 130), (230, 100),
                         (262, 95), (270, 130), (300, 200), (290, 250), (215, 262),
                         (120, 262), (70, 215)]),
            ("polygon", [(60, 150), (150, 128), (158, 150), (70, 170)]),
        ],
        strands=dict(count=10, colour=(34, 32, 30), origin=(245, 112), radius=(25, 18),
                     arc=(180, 330), length=(30, 60), widths=(1.0, 3.0)),
        screen=(24, 64, 196),
        glass=(190, 190, 190),
        ramp=(236, 208, 60),
        seed=41,
    ),
    dict(
        name="rocket",
        title="5 rocket, dark green",
        photo="rocket",
        crop=(200, 100, 420, 427),
        box=(60, 30, 280, 357),
        silhouette=[
            ("polygon", [(155, 70), (160, 48), (166, 36), (172, 48), (177, 70), (178, 340),
                         (154, 340)]),
            ("polygon", [(100, 340), (235, 340), (245, 360), (90, 360)]),
            ("polygon", [(90, 120), (112, 120), (112, 340), (90, 340)]),
            ("polygon", [(112, 150), (154, 150), (154, 158), (112, 158)]),
            ("polygon", [(112, 250), (154, 250), (154, 258), (112, 258)]),
        ],
        strands=dict(count=10, colour=(200, 200, 196), origin=(101, 125), radius=(11, 8),
                     arc=(200, 340), length=(40, 110), widths=(1.0, 2.5)),
        screen=(22, 92, 38),
        glass=(222, 184, 194),
        ramp=(250, 250, 250),
        seed=53,
    ),
]


def _strands(recipe, rng, scale=1):
    """Curves rooted on an ellipse (the subject's outline) pointing outward."""
    cx, cy = (v * scale for v in recipe["origin"])
    rx, ry = (v * scale for v in recipe["radius"])
    out = []
    for i in range(recipe["count"]):
        a0, a1 = recipe["arc"]
        ang = math.radians(a0 + (a1 - a0) * (i + rng.uniform(0.2, 0.8)) / recipe["count"])
        # A little inside the outline, so that the strand grows out of the subject.
        root = np.array([cx + 0.85 * rx * math.cos(ang), cy + 0.85 * ry * math.sin(ang)])
        out_dir = np.array([math.cos(ang), math.sin(ang)])
        length = rng.uniform(*recipe["length"]) * scale
        bend = rng.uniform(-0.6, 0.6)
        side = np.array([-out_dir[1], out_dir[0]])
        ctrl = root + out_dir * length * 0.55 + side * bend * length * 0.5
        tip = root + out_dir * length + side * bend * length * 0.2
        w0, w1 = (v * scale for v in recipe["widths"])
        width = w0 + (w1 - w0) * (i % 4) / 3.0  # 1, ~1.7, ~2.3, 3 px at the root
        out.append((_bezier(root, ctrl, tip), width, max(0.5, 0.4 * width)))
    return out


def _scaled_shapes(shapes, k):
    """Shapes with every coordinate and radius times k."""
    out = []
    for shape in shapes:
        if shape[0] == "ellipse":
            _, cx, cy, rx, ry, angle = shape
            out.append(("ellipse", cx * k, cy * k, rx * k, ry * k, angle))
        else:
            out.append(("polygon", [(x * k, y * k) for x, y in shape[1]]))
    return out


def build(recipe, scale=1):
    """The frame (uint8 H x W x 3, each side times scale) and its truth (dict of arrays)."""
    H_, W_ = H * scale, W * scale
    rng = np.random.default_rng(recipe["seed"])
    screen = np.array(recipe["screen"], dtype=np.float64)
    lit = screen[None, None, :] * (1.0 + LIGHT * light_field(rng, scale))[..., None]

    # Subject: the photograph's crop scaled into its box, cut by the silhouette.
    photo = _photo(recipe["photo"]).astype(np.float64)
    x0, y0, x1, y1 = recipe["crop"]
    bx0, by0, bx1, by1 = (v * scale for v in recipe["box"])
    part = transform.resize(photo[y0:y1, x0:x1], (by1 - by0, bx1 - bx0), order=1,
                            anti_aliasing=True, preserve_range=True)
    subject_f = np.zeros((H_, W_, 3))
    subject_f[by0:by1, bx0:bx1] = part
    # Outside the box the silhouette takes the box's nearest colour.
    yy, xx = np.mgrid[0:H_, 0:W_]
    subject_f = subject_f[np.clip(yy, by0, by1 - 1), np.clip(xx, bx0, bx1 - 1)]
    subject_a = shape_coverage(_scaled_shapes(recipe["silhouette"], scale), W_, H_)

    a = np.zeros((H_, W_))
    f = np.zeros((H_, W_, 3))
    a, f = over(a, f, subject_a, subject_f)

    # Strands, each with its colour varied a little.
    strand_a = np.zeros((H_, W_))
    for curve, w_root, w_tip in _strands(recipe["strands"], rng, scale):
        cov = strand_coverage(curve, w_root, w_tip, W_, H_)
        colour = np.clip(np.array(recipe["strands"]["colour"]) + rng.normal(0, 8, 3), 0, 255)
        a, f = over(a, f, cov, np.broadcast_to(colour, (H_, W_, 3)))
        strand_a = np.maximum(strand_a, cov)
    subject_layer = a.copy()

    # Spill: share of the screen in the composited colour of the subject's
    # pixels near the screen (distance to the nearest pixel it does not cover).
    dist = ndimage.distance_transform_edt(subject_layer > 0)
    fade = SPILL_FADE * scale
    spill = np.where(subject_layer > 0, SPILL * np.clip((1.0 + fade - dist) / fade, 0.0, 1.0), 0.0)

    # Glass pane (alpha 128/255, anti-aliased border) and the ramp.
    gx0, gy0, gx1, gy1 = (v * scale for v in GLASS_BOX)
    glass_cov = shape_coverage([("polygon", [(gx0, gy0), (gx1, gy0), (gx1, gy1), (gx0, gy1)])],
                               W_, H_)
    glass_a = glass_cov * GLASS_ALPHA8 / 255.0
    a, f = over(a, f, glass_a, np.broadcast_to(np.array(recipe["glass"], float), (H_, W_, 3)))
    rx0, ry0, rx1, ry1 = (v * scale for v in RAMP_BOX)
    ramp_a = np.zeros((H_, W_))
    ramp_a[ry0:ry1, rx0:rx1] = np.linspace(0.0, 1.0, rx1 - rx0)[None, :]
    a, f = over(a, f, ramp_a, np.broadcast_to(np.array(recipe["ramp"], float), (H_, W_, 3)))

    alpha8 = np.rint(np.clip(a, 0, 1) * 255).astype(np.uint8)
    alpha = alpha8 / 255.0
    f = np.where(alpha[..., None] > 0, f, 0.0)
    spilled = f + spill[..., None] * (lit - f)
    comp = alpha[..., None] * spilled + (1 - alpha[..., None]) * lit
    comp += rng.normal(0.0, NOISE, comp.shape)
    frame = np.clip(np.rint(comp), 0, 255).astype(np.uint8)

    glass_inner = np.zeros((H_, W_), dtype=bool)
    m = 2 * scale  # the pane less its anti-aliased border
    glass_inner[gy0 + m:gy1 - m, gx0 + m:gx1 - m] = True
    truth = dict(
        alpha8=alpha8,
        fg=f.astype(np.float32),
        lit=lit.astype(np.float32),
        spill=spill.astype(np.float32),
        glass_inner=glass_inner,
        glass_alpha=np.float64(GLASS_ALPHA8 / 255.0),
        ramp_box=np.array([rx0, ry0, rx1, ry1]),
        screen=screen,
        screen_channel=np.int64(int(np.argmax(screen))),
    )
    return frame, truth
