// The control page: the piece's state record and its parameters, both live over the OSCQuery
// server's WebSocket; every action is an OSC message through the parameter server.
"use strict";
const $ = (id) => document.getElementById(id);
const token = new URLSearchParams(location.search).get("token") || "";
const sliders = new Map();  // address -> {input, output, type}
let socket = null;
let built = false;

function send(address, ...args) {
  if (socket && socket.readyState === WebSocket.OPEN) socket.send(osc.message(address, args));
}

function showError(text) {
  $("error").hidden = !text;
  $("error").textContent = text || "";
}

function node(tree, path) {
  let n = tree;
  for (const part of path.split("/").filter(Boolean)) {
    n = n && n.CONTENTS && n.CONTENTS[part];
  }
  return n;
}

function format(v, type) {
  return type === "i" ? String(v) : Number(v).toPrecision(3);
}

function addSlider(container, n) {
  const type = n.TYPE;
  if (type !== "f" && type !== "i") return;
  const range = (n.RANGE && n.RANGE[0]) || {};
  const min = range.MIN ?? 0, max = range.MAX ?? 1;
  const label = document.createElement("label");
  const name = document.createElement("span");
  name.textContent = n.FULL_PATH.split("/").pop();
  name.title = n.DESCRIPTION || n.FULL_PATH;
  const input = document.createElement("input");
  input.type = "range";
  input.min = min;
  input.max = max;
  input.step = type === "i" ? 1 : (max - min) / 1000;
  input.value = n.VALUE ? n.VALUE[0] : min;
  input.dataset.address = n.FULL_PATH;
  const output = document.createElement("output");
  output.textContent = format(input.value, type);
  input.addEventListener("input", () => {
    const v = Number(input.value);
    output.textContent = format(v, type);
    send(n.FULL_PATH, type === "i" ? { type: "i", value: Math.round(v) } : v);
  });
  label.append(name, input, output);
  container.append(label);
  sliders.set(n.FULL_PATH, { input, output, type });
}

async function build(state) {
  built = true;
  const tree = await (await fetch("/")).json();
  for (const [group, list] of [["sound", state.sound], ["drawing", state.drawing]]) {
    for (const address of list || []) {
      const n = node(tree, address);
      if (n) addSlider($(group), n);
    }
  }
  (state.defaultPresets || []).forEach((name, i) => {
    const b = document.createElement("button");
    b.textContent = name;
    b.addEventListener("click", () => send("/control/defaultPreset", { type: "i", value: i }));
    $("defaultPresets").append(b);
  });
  for (const k of state.keyPresets || []) {
    const b = document.createElement("button");
    b.textContent = k.key;
    b.title = "preset " + k.preset;
    b.addEventListener("click", () => send("/preset", { type: "i", value: k.preset }));
    $("keyPresets").append(b);
  }
  listenAll();
}

function listenAll() {
  if (!socket || socket.readyState !== WebSocket.OPEN) return;
  for (const address of sliders.keys()) {
    socket.send(JSON.stringify({ COMMAND: "LISTEN", DATA: address }));
  }
}

function showState(s) {
  $("mode").textContent = s.mode === "static" ? "static atom" : "sequence";
  $("start").classList.toggle("on", s.mode === "sequence");
  $("time").textContent = s.playing ? s.time.toFixed(1) + " s" : "-";
  $("voices").textContent = s.activeVoices ?? "-";
  $("frameMs").textContent = s.frameMs.toFixed(1) + " ms";
  $("worstFrameMs").textContent = s.worstFrameMs.toFixed(1) + " ms";
  $("underflows").textContent = s.underflows;
  const meters = $("meters");
  while (meters.children.length < s.levels.length) {
    const m = document.createElement("div");
    m.className = "meter";
    m.append(document.createElement("div"));
    meters.append(m);
  }
  s.levels.forEach((peak, c) => {
    const bar = meters.children[c].firstChild;
    // -60 dB to 0 dB over the meter's height.
    const db = peak > 0 ? 20 * Math.log10(peak) : -60;
    bar.style.height = Math.max(0, Math.min(100, (db + 60) / 60 * 100)) + "%";
    bar.classList.toggle("hot", peak >= 1);
    meters.children[c].title = "channel " + (c + 1) + ": " + db.toFixed(1) + " dB";
  });
  [...$("defaultPresets").children].forEach((b, i) => b.classList.toggle("on", i === s.defaultPreset));
  $("nodesSection").hidden = !s.primary;
  $("nodes").replaceChildren(...(s.nodes || []).map((n) => {
    const li = document.createElement("li");
    li.textContent = n.name + " (" + n.role + ") " + (n.seen ? "seen" : "not seen");
    if (!n.seen) li.className = "unseen";
    return li;
  }));
  if (!s.nodes || !s.nodes.length) $("nodes").innerHTML = "<li>this instance alone</li>";
}

function connect() {
  const url = "ws://" + location.host + "/" + (token ? "?token=" + encodeURIComponent(token) : "");
  socket = new WebSocket(url);
  socket.binaryType = "arraybuffer";
  socket.onopen = () => {
    $("link").textContent = "live";
    $("link").classList.add("live");
    socket.send(JSON.stringify({ COMMAND: "STATE", DATA: true }));
    listenAll();
  };
  socket.onclose = () => {
    $("link").textContent = "reconnecting";
    $("link").classList.remove("live");
    setTimeout(connect, 1000);
  };
  socket.onmessage = (e) => {
    if (typeof e.data !== "string") {
      for (const m of osc.parse(e.data)) {
        const s = sliders.get(m.address);
        if (s && m.args.length && document.activeElement !== s.input) {
          s.input.value = m.args[0];
          s.output.textContent = format(m.args[0], s.type);
        }
      }
      return;
    }
    const msg = JSON.parse(e.data);
    if (msg.ERROR) showError(msg.ERROR);
    if (msg.STATE && msg.STATE.piece) {
      const s = msg.STATE.piece;
      if (!built) build(s);
      showState(s);
    }
  };
}

for (const b of document.querySelectorAll("button[data-osc]")) {
  b.addEventListener("click", () => send(b.dataset.osc));
}
connect();
