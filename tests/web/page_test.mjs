// The control page in a real browser (Debian's Chromium, driven by puppeteer-core) against the
// running program: it goes live, its meters move while sound plays, a slider changes the
// parameter (read back over OSC), Start enters sequence mode, and on a phone-sized screen
// nothing overflows. Arguments: OSCQuery port, OSC port, screenshot path.
import assert from "node:assert/strict";
import dgram from "node:dgram";
import { test } from "node:test";
import puppeteer from "puppeteer-core";

const [queryPort, oscPort, shotPath] = process.argv.slice(2);
const pageUrl = `http://127.0.0.1:${queryPort}/_page/`;

function oscString(s) {
  const b = Buffer.from(s + "\0");
  return Buffer.concat([b, Buffer.alloc((4 - (b.length % 4)) % 4)]);
}

function readString(b, at) {
  const end = b.indexOf(0, at);
  return [b.toString("utf8", at, end), (end + 4) & ~3];
}

// Every registered parameter's value, as the parameter server sends it to an OSC peer that
// asks with "/sendAllParameters".
async function valuesOverOsc() {
  const sock = dgram.createSocket("udp4");
  await new Promise((r) => sock.bind(0, "127.0.0.1", r));
  const values = new Map();
  sock.on("message", (b) => {
    const [address, at] = readString(b, 0);
    let [tags, i] = readString(b, at);
    const args = [];
    for (const t of tags.slice(1)) {
      if (t === "f") { args.push(b.readFloatBE(i)); i += 4; }
      else if (t === "i") { args.push(b.readInt32BE(i)); i += 4; }
      else if (t === "s") { const [s, n] = readString(b, i); args.push(s); i = n; }
    }
    values.set(address, args);
  });
  const port = sock.address().port;
  const request = Buffer.concat([oscString("/sendAllParameters"), oscString(",i"),
    Buffer.from(new Int32Array([0]).buffer)]);
  request.writeInt32BE(port, request.length - 4);
  sock.send(request, Number(oscPort), "127.0.0.1");
  await new Promise((r) => setTimeout(r, 700));
  sock.close();
  return values;
}

const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

async function withPage(body) {
  const browser = await puppeteer.launch({
    executablePath: "/usr/bin/chromium",
    headless: true,
    args: ["--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage"],
  });
  try {
    const page = await browser.newPage();
    await page.setViewport({ width: 390, height: 844, deviceScaleFactor: 1 });
    await body(page);
  } finally {
    await browser.close();
  }
}

async function open(page, query) {
  await page.goto(pageUrl + query, { waitUntil: "load" });
  await page.waitForFunction(() => document.getElementById("link").textContent === "live",
    { timeout: 15000 });
  await page.waitForFunction(() => document.getElementById("mode").textContent !== "-",
    { timeout: 15000 });
}

const token = process.env.PAGE_TOKEN;

test("with a token set, the page changes nothing without it", { skip: !token }, async () => {
  await withPage(async (page) => {
    await open(page, "");
    await page.click("#start");
    await page.waitForFunction(() => !document.getElementById("error").hidden, { timeout: 15000 });
    await sleep(1000);
    assert.equal(await page.$eval("#mode", (e) => e.textContent), "static atom");
    assert.deepEqual((await valuesOverOsc()).get("/Real/Show"), [1]);

    await open(page, "?token=" + encodeURIComponent(token));
    await page.click("#start");
    await page.waitForFunction(() => document.getElementById("mode").textContent === "sequence",
      { timeout: 15000 });
    assert.deepEqual((await valuesOverOsc()).get("/Real/Show"), [0]);
  });
});

test("the control page drives the running program", { skip: !!token }, async () => {
  await withPage(async (page) => {
    await page.goto(pageUrl, { waitUntil: "load" });
    await page.waitForFunction(() => document.getElementById("link").textContent === "live",
      { timeout: 15000 });
    await page.waitForSelector('#sound input[data-address="/gain"]', { timeout: 15000 });

    // Meters: some channel shows a level, and the bars change from look to look.
    const bars = () => page.$$eval(".meter div", (d) => d.map((e) => e.style.height).join(","));
    await page.waitForFunction(() => [...document.querySelectorAll(".meter div")]
      .some((e) => parseFloat(e.style.height) > 0), { timeout: 15000 });
    const seen = new Set();
    for (let i = 0; i < 10; ++i) {
      seen.add(await bars());
      await sleep(200);
    }
    assert.ok(seen.size > 1, "the level meters stand still: " + [...seen].join(" | "));

    // A slider moved by the mouse sets the parameter; the OSC peer reads the new value.
    const before = (await valuesOverOsc()).get("/gain");
    assert.ok(before, "no /gain over OSC");
    const slider = await page.$('#sound input[data-address="/gain"]');
    await slider.scrollIntoView();
    const box = await slider.boundingBox();
    const at = { x: box.x + box.width * 0.6, y: box.y + box.height / 2 };
    const hit = await page.evaluate(({ x, y }) => {
      const e = document.elementFromPoint(x, y);
      return e && (e.dataset.address || e.tagName);
    }, at);
    assert.equal(hit, "/gain", "the slider is covered where the mouse goes");
    await page.mouse.click(at.x, at.y);
    const shown = await page.$eval('#sound input[data-address="/gain"]', (e) => Number(e.value));
    assert.ok(Math.abs(shown - before[0]) > 0.1, `the slider did not move (${shown})`);
    let after;
    for (let i = 0; i < 10; ++i) {
      after = (await valuesOverOsc()).get("/gain");
      if (Math.abs(after[0] - shown) < 1e-3) break;
    }
    assert.ok(Math.abs(after[0] - shown) < 1e-3, `/gain is ${after[0]} over OSC, ${shown} on the page`);

    // Start: the program enters sequence mode ("Show Static Atom" off) and the page shows it.
    await page.click("#start");
    await page.waitForFunction(() => document.getElementById("mode").textContent === "sequence",
      { timeout: 15000 });
    const mode = await valuesOverOsc();
    assert.deepEqual(mode.get("/Real/Show"), [0], "Show Static Atom is still on");
    // The sequence's clock shows on the page while it plays.
    await page.waitForFunction(() => document.getElementById("time").textContent.endsWith(" s"),
      { timeout: 15000 }).catch(async (e) => {
      const state = await (await fetch(`http://127.0.0.1:${queryPort}/_state`)).text();
      throw new Error(e.message + "; the program's state: " + state);
    });

    // Phone-sized: nothing wider than the screen.
    await page.evaluate(() => window.scrollTo(0, 0));
    const widths = await page.evaluate(() => ({
      page: document.documentElement.scrollWidth,
      view: window.innerWidth,
      wide: [...document.querySelectorAll("body *")]
        .filter((e) => e.getBoundingClientRect().right > window.innerWidth + 0.5)
        .map((e) => e.tagName + "#" + e.id + "." + e.className),
    }));
    assert.ok(widths.page <= widths.view, `page ${widths.page} px wide on ${widths.view} px`);
    assert.deepEqual(widths.wide, [], "elements beyond the right edge");
    await page.screenshot({ path: shotPath, fullPage: true });

    await page.click("#stop");
    await page.waitForFunction(() => document.getElementById("mode").textContent === "static atom",
      { timeout: 15000 });
  });
});
