// SPDX-License-Identifier: GPL-3.0-or-later
// Runs Debian's chromium headless and does what the test on the other end of stdin asks, one
// JSON line a request, one JSON line an answer: open a page, tap, read a control, take a
// screenshot. The browser's profile is a fresh folder, removed at the end.
import puppeteer from 'puppeteer-core';
import { mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { createInterface } from 'node:readline';

const profile = mkdtempSync(join(tmpdir(), 'sonavex-chromium-'));
const browser = await puppeteer.launch({
  executablePath: process.env.SONAVEX_CHROMIUM || '/usr/bin/chromium',
  headless: true,
  userDataDir: profile,
  args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
    '--disable-component-update', '--disable-sync', '--disable-dev-shm-usage'],
});
let page = null;

const now = () => process.hrtime.bigint().toString(); // CLOCK_MONOTONIC, ns

const ops = {
  async open({ url, width, height, mobile }) {
    if (!page) page = await browser.newPage();
    await page.setViewport({ width, height, isMobile: !!mobile, hasTouch: !!mobile, deviceScaleFactor: 1 });
    await page.goto(url, { waitUntil: 'load' });
    return page.url();
  },
  async type({ selector, text }) { await page.type(selector, text); return true; },
  async submit({ selector }) {
    await Promise.all([page.waitForNavigation({ waitUntil: 'load' }), page.click(selector)]);
    return page.url();
  },
  // A tap as a finger or the mouse gives it: a sound button presses when touched (and lets go when
  // lifted), so the answer is the moment the touch was handed to the browser, on CLOCK_MONOTONIC
  // in nanoseconds (as text).
  async tap({ selector }) {
    const box = await (await page.waitForSelector(selector, { timeout: 5000 })).boundingBox();
    const x = box.x + box.width / 2, y = box.y + box.height / 2;
    await page.mouse.move(x, y);
    const at = process.hrtime.bigint();
    await page.mouse.down();
    await page.mouse.up();
    return at.toString();
  },
  // A finger put on the element and drawn `dy` pixels up, as a page is scrolled (answers the
  // page's scroll offset after it), and a finger's tap on the element.
  async swipe({ selector, dy }) {
    const box = await (await page.waitForSelector(selector, { timeout: 5000 })).boundingBox();
    const x = box.x + box.width / 2, y = box.y + box.height / 2;
    await page.touchscreen.touchStart(x, y);
    for (let i = 1; i <= 10; ++i) await page.touchscreen.touchMove(x, y - (dy * i) / 10);
    await page.touchscreen.touchEnd();
    return page.evaluate(() => window.scrollY);
  },
  // The mouse held down on the element for `ms` milliseconds.
  async hold({ selector, ms }) {
    const box = await (await page.waitForSelector(selector, { timeout: 5000 })).boundingBox();
    await page.mouse.move(box.x + box.width / 2, box.y + box.height / 2);
    await page.mouse.down();
    await new Promise((done) => setTimeout(done, ms));
    await page.mouse.up();
    return true;
  },
  // Every element the selector matches, as laid out: its box, its text, and its content's size
  // against the size it shows (scrollWidth > clientWidth: cut), and its line height.
  async boxes({ selector }) {
    return page.$$eval(selector, (all) => all.map((e) => {
      const r = e.getBoundingClientRect();
      return { text: e.textContent, x: r.x, y: r.y, w: r.width, h: r.height,
        sw: e.scrollWidth, cw: e.clientWidth, sh: e.scrollHeight, ch: e.clientHeight,
        lh: parseFloat(getComputedStyle(e).lineHeight) };
    }));
  },
  async touch({ selector }) {
    const box = await (await page.waitForSelector(selector, { timeout: 5000 })).boundingBox();
    await page.touchscreen.tap(box.x + box.width / 2, box.y + box.height / 2);
    return true;
  },
  async text({ selector }) { return page.$eval(selector, (e) => e.textContent); },
  async attr({ selector, name }) { return page.$eval(selector, (e, n) => e.getAttribute(n), name); },
  async className({ selector }) { return page.$eval(selector, (e) => e.className); },
  async colour({ selector, property }) {
    return page.$eval(selector, (e, p) => getComputedStyle(e)[p], property || 'backgroundColor');
  },
  // Waits until the element's class list holds `cls` (or, with `gone`, no longer does).
  async waitClass({ selector, cls, gone, timeout }) {
    await page.waitForFunction((s, c, g) => {
      const e = document.querySelector(s);
      return e && e.classList.contains(c) !== !!g;
    }, { timeout: timeout || 5000, polling: 'mutation' }, selector, cls, gone);
    return now();
  },
  async waitText({ selector, text, timeout }) {
    await page.waitForFunction((s, t) => {
      const e = document.querySelector(s);
      return e && e.textContent.includes(t);
    }, { timeout: timeout || 5000, polling: 'mutation' }, selector, text);
    return true;
  },
  async shot({ path }) { await page.screenshot({ path }); return path; },
  async overflow({ selector }) {
    return page.$eval(selector, (e) => e.scrollWidth > e.clientWidth || e.scrollHeight > e.clientHeight);
  },
};

const lines = createInterface({ input: process.stdin });
const answer = (o) => process.stdout.write(JSON.stringify(o) + '\n');
answer({ id: 0, ok: true, value: 'ready' });
for await (const line of lines) {
  let request;
  try { request = JSON.parse(line); } catch { answer({ id: -1, ok: false, value: 'no JSON' }); continue; }
  if (request.op === 'quit') break;
  try {
    answer({ id: request.id, ok: true, value: await ops[request.op](request) });
  } catch (e) {
    answer({ id: request.id, ok: false, value: String(e && e.message || e) });
  }
}
await browser.close();
rmSync(profile, { recursive: true, force: true });
