#!/usr/bin/python3
"""Matte quality of Mattix against a ceiling and against FFmpeg's keyers.

Scenes (scenes.py): five 480 x 360 composites of python3-skimage photographs
with a known 8-bit alpha, each with hair-like strands 1 to 3 px wide, a glass
pane of alpha 0.5, a 0-100 % alpha ramp, light varying by +-15 % over the
screen, noise of sigma 3 and 25 % of the screen's colour spilled on the
subject's edge:
  1 astronaut, green    a woman in a spacesuit, brown hair; grey pane, skin ramp
  2 cat, green          a cat's head, white whiskers; amber pane, grey ramp
  3 coffee, green       a cup on a saucer, pale steam threads; clear pane, red ramp
  4 motorcycle, blue    a red motorcycle, black cables; grey pane, yellow ramp
  5 rocket, dark green  a rocket and its tower, pale cables; rose pane, white ramp

Keys measured on each scene:
  oracle           the best the wheel's mask allows with softness 0: each wheel
                   pixel weighted 255 x the median of (1 - true alpha) of the
                   frame's pixels that fall on it, imported with `mask import`,
                   lightness window open (0, 0, 100, 100), spill suppression 0
                   (each run checks that every pixel is keyed by the weight its
                   computed wheel position holds);
  oracle in/out    the same with weights 0 or 255 only (median share >= 0.5);
  mattix           `mattix key auto` then `mattix render`, nothing else set
                   (or `--project P.json`: render with that project instead);
  chromakey,       FFmpeg's keyers, each with its settings searched against
  hsvkey           the true alpha (a coarse grid, then compass searches from
                   its best points, for the lowest SAD and for the lowest MSE):
                   the best they can give, which no user gets;
  chromakey+despill  chromakey's best followed by FFmpeg's despill, whose mix
                   and expand are grid-searched against the true colours.

Measures (metrics.py): the alpha errors of Rhemann et al., "A Perceptually
Motivated Online Benchmark for Image Matting", CVPR 2009 (SAD, MSE, gradient,
connectivity), over the whole frame and over the band where 0 < true alpha
< 1; the colour error against the true (unspilled) foreground; the screen's
cast left on opaque pixels; the pane's mean alpha, the ramp's reversals, the
backdrop left (true alpha 0, alpha > 0.1) and the holes (true alpha 1,
alpha < 0.9).

  matte_bench.py [--mattix build/host/cli/mattix] [--out build/matte-bench]
                 [--only mattix,oracle,peers] [--project P.json] [--scenes 1,3]
                 [--scale 3] [--worst docs/matte-worst.png] [--self-test]
                 [--verify-wheel]

--scale N builds the same shots sampled N times finer (1440 x 1080 at 3),
for Mattix and the oracle: the errors that are sums (SAD, gradient,
connectivity) are then divided by N^2, per 480 x 360 of frame, so that they
compare with scale 1.

Scenes and the peers' searches are cached in the output folder (keyed
by the generator's source, the frame and the ffmpeg version), so a rerun,
or `--only mattix`, takes seconds.
"""

import argparse
import hashlib
import inspect
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time

import numpy as np
from skimage import io

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import metrics  # noqa: E402
import scenes  # noqa: E402
import wheel  # noqa: E402

H, W = scenes.H, scenes.W
GRID_VERSION = "4"
PEERS = ["chromakey", "chromakey+despill", "hsvkey"]
LABELS = {
    "oracle": "oracle mask, graded",
    "oracle-inout": "oracle mask, in/out only",
    "mattix": "Mattix `key auto` + render",
    "chromakey": "FFmpeg chromakey, best settings",
    "chromakey+despill": "FFmpeg chromakey + despill, best settings",
    "hsvkey": "FFmpeg hsvkey, best settings",
}


def log(*args):
    print(*args, file=sys.stderr, flush=True)


def run(cmd, **kw):
    proc = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, **kw)
    if proc.returncode != 0:
        raise RuntimeError(f"{' '.join(map(str, cmd))} failed ({proc.returncode}):\n"
                           f"{proc.stderr.decode(errors='replace')}")
    return proc.stdout


def load_rgba(path):
    im = io.imread(path)
    if im.ndim == 2:
        im = np.stack([im] * 3 + [np.full_like(im, 255)], axis=-1)
    if im.shape[2] == 3:
        im = np.concatenate([im, np.full(im.shape[:2] + (1,), 255, im.dtype)], axis=-1)
    return im.astype(np.uint8)


def save_png(path, im):
    io.imsave(path, im, check_contrast=False)


def load_avg():
    return os.getloadavg()


# ---------------------------------------------------------------- scenes


def generator_hash(recipe, scale):
    h = hashlib.sha1(inspect.getsource(scenes).encode())
    h.update(repr(sorted(recipe.items())).encode())
    h.update(b"scale %d" % scale)
    return h.hexdigest()


def scene(recipe, out, scale=1):
    """Builds the scene, or loads it when the generator has not changed."""
    d = os.path.join(out, recipe["name"])
    os.makedirs(d, exist_ok=True)
    stamp = os.path.join(d, "scene.json")
    key = generator_hash(recipe, scale)
    frame_png, truth_npz = os.path.join(d, "frame.png"), os.path.join(d, "truth.npz")
    if os.path.exists(stamp) and os.path.exists(frame_png) and os.path.exists(truth_npz):
        with open(stamp) as f:
            if json.load(f).get("generator") == key:
                truth = dict(np.load(truth_npz))
                return d, io.imread(frame_png)[..., :3], truth
    frame, truth = scenes.build(recipe, scale)
    save_png(frame_png, frame)
    save_png(os.path.join(d, "alpha.png"), truth["alpha8"])
    np.savez_compressed(truth_npz, **truth)
    with open(stamp, "w") as f:
        json.dump({"generator": key}, f)
    return d, frame, truth


# ---------------------------------------------------------------- Mattix


def mattix_key_auto(mattix, d, project=None, extra=()):
    proj = os.path.join(d, "mattix.json")
    if project:
        shutil.copyfile(project, proj)
        said = f"project {project}"
    else:
        if os.path.exists(proj):
            os.remove(proj)
        said = run([mattix, "key", "auto", "--project", proj, os.path.join(d, "frame.png")])
        said = said.decode().strip()
    out = os.path.join(d, "mattix.png")
    run([mattix, "render", os.path.join(d, "frame.png"), "-o", out, "--project", proj,
         "--jobs", "1", "--force", *extra])
    return load_rgba(out), said


def oracle_mask(frame, alpha8, inout=False):
    """Buffer-row mask (209 x 241) of the median screen share per wheel pixel."""
    row, col = wheel.positions(frame)
    idx = (row * wheel.WIDTH + col).ravel()
    share = 1.0 - alpha8.ravel() / 255.0
    order = np.lexsort((share, idx))
    idx_s, share_s = idx[order], share[order]
    cells, start, count = np.unique(idx_s, return_index=True, return_counts=True)
    median = 0.5 * (share_s[start + (count - 1) // 2] + share_s[start + count // 2])
    weight = np.rint(median * 255) if not inout else np.where(median >= 0.5, 255.0, 0.0)
    mask = np.zeros(wheel.WIDTH * wheel.HEIGHT, dtype=np.uint8)
    mask[cells] = weight.astype(np.uint8)
    return mask.reshape(wheel.HEIGHT, wheel.WIDTH), row, col


def mattix_with_mask(mattix, d, name, buffer_mask, frame_png=None, jobs=1):
    """Renders with a mask alone: softness 0, spill 0, lightness window open."""
    proj = os.path.join(d, name + ".json")
    mask_png = os.path.join(d, name + "-mask.png")
    save_png(mask_png, wheel.to_picture(buffer_mask))
    run([mattix, "project", "new", "-o", proj, "--force", "--softness", "0", "--spill", "0",
         "--lightness", "0,0,100,100"])
    run([mattix, "mask", "import", mask_png, "--project", proj])
    out = os.path.join(d, name + ".png")
    run([mattix, "render", frame_png or os.path.join(d, "frame.png"), "-o", out, "--project",
         proj, "--jobs", str(jobs), "--force"])
    return load_rgba(out)


def oracle(mattix, d, frame, truth, inout):
    mask, row, col = oracle_mask(frame, truth["alpha8"], inout)
    name = "oracle-inout" if inout else "oracle"
    out = mattix_with_mask(mattix, d, name, mask)
    # The engine must key each pixel by the weight at the position computed here.
    predicted = 255 - mask[row, col].astype(np.int64)
    mismatches = int((predicted != out[..., 3]).sum())
    return out, mismatches


def verify_wheel(mattix, out):
    """All 2^24 colours through the engine with masks that code the buffer row
    and the column in the weight: alpha = 255 - weight gives the position the
    engine used, compared with wheel.positions."""
    d = os.path.join(out, "wheel-check")
    os.makedirs(d, exist_ok=True)
    v = np.arange(1 << 24, dtype=np.uint32)
    rgb = np.stack([(v >> 16) & 255, (v >> 8) & 255, v & 255], axis=-1).astype(np.uint8)
    rgb = rgb.reshape(4096, 4096, 3)
    frame_png = os.path.join(d, "all-colours.png")
    save_png(frame_png, rgb)
    rows = np.repeat(np.arange(wheel.HEIGHT, dtype=np.uint8)[:, None], wheel.WIDTH, axis=1)
    cols = np.repeat(np.arange(wheel.WIDTH, dtype=np.uint8)[None, :], wheel.HEIGHT, axis=0)
    jobs = 1
    got_row = 255 - mattix_with_mask(mattix, d, "rows", rows, frame_png, jobs)[..., 3].astype(int)
    got_col = 255 - mattix_with_mask(mattix, d, "cols", cols, frame_png, jobs)[..., 3].astype(int)
    row, col = wheel.positions(rgb)
    bad = (row != got_row) | (col != got_col)
    n = int(bad.sum())
    print(f"wheel positions of all {1 << 24} colours: {n} differ from the engine's")
    if n:
        for c in rgb[bad][:10]:
            p = wheel.positions(c[None, :])
            print(f"  rgb {tuple(int(x) for x in c)}: computed {int(p[0][0])},{int(p[1][0])}")
    shutil.rmtree(d)
    return n


# ---------------------------------------------------------------- FFmpeg


def ffmpeg_version():
    return run(["ffmpeg", "-version"]).decode().splitlines()[0]


def ffmpeg_batch(frame_png, chains, batch=48, alpha_only=False):
    """Each chain (after the frame's conversion to yuva444p) applied to the
    frame, in one ffmpeg run a batch; returns the rgba outputs, n x H x W x 4,
    or with alpha_only their alphas, n x H x W (the same bytes, 4 times faster)."""
    outs = []
    tail, fmt, depth = ("alphaextract", "gray", 1) if alpha_only else ("format=rgba", "rgba", 4)
    for i in range(0, len(chains), batch):
        part = chains[i:i + batch]
        n = len(part)
        if n == 1:
            graph = f"[0:v]format=yuva444p,{part[0]},{tail}[out]"
        else:
            graph = f"[0:v]format=yuva444p,split={n}" + "".join(f"[s{j}]" for j in range(n)) + ";"
            graph += ";".join(f"[s{j}]{c},{tail}[k{j}]" for j, c in enumerate(part)) + ";"
            graph += "".join(f"[k{j}]" for j in range(n)) + f"vstack=inputs={n}[out]"
        raw = run(["ffmpeg", "-v", "error", "-nostdin", "-i", frame_png, "-filter_complex", graph,
                   "-map", "[out]", "-frames:v", "1", "-f", "rawvideo", "-pix_fmt", fmt,
                   "pipe:1"])
        shape = (n, H, W, depth) if depth > 1 else (n, H, W)
        outs.append(np.frombuffer(raw, np.uint8).reshape(shape))
    return np.concatenate(outs)


def frame_yuv(frame_png):
    """The frame as FFmpeg's keyers see it (yuv444p, 8 bits)."""
    raw = run(["ffmpeg", "-v", "error", "-nostdin", "-i", frame_png, "-vf", "format=yuv444p",
               "-f", "rawvideo", "pipe:1"])
    return np.frombuffer(raw, np.uint8).reshape(3, H, W)


def score(alphas, truth_alpha):
    a = alphas.astype(np.float64) / 255.0
    d = a - truth_alpha[None]
    return np.abs(d).sum(axis=(1, 2)), (d**2).mean(axis=(1, 2))


class Search:
    """Settings of one FFmpeg keyer tried on one frame, each scored once."""

    def __init__(self, frame_png, truth_alpha, make_chain):
        self.frame_png, self.truth_alpha, self.make_chain = frame_png, truth_alpha, make_chain
        self.tried = {}

    def evaluate(self, settings):
        """Records (settings, sad, mse) of each setting, in order."""
        keys = [json.dumps(s, sort_keys=True) for s in settings]
        todo = {k: s for k, s in zip(keys, settings) if k not in self.tried}
        if todo:
            alphas = ffmpeg_batch(self.frame_png, [self.make_chain(s) for s in todo.values()],
                                  alpha_only=True)
            sads, mses = score(alphas, self.truth_alpha)
            for (k, s), e1, e2 in zip(todo.items(), sads, mses):
                self.tried[k] = dict(settings=s, sad=float(e1), mse=float(e2))
        return [self.tried[k] for k in keys]

    def best(self, key):
        return min(self.tried.values(), key=lambda r: r[key])

    def starts(self, colour_names, count=3):
        """Starting points of the compass searches: the best setting of each
        of the count key colours with the lowest SAD, and the setting of
        lowest MSE; each tagged with the error it is to lower (_key)."""
        best = {}
        for r in sorted(self.tried.values(), key=lambda r: r["sad"]):
            colour = tuple(r["settings"].get(n) for n in colour_names)
            best.setdefault(colour, r["settings"])
        out = [dict(s, _key="sad") for s in list(best.values())[:count]]
        return out + [dict(self.best("mse")["settings"], _key="mse")]

    def pattern(self, start, steps, limits, key, rounds=60):
        """Compass search from start: tries each setting one step up and down,
        moves to the best improvement, halves the steps when none improves.
        steps: name -> (first step, last step); integer steps stay integers;
        limits: name -> (low, high), or "turn" for a hue in degrees."""
        cur = self.evaluate([start])[0]
        step = {n: first for n, (first, _) in steps.items()}
        for _ in range(rounds):
            cands = []
            for n, st in step.items():
                for sign in (-1, 1):
                    v = cur["settings"][n] + sign * st
                    if limits[n] == "turn":
                        v = (v - 1e-3) % 360.0 + 1e-3
                    else:
                        v = min(max(v, limits[n][0]), limits[n][1])
                    v = int(v) if isinstance(st, int) else round(float(v), 5)
                    if v != cur["settings"][n]:
                        cands.append(dict(cur["settings"], **{n: v}))
            recs = self.evaluate(cands) if cands else []
            better = min(recs, key=lambda r: r[key]) if recs else None
            if better is not None and better[key] < cur[key]:
                cur = better
                continue
            if all(step[n] <= steps[n][1] for n in step):
                break
            step = {n: max(st // 2 if isinstance(st, int) else st / 2, steps[n][1])
                    for n, st in step.items()}
        return cur


SIMS = [0.01, 0.02, 0.03, 0.05, 0.07, 0.09, 0.12, 0.15, 0.19, 0.24, 0.3, 0.4]
BLENDS = [0.0, 0.005, 0.01, 0.02, 0.04, 0.06, 0.09, 0.13, 0.18, 0.25, 0.35]


def chromakey_chain(s):
    if "u" in s:  # the key colour as Y, U, V
        colour = f"0x{s['y']:02X}{s['u']:02X}{s['v']:02X}:yuv=1"
    else:
        colour = f"0x{s['r']:02X}{s['g']:02X}{s['b']:02X}"
    return f"chromakey=color={colour}:similarity={s['similarity']}:blend={s['blend']}"


def hsvkey_chain(s):
    return (f"hsvkey=hue={s['hue']:.3f}:sat={s['sat']:.4f}:val={s['val']:.4f}"
            f":similarity={s['similarity']}:blend={s['blend']}")


def despill_chain(s):
    return (chromakey_chain(s["key"]) + f",format=rgba,despill=type={s['type']}"
            f":mix={s['mix']}:expand={s['expand']}")


def hsv_of_yuv(y, u, v):
    """hsvkey's hue option, saturation and value for a pixel Y, U, V (its own
    formulas: sat = |UV - 127.5| / (127.5 sqrt 2), val = Y / 255, and the hue
    option h whose internal angle pi fmod(526 - h, 360) / 180 is atan2(u, v) + pi)."""
    uf, vf = u - 127.5, v - 127.5
    angle = np.degrees(np.arctan2(uf, vf) + np.pi)
    hue = (526.0 - angle) % 360.0
    return (round(float(hue if hue > 0 else 360.0), 3), round(float(np.hypot(uf, vf)
            / (127.5 * np.sqrt(2))), 4), round(float(y / 255.0), 4))


def peers_search(d, frame, truth):
    """Searches of the peers' settings on one scene, cached in the scene's
    folder: a coarse grid, then a compass search from its best, for the
    lowest SAD and (separately) the lowest MSE."""
    frame_png = os.path.join(d, "frame.png")
    alpha8 = truth["alpha8"]
    truth_alpha = alpha8 / 255.0
    h = hashlib.sha1(frame.tobytes() + alpha8.tobytes() + truth["fg"].tobytes())
    h.update((GRID_VERSION + ffmpeg_version()).encode())
    cache = os.path.join(d, "peers.json")
    if os.path.exists(cache):
        with open(cache) as f:
            c = json.load(f)
        if c.get("key") == h.hexdigest():
            return c
    bg = alpha8 == 0
    med_rgb = [int(x) for x in np.median(frame[bg], axis=0).round()]
    yuv = frame_yuv(frame_png)
    med_yuv = [int(round(float(np.median(p[bg])))) for p in yuv]
    result = dict(key=h.hexdigest(), screen_rgb=med_rgb, screen_yuv=med_yuv)

    # chromakey: a coarse grid of similarity and blend with the key colour at
    # the screen's median RGB (what a user picks) and at the median Y, U, V
    # the filter sees, and a sparser one with U and V moved by 20; then compass searches of
    # the colour (R, G, B or U, V), similarity and blend from the best three
    # key colours for SAD and the best one for MSE.
    ck = Search(frame_png, truth_alpha, chromakey_chain)
    r, g, b = med_rgb
    y, u, v = med_yuv
    ck.evaluate([dict(r=r, g=g, b=b, similarity=s, blend=b2) for s in SIMS for b2 in BLENDS])
    ck.evaluate([dict(y=y, u=u, v=v, similarity=s, blend=b2) for s in SIMS for b2 in BLENDS])
    ck.evaluate([dict(y=y, u=min(max(u + du, 0), 255), v=min(max(v + dv, 0), 255),
                      similarity=s, blend=b2)
                 for du in (-20, 0, 20) for dv in (-20, 0, 20)
                 for s in (0.02, 0.04, 0.07, 0.1, 0.15, 0.2) for b2 in (0.02, 0.05, 0.09, 0.14, 0.2)])
    level = dict(similarity=(0.03, 0.001), blend=(0.03, 0.001))
    level_limits = dict(similarity=(0.01, 1.0), blend=(0.0, 1.0))
    for start in ck.starts(("r", "g", "b", "u", "v")):
        key = start.pop("_key")
        names = ("r", "g", "b") if "r" in start else ("u", "v")
        ck.pattern(start, dict(level, **{n: (8, 1) for n in names}),
                   dict(level_limits, **{n: (0, 255) for n in names}), key)
    result["chromakey"] = list(ck.tried.values())
    log(f"    chromakey: {len(ck.tried)} settings tried")

    # hsvkey: a coarse grid of saturation, value, similarity and blend with
    # the hue of the screen's median colour, then compass searches of all
    # five from the best three key colours for SAD and the best one for MSE.
    hk = Search(frame_png, truth_alpha, hsvkey_chain)
    hue0, sat0, val0 = hsv_of_yuv(*med_yuv)
    hk.evaluate([dict(hue=hue0, sat=sat, val=val, similarity=s, blend=b2)
                 for sat in sorted({sat0, 0.6, 0.8, 1.0}) for val in (val0, min(val0 + 0.15, 1.0))
                 for s in (0.01, 0.03, 0.06, 0.1, 0.15, 0.2, 0.3)
                 for b2 in (0.0, 0.02, 0.05, 0.1, 0.2, 0.35)])
    steps = dict(hue=(12.0, 0.5), sat=(0.16, 0.005), val=(0.12, 0.005),
                 similarity=(0.04, 0.001), blend=(0.06, 0.001))
    limits = dict(hue="turn", sat=(0.0, 1.0), val=(0.0, 1.0), similarity=(1e-4, 1.0),
                  blend=(0.0, 1.0))
    for start in hk.starts(("hue", "sat", "val")):
        key = start.pop("_key")
        hk.pattern(start, steps, limits, key)
    result["hsvkey"] = list(hk.tried.values())
    log(f"    hsvkey: {len(hk.tried)} settings tried")

    # despill after chromakey's best alpha: its mix and expand chosen for the
    # colour error (despill leaves alpha as it is).
    key = ck.best("sad")["settings"]
    kind = "blue" if int(truth["screen_channel"]) == 2 else "green"
    settings = [dict(key=key, type=kind, mix=m, expand=e)
                for m in (0.0, 0.25, 0.5, 0.75, 1.0) for e in (0.0, 0.25, 0.5, 0.75, 1.0)]
    outs = ffmpeg_batch(frame_png, [despill_chain(s) for s in settings])
    errs = [metrics.colour_error(o[..., :3], truth["fg"], truth_alpha) for o in outs]
    result["chromakey+despill"] = [dict(settings=s, colour=float(e)) for s, e in zip(settings, errs)]
    log(f"    despill: {len(settings)} settings tried")
    with open(cache, "w") as f:
        json.dump(result, f)
    return result


def peer_outputs(d, search):
    """The peers' outputs at their best settings: for SAD (all measures) and
    the lowest MSE of the grid."""
    frame_png = os.path.join(d, "frame.png")
    best = {}
    for name, chain in (("chromakey", chromakey_chain), ("hsvkey", hsvkey_chain)):
        by_sad = min(search[name], key=lambda r: r["sad"])
        by_mse = min(search[name], key=lambda r: r["mse"])
        best[name] = dict(settings=by_sad["settings"], chain=chain(by_sad["settings"]),
                          best_mse=by_mse["mse"], mse_settings=by_mse["settings"])
    ds = min(search["chromakey+despill"], key=lambda r: r["colour"])
    best["chromakey+despill"] = dict(settings=ds["settings"], chain=despill_chain(ds["settings"]),
                                     best_mse=best["chromakey"]["best_mse"])
    outs = ffmpeg_batch(frame_png, [best[n]["chain"] for n in PEERS])
    for n, o in zip(PEERS, outs):
        best[n]["out"] = o
        save_png(os.path.join(d, n + ".png"), o)
    return best


# ---------------------------------------------------------------- measures


def measure(out, truth, scale=1):
    """The measures of a keyed frame; sums per 480 x 360 of frame."""
    per = 1000.0 * scale * scale  # sums in thousands, per 480 x 360
    alpha8 = truth["alpha8"]
    t = alpha8 / 255.0
    a = out[..., 3].astype(np.float64) / 255.0
    rgb = out[..., :3]
    band = (alpha8 > 0) & (alpha8 < 255)
    opaque = alpha8 == 255
    edge = opaque & (truth["spill"] > 0)
    ch = int(truth["screen_channel"])
    means, sems = metrics.ramp_profile(a, tuple(int(x) for x in truth["ramp_box"]))
    grad = metrics.gradient_error_map(a, t)
    conn = metrics.connectivity_error_map(a, t)
    return dict(
        sad=metrics.sad(a, t) / per, sad_band=metrics.sad(a, t, band) / per,
        mse=metrics.mse(a, t) * 1000, mse_band=metrics.mse(a, t, band) * 1000,
        grad=grad.sum() / per, grad_band=grad[band].sum() / per,
        conn=conn.sum() / per, conn_band=conn[band].sum() / per,
        colour=metrics.colour_error(rgb, truth["fg"], t),
        cast=metrics.cast_excess(rgb, truth["fg"], ch, opaque),
        cast_edge=metrics.cast_excess(rgb, truth["fg"], ch, edge),
        glass=float(a[truth["glass_inner"]].mean()),
        ramp=metrics.ramp_reversals(means, sems),
        backdrop=metrics.backdrop_left(a, t), holes=metrics.holes(a, t),
        inner_holes=metrics.inner_holes(a, t),
    )


# ---------------------------------------------------------------- report


def sample_report(mattix, samplegen, out, extra=()):
    """The shipped sample (scripts/demo's input) keyed with the shipped
    project and with `key auto`, against its true alpha and its subject's
    true colour: the matte's error and the screen's cast left on the opaque
    pixels that the spill reached (the band inside the outline, the rim of
    the face), in levels of the screen channel less the larger other one,
    beyond the true colour's, and the mean |RGB - true colour| there."""
    d = os.path.join(out, "sample")
    os.makedirs(d, exist_ok=True)
    pic, alpha_png, fg_png = (os.path.join(d, n) for n in ("frame.png", "alpha.png", "fg.png"))
    run([samplegen, "--scene", "green", pic, alpha_png, fg_png])
    truth = io.imread(alpha_png).astype(np.float64) / 255
    frame, fg = load_rgba(pic)[..., :3], load_rgba(fg_png)[..., :3]
    spilled = (truth == 1) & (frame != fg).any(axis=2)
    repo = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    auto = os.path.join(d, "auto.json")
    if os.path.exists(auto):
        os.remove(auto)
    run([mattix, "key", "auto", "--project", auto, pic])
    rows = []
    auto_label = "`key auto`" + (" `%s`" % " ".join(extra) if extra else "")
    for name, project, more in (
            ("shipped project (samples/key.json)", os.path.join(repo, "samples", "key.json"), ()),
            (auto_label, auto, extra)):
        keyed_png = os.path.join(d, "keyed-%d.png" % len(rows))
        run([mattix, "render", pic, "-o", keyed_png, "--project", project, "--force", *more])
        keyed = load_rgba(keyed_png)
        a = keyed[..., 3].astype(np.float64) / 255
        cast = metrics.screen_cast(keyed[..., :3], 1) - metrics.screen_cast(fg, 1)
        c = cast[spilled]
        colour = np.abs(keyed[..., :3].astype(np.float64) - fg).mean(axis=2)[spilled]
        rows.append([name, "%.2f" % (np.abs(a - truth).sum() / 1000), "%.3f" % (((a - truth) ** 2).mean() * 1000),
                     "%.1f" % c.mean(), "%.1f" % np.percentile(c, 99), "%.1f" % c.max(),
                     "%.1f" % (100.0 * (c > 2).mean()), "%.2f" % colour.mean()])
    head = ["key", "SAD (k)", "MSE (x1e-3)", "cast mean", "cast 99th pct", "cast max",
            "% above 2 levels", "colour error"]
    return ("The shipped sample (480 x 320, %d opaque pixels reached by the spill), rendered "
            "against its true alpha and its subject's true colour:\n\n" % int(spilled.sum())
            + table(rows, head))


def table(rows, header):
    lines = ["| " + " | ".join(header) + " |", "|" + "---|" * len(header)]
    lines += ["| " + " | ".join(r) + " |" for r in rows]
    return "\n".join(lines)


def side_by_side(path, panels, labels):
    strip = np.concatenate([p if p.ndim == 3 else np.stack([p] * 3, -1) for p in panels], axis=1)
    os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    with tempfile.TemporaryDirectory() as tmp:
        raw = os.path.join(tmp, "strip.png")
        save_png(raw, strip.astype(np.uint8))
        font = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"
        labels = [t.replace(":", " ").replace("'", " ") for t in labels]  # filter syntax
        draws = ",".join(
            f"drawtext=fontfile={font}:text='{t}':x={i * panels[0].shape[1] + 8}:y=8:fontsize=16:fontcolor=white"
            ":box=1:boxcolor=black@0.6:boxborderw=4" for i, t in enumerate(labels))
        try:
            run(["ffmpeg", "-v", "error", "-nostdin", "-y", "-i", raw, "-vf", draws, path])
        except RuntimeError as e:
            log(f"labels not drawn ({str(e).strip().splitlines()[-1]})")
            shutil.copyfile(raw, path)


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    p.add_argument("--mattix", default="build/host/cli/mattix", help="the mattix command")
    p.add_argument("--out", default="build/matte-bench", help="output and cache folder")
    p.add_argument("--only", default="all",
                   help="comma list of oracle, mattix, peers (default all)")
    p.add_argument("--project", help="render Mattix with this project instead of key auto")
    p.add_argument("--render-args", default="",
                   help="more options for Mattix's render after key auto's project, "
                   "e.g. \"--close-holes 70\" (the row is labelled with them)")
    p.add_argument("--scenes", help="comma list of scene numbers or names (default all)")
    p.add_argument("--scale", type=int, default=1, choices=range(1, 9), metavar="N",
                   help="the shots sampled N times finer (Mattix and the oracle only)")
    p.add_argument("--worst", help="side-by-side picture of Mattix's worst scene "
                   "(default OUT/matte-worst.png)")
    p.add_argument("--table", help="Markdown tables written here (default OUT/matte-table.md)")
    p.add_argument("--self-test", action="store_true", help="check the measures and exit")
    p.add_argument("--sample", metavar="SAMPLEGEN",
                   help="also measure the shipped sample, made by this mattix_samplegen")
    p.add_argument("--verify-wheel", action="store_true",
                   help="check the wheel positions of all colours against the engine and exit")
    args = p.parse_args()

    if args.self_test:
        failures = metrics.self_test() + wheel_self_test()
        print("self-test:", "all measures pass" if not failures else f"{failures} failure(s)")
        return 1 if failures else 0
    mattix = os.path.abspath(args.mattix)
    if not os.access(mattix, os.X_OK):
        log(f"{args.mattix} is missing: build it (cmake --build BUILD --target mattix_command mattix)")
        return 1
    out = os.path.abspath(args.out)
    os.makedirs(out, exist_ok=True)
    if args.verify_wheel:
        return 1 if verify_wheel(mattix, out) else 0
    if not shutil.which("ffmpeg"):
        log("ffmpeg is missing: apt-get install ffmpeg")
        return 1

    only = {"oracle", "mattix", "peers"} if args.only == "all" else set(args.only.split(","))
    unknown = only - {"oracle", "mattix", "peers"}
    if unknown:
        log(f"--only: unknown {', '.join(sorted(unknown))}")
        return 2
    if args.scale > 1 and "peers" in only:
        log("--scale: the peers' searches run at scale 1 only; add --only mattix or mattix,oracle")
        return 2
    if args.scale > 1:
        out = os.path.join(out, f"scale-{args.scale}")
    recipes = scenes.SCENES
    if args.scenes:
        wanted = args.scenes.split(",")
        recipes = [s for i, s in enumerate(scenes.SCENES, 1) if str(i) in wanted or s["name"] in wanted]
    start = time.time()
    load_start = load_avg()
    methods = []
    if "oracle" in only:
        methods += ["oracle", "oracle-inout"]
    if "mattix" in only:
        methods.append("mattix")
    if "peers" in only:
        methods += PEERS
    label = dict(LABELS)
    if args.project:
        label["mattix"] = f"Mattix with {os.path.basename(args.project)}"
    extra = args.render_args.split()
    if extra:
        label["mattix"] += f" `{args.render_args}`"

    results = {}  # scene name -> method -> measures
    outputs = {}
    notes = []
    for recipe in recipes:
        t0 = time.time()
        log(f"{recipe['title']}")
        d, frame, truth = scene(recipe, out, args.scale)
        res, outs = {}, {}
        if "oracle" in only:
            for inout in (False, True):
                name = "oracle-inout" if inout else "oracle"
                o, bad = oracle(mattix, d, frame, truth, inout)
                if bad:
                    notes.append(f"{recipe['title']}: {name}: {bad} pixels keyed otherwise than "
                                 "the mask predicts (wheel mapping off)")
                res[name], outs[name] = measure(o, truth, args.scale), o
        if "mattix" in only:
            try:
                o, said = mattix_key_auto(mattix, d, args.project, extra)
                log(f"    mattix: {said}")
                res["mattix"], outs["mattix"] = measure(o, truth, args.scale), o
            except RuntimeError as e:  # a refusal of key auto counts as a failed scene
                log(f"    mattix failed: {e}")
                notes.append(f"{recipe['title']}: Mattix failed: {str(e).strip()}")
        if "peers" in only:
            search = peers_search(d, frame, truth)
            best = peer_outputs(d, search)
            for n in PEERS:
                res[n] = measure(best[n]["out"], truth)
                res[n]["mse_best"] = best[n]["best_mse"] * 1000
                res[n]["settings"] = best[n]["chain"]
                outs[n] = best[n]["out"]
        results[recipe["name"]] = res
        outputs[recipe["name"]] = (frame, truth, outs)
        log(f"    {time.time() - t0:.1f} s")

    elapsed = time.time() - start
    load_end = load_avg()
    titles = [s["title"] for s in recipes]
    names = [s["name"] for s in recipes]

    def cells(method, key, fmt):
        return [fmt % results[n][method][key] if method in results[n] else "-" for n in names]

    text = []
    size = "%d x %d" % (W * args.scale, H * args.scale)
    per = ", sums per 480 x 360 of frame" if args.scale > 1 else ""
    text.append(f"Matte error against the true alpha on five {size} scenes "
                f"(bench/matte/matte_bench.py{per}). FFmpeg's keyers: settings searched against "
                "the true alpha, their best, which no user gets.\n")
    text.append("Sum of absolute differences of alpha (0..1), in thousands, whole frame:\n")
    text.append(table([[label[m]] + cells(m, "sad", "%.2f") for m in methods],
                      ["SAD (k)"] + titles))
    text.append("\nMean squared error of alpha, x 1e-3, whole frame (peers: the lowest MSE "
                "of their grid, which may be another setting than their best SAD):\n")
    text.append(table([[label[m]] + cells(m, "mse_best" if m in PEERS else "mse", "%.3f")
                       for m in methods], ["MSE (x1e-3)"] + titles))
    detail = []
    for recipe in recipes:
        for m in methods:
            r = results[recipe["name"]].get(m)
            if r is None:
                continue
            detail.append([recipe["title"].split(" ")[0], label[m]] + [
                "%.2f" % r["sad_band"], "%.2f" % r["mse_band"], "%.2f" % r["grad"],
                "%.2f" % r["grad_band"], "%.2f" % r["conn"], "%.2f" % r["conn_band"],
                "%.1f" % r["colour"], "%.1f" % r["cast"], "%.1f" % r["cast_edge"],
                "%.3f" % r["glass"], "%d" % r["ramp"], "%.2f" % r["backdrop"], "%.2f" % r["holes"],
                "%.2f" % r["inner_holes"]])
    text.append("\nDetails (peers at their best SAD setting). Band: 0 < true alpha < 1. "
                "Gradient and connectivity errors in thousands; colour: mean |RGB - true "
                "foreground| weighted by true alpha, levels; cast: screen channel less the "
                "larger other one, minus the true foreground's, levels, on opaque pixels and on "
                "the opaque pixels the spill reached; pane: mean alpha (true 0.502); ramp: columns "
                "below an earlier column beyond noise (0: monotonic); backdrop left: % of "
                "true-0 pixels above 0.1; holes: % of true-1 pixels below 0.9; inner: the same "
                "% for the true-1 pixels not beside the subject's edge (no neighbour below 1).\n")
    text.append(table(detail, ["scene", "key", "SAD band", "MSE band", "grad", "grad band",
                               "conn", "conn band", "colour", "cast", "cast edge", "pane",
                               "ramp rev.", "backdrop %", "holes %", "inner holes %"]))
    if "mattix" in only and "peers" in only:
        rows = []
        for recipe in recipes:
            r = results[recipe["name"]]
            if "mattix" not in r:
                rows.append([recipe["title"].split(" ")[0]] + ["**failed**"] * 6)
                continue
            m = r["mattix"]
            peer_sad = min(r[n]["sad"] for n in PEERS)
            peer_mse = min(r[n]["mse_best"] for n in PEERS)
            yes = lambda ok: "yes" if ok else "**no**"  # noqa: E731
            rows.append([recipe["title"].split(" ")[0],
                         yes(m["sad"] < peer_sad) + " (%.2f / %.2f)" % (m["sad"], peer_sad),
                         yes(m["mse"] < peer_mse) + " (%.3f / %.3f)" % (m["mse"], peer_mse),
                         yes(abs(m["glass"] - truth_glass()) <= 0.05) + " (%.3f)" % m["glass"],
                         yes(m["ramp"] == 0) + " (%d)" % m["ramp"],
                         yes(m["backdrop"] < 0.1) + " (%.2f %%)" % m["backdrop"],
                         yes(m["holes"] < 0.1) + " (%.2f %%)" % m["holes"]])
        text.append(f"\nTargets, {label['mattix']}:\n")
        text.append(table(rows, ["scene", "SAD < best peer", "MSE < best peer",
                                 "pane within 0.05", "ramp monotonic", "backdrop < 0.1 %",
                                 "holes < 0.1 %"]))
    if "peers" in only:
        text.append("\nPeers' settings (best SAD):\n")
        for recipe in recipes:
            for n in PEERS:
                text.append(f"- {recipe['title']}, {n}: `{results[recipe['name']][n]['settings']}`")
    text += ["\n" + n for n in notes]
    if args.sample:
        text.append("\n" + sample_report(mattix, os.path.abspath(args.sample), out, extra))
    text.append(f"\nLoad average (1, 5, 15 min): {' '.join('%.2f' % x for x in load_start)} at the "
                f"start, {' '.join('%.2f' % x for x in load_end)} at the end, {os.cpu_count()} "
                f"processors; run took {elapsed:.1f} s.")
    report = "\n".join(text) + "\n"
    print(report)
    table_path = args.table or os.path.join(out, "matte-table.md")
    with open(table_path, "w") as f:
        f.write(report)
    log(f"tables: {table_path}")

    keyed = [n for n in names if "mattix" in results[n]]
    if keyed:
        worst = max(keyed, key=lambda n: results[n]["mattix"]["sad"])
        frame, truth, outs = outputs[worst]
        panels = [frame, truth["alpha8"], outs["mattix"][..., 3]]
        labels = ["frame", "true alpha", "Mattix (SAD %.2f k)" % results[worst]["mattix"]["sad"]]
        if "peers" in only:
            peer = min(["chromakey", "hsvkey"], key=lambda n: results[worst][n]["sad"])
            panels.append(outs[peer][..., 3])
            labels.append("best peer, %s (SAD %.2f k)" % (peer, results[worst][peer]["sad"]))
        path = args.worst or os.path.join(out, "matte-worst.png")
        side_by_side(path, panels, labels)
        log(f"worst scene for Mattix ({worst}) side by side: {path}")
    return 0


def wheel_self_test():
    """Wheel positions worked out by hand: red (hue 0, saturation 1) at row
    trunc(104.5), column trunc(240.5); green (hue 1/3) at row
    trunc((sin 120 deg + 1) 104 + 0.5) = 194, column trunc(0.5 x 120 + 0.5) = 60;
    greys at 120, 120."""
    rgb = np.array([[255, 0, 0], [0, 255, 0], [128, 128, 128], [0, 0, 0]], dtype=np.uint8)
    row, col = wheel.positions(rgb)
    want = ([104, 194, 120, 120], [240, 60, 120, 120])
    if row.tolist() == want[0] and col.tolist() == want[1]:
        return 0
    print(f"FAIL wheel positions: got {row.tolist()}, {col.tolist()}, want {want}")
    return 1


def truth_glass():
    return scenes.GLASS_ALPHA8 / 255.0


if __name__ == "__main__":
    sys.exit(main())
