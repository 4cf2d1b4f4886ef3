// The keyer page: every user action is one request, and the answer carries
// the controls' pixels and the parameter values to show; the page keeps no
// state of its own beyond what it shows.
const $ = (id) => document.getElementById(id);
const canvases = { wheel: $("wheel"), bar: $("bar") };
let state = null,
  cursorId = "",
  frame = null,
  keyed = null;
const status = (t) => {
  $("status").textContent = t;
};

// Shows the answer of an action: the controls' pixels and the parameters.
async function showControls(res) {
  if (!res.ok) {
    status(await res.text());
    return;
  }
  const bytes = new Uint8ClampedArray(await res.arrayBuffer());
  state = JSON.parse(res.headers.get("X-State"));
  const [ww, wh] = state.wheel,
    [bw, bh] = state.bar;
  canvases.wheel.width = ww;
  canvases.wheel.height = wh;
  canvases.bar.width = bw;
  canvases.bar.height = bh;
  canvases.wheel
    .getContext("2d")
    .putImageData(new ImageData(bytes.slice(0, ww * wh * 4), ww, wh), 0, 0);
  canvases.bar.getContext("2d").putImageData(new ImageData(bytes.slice(ww * wh * 4), bw, bh), 0, 0);
  const cursor = res.headers.get("X-Cursor");
  if (cursor !== cursorId) {
    cursorId = cursor;
    const [id, hx, hy] = cursor.split(" ");
    const css = cursor === "none" ? "none" : `url(/api/cursor.png?id=${id}) ${hx} ${hy}, crosshair`;
    canvases.wheel.style.cursor = canvases.bar.style.cursor = css;
  }
  for (const name of ["softness", "spill"]) {
    if (document.activeElement !== $(name)) $(name).value = state[name];
    if (document.activeElement !== $(name + "Num")) $(name + "Num").value = state[name];
  }
  $("undo").disabled = !state.canUndo;
  $("redo").disabled = !state.canRedo;
  const k = state.key.map(Math.round);
  $("keyinfo").textContent =
    `Key colour ${k.join(", ")} · lightness ${state.lightness.map((v) => v.toFixed(0)).join(" / ")} %` +
    (state.mask ? "" : " · no key drawn yet");
  if (state.frameIndex !== frameShown) await showFrame();
  const version = state.version + "/" + state.frameIndex;
  if (version !== lastRendered) {
    lastRendered = version;
    requestView();
  }
}
let lastRendered = null,
  frameShown = null;

// The frame slider (sequences and videos): the frame, its scopes, its view.
async function showFrame() {
  const res = await fetch("/api/frame");
  frameShown = +res.headers.get("X-Frame");
  frame = await image(res);
  await drawScopes();
  $("frameBox").hidden = state.frameCount === 1;
  if (state.frameCount > 1) $("frame").max = state.frameCount - 1;
  else if (state.frameCount < 0) $("frame").max = Math.max(+$("frame").max, frameShown + 50);
  $("frame").value = frameShown;
  $("frameNum").textContent = " " + (frameShown + 1);
}
$("frame").addEventListener("change", (e) => send(`/api/frame?index=${e.target.value}`, false));

// Milliseconds from an action's request to its pixels on the page, and
// from a render's request to the view drawn (the last 500 of each).
const actionTimes = [],
  viewTimes = [];
const note = (list, ms) => {
  list.push(ms);
  if (list.length > 500) list.shift();
};

// Actions go out one at a time, in order; moves waiting to go are merged.
const queue = [];
let sending = false;
function send(path, merge) {
  if (merge && queue.length && queue[queue.length - 1].merge)
    queue[queue.length - 1] = { path, merge };
  else queue.push({ path, merge });
  pump();
}
async function pump() {
  if (sending) return;
  sending = true;
  while (queue.length) {
    const { path } = queue.shift();
    const sent = performance.now();
    try {
      await showControls(await fetch(path, { method: "POST" }));
      note(actionTimes, performance.now() - sent);
    } catch (e) {
      status("the keyer does not answer: " + e.message);
    }
  }
  sending = false;
}

// The view: the newest render request wins; one in flight at a time.
let viewBusy = false,
  viewAgain = false;
async function requestView() {
  if (viewBusy) {
    viewAgain = true;
    return;
  }
  viewBusy = true;
  try {
    do {
      viewAgain = false;
      const sent = performance.now();
      const res = await fetch("/api/view");
      if (res.status === 200) {
        keyed = await image(res);
        drawView();
        note(viewTimes, performance.now() - sent);
      }
    } while (viewAgain);
  } catch (e) {
    status("render failed: " + e.message);
  }
  viewBusy = false;
}
async function image(res) {
  const w = +res.headers.get("X-Width"),
    h = +res.headers.get("X-Height");
  return new ImageData(new Uint8ClampedArray(await res.arrayBuffer()), w, h);
}
function put(canvas, img) {
  canvas.width = img.width;
  canvas.height = img.height;
  canvas.getContext("2d").putImageData(img, 0, 0);
}
function drawView() {
  const mode = $("mode").value,
    view = $("view"),
    after = $("after");
  after.hidden = mode !== "split";
  if (!frame || !keyed) return;
  if (mode === "original" || mode === "split") put(view, frame);
  if (mode === "split") put(after, keyed);
  if (mode === "keyed") put(view, keyed);
  if (mode === "matte") {
    const m = new ImageData(keyed.width, keyed.height);
    for (let i = 0; i < m.data.length; i += 4) {
      m.data[i] = m.data[i + 1] = m.data[i + 2] = keyed.data[i + 3];
      m.data[i + 3] = 255;
    }
    put(view, m);
  }
}
$("mode").onchange = drawView;

// The controls: the pointer as the module's user events.
function point(canvas, e) {
  const r = canvas.getBoundingClientRect();
  return [
    Math.floor(((e.clientX - r.left) * canvas.width) / r.width),
    Math.floor(((e.clientY - r.top) * canvas.height) / r.height),
  ];
}
function pointer(name, kind, e) {
  const [x, y] = point(canvases[name], e);
  let q = `control=${name}&kind=${kind}&x=${x}&y=${y}&shift=${e.shiftKey ? 1 : 0}&alt=${e.altKey ? 1 : 0}`;
  if (kind === "down") q += `&button=${e.button === 2 ? "right" : "left"}`;
  send("/api/pointer?" + q, kind === "move");
}
for (const name of ["wheel", "bar"]) {
  const c = canvases[name];
  c.addEventListener("contextmenu", (e) => e.preventDefault());
  c.addEventListener("pointerdown", (e) => {
    if (e.button !== 0 && e.button !== 2) return;
    c.setPointerCapture(e.pointerId);
    e.preventDefault();
    pointer(name, "down", e);
  });
  c.addEventListener("pointermove", (e) => pointer(name, "move", e));
  c.addEventListener("pointerup", (e) => {
    if (e.button === 0 || e.button === 2) pointer(name, "up", e);
  });
}

// A click on the picture picks its colour as the key.
for (const id of ["view", "after"])
  $(id).addEventListener("click", (e) => {
    const [x, y] = point($(id), e);
    send(`/api/pick?x=${x}&y=${y}&shift=${e.shiftKey ? 1 : 0}`, false);
  });

for (const name of ["softness", "spill"]) {
  const set = (v) => send(`/api/number?name=${name}&value=${encodeURIComponent(v)}`, true);
  $(name).addEventListener("input", (e) => {
    $(name + "Num").value = e.target.value;
    set(e.target.value);
  });
  $(name + "Num").addEventListener("change", (e) => set(e.target.value));
}
$("undo").onclick = () => send("/api/undo", false);
$("redo").onclick = () => send("/api/redo", false);
document.addEventListener("keydown", (e) => {
  if (!(e.ctrlKey || e.metaKey) || e.key.toLowerCase() !== "z" || e.target.type === "number")
    return;
  e.preventDefault();
  send(e.shiftKey ? "/api/redo" : "/api/undo", false);
});
$("save").onclick = async () => {
  const res = await fetch("/api/save", { method: "POST" });
  status((await res.text()).trim());
};

// The frame's scopes: its colours where the key looks them up on the wheel
// (darker where more pixels lie), and its lightness histogram over the bar's
// scale.
async function drawScopes() {
  const counts = new Uint32Array(await (await fetch("/api/scopes")).arrayBuffer());
  const [, , sw, sh] = state.scope,
    [bw, bh] = state.bar,
    [left, right] = state.barScale;
  const wheel = counts.subarray(0, sw * sh),
    bins = counts.subarray(sw * sh);
  const scope = $("scope"),
    histogram = $("histogram");
  scope.width = sw;
  scope.height = sh;
  histogram.width = bw;
  histogram.height = bh;
  const dots = new ImageData(sw, sh),
    top = Math.log1p(Math.max(...wheel));
  wheel.forEach((c, i) => {
    if (c) dots.data[i * 4 + 3] = 90 + (165 * Math.log1p(c)) / top;
  });
  scope.getContext("2d").putImageData(dots, 0, 0);
  const g = histogram.getContext("2d"),
    most = Math.sqrt(Math.max(...bins)),
    step = (right - left) / bins.length;
  g.fillStyle = "rgba(255,150,0,0.55)";
  bins.forEach((c, i) => {
    const h = (0.7 * bh * Math.sqrt(c)) / most;
    g.fillRect(left + i * step, bh - h, step + 0.3, h);
  });
}
for (const [box, layer] of [
  ["showScope", "scope"],
  ["showHistogram", "histogram"],
])
  $(box).onchange = () => {
    $(layer).hidden = !$(box).checked;
  };

// Export: the whole input keyed in the background; the bar shows its frames.
$("export").onclick = async () => {
  const res = await fetch("/api/export", { method: "POST" });
  if (!res.ok) {
    status((await res.text()).trim());
    return;
  }
  $("export").disabled = true;
  $("progress").hidden = false;
  for (;;) {
    const e = await (await fetch("/api/export")).json();
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
};

(async () => {
  $("export").hidden = !(await (await fetch("/api/export")).json()).available;
  await showControls(await fetch("/api/controls"));
})();

// For the browser test: what the page shows and waits for.
window.keyer = {
  get state() {
    return state;
  },
  get viewShown() {
    return keyed !== null;
  },
  get idle() {
    return queue.length === 0 && !sending;
  },
  timings: () => [actionTimes, viewTimes],
};
