// The keyer end to end in Debian's Chromium: open the page on the sample,
// drag a loop around the green hues on the wheel with the mouse, see the
// backdrop turn transparent in the view, pick a colour on the frame and undo
// it, save, and key the sample with the saved project through `mattix
// render`. Screenshots go to OUTDIR.
//
//   node keyer.test.mjs MATTIX SAMPLE.png OUTDIR
//
// Exit status 77 (skipped) when Chromium or playwright-core is missing.
import { spawn, spawnSync } from "node:child_process";
import fs from "node:fs";
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

const check = (condition, message) => {
  if (!condition) throw new Error(message);
};

// Polls f until it returns a truthy value; fails after ms.
async function until(f, message, ms = 8000) {
  for (const end = Date.now() + ms; !(await f()); await new Promise((r) => setTimeout(r, 50)))
    check(Date.now() < end, "timed out: " + message);
}

// A client point of hue `degrees` and saturation s on the wheel (centre
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
      const m = text.match(/http:\/\/127\.0\.0\.1:\d+\//);
      if (m) resolve(m[0]);
    });
    server.on("exit", (code) => reject(new Error(`mattix serve ended (status ${code}): ${text}`)));
  });

  context = await chromium.launchPersistentContext(fs.mkdtempSync(path.join(work, "profile-")), {
    executablePath: chromiumPath,
    headless: true,
    viewport: { width: 1100, height: 700 },
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
  await page.goto(url);
  await until(() => page.evaluate(() => window.keyer?.viewShown), "first view");

  // The view's alpha at a frame point, and the wheel canvas's pixels.
  const alpha = (x, y) =>
    page.evaluate(
      ([x, y]) => document.getElementById("view").getContext("2d").getImageData(x, y, 1, 1).data[3],
      [x, y],
    );
  const wheelPixels = () =>
    page.evaluate(() =>
      Array.from(
        document.getElementById("wheel").getContext("2d").getImageData(0, 0, 260, 260).data,
      ).join(","),
    );
  check((await alpha(6, 6)) === 255, "the backdrop is keyed before any key was drawn");

  // The lasso: pressed on the wheel at saturation 0.12, out along the rim
  // (beyond the canvas: the page captures the pointer) from 85 to 165
  // degrees, back along saturation 0.12.
  const box = await page.locator("#wheel").boundingBox();
  const loop = [onWheel(85, 0.12)];
  for (let h = 85; h <= 165; h += 4) loop.push(onWheel(h, 1.2));
  for (let h = 165; h >= 85; h -= 4) loop.push(onWheel(h, 0.12));
  const at = ([x, y]) => [box.x + x + 0.5, box.y + y + 0.5];
  await page.mouse.move(...at(loop[0]));
  await page.mouse.down();
  for (const p of loop.slice(1)) await page.mouse.move(...at(p), { steps: 3 });
  await until(() => page.evaluate(() => window.keyer.idle), "the drag's events");
  await page.screenshot({ path: path.join(outDir, "keyer-middrag.png") });
  await page.mouse.up();
  await until(async () => (await alpha(6, 6)) === 0, "the backdrop turns transparent");
  check((await alpha(240, 300)) === 255, "the subject stays opaque");
  await page.screenshot({ path: path.join(outDir, "keyer-lasso.png") });

  // A pick of the shirt's colour on the frame marks it on the wheel and
  // keys the shirt; Ctrl+Z takes it back.
  const beforePick = await wheelPixels();
  await page.locator("#view").click({ position: { x: 240.5, y: 300.5 } });
  await until(async () => (await wheelPixels()) !== beforePick, "the pick shows on the wheel");
  await until(async () => (await alpha(240, 300)) === 0, "the picked colour is keyed");
  await page.screenshot({ path: path.join(outDir, "keyer-picked.png") });
  await page.keyboard.press("Control+z");
  await until(async () => (await wheelPixels()) === beforePick, "undo restores the wheel");
  await until(async () => (await alpha(240, 300)) === 255, "undo restores the view");
  check(await page.evaluate(() => window.keyer.state.canRedo), "the undone pick can be redone");

  await page.locator("#save").click();
  await until(
    () => page.evaluate(() => document.getElementById("status").textContent.startsWith("saved")),
    "save",
  );
  await page.screenshot({ path: path.join(outDir, "keyer-saved.png") });

  // The saved project keys the sample through `mattix render`; its output
  // is read back through the browser's PNG decoder.
  const keyedPng = path.join(work, "keyed.png");
  const render = spawnSync(mattix, ["render", sample, "-o", keyedPng, "--project", project], {
    encoding: "utf8",
  });
  check(render.status === 0, "mattix render failed: " + render.stderr);
  const alphas = await page.evaluate(async (b64) => {
    const blob = new Blob([Uint8Array.from(atob(b64), (ch) => ch.charCodeAt(0))], {
      type: "image/png",
    });
    const bitmap = await createImageBitmap(blob);
    const c = new OffscreenCanvas(bitmap.width, bitmap.height).getContext("2d");
    c.drawImage(bitmap, 0, 0);
    return [c.getImageData(6, 6, 1, 1).data[3], c.getImageData(240, 300, 1, 1).data[3]];
  }, fs.readFileSync(keyedPng).toString("base64"));
  check(alphas[0] === 0 && alphas[1] === 255, `the rendered sample's alphas are ${alphas}`);

  const foreign = requests.filter((u) => !u.startsWith(url) && !u.startsWith("data:"));
  check(foreign.length === 0, "the page fetched from elsewhere: " + foreign.join(" "));
  const [actions, views] = await page.evaluate(() => window.keyer.timings());
  console.log(
    `action to pixels in the page: median ${median(actions, 0.5).toFixed(1)} ms, ` +
      `95th percentile ${median(actions, 0.95).toFixed(1)} ms (${actions.length} actions); ` +
      `change to view: median ${median(views, 0.5).toFixed(1)} ms (${views.length} renders)`,
  );
  console.log("screenshots in " + outDir);
  console.log("PASSED");
} catch (e) {
  console.error("FAILED: " + e.message);
  process.exitCode = 1;
} finally {
  if (context) await context.close();
  if (server) server.kill();
  fs.rmSync(work, { recursive: true, force: true });
}
