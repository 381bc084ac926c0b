// OSC 1.0 messages to and from the bytes of a WebSocket binary frame.
"use strict";
const osc = (() => {
  const pad = (n) => (n + 3) & ~3;
  function encodeString(s) {
    const b = new TextEncoder().encode(s);
    const out = new Uint8Array(pad(b.length + 1));
    out.set(b);
    return out;
  }
  function message(address, args) {
    let tags = ",";
    const parts = [encodeString(address)];
    const body = [];
    for (const a of args) {
      if (typeof a === "string") {
        tags += "s";
        body.push(encodeString(a));
      } else {
        const b = new Uint8Array(4);
        const v = new DataView(b.buffer);
        if (a.type === "i") { tags += "i"; v.setInt32(0, a.value); }
        else { tags += "f"; v.setFloat32(0, typeof a === "number" ? a : a.value); }
        body.push(b);
      }
    }
    parts.push(encodeString(tags), ...body);
    const size = parts.reduce((n, p) => n + p.length, 0);
    const out = new Uint8Array(size);
    let at = 0;
    for (const p of parts) { out.set(p, at); at += p.length; }
    return out.buffer;
  }
  function readString(bytes, at) {
    let end = at;
    while (end < bytes.length && bytes[end] !== 0) end++;
    return [new TextDecoder().decode(bytes.subarray(at, end)), pad(end + 1)];
  }
  // [{address, args}] of a message or bundle.
  function parse(buffer) {
    const bytes = new Uint8Array(buffer);
    const view = new DataView(buffer);
    const [first, after] = readString(bytes, 0);
    if (first === "#bundle") {
      const out = [];
      for (let at = 16; at + 4 <= bytes.length;) {
        const n = view.getInt32(at);
        out.push(...parse(buffer.slice(at + 4, at + 4 + n)));
        at += 4 + n;
      }
      return out;
    }
    let [tags, at] = readString(bytes, after);
    const args = [];
    for (const t of tags.slice(1)) {
      if (t === "f") { args.push(view.getFloat32(at)); at += 4; }
      else if (t === "i") { args.push(view.getInt32(at)); at += 4; }
      else if (t === "s") { const [s, next] = readString(bytes, at); args.push(s); at = next; }
      else if (t === "T") args.push(true);
      else if (t === "F") args.push(false);
    }
    return [{ address: first, args }];
  }
  return { message, parse };
})();
