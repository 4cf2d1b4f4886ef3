// The keyer end to end in Debian's Chromium: open the page (its address
// with the session's token) on the sample; press Auto key and see the
// backdrop go, and undo it; drag a loop around the green hues on the wheel
// with the mouse and see the backdrop turn transparent; check that one drag
// of the lasso, of a bar handle and of a slider (the effect's and the
// finishing's) is one undo step; pick a colour on the zoomed frame and
// undo it; draw a garbage shape on the picture and remove it; lay the views
// side by side; keep the page answering while slow and flooding clients
// hold connections; save, and key the sample with the saved project
// through `mattix render`. Screenshots go to OUTDIR (keyer.png is the
// README's).
//
//   node keyer.test.mjs MATTIX SAMPLE.png OUTDIR
//
// Exit status 77 (skipped) when Chromium or playwright-core is missing.
import { spawn, spawnSync } from "node:child_process";
import fs from "node:fs";
import net from "node:net";
import os from "node:os";
import path from "node:path";

const SKIP = 77;
const chromiumPath = "/usr/bin/chromium";
const [mattix, sample, outDir] = process.argv.slice(2);
const skip = (why) => {
  console.log("SKIPPED: " + why);
  process.exit(SKIP);
};
if (!fs.existsSync(chromiumPath)) skip(`${chromiumPath} is missing (apt-get install chromium)`);
const { chromium } = await import("playwright-core").catch(() =>
  skip("playwright-core is missing (npm ci at the top of the tree)"),
);

const work = fs.mkdtempSync(path.join(os.tmpdir(), "mattix-keyer-"));
const project = path.join(work, "key.json");
fs.mkdirSync(outDir, { recursive: true });
let server, context;
const sockets = [];

const check = (condition, message) => {
  if (!condition) throw new Error(message);
};
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

// Polls f until it returns a truthy value; fails after ms.
async function until(f, message, ms = 8000) {
  for (const end = Date.now() + ms; !(await f()); await sleep(50))
    check(Date.now() < end, "timed out: " + message);
}

// A control point of hue `degrees` and saturation s on the wheel (centre
// (120, 104), half-axes 120 and 104, hue counter-clockwise from the right).
const onWheel = (degrees, s) => {
  const a = (degrees * Math.PI) / 180;
  return [Math.round(120 + s * 120 * Math.cos(a)), Math.round(104 - s * 104 * Math.sin(a))];
};

const median = (v, q) =>
  [...v].sort((a, b) => a - b)[Math.min(v.length - 1, Math.floor(q * v.length))];

try {
  server = spawn(mattix, ["serve", sample, "--project", project, "--port", "0"], {
    stdio: ["ignore", "pipe", "inherit"],
  });
  const url = await new Promise((resolve, reject) => {
    let text = "";
    server.stdout.on("data", (d) => {
      text += d;
      const m = text.match(/http:\/\/127\.0\.0\.1:\d+\/\?token=[0-9a-f]{48}/);
      if (m) resolve(m[0]);
    });
    server.on("exit", (code) => reject(new Error(`mattix serve ended (status ${code}): ${text}`)));
  });
  const origin = url.slice(0, url.indexOf("/?"));
  const port = +new URL(url).port;

  context = await chromium.launchPersistentContext(fs.mkdtempSync(path.join(work, "profile-")), {
    executablePath: chromiumPath,
    headless: true,
    viewport: { width: 1200, height: 760 },
    args: [
      "--headless",
      "--no-sandbox",
      "--disable-gpu",
      "--disable-quic",
      "--no-first-run",
      "--disable-background-networking",
      "--disable-component-update",
      "--disable-sync",
    ],
  });
  const page = context.pages()[0] ?? (await context.newPage());
  const requests = [];
  page.on("request", (r) => requests.push(r.url()));
  page.on("pageerror", (e) => console.error("page error: " + e.message));
  await page.goto(url);
  const keyer = (f, arg) => page.evaluate(f, arg);
  const alpha = (x, y) => keyer(([x, y]) => window.keyer.alphaAt(x, y), [x, y]);
  const state = () => keyer(() => window.keyer.state);
  const idle = () => until(() => keyer(() => window.keyer.idle), "the page's requests");
  await until(async () => (await alpha(6, 6)) === 255, "the first view, unkeyed");

  // A drag over a control, in its own pixels (the page shows it larger by
  // a whole factor).
  async function drag(id, points, size) {
    const box = await page.locator(id).boundingBox();
    const at = ([x, y]) => [
      box.x + ((x + 0.5) * box.width) / size[0],
      box.y + ((y + 0.5) * box.height) / size[1],
    ];
    await page.mouse.move(...at(points[0]));
    await page.mouse.down();
    for (const p of points.slice(1)) await page.mouse.move(...at(p), { steps: 2 });
    await idle();
  }
  // One undo takes the whole drag back, and there is no step before it.
  async function oneUndoStep(what, restored) {
    await page.keyboard.press("Control+z");
    await idle();
    const s = await state();
    check(!s.canUndo, `${what}: more than one undo step`);
    check(restored(s), `${what}: undo did not take it back`);
  }

  // Auto key: the screen found and keyed, what it chose said; one step.
  await page.locator("#auto").click();
  await until(async () => (await alpha(6, 6)) === 0, "Auto key keys the backdrop");
  check((await alpha(240, 300)) === 255, "Auto key leaves the subject");
  const said = await page.locator("#status").textContent();
  check(said.startsWith("auto key of frame 1: green screen"), `Auto key said "${said}"`);
  await oneUndoStep("Auto key", (s) => !s.mask && s.finishing.despill === 0);

  // The lasso: pressed on the wheel at saturation 0.12, out along the rim
  // (beyond the control: the page captures the pointer) from 85 to 165
  // degrees, back along saturation 0.12.
  const { wheel, bar } = await state();
  const loop = [onWheel(85, 0.12)];
  for (let h = 85; h <= 165; h += 4) loop.push(onWheel(h, 1.2));
  for (let h = 165; h >= 85; h -= 4) loop.push(onWheel(h, 0.12));
  await drag("#wheel", loop, wheel);
  await page.screenshot({ path: path.join(outDir, "keyer-middrag.png") });
  await page.mouse.up();
  await until(async () => (await alpha(6, 6)) === 0, "the backdrop turns transparent");
  check((await alpha(240, 300)) === 255, "the subject stays opaque");
  await oneUndoStep("the lasso", (s) => !s.mask);
  await page.keyboard.press("Control+Shift+z");
  await until(async () => (await alpha(6, 6)) === 0, "redo keys the backdrop again");

  // A drag of the bar's top handle, then of the Softness slider: each one
  // undo step (the lasso's step stays below them).
  await drag(
    "#bar",
    [
      [247, 12],
      [230, 12],
      [200, 12],
      [180, 12],
    ],
    bar,
  );
  await page.mouse.up();
  await idle();
  const dragged = (await state()).lightness;
  check(Math.min(dragged[2], dragged[3]) < 80, `the bar's drag left lightness ${dragged}`);
  await page.keyboard.press("Control+z");
  await idle();
  check((await state()).lightness.join() === "0,0,100,100", "one undo takes the bar's drag back");
  // A slider's drag from its left end.
  async function dragSlider(id) {
    await page.locator(id).scrollIntoViewIfNeeded();
    const slider = await page.locator(id).boundingBox();
    await page.mouse.move(slider.x + 4, slider.y + slider.height / 2);
    await page.mouse.down();
    for (let x = 10; x <= 60; x += 5)
      await page.mouse.move(slider.x + x, slider.y + slider.height / 2);
    await page.mouse.up();
    await idle();
  }
  for (const [id, value] of [
    ["#softness", (s) => s.softness],
    ["#feather", (s) => s.finishing.feather],
  ]) {
    await dragSlider(id);
    check(value(await state()) > 0, `the drag of ${id} set it`);
    await page.keyboard.press("Control+z");
    await idle();
    const afterUndo = await state();
    check(value(afterUndo) === 0 && afterUndo.mask, `one undo takes the drag of ${id} back`);
  }
  // The pixel sliders span the project file's ranges, which the server sends.
  const shrinkGrow = await page.$eval("#shrinkGrowNum", (e) => `${e.min} ${e.max}`);
  check(shrinkGrow === "-8 8", `shrink/grow spans -8 to 8 pixels, not ${shrinkGrow}`);

  // Zoomed in, a click on the face picks its colour and keys it; the new
  // render covers only the region shown. Ctrl+Z takes it back.
  await page.locator("#zoomIn").click();
  const face = await keyer(() => window.keyer.toScreen(240.5, 160.5));
  await page.mouse.click(face[0], face[1]);
  await until(async () => (await alpha(240, 160)) === 0, "the picked colour is keyed");
  const region = await keyer(() => window.keyer.region);
  check(region[2] < 480 && region[3] < 320, `the zoomed render covered ${region}`);
  await page.screenshot({ path: path.join(outDir, "keyer-picked.png") });
  await page.keyboard.press("Control+z");
  await until(async () => (await alpha(240, 160)) === 255, "undo restores the view");
  check((await state()).canRedo, "the undone pick can be redone");
  await page.locator("#zoomFit").click();

  // A garbage shape drawn around the face by clicks (closed on its first
  // point) keys away the shoulders outside it; removed, they are back.
  await page.locator("#drawGarbage").click();
  const corners = [
    [170, 40],
    [310, 40],
    [310, 250],
    [170, 250],
    [170, 40],
  ];
  for (const [x, y] of corners) {
    const [sx, sy] = await keyer(([x, y]) => window.keyer.toScreen(x, y), [x, y]);
    await page.mouse.click(sx, sy);
  }
  await until(async () => (await alpha(240, 300)) === 0, "the garbage shape keys the shoulders");
  check((await alpha(240, 160)) === 255, "the face inside the garbage shape stays");
  const drawn = await keyer(() => window.keyer.shapes);
  check(drawn.length === 1 && !drawn[0].keep && drawn[0].points.length === 4, "one shape drawn");
  await page.screenshot({ path: path.join(outDir, "keyer-shape.png") });
  await page.locator("#shapeList button").click();
  await until(async () => (await alpha(240, 300)) === 255, "the shape removed");

  // Side by side: two panes of equal size, one beside the other.
  await page.selectOption("#mode", "split");
  const [a, b] = await Promise.all(
    ["#viewA", "#viewB"].map((id) => page.locator(id).boundingBox()),
  );
  check(
    b.x >= a.x + a.width && Math.abs(a.y - b.y) < 1 && Math.abs(a.height - b.height) < 1,
    `the panes are not side by side: ${JSON.stringify([a, b])}`,
  );
  await page.screenshot({ path: path.join(outDir, "keyer-split.png") });
  await page.selectOption("#mode", "keyed");

  // Slow clients (a byte a second) and a flood of idle and busy
  // connections: the page's requests still answer within a second.
  const connect = () => {
    const s = net.connect(port, "127.0.0.1");
    s.on("error", () => {});
    sockets.push(s);
    return s;
  };
  const slow = Array.from({ length: 32 }, connect);
  const drip = setInterval(() => slow.forEach((s) => s.write("X")), 1000);
  for (let i = 0; i < 300; ++i) {
    const s = connect();
    if (i % 3 === 0) s.write(`GET / HTTP/1.1\r\nHost: 127.0.0.1:${port}\r\n\r\n`);
  }
  await sleep(300);
  const waits = [];
  for (let i = 0; i < 10; ++i) {
    waits.push(
      await keyer(async (token) => {
        const start = performance.now();
        await fetch("/api/controls", { headers: { "X-Token": token } });
        return performance.now() - start;
      }, new URL(url).searchParams.get("token")),
    );
    await sleep(200);
  }
  clearInterval(drip);
  sockets.forEach((s) => s.destroy());
  check(Math.max(...waits) < 1000, `the page waited ${Math.max(...waits)} ms under the flood`);

  // Unsaved changes are shown until Save.
  check(!(await state()).saved, "the key shows as saved before Save");
  await page.locator("#save").click();
  await until(async () => (await state()).saved, "save");
  await page.locator("#side").evaluate((side) => side.scrollTo(0, 0));
  await page.screenshot({ path: path.join(outDir, "keyer.png") });

  // The saved project keys the sample through `mattix render`; its output
  // is read back through the browser's PNG decoder.
  const keyedPng = path.join(work, "keyed.png");
  const render = spawnSync(mattix, ["render", sample, "-o", keyedPng, "--project", project], {
    encoding: "utf8",
  });
  check(render.status === 0, "mattix render failed: " + render.stderr);
  const alphas = await page.evaluate(async (b64) => {
    const bytes = Uint8Array.from(atob(b64), (ch) => ch.charCodeAt(0));
    const bitmap = await createImageBitmap(new Blob([bytes], { type: "image/png" }));
    const c = new OffscreenCanvas(bitmap.width, bitmap.height).getContext("2d");
    c.drawImage(bitmap, 0, 0);
    return [c.getImageData(6, 6, 1, 1).data[3], c.getImageData(240, 300, 1, 1).data[3]];
  }, fs.readFileSync(keyedPng).toString("base64"));
  check(alphas[0] === 0 && alphas[1] === 255, `the rendered sample's alphas are ${alphas}`);

  const foreign = requests.filter((u) => !u.startsWith(origin) && !u.startsWith("data:"));
  check(foreign.length === 0, "the page fetched from elsewhere: " + foreign.join(" "));
  const [actions, views] = await keyer(() => window.keyer.timings());
  console.log(
    `action to pixels in the page: median ${median(actions, 0.5).toFixed(1)} ms, ` +
      `95th percentile ${median(actions, 0.95).toFixed(1)} ms (${actions.length} actions); ` +
      `change to view: median ${median(views, 0.5).toFixed(1)} ms (${views.length} renders); ` +
      `under the flood: at most ${Math.max(...waits).toFixed(1)} ms`,
  );
  console.log("screenshots in " + outDir);
  console.log("PASSED");
} catch (e) {
  console.error("FAILED: " + e.message);
  process.exitCode = 1;
} finally {
  sockets.forEach((s) => s.destroy());
  if (context) await context.close();
  if (server) server.kill();
  fs.rmSync(work, { recursive: true, force: true });
}
