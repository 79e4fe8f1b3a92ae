// The playground in headless Chromium: chains built through its controls give the native
// command line's bytes, a refused chain shows the command line's error line, nothing is fetched
// from elsewhere, and the page fits a phone's width.
import assert from 'node:assert/strict';
import { execFileSync, spawnSync } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { dirname, join, resolve } from 'node:path';
import { after, before, test } from 'node:test';
import { fileURLToPath } from 'node:url';
import puppeteer from 'puppeteer-core';
import { serve } from './serve.mjs';

const root = resolve(dirname(fileURLToPath(import.meta.url)), '../..');
const cli = process.env.WAVFX_CLI ?? join(root, 'build/wavfx');
const demo = join(root, 'demo/demo.wav');
const screenshot = process.env.WAVFX_SCREENSHOT ?? join(root, 'docs/images/playground.png');
const scratch = mkdtempSync(join(tmpdir(), 'wavfx-page-'));

let server;
let browser;
let page;
const requests = [];
const failures = [];

before(async () => {
  server = await serve(join(root, 'web'));
  browser = await puppeteer.launch({
    executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium',
    headless: true,
    args: ['--no-sandbox', '--autoplay-policy=no-user-gesture-required', '--mute-audio'],
  });
  page = await browser.newPage();
  await page.setViewport({ width: 1280, height: 1000 });
  page.on('request', (request) => requests.push(request.url()));
  page.on('pageerror', (error) => failures.push(error.message));
  page.on('console', (message) => message.type() === 'error' && failures.push(message.text()));
  await page.goto(`${server.url}/playground/`);
  await page.waitForSelector('#status[data-state="ready"]');
});

after(async () => {
  await browser?.close();
  server?.close();
  rmSync(scratch, { recursive: true, force: true });
});

function nativeBytes(input, chain, bits) {
  const output = join(scratch, 'native.wav');
  execFileSync(cli, [...(bits ? ['--bits', bits] : []), '--quiet', input, output, chain]);
  return readFileSync(output);
}

// Waits for the page to finish `chain`, then reads the result back from the download link.
async function pageBytes(chain) {
  await page.waitForFunction(
    (text) => {
      const status = document.getElementById('status');
      return status.dataset.state === 'done' && status.dataset.chain === text;
    },
    { timeout: 60000 },
    chain
  );
  const base64 = await page.evaluate(async () => {
    const bytes = new Uint8Array(await (await fetch(document.getElementById('download').href)).arrayBuffer());
    let text = '';
    for (let i = 0; i < bytes.length; i += 0x8000) text += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
    return btoa(text);
  });
  return Buffer.from(base64, 'base64');
}

function assertSameBytes(page, native) {
  const at = page.findIndex((byte, i) => byte !== native[i]);
  assert.ok(page.equals(native), `page ${page.length} bytes, native ${native.length}, first difference at ${at}`);
}

async function typeInto(selector, text) {
  await page.click(selector, { clickCount: 3 });
  await page.keyboard.type(text);
  await page.keyboard.press('Tab');
}

// Replaces the chain text as a visitor would and applies it with Enter.
async function typeChain(chain) {
  await page.focus('#text');
  await page.keyboard.down('Control');
  await page.keyboard.press('KeyA');
  await page.keyboard.up('Control');
  await page.keyboard.type(chain);
  await page.keyboard.press('Enter');
}

async function addStage(name) {
  await page.select('#pick', name);
  await page.click('#add');
}

test('a chain built through the controls gives the command line bytes', async () => {
  await page.click('#demo');
  await page.click('.stage .tools button[aria-label^="Remove"]');
  await addStage('echo');
  await typeInto('#stage0-delay', '250');
  await addStage('lowpass');
  await typeInto('#stage1-poles', '2');
  await typeInto('#stage1-cutoff', '1500');
  await addStage('equalizer');
  await typeInto('#stage2-frequency', '3000');
  await typeInto('#stage2-gain', '6');
  await page.select('#stage2-unit', 'octaves');
  await addStage('gate');
  await page.focus('[aria-label="threshold slider"]');
  await page.keyboard.press('ArrowRight');
  await addStage('limiter');
  await page.focus('#stage4-truepeak');
  await page.keyboard.press('Space');
  const chain =
    'echo=delay=250,lowpass=poles=2:cutoff=1500,equalizer=frequency=3000:gain=6:unit=octaves,gate=threshold=-19.9,limiter=truepeak=0';
  assert.equal(await page.$eval('#text', (text) => text.value), chain);
  const bytes = await pageBytes(chain);
  await page.evaluate(() => {
    document.activeElement.blur();
    window.scrollTo(0, 0);
  });
  await page.screenshot({ path: screenshot });
  assertSameBytes(bytes, nativeBytes(demo, chain));
  await page.click('#play');
  await page.click('label[for="hear-b"]');
  await page.click('#play');
});

test('chain text and output depth on a float WAV give the command line bytes', async () => {
  const input = join(scratch, 'float.wav');
  execFileSync(cli, ['--bits', 'float', '--quiet', demo, input, 'trim=duration=1.5']);
  const chain = 'tremolo=rate=3,resample=rate=48000:quality=low,gain=db=-2';
  await (await page.$('#file')).uploadFile(input);
  await page.select('#bits', '24');
  await typeChain(chain);
  assert.equal(await page.$$eval('.stage', (stages) => stages.length), 3);
  assertSameBytes(await pageBytes(chain), nativeBytes(input, chain, '24'));
});

test('a refused chain shows the command line error line', async () => {
  const chain = 'lowpass,echo=feedback=2';
  const native = spawnSync(cli, [demo, join(scratch, 'refused.wav'), chain], { encoding: 'utf8' });
  assert.equal(native.status, 1);
  await typeChain(chain);
  await page.waitForFunction(() => document.getElementById('error').textContent !== '');
  const shown = await page.$eval('#error', (line) => line.textContent);
  assert.equal(`Error: ${shown.replace(/^Error: /, '')}`, native.stderr.trim());
});

test('the page fits a phone and fetched nothing from elsewhere', async () => {
  await page.setViewport({ width: 375, height: 800 });
  assert.ok(await page.evaluate(() => document.documentElement.scrollWidth <= window.innerWidth));
  const foreign = requests.filter((url) => !url.startsWith(server.url) && !/^(data|blob):/.test(url));
  assert.deepEqual(foreign, []);
  assert.deepEqual(failures, []);
});

test('once loaded, the page reloads offline with its controls', async () => {
  await page.evaluate(() => navigator.serviceWorker.ready);
  await page.setOfflineMode(true);
  try {
    await page.reload();
    await page.waitForSelector('#status[data-state="ready"]');
    assert.ok(await page.evaluate(() => document.querySelectorAll('select, input').length > 0));
  } finally {
    await page.setOfflineMode(false);
  }
});
