// The keyer page. The server owns the state (parameters, history, the
// controls' pixels); the page forwards input and shows what it is given:
// every user action is one request, and its answer carries the controls'
// pixels and the parameter values. The sizes come from the server (X-State).

const $ = (id) => document.getElementById(id);
const controls = { wheel: $("wheel"), bar: $("bar") };
const status = (text) => {
  $("status").textContent = text;
};

// Every interface request carries the session's token, given in the page's
// address (?token=...).
const token = new URLSearchParams(location.search).get("token") ?? "";
const api = (path, init = {}) => fetch(path, { ...init, headers: { "X-Token": token } });
const post = (path, body) => api(path, { method: "POST", body });

let state = null;
let cursorId = "";
// Each slider's number box, made beside its range with the range's own
// limits and step, so that they are written once (in the page, or for the
// finishing's pixel sliders by the server: state.limits); the names of the
// sliders are their ranges' ids.
const sliders = [...document.querySelectorAll(".slider input[type=range]")].map((range) => {
  const num = document.createElement("input");
  num.id = range.id + "Num";
  num.className = "num";
  num.type = "number";
  for (const limit of ["min", "max", "step"]) num[limit] = range[limit];
  range.after(num);
  return range.id;
});
const cursors = new Map(); // cursor id: CSS cursor value

// Milliseconds from an action's request to its pixels on the page, and
// from a render's request to the view drawn (the last 500 of each).
const actionTimes = [];
const viewTimes = [];
const note = (list, ms) => {
  list.push(ms);
  if (list.length > 500) list.shift();
};

// ---- The controls: pixels, cursor, values ----

// The controls are drawn at their own size and shown larger by a whole
// factor of device pixels, so that their pixels stay crisp.
function controlScale() {
  const dpr = window.devicePixelRatio || 1;
  const [ww, wh] = state.wheel;
  const room = Math.min(window.innerWidth * 0.3, window.innerHeight - 330);
  const factor = Math.max(1, Math.floor((room * dpr) / Math.max(ww, wh)));
  return factor / dpr;
}

function layoutControls() {
  const k = controlScale();
  const size = (canvas, w, h, x = 0, y = 0) => {
    canvas.style.width = `${w * k}px`;
    canvas.style.height = `${h * k}px`;
    canvas.style.left = `${x * k}px`;
    canvas.style.top = `${y * k}px`;
  };
  const [sx, sy, sw, sh] = state.scope;
  size(controls.wheel, ...state.wheel);
  size($("scope"), sw, sh, sx, sy);
  size(controls.bar, ...state.bar);
  size($("histogram"), ...state.bar);
  $("side").style.width = `${Math.max(270, Math.max(state.wheel[0], state.bar[0]) * k)}px`;
}

async function cursorOf(header) {
  if (header === "none") return "none";
  const [id, hx, hy] = header.split(" ");
  if (!cursors.has(id)) {
    const res = await api(`/api/cursor.png?id=${id}`);
    if (!res.ok) return "crosshair";
    const url = await new Promise((resolve) => {
      const reader = new FileReader();
      reader.onload = () => resolve(reader.result);
      res.blob().then((blob) => reader.readAsDataURL(blob));
    });
    cursors.set(id, `url(${url}) ${hx} ${hy}, crosshair`);
  }
  return cursors.get(id);
}

// Shows the answer of an action: the controls' pixels and the parameters.
async function showControls(res) {
  if (!res.ok) {
    status(await res.text());
    return;
  }
  const bytes = new Uint8ClampedArray(await res.arrayBuffer());
  const before = state;
  state = JSON.parse(res.headers.get("X-State"));
  const [ww, wh] = state.wheel;
  const [bw, bh] = state.bar;
  for (const [canvas, w, h, from] of [
    [controls.wheel, ww, wh, 0],
    [controls.bar, bw, bh, ww * wh * 4],
  ]) {
    if (canvas.width !== w || canvas.height !== h) {
      canvas.width = w;
      canvas.height = h;
    }
    const pixels = new ImageData(bytes.slice(from, from + w * h * 4), w, h);
    canvas.getContext("2d").putImageData(pixels, 0, 0);
  }
  if (!before || before.wheel.join() !== state.wheel.join()) layoutControls();
  const cursor = res.headers.get("X-Cursor");
  if (cursor !== cursorId) {
    cursorId = cursor;
    controls.wheel.style.cursor = controls.bar.style.cursor = await cursorOf(cursor);
  }
  const message = res.headers.get("X-Message");
  if (message) status(message);
  for (const [name, [min, max]] of Object.entries(state.limits))
    for (const suffix of ["", "Num"]) {
      $(name + suffix).min = min;
      $(name + suffix).max = max;
    }
  for (const name of sliders) {
    const value = name in state ? state[name] : state.finishing[name];
    if (document.activeElement !== $(name)) $(name).value = value;
    if (document.activeElement !== $(name + "Num")) $(name + "Num").value = value;
  }
  // Clip black stays below clip white.
  for (const suffix of ["", "Num"]) {
    $("clipBlack" + suffix).max = state.finishing.clipWhite - 0.5;
    $("clipWhite" + suffix).min = state.finishing.clipBlack + 0.5;
  }
  $("screen").value = state.finishing.screen;
  if (!before || before.finishing.shapesVersion !== state.finishing.shapesVersion)
    await showShapes();
  $("undo").disabled = !state.canUndo;
  $("redo").disabled = !state.canRedo;
  $("save").textContent = state.saved ? "Save" : "Save •";
  $("save").title = state.saved ? "The project file holds this key" : "Unsaved changes";
  const lightness = state.lightness.map((v) => v.toFixed(0)).join(" / ");
  const key = state.key.some((v) => v) ? ` · key colour ${state.key.map(Math.round)}` : "";
  $("keyinfo").textContent =
    `Lightness ${lightness} %${key}` + (state.mask ? "" : " · no key drawn yet");
  if (frameShown === null) await showFrame(state.frameIndex);
  viewer.update();
}

// ---- Actions: one at a time, in order; moves waiting to go are merged ----

const queue = [];
let sending = false;
function send(path, merge = false, after = null, body = undefined) {
  const last = queue[queue.length - 1];
  if (merge && last?.merge) queue[queue.length - 1] = { path, merge, after, body };
  else queue.push({ path, merge, after, body });
  pump();
}
async function pump() {
  if (sending) return;
  sending = true;
  while (queue.length) {
    const { path, after, body } = queue.shift();
    const sent = performance.now();
    const before = state?.version;
    try {
      await showControls(await post(path, body));
      note(actionTimes, performance.now() - sent);
      if (after) after(before);
    } catch (e) {
      status("the keyer does not answer: " + e.message);
    }
  }
  sending = false;
}

function point(canvas, e) {
  const r = canvas.getBoundingClientRect();
  return [
    Math.floor(((e.clientX - r.left) * canvas.width) / r.width),
    Math.floor(((e.clientY - r.top) * canvas.height) / r.height),
  ];
}
for (const name of ["wheel", "bar"]) {
  const canvas = controls[name];
  const pointer = (kind, e) => {
    const [x, y] = point(canvas, e);
    let q = `control=${name}&kind=${kind}&x=${x}&y=${y}`;
    q += `&shift=${e.shiftKey ? 1 : 0}&alt=${e.altKey ? 1 : 0}`;
    if (kind === "down") q += `&button=${e.button === 2 ? "right" : "left"}`;
    send("/api/pointer?" + q, kind === "move");
  };
  canvas.addEventListener("contextmenu", (e) => e.preventDefault());
  canvas.addEventListener("pointerdown", (e) => {
    if (e.button !== 0 && e.button !== 2) return;
    canvas.setPointerCapture(e.pointerId);
    e.preventDefault();
    pointer("down", e);
  });
  canvas.addEventListener("pointermove", (e) => pointer("move", e));
  canvas.addEventListener("pointerup", (e) => {
    if (e.button === 0 || e.button === 2) pointer("up", e);
  });
}

// A slider's drag is one gesture, one step of the history: its changes
// carry one gesture number until the slider is let go. Softness and spill
// are the effect's; the others the matte finishing's, by the project
// file's names.
let gestures = 0;
for (const name of sliders) {
  let gesture = null;
  const set = (value, inGesture) => {
    const g = inGesture ? `&gesture=${gesture}` : "";
    send(`/api/number?name=${name}&value=${encodeURIComponent(value)}${g}`, inGesture);
  };
  $(name).addEventListener("input", (e) => {
    gesture ??= ++gestures;
    $(name + "Num").value = e.target.value;
    set(e.target.value, true);
  });
  $(name).addEventListener("change", () => {
    gesture = null;
  });
  $(name + "Num").addEventListener("change", (e) => set(e.target.value, false));
}
$("screen").onchange = (e) => send(`/api/screen?channel=${e.target.value}`);
$("auto").onclick = () => {
  status(`analysing frame ${frameShown + 1}…`);
  send("/api/auto");
};
$("undo").onclick = () => send("/api/undo");
$("redo").onclick = () => send("/api/redo");
document.addEventListener("keydown", (e) => {
  if (e.target.type === "number") return;
  if (drawing && ["Enter", "Escape", "Backspace"].includes(e.key)) {
    e.preventDefault();
    if (e.key === "Enter") closeShape();
    else if (e.key === "Escape") stopDrawing();
    else drawing.points.pop();
    viewer.update();
  } else if ((e.ctrlKey || e.metaKey) && e.key.toLowerCase() === "z") {
    e.preventDefault();
    send(e.shiftKey ? "/api/redo" : "/api/undo");
  } else if (e.target === document.body && !e.ctrlKey && !e.metaKey) {
    const zoom = { "+": 2, "=": 2, "-": 0.5, 0: 0 }[e.key];
    if (zoom !== undefined) viewer.zoomBy(zoom);
  }
});
$("save").onclick = async () => {
  const res = await post("/api/save");
  status((await res.text()).trim());
  await showControls(await api("/api/controls"));
};
window.addEventListener("beforeunload", (e) => {
  if (state && !state.saved) e.preventDefault();
});

// ---- Shapes on the picture: garbage and keep mattes ----

// The shapes as the server holds them ({keep, points}), asked for when
// their version changes; the shape being drawn, its points in frame pixels.
let shapes = [];
let drawing = null;

async function showShapes() {
  const res = await api("/api/finishing");
  if (!res.ok) return;
  shapes = (await res.json()).shapes;
  const list = $("shapeList");
  list.replaceChildren(
    ...shapes.map((shape, i) => {
      const item = document.createElement("li");
      item.className = shape.keep ? "keep" : "garbage";
      item.textContent = `${shape.keep ? "Keep" : "Garbage"}, ${shape.points.length} points`;
      const remove = document.createElement("button");
      remove.textContent = "Remove";
      remove.title = "Remove this shape";
      remove.onclick = () => send(`/api/shape/remove?index=${i}`);
      item.append(remove);
      return item;
    }),
  );
  viewer.update();
}

function startDrawing(keep) {
  drawing = { keep, points: [] };
  $("drawGarbage").classList.toggle("drawing", !keep);
  $("drawKeep").classList.toggle("drawing", keep);
  $("drawHelp").hidden = false;
  status(`drawing a ${keep ? "keep" : "garbage"} shape: click points on the picture`);
  viewer.update();
}
function stopDrawing() {
  drawing = null;
  $("drawGarbage").classList.remove("drawing");
  $("drawKeep").classList.remove("drawing");
  $("drawHelp").hidden = true;
  status("");
}
// Sends the shape drawn (three points at least) as one action.
function closeShape() {
  if (!drawing) return;
  if (drawing.points.length < 3) {
    status("a shape needs three points at least");
    return;
  }
  const body = JSON.stringify({ keep: drawing.keep, points: drawing.points });
  stopDrawing();
  send("/api/shape", false, null, body);
}
// A click at frame point (x, y) while drawing: a new point, or the shape
// closed when it is near the first point (within 8 screen pixels).
function addPoint(x, y, near) {
  const first = drawing.points[0];
  if (drawing.points.length >= 3 && near(first)) return closeShape();
  const eighth = (v) => Math.round(v * 8) / 8;
  drawing.points.push([eighth(x), eighth(y)]);
  viewer.update();
}
$("drawGarbage").onclick = () => startDrawing(false);
$("drawKeep").onclick = () => startDrawing(true);
$("showShapes").onchange = () => viewer.update();

// ---- The frame shown: seeks, newest wins, with a busy sign ----

let frameShown = null;
let frameWanted = null;
let seeking = false;
async function seek(index) {
  frameWanted = index;
  if (seeking) return;
  seeking = true;
  $("busy").hidden = false;
  document.body.classList.add("busy");
  while (frameWanted !== frameShown) {
    const wanted = frameWanted;
    status(`reading frame ${wanted + 1}…`);
    try {
      const res = await post(`/api/frame?index=${wanted}`);
      if (res.status === 200) await showFrame((await res.json()).frameIndex);
      else if (res.status !== 204) {
        status((await res.text()).trim());
        frameWanted = frameShown;
      }
    } catch (e) {
      status("the keyer does not answer: " + e.message);
      frameWanted = frameShown;
    }
  }
  if (frameShown === frameWanted) status("");
  $("busy").hidden = true;
  document.body.classList.remove("busy");
  seeking = false;
}

async function showFrame(index) {
  frameShown = index;
  frameWanted ??= index;
  $("frameBox").hidden = state.frameCount === 1;
  if (state.frameCount > 1) $("frame").max = state.frameCount - 1;
  else if (state.frameCount < 0) $("frame").max = Math.max(+$("frame").max, index + 50);
  if (!seeking || frameWanted === index) $("frame").value = index;
  $("frameNum").textContent = `${index + 1}`;
  viewer.newFrame(index);
  await drawScopes();
}
$("frame").addEventListener("input", (e) => {
  $("frameNum").textContent = `${+e.target.value + 1}`;
});
$("frame").addEventListener("change", (e) => seek(+e.target.value));
$("framePrev").onclick = () => seek(Math.max(0, (frameWanted ?? 0) - 1));
$("frameNext").onclick = () => seek(Math.min(+$("frame").max, (frameWanted ?? 0) + 1));

// The frame's scopes: its colours where the key looks them up on the wheel
// (darker where more pixels lie), and its lightness histogram over the bar's
// scale.
async function drawScopes() {
  const counts = new Uint32Array(await (await api("/api/scopes")).arrayBuffer());
  const [, , sw, sh] = state.scope;
  const [bw, bh] = state.bar;
  const [left, right] = state.barScale;
  const wheel = counts.subarray(0, sw * sh);
  const bins = counts.subarray(sw * sh);
  const scope = $("scope");
  const histogram = $("histogram");
  scope.width = sw;
  scope.height = sh;
  histogram.width = bw;
  histogram.height = bh;
  const dots = new ImageData(sw, sh);
  const top = Math.log1p(Math.max(...wheel));
  wheel.forEach((c, i) => {
    if (c) dots.data[i * 4 + 3] = 90 + (165 * Math.log1p(c)) / top;
  });
  scope.getContext("2d").putImageData(dots, 0, 0);
  const g = histogram.getContext("2d");
  const most = Math.sqrt(Math.max(...bins));
  const step = (right - left) / bins.length;
  g.fillStyle = "rgba(255,150,0,0.55)";
  bins.forEach((c, i) => {
    const h = (0.7 * bh * Math.sqrt(c)) / most;
    g.fillRect(left + i * step, bh - h, step, h);
  });
}
for (const [box, layer] of [
  ["showScope", "scope"],
  ["showHistogram", "histogram"],
]) {
  $(box).onchange = () => {
    $(layer).hidden = !$(box).checked;
  };
}

// ---- The viewer: zoom and pan over the frame, in one or two panes ----

// A part of the frame as the server sent it: its pixels on a canvas, the
// region it covers (frame pixels) and what it shows.
async function fetchPart(kind, region, scale) {
  const q = `?x=${region[0]}&y=${region[1]}&w=${region[2]}&h=${region[3]}&scale=${scale}`;
  const res = await api(`/api/${kind}${q}`);
  if (res.status !== 200) return null;
  const w = +res.headers.get("X-Width");
  const h = +res.headers.get("X-Height");
  const pixels = new ImageData(new Uint8ClampedArray(await res.arrayBuffer()), w, h);
  const canvas = new OffscreenCanvas(w, h);
  canvas.getContext("2d").putImageData(pixels, 0, 0);
  return {
    canvas,
    pixels,
    region: res.headers.get("X-Region").split(" ").map(Number),
    scale: +res.headers.get("X-Scale"),
    frame: +res.headers.get("X-Frame"),
  };
}

// The matte of a keyed part as grey, made when first shown.
function matteOf(part) {
  if (!part.matte) {
    const { width: w, height: h, data } = part.pixels;
    const matte = new ImageData(w, h);
    for (let i = 0; i < matte.data.length; i += 4) {
      matte.data[i] = matte.data[i + 1] = matte.data[i + 2] = data[i + 3];
      matte.data[i + 3] = 255;
    }
    part.matte = new OffscreenCanvas(w, h);
    part.matte.getContext("2d").putImageData(matte, 0, 0);
  }
  return part.matte;
}

const viewer = (() => {
  const panes = [$("viewA"), $("viewB")];
  const captions = { keyed: "Keyed", matte: "Matte", original: "Original", split: "Original" };
  let zoom = 0; // screen pixels a frame pixel; 0: fit
  let centre = null; // the frame point at the panes' centre
  let keyed = null;
  let original = null;
  let shownVersion = null; // what the keyed part shows: "version/frame"
  const busy = { view: false, frame: false };
  const board = (() => {
    const tile = new OffscreenCanvas(16, 16);
    const g = tile.getContext("2d");
    g.fillStyle = "#999";
    g.fillRect(0, 0, 16, 16);
    g.fillStyle = "#666";
    g.fillRect(0, 0, 8, 8);
    g.fillRect(8, 8, 8, 8);
    return tile;
  })();

  const mode = () => $("mode").value;
  const size = () => state.frame;
  const fit = () => {
    const r = panes[0].getBoundingClientRect();
    return Math.min(r.width / size()[0], r.height / size()[1]);
  };
  const scale = () => zoom || fit();
  const middle = () => centre ?? [size()[0] / 2, size()[1] / 2];

  // Frame point of a screen point over a pane, and back.
  function toFrame(pane, clientX, clientY) {
    const r = pane.getBoundingClientRect();
    const [cx, cy] = middle();
    const s = scale();
    return [cx + (clientX - r.left - r.width / 2) / s, cy + (clientY - r.top - r.height / 2) / s];
  }
  function toScreen(pane, x, y) {
    const r = pane.getBoundingClientRect();
    const [cx, cy] = middle();
    const s = scale();
    return [r.left + r.width / 2 + (x - cx) * s, r.top + r.height / 2 + (y - cy) * s];
  }
  // The frame region the panes show, widened by a quarter for panning and
  // kept within the frame, in whole pixels.
  function visibleRegion() {
    const r = panes[0].getBoundingClientRect();
    const s = scale();
    const [cx, cy] = middle();
    const [fw, fh] = size();
    const halfW = (r.width / s) * 0.75;
    const halfH = (r.height / s) * 0.75;
    const x0 = Math.max(0, Math.floor(cx - halfW));
    const y0 = Math.max(0, Math.floor(cy - halfH));
    const x1 = Math.min(fw, Math.ceil(cx + halfW));
    const y1 = Math.min(fh, Math.ceil(cy + halfH));
    return x1 > x0 && y1 > y0 ? [x0, y0, x1 - x0, y1 - y0] : [0, 0, fw, fh];
  }
  // Frame pixels a pixel of the picture asked for: whole, so that a pixel
  // asked for covers about a device pixel (1 from 100 % up: the frame's own
  // pixels); the server keeps it to its view's at most.
  const wantedScale = () =>
    Math.max(1, Math.floor(1 / (scale() * (window.devicePixelRatio || 1)) + 1e-6));
  const covers = (part, region) =>
    part &&
    part.frame === frameShown &&
    part.scale <= wantedScale() &&
    part.region[0] <= region[0] &&
    part.region[1] <= region[1] &&
    part.region[0] + part.region[2] >= region[0] + region[2] &&
    part.region[1] + part.region[3] >= region[1] + region[3];

  function draw() {
    if (!state) return;
    const dpr = window.devicePixelRatio || 1;
    const m = mode();
    panes[1].parentElement.hidden = m !== "split";
    panes[0].nextElementSibling.textContent = captions[m];
    const sources = {
      keyed: [keyed, "canvas"],
      matte: [keyed, "matte"],
      original: [original, "canvas"],
      split: [original, "canvas"],
    };
    const shown = [sources[m], [keyed, "canvas"]];
    $("zoomText").textContent = `${Math.round(scale() * 100)} %`;
    panes.forEach((pane, i) => {
      if (i === 1 && m !== "split") return;
      const r = pane.getBoundingClientRect();
      const w = Math.round(r.width * dpr);
      const h = Math.round(r.height * dpr);
      if (pane.width !== w || pane.height !== h) {
        pane.width = w;
        pane.height = h;
      }
      const g = pane.getContext("2d");
      g.setTransform(1, 0, 0, 1, 0, 0);
      g.clearRect(0, 0, w, h);
      const s = scale() * dpr;
      const [cx, cy] = middle();
      g.setTransform(s, 0, 0, s, w / 2 - cx * s, h / 2 - cy * s);
      g.fillStyle = g.createPattern(board, "repeat");
      g.save();
      g.scale(1 / s, 1 / s); // the checkerboard in screen pixels
      g.fillRect(0, 0, size()[0] * s, size()[1] * s);
      g.restore();
      const [part, which] = shown[i];
      if (part) {
        // Pixels stay crisp when enlarged; smoothed when made smaller.
        g.imageSmoothingEnabled = s * (part.region[2] / part.pixels.width) < 1;
        const [x, y, rw, rh] = part.region;
        g.drawImage(which === "matte" ? matteOf(part) : part[which], x, y, rw, rh);
      }
      drawShapes(g, s);
    });
  }

  // The shapes over the picture (garbage red, keep green) and the one being
  // drawn (yellow, its points marked), in lines a device pixel or two wide.
  function drawShapes(g, s) {
    const outline = (points, colour, closed) => {
      g.beginPath();
      points.forEach(([x, y], i) => (i ? g.lineTo(x, y) : g.moveTo(x, y)));
      if (closed) g.closePath();
      g.strokeStyle = colour;
      g.stroke();
    };
    g.lineWidth = 2 / s;
    if ($("showShapes").checked)
      for (const shape of shapes) outline(shape.points, shape.keep ? "#5e5" : "#f44", true);
    if (drawing) {
      outline(drawing.points, "#fc3", false);
      g.fillStyle = "#fc3";
      for (const [x, y] of drawing.points) g.fillRect(x - 3 / s, y - 3 / s, 6 / s, 6 / s);
    }
  }

  // Asks for what the panes show when it is missing: the keyed region for
  // the current parameters, and the original for the views that show it.
  // One request of each kind at a time; the newest wins.
  async function fetchMissing(kind) {
    if (busy[kind]) return;
    busy[kind] = true;
    try {
      for (;;) {
        const region = visibleRegion();
        const version = `${state.version}/${frameShown}`;
        const part = kind === "view" ? keyed : original;
        const current = kind === "view" ? shownVersion === version : true;
        if (covers(part, region) && current) break;
        if (kind === "frame" && mode() !== "original" && mode() !== "split") break;
        const sent = performance.now();
        const got = await fetchPart(kind, region, wantedScale());
        if (!got) continue; // superseded: ask again
        if (kind === "view") {
          keyed = got;
          shownVersion = version;
          note(viewTimes, performance.now() - sent);
        } else {
          original = got;
        }
        draw();
      }
    } catch (e) {
      status("render failed: " + e.message);
    }
    busy[kind] = false;
  }

  function update() {
    fetchMissing("view");
    fetchMissing("frame");
    draw();
  }

  function zoomAround(factor, pane, clientX, clientY) {
    const before = toFrame(pane, clientX, clientY);
    const s = factor === 0 ? 0 : Math.min(32, Math.max(1 / 16, scale() * factor));
    zoom = s;
    if (!zoom) centre = null;
    else {
      // The frame point under the pointer stays there.
      const after = toFrame(pane, clientX, clientY);
      const [cx, cy] = middle();
      centre = [cx + before[0] - after[0], cy + before[1] - after[1]];
    }
    update();
  }

  for (const pane of panes) {
    pane.addEventListener(
      "wheel",
      (e) => {
        e.preventDefault();
        zoomAround(e.deltaY < 0 ? Math.SQRT2 : Math.SQRT1_2, pane, e.clientX, e.clientY);
      },
      { passive: false },
    );
    // A drag pans; a click without moving picks the colour under it.
    let press = null;
    pane.addEventListener("pointerdown", (e) => {
      if (e.button !== 0) return;
      pane.setPointerCapture(e.pointerId);
      press = { x: e.clientX, y: e.clientY, centre: middle(), moved: false };
    });
    pane.addEventListener("pointermove", (e) => {
      if (!press) return;
      const dx = e.clientX - press.x;
      const dy = e.clientY - press.y;
      if (!press.moved && Math.hypot(dx, dy) < 4) return;
      press.moved = true;
      pane.classList.add("panning");
      zoom = scale();
      centre = [press.centre[0] - dx / zoom, press.centre[1] - dy / zoom];
      draw();
    });
    pane.addEventListener("pointerup", (e) => {
      if (!press) return;
      const moved = press.moved;
      press = null;
      pane.classList.remove("panning");
      if (moved) return update();
      if (drawing) {
        const [fx, fy] = toFrame(pane, e.clientX, e.clientY);
        return addPoint(fx, fy, ([px, py]) => {
          const [sx, sy] = toScreen(pane, px, py);
          return Math.hypot(sx - e.clientX, sy - e.clientY) <= 8;
        });
      }
      const [x, y] = toFrame(pane, e.clientX, e.clientY).map(Math.floor);
      if (x < 0 || y < 0 || x >= size()[0] || y >= size()[1]) return;
      send(`/api/pick?x=${x}&y=${y}&shift=${e.shiftKey ? 1 : 0}`, false, (before) =>
        status(
          state.version === before
            ? `the colour at ${x}, ${y} is keyed already`
            : `keyed the colour at ${x}, ${y}`,
        ),
      );
    });
  }
  $("zoomIn").onclick = () => zoomBy(2);
  $("zoomOut").onclick = () => zoomBy(0.5);
  $("zoomFit").onclick = () => zoomBy(0);
  function zoomBy(factor) {
    const r = panes[0].getBoundingClientRect();
    zoomAround(factor, panes[0], r.left + r.width / 2, r.top + r.height / 2);
  }
  $("mode").onchange = update;
  window.addEventListener("resize", () => {
    if (state) layoutControls();
    update();
  });

  return {
    update,
    zoomBy,
    newFrame: () => update(),
    toScreen: (x, y) => toScreen(panes[0], x, y),
    // The alpha the page holds for frame pixel (x, y), or null.
    alphaAt(x, y) {
      if (!keyed || shownVersion !== `${state.version}/${frameShown}`) return null;
      const [rx, ry, rw, rh] = keyed.region;
      const px = Math.floor(((x - rx) * keyed.pixels.width) / rw);
      const py = Math.floor(((y - ry) * keyed.pixels.height) / rh);
      if (px < 0 || py < 0 || px >= keyed.pixels.width || py >= keyed.pixels.height) return null;
      return keyed.pixels.data[(py * keyed.pixels.width + px) * 4 + 3];
    },
    get zoom() {
      return scale();
    },
    get region() {
      return keyed?.region;
    },
  };
})();

// ---- Export: the whole input keyed in the background, with progress ----

$("export").onclick = async () => {
  const res = await post("/api/export");
  if (!res.ok) {
    status((await res.text()).trim());
    return;
  }
  $("export").disabled = true;
  $("progress").hidden = false;
  for (;;) {
    const e = await (await api("/api/export")).json();
    if (e.total > 0) {
      $("progress").max = e.total;
      $("progress").value = e.done;
    }
    status(e.running ? `exporting: ${e.done} frame${e.done === 1 ? "" : "s"}` : e.message);
    if (!e.running) break;
    await new Promise((r) => setTimeout(r, 200));
  }
  $("export").disabled = false;
  $("progress").hidden = true;
  await showControls(await api("/api/controls"));
};

(async () => {
  const res = await api("/api/export");
  if (!res.ok) {
    status((await res.text()).trim());
    return;
  }
  $("export").hidden = !(await res.json()).available;
  await showControls(await api("/api/controls"));
})();

// For the browser test: what the page shows and waits for.
window.keyer = {
  get state() {
    return state;
  },
  get idle() {
    return queue.length === 0 && !sending && !seeking;
  },
  get frameShown() {
    return frameShown;
  },
  alphaAt: (x, y) => viewer.alphaAt(x, y),
  toScreen: (x, y) => viewer.toScreen(x, y),
  get zoom() {
    return viewer.zoom;
  },
  get region() {
    return viewer.region;
  },
  get shapes() {
    return shapes;
  },
  timings: () => [actionTimes, viewTimes],
};
