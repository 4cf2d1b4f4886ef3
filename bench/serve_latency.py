#!/usr/bin/python3
"""How long the keyer page waits: a client that drives a running `mattix serve`
as the page does, on a 1920 x 1080 frame, and times its requests.

  serve_latency.py [--mattix build/host/cli/mattix] [--frame F.png] [--rounds 20]

Without --frame the frame is the shipped sample scaled to 1920 x 1080 with
ffmpeg. Times are wall clock from the first byte of an action's request to
the last byte of the new picture, over one kept-alive connection as the page
uses (the page's own drawing afterwards is not counted):

  Auto key               POST /api/auto (key auto on the frame shown)
  mouse-up to picture    POST /api/pointer?kind=up (the end of a lasso drag on
                         the wheel), then GET /api/view of the picture shown
  slider to picture      POST /api/number (a Softness value), then GET /api/view

for the pictures a view asks for: the whole frame at full resolution (scale
1, 8 MB), the part of it a 100 % view of 900 x 660 screen pixels asks for
(1350 x 990, the view's region widened by a quarter each side) and the whole
frame at the fitted view's scale (2: 960 x 540). Each with the finishing key
auto chose (despill, clip levels), and with shrink/grow and feather too.
Medians and 95th percentiles in milliseconds; the server's processor time
(all its threads) for a slider change and its picture, the mean of the
rounds, which the machine's load does not inflate as it does wall time; the
machine's load before and after.
"""

import argparse
import http.client
import math
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time


def load():
    with open("/proc/loadavg") as f:
        return " ".join(f.read().split()[:3])


class Keyer:
    """A running `mattix serve` and a kept-alive connection to it."""

    def __init__(self, mattix, frame, work):
        self.process = subprocess.Popen(
            [mattix, "serve", frame, "--project", os.path.join(work, "key.json"), "--port", "0"],
            stdout=subprocess.PIPE,
            text=True,
        )
        line = self.process.stdout.readline()
        match = re.search(r"http://127\.0\.0\.1:(\d+)/\?token=([0-9a-f]+)", line)
        if not match:
            self.process.kill()
            sys.exit("mattix serve did not print its address: " + line)
        self.port, self.token = int(match.group(1)), match.group(2)
        self.connection = http.client.HTTPConnection("127.0.0.1", self.port)

    def request(self, method, path, body=None):
        self.connection.request(method, path, body=body, headers={"X-Token": self.token})
        response = self.connection.getresponse()
        data = response.read()
        if response.status not in (200, 204):
            sys.exit(f"{method} {path}: {response.status} {data[:300]!r}")
        return response, data

    def cpu_ms(self):
        """The server's processor time so far (user and system, all threads)."""
        with open(f"/proc/{self.process.pid}/stat") as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return 1000.0 * (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")

    def close(self):
        self.connection.close()
        self.process.terminate()
        self.process.wait()


def wheel_point(degrees, saturation):
    """A point of the wheel's control: centre (120, 104), half axes 120 and 104."""
    a = math.radians(degrees)
    return round(120 + saturation * 120 * math.cos(a)), round(104 - saturation * 104 * math.sin(a))


def lasso(keyer, inner):
    """A loop around the wheel's greens, in to saturation `inner` (so that
    each round's key differs); returns its last point, for the release."""
    loop = [wheel_point(h, 1.2) for h in range(85, 166, 8)]
    loop += [wheel_point(h, inner) for h in range(165, 84, -8)]
    for i, (x, y) in enumerate(loop):
        kind = "down" if i == 0 else "move"
        keyer.request("POST", f"/api/pointer?control=wheel&kind={kind}&x={x}&y={y}")
    return loop[-1]


def timed(rounds, f):
    times = []
    for _ in range(rounds):
        start = time.perf_counter()
        f()
        times.append(1000 * (time.perf_counter() - start))
    times.sort()
    return statistics.median(times), times[min(len(times) - 1, int(0.95 * len(times)))]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--mattix", default="build/host/cli/mattix")
    parser.add_argument("--frame")
    parser.add_argument("--rounds", type=int, default=20)
    args = parser.parse_args()
    work = tempfile.mkdtemp(prefix="mattix-serve-bench-")
    keyer = None
    try:
        frame = args.frame
        if not frame:
            if not shutil.which("ffmpeg"):
                sys.exit("ffmpeg is missing (apt-get install ffmpeg), or give --frame")
            frame = os.path.join(work, "frame.png")
            sample = os.path.join(os.path.dirname(__file__), "..", "samples", "greenscreen.png")
            subprocess.run(
                ["ffmpeg", "-v", "error", "-i", sample, "-vf", "scale=1920:1080", "-y", frame],
                check=True,
            )
        print(f"load before: {load()}   processors: {os.cpu_count()}   frame: {frame}")
        keyer = Keyer(args.mattix, frame, work)

        # The page shows its controls and the frame before its Auto key
        # button can be pressed: those requests come first, untimed.
        keyer.request("GET", "/api/controls")
        keyer.request("GET", "/api/view?x=0&y=0&w=1920&h=1080&scale=2")
        cpu = keyer.cpu_ms()
        auto = timed(5, lambda: keyer.request("POST", "/api/auto"))
        print(
            f"Auto key: median {auto[0]:.0f} ms, 95th percentile {auto[1]:.0f} ms, "
            f"server processor time {(keyer.cpu_ms() - cpu) / 5:.0f} ms a key (5 rounds)"
        )

        views = [
            ("whole frame, scale 1 (1920 x 1080)", "/api/view?x=0&y=0&w=1920&h=1080&scale=1"),
            ("100 % view, scale 1 (1350 x 990)", "/api/view?x=285&y=45&w=1350&h=990&scale=1"),
            ("fitted view, scale 2 (960 x 540)", "/api/view?x=0&y=0&w=1920&h=1080&scale=2"),
        ]
        finishings = [
            ("key auto's finishing", []),
            ("and shrink/grow -1.5, feather 1.5", ["shrinkGrow=-1.5", "feather=1.5"]),
        ]
        print()
        print("| picture | finishing | mouse-up to picture | slider to picture | server CPU |")
        print("|---|---|---|---|---|")
        for finishing, settings in finishings:
            for setting in settings:
                name, value = setting.split("=")
                keyer.request("POST", f"/api/number?name={name}&value={value}")
            for label, view in views:
                keyer.request("GET", view)  # the view's first render, as the page has one

                def mouse_up():
                    x, y = end
                    keyer.request("POST", f"/api/pointer?control=wheel&kind=up&x={x}&y={y}")
                    keyer.request("GET", view)

                cpu = keyer.cpu_ms()
                up = []
                for r in range(args.rounds):
                    end = lasso(keyer, 0.10 + 0.01 * (r % 5))
                    up.append(timed(1, mouse_up)[0])
                up.sort()
                softness = iter(range(10**6))

                def slider():
                    value = 10 + next(softness) % 20
                    keyer.request("POST", f"/api/number?name=softness&value={value}")
                    keyer.request("GET", view)

                mid = keyer.cpu_ms()
                slide = timed(args.rounds, slider)
                print(
                    f"| {label} | {finishing} | {statistics.median(up):.1f} / "
                    f"{up[min(len(up) - 1, int(0.95 * len(up)))]:.1f} ms | "
                    f"{slide[0]:.1f} / {slide[1]:.1f} ms | "
                    f"{(keyer.cpu_ms() - mid) / args.rounds:.0f} ms |"
                )
        print()
        print(f"(median / 95th percentile of {args.rounds} rounds; load after: {load()})")
    finally:
        if keyer:
            keyer.close()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
