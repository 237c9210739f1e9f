// The page of `crumple view` in headless chromium, against the real tool:
// load, a hit aimed by a click, settings, before/after, undo, reset, save.
//   node tests/browser/view_page.mjs --tool build/crumple --scene examples/buoy-hits.json
import { spawn } from 'node:child_process';
import { createInterface } from 'node:readline';
import { readFile } from 'node:fs/promises';
import { fileURLToPath } from 'node:url';
import { parseArgs } from 'node:util';
import path from 'node:path';

const root = fileURLToPath(new URL('../..', import.meta.url));
const { chromium } = await import(new URL('../../tools/view/node_modules/playwright-core/index.mjs', import.meta.url));
const { values: opts } = parseArgs({ options: {
  tool: { type: 'string' }, scene: { type: 'string' }, chromium: { type: 'string', default: '/usr/bin/chromium' },
} });
if (!opts.tool || !opts.scene) {
  console.error('usage: view_page.mjs --tool PATH/crumple --scene SCENE.json [--chromium PATH]');
  process.exit(2);
}

let tool, browser;
let stopping = false;
async function stop() {
  await browser?.close().catch(() => {});
  if (tool && tool.exitCode === null && tool.signalCode === null) {
    const exited = new Promise((resolve) => tool.once('exit', resolve));
    tool.kill('SIGTERM');
    const late = setTimeout(() => tool.kill('SIGKILL'), 5000);
    await exited;
    clearTimeout(late);
    return tool.signalCode === 'SIGKILL' ? 'the tool ignored SIGTERM for 5 s' : null;
  }
  return null;
}
async function fail(message) {
  stopping = true;
  console.error(`FAIL: ${message}`);
  await stop();
  process.exit(1);
}
const check = (ok, message) => (ok ? undefined : fail(message));
const timer = setTimeout(() => fail('not done after 120 s'), 120_000);

try {
  const scene = JSON.parse(await readFile(path.resolve(opts.scene), 'utf8'));
  tool = spawn(path.resolve(opts.tool), ['view', path.resolve(opts.scene), '--port', '0'],
    { cwd: root, stdio: ['ignore', 'pipe', 'inherit'] });
  tool.once('error', (e) => fail(`cannot start ${opts.tool}: ${e.message}`));
  tool.once('exit', (code, signal) => { if (!stopping) fail(`the tool exited (${code ?? signal}) during the test`); });
  const url = await new Promise((resolve) => createInterface({ input: tool.stdout }).once('line', resolve));
  const address = new URL(url);
  const token = address.searchParams.get('token');
  await check(address.hostname === '127.0.0.1' && token, `first line is not the page's address: "${url}"`);
  const state = async () => (await fetch(new URL('/api/state', address), { headers: { 'X-Crumple-Token': token } })).json();

  browser = await chromium.launch({ executablePath: opts.chromium, args: [
    '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
    '--disable-component-update', '--disable-sync', '--use-angle=swiftshader', '--enable-unsafe-swiftshader'] });
  const page = await browser.newPage({ viewport: { width: 1200, height: 800 }, acceptDownloads: true });
  const faults = [];
  page.on('console', (m) => { if (m.type() === 'error') faults.push(`console: ${m.text()}`); });
  page.on('pageerror', (e) => faults.push(`page error: ${e.message}`));
  page.on('response', (r) => { if (r.status() >= 400) faults.push(`${r.status()} for ${r.url()}`); });

  const ready = () => page.waitForSelector('body[data-state="ready"]', { timeout: 30_000 }).catch(async () =>
    fail(`the page is not ready: data-state "${await page.getAttribute('body', 'data-state')}", status "${await page.textContent('#status')}"`));
  const rows = () => page.$$eval('#rows tr', (trs) => trs.map((tr) => ({
    step: Number(tr.dataset.step), cells: [...tr.cells].map((td) => td.textContent) })));
  const untilRows = (n, what) => page.waitForFunction((n) => document.querySelectorAll('#rows tr').length === n, n,
    { timeout: 30_000 }).then(ready, async () => fail(`${what}: the table has ${(await rows()).length} rows, not ${n}`));
  // RGBA bytes of a (2r+1)^2 patch around canvas point (x, y), as drawn.
  const patch = (x, y, r = 3) => page.evaluate(([x, y, r]) => {
    const gl = document.getElementById('canvas');
    const flat = Object.assign(document.createElement('canvas'), { width: gl.width, height: gl.height });
    const ctx = flat.getContext('2d');
    ctx.drawImage(gl, 0, 0);
    const k = gl.width / gl.clientWidth;
    return Array.from(ctx.getImageData(Math.round(x * k) - r, Math.round(y * k) - r, 2 * r + 1, 2 * r + 1).data);
  }, [x, y, r]);
  const diff = (a, b) => a.reduce((sum, v, i) => sum + Math.abs(v - b[i]), 0) / a.length;
  const orange = (p) => { let s = 0; for (let i = 0; i < p.length; i += 4) s += p[i] - p[i + 2]; return s / (p.length / 4); };

  // 1. Load: the scene's steps in the table, the mesh on the canvas.
  await page.goto(url);
  await ready();
  await check(faults.length === 0, `loading the page: ${faults.join(' | ')}`);
  const loaded = await rows();
  await check(loaded.length === scene.hits.length, `table has ${loaded.length} rows, the scene ${scene.hits.length} steps`);
  for (const [i, hit] of scene.hits.entries()) {
    await check(loaded[i].step === i + 1 && loaded[i].cells[1] === (hit.name ?? loaded[i].cells[1]),
      `row ${i + 1} is step ${loaded[i].step} "${loaded[i].cells[1]}", the scene's step ${i + 1} is "${hit.name}"`);
  }
  await check(loaded.every((r, i) => r.cells[10].includes('ClearDamage') === Boolean(scene.hits[i].reset)),
    'the message column shows ClearDamage on other rows than the reset steps');
  const controls = await page.$$eval('[data-setting]', (inputs) => Object.fromEntries(inputs.map((input) =>
    [input.dataset.setting, input.type === 'checkbox' ? Number(input.checked) : Number(input.value)])));
  const next = (await state()).next;
  for (const [name, value] of [...Object.entries(scene.settings ?? {}), ...Object.entries(next)]) {
    const shown = name in next ? Number(await page.inputValue(`#${name}`)) : controls[name];
    await check(shown === value, `the control of "${name}" shows ${shown}, the session holds ${value}`);
  }
  const box = await page.locator('#canvas').boundingBox();
  // The mesh covers the centre; the click goes to an undamaged spot off it, so
  // that a hit aimed anywhere but the clicked point shows.
  const background = (await patch(2, 2, 0)).slice(0, 3);
  const covers = (p) => {
    let n = 0;
    for (let i = 0; i < p.length; i += 4) {
      if (Math.abs(p[i] - background[0]) + Math.abs(p[i + 1] - background[1]) + Math.abs(p[i + 2] - background[2]) > 24) n++;
    }
    return n === p.length / 4;
  };
  const [mx, my] = [box.width / 2, box.height / 2];
  await check(covers(await patch(mx, my, 10)), 'the canvas centre shows the background: no mesh drawn');
  let spot;
  for (let a = 0; a < 8 && !spot; a++) {
    const [x, y] = [Math.round(mx + 0.25 * box.height * Math.cos(a)), Math.round(my + 0.25 * box.height * Math.sin(a))];
    const p = await patch(x, y, 10);
    if (covers(p) && orange(p) < 0) spot = [x, y];
  }
  await check(spot, 'no undamaged surface near the canvas centre to click');
  const [cx, cy] = spot;

  // 2. A click on the surface hits there: one more row, orange where it landed.
  const untouched = await patch(cx, cy);
  await page.mouse.click(box.x + cx, box.y + cy);
  await untilRows(loaded.length + 1, 'after a click on the mesh');
  const hit = (await rows()).at(-1);
  await check(hit.step === loaded.length + 1 && Number(hit.cells[2]) > 0,
    `the clicked hit's row is step ${hit.step} with energy "${hit.cells[2]}"`);
  const dented = await patch(cx, cy);
  await check(orange(dented) > orange(untouched) + 30,
    `no dent colour where the click landed (red - blue ${orange(untouched).toFixed(1)} -> ${orange(dented).toFixed(1)})`);

  // A drag turns the camera (the dent leaves the spot) and makes no hit; back again.
  const drag = async (dx) => {
    await page.mouse.move(box.x + cx, box.y + cy);
    await page.mouse.down();
    await page.mouse.move(box.x + cx + dx, box.y + cy, { steps: 4 });
    await page.mouse.up();
    await page.evaluate(() => new Promise((r) => requestAnimationFrame(() => requestAnimationFrame(r))));
  };
  await drag(60);
  await check(orange(await patch(cx, cy)) < orange(dented) - 30, 'a drag did not turn the view');
  await drag(-60);
  await check((await rows()).length === loaded.length + 1, 'a drag on the canvas made a hit');
  await check(diff(await patch(cx, cy), dented) < 2, 'dragging back did not bring the view back');

  // 3. Before/after, undo, reset.
  await page.click('#toggle');
  await ready();
  const before = await patch(cx, cy);
  await check(orange(before) < orange(dented) - 30, 'Before shows the dent');
  await page.click('#toggle');
  await ready();
  await check(diff(await patch(cx, cy), dented) < 1, 'After again does not show the dent');
  await page.click('#undo');
  await untilRows(loaded.length, 'after Undo');
  await check((await rows()).at(-1).step === loaded.length, 'Undo did not remove the last row');
  await check(diff(await patch(cx, cy), untouched) < 1, 'after Undo the dent is still drawn');
  await page.click('#reset');
  await untilRows(loaded.length + 1, 'after Reset');
  const reset = (await rows()).at(-1);
  await check(reset.cells[10].includes('ClearDamage'), `the reset row's message is "${reset.cells[10]}"`);
  await check(diff(await patch(cx, cy), before) < 2, 'after Reset the mesh does not look as it did before any step');

  // 4. Settings: number field, slider (debounced) and switch each reach the server.
  await page.fill('input[data-setting="Dent factor"]', '0.25');
  await page.press('input[data-setting="Dent factor"]', 'Enter');
  await ready();
  await page.locator('.setting', { has: page.locator('[data-setting="Impact factor"]') }).locator('input[type=range]').fill('80');
  await ready();
  await page.check('input[data-setting="Apply Holes? (0/1)"]');
  await ready();
  const value = (s, name) => s.settings.find((x) => x.name === name)?.value;
  const tuned = await state();
  await check(value(tuned, 'Dent factor') === 0.25 && value(tuned, 'Impact factor') === 80 && value(tuned, 'Apply Holes? (0/1)') === 1,
    `settings after editing: Dent factor ${value(tuned, 'Dent factor')}, Impact factor ${value(tuned, 'Impact factor')}, holes ${value(tuned, 'Apply Holes? (0/1)')}`);
  await check(await page.inputValue('input[data-setting="Impact factor"]') === '80', 'the slider did not move its number field');

  // 5. Save scene: the session as a scene file, one step per row.
  const [download] = await Promise.all([page.waitForEvent('download'), page.click('#save')]);
  const saved = JSON.parse(await readFile(await download.path(), 'utf8'));
  const shown = await rows();
  await check(download.suggestedFilename() === 'crumple-session.json', `saved as "${download.suggestedFilename()}"`);
  await check(saved.hits?.length === shown.length && saved.hits.at(-1).reset === true,
    `the saved scene has ${saved.hits?.length} steps (last reset: ${saved.hits?.at(-1)?.reset}), the table ${shown.length} rows`);
  await check(faults.length === 0, faults.join(' | '));

  stopping = true;
  const stopped = await stop();
  await check(!stopped, stopped);
  clearTimeout(timer);
  console.log('view page: load, click hit, before/after, undo, reset, settings, drag, save: ok');
} catch (error) {
  await fail(error.stack ?? String(error));
}
