// The pages of bloktar-inspect --html in a real browser: headless Chromium (the Debian package),
// software WebGL (SwiftShader), driven by Playwright. Each check runs the built programs on our
// examples, opens the page from the disk and compares what it draws and says with what the
// inspector prints.
//
//   node view_test.mjs --inspect PATH --bloktar PATH [--mqogen PATH] --source REPO_DIR
//   node view_test.mjs --time PAGE.html [--runs N]   (scripts/bench: load to first frame, frames)
//   node view_test.mjs --screenshot OUT.png --camera JSON [--select N] PAGE.html  (README picture)
//
// Reported as skipped (a line with SKIPPED, status 0) when Chromium or Playwright is missing.
import { execFileSync, spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';

import { bmp, boxDocument } from './models.mjs';

const CHROMIUM = process.env.BLOKTAR_CHROMIUM || '/usr/bin/chromium';
const FLAGS = ['--use-angle=swiftshader', '--enable-unsafe-swiftshader', '--no-sandbox',
               '--disable-background-networking', '--disable-component-update', '--disable-sync',
               '--no-first-run', '--disable-quic', '--disable-dev-shm-usage'];
const VIEWPORT = { width: 1000, height: 700 };

function options() {
  const result = { runs: 3, files: [] };
  const argv = process.argv.slice(2);
  for (let i = 0; i < argv.length; ++i) {
    const name = argv[i];
    if (name.startsWith('--')) {
      result[name.slice(2)] = argv[++i];
    } else {
      result.files.push(name);
    }
  }
  return result;
}
const args = options();

// Where the browser is missing the tests report themselves skipped, unless BLOKTAR_REQUIRE_BROWSER
// is set (scripts/check, which installs it): then they fail.
function skip(why) {
  const required = Boolean(process.env.BLOKTAR_REQUIRE_BROWSER);
  console.log(`${required ? 'not ok - ' : 'SKIPPED: '}${why} (scripts/install-deps browser)`);
  process.exit(required ? 1 : 0);
}
let chromium;
try {
  ({ chromium } = await import('playwright-core'));
} catch (e) {
  skip('playwright-core is not installed');
}
if (!fs.existsSync(CHROMIUM)) {
  skip(`${CHROMIUM} is not installed`);
}

// ---- The programs.
const work = fs.mkdtempSync(path.join(os.tmpdir(), 'bloktar-view-'));
process.on('exit', () => fs.rmSync(work, { recursive: true, force: true }));

// Runs bloktar-inspect in dir; its output decoded from Shift_JIS.
function inspect(dir, argv) {
  const run = spawnSync(args.inspect, argv, { cwd: dir, maxBuffer: 1 << 30 });
  return { out: new TextDecoder('shift_jis').decode(run.stdout), status: run.status };
}
// What the inspector says: its block count, its count of blocks with a problem, and each
// block's problem lines.
function findings(out) {
  const total = Number(/^総ブロック数\t(\d+) $/m.exec(out)[1]);
  const problems = Number(/^問題のあるブロック\t(\d+)$/m.exec(out)[1]);
  const lines = {};
  let block = -1;
  for (const line of out.split('\n')) {
    const row = /^ブロック (\d+)/.exec(line);
    if (row) block = Number(row[1]);
    if (line.startsWith('\t・')) (lines[block] ||= []).push(line.slice(1));
    if (line.startsWith('---')) block = -1;
  }
  return { total, problems, lines };
}

// ---- The browser: every request that leaves the page's own file and data URIs is refused and
// remembered.
const browser = await chromium.launch({ executablePath: CHROMIUM, headless: true, args: FLAGS });
const external = [];
async function open(file) {
  const context = await browser.newContext({ viewport: VIEWPORT });
  await context.route('**/*', (route) => {
    const url = route.request().url();
    if (url.startsWith('file:') || url.startsWith('data:')) return route.continue();
    external.push(url);
    return route.abort();
  });
  const page = await context.newPage();
  const errors = [];
  page.on('pageerror', (e) => errors.push(e.message));
  page.on('console', (m) => m.type() === 'error' && errors.push(m.text()));
  const start = Date.now();
  await page.goto('file://' + path.resolve(file));
  await page.waitForSelector('html[data-ready]', { timeout: 120000 });
  const loadMs = Date.now() - start;
  const hooks = await page.evaluate(() => ({
    ready: Number(document.documentElement.dataset.ready),
    problems: Number(document.documentElement.dataset.problemBlocks),
  }));
  return { page, context, errors, hooks, loadMs };
}

let failures = 0;
function check(condition, what, detail = '') {
  console.log(`${condition ? 'ok' : 'not ok'} - ${what}${condition ? '' : ' ' + detail}`);
  if (!condition) ++failures;
}

const pixels = (page) => page.evaluate(() => window.bloktarView.pixels());
const camera = (page) => page.evaluate(() => window.bloktarView.camera());
// How many pixels of a frame are blue and how many green (the two halves of wall.bmp).
const textureColours = (page) => page.evaluate(() => {
  const canvas = document.getElementById('canvas');
  const gl = canvas.getContext('webgl2');
  window.bloktarView.pixels();
  const data = new Uint8Array(canvas.width * canvas.height * 4);
  gl.readPixels(0, 0, canvas.width, canvas.height, gl.RGBA, gl.UNSIGNED_BYTE, data);
  let blue = 0;
  let green = 0;
  for (let i = 0; i < data.length; i += 4) {
    if (data[i] < 40 && data[i + 1] < 40 && data[i + 2] > 100) ++blue;
    if (data[i] < 40 && data[i + 1] > 100 && data[i + 2] < 40) ++green;
  }
  return { blue, green };
});
// Points of a 3 x 3 grid over the canvas where the block a click picks is not the one drawn
// there: selecting it must tint that very pixel, and where nothing is picked the background
// must show. A point that picks the block already selected tells nothing and is passed over.
const wrongPicks = (page) => page.evaluate(() => {
  const view = window.bloktarView;
  const canvas = document.getElementById('canvas');
  const gl = canvas.getContext('webgl2');
  const frame = () => {
    view.rest();
    const data = new Uint8Array(canvas.width * canvas.height * 4);
    gl.readPixels(0, 0, canvas.width, canvas.height, gl.RGBA, gl.UNSIGNED_BYTE, data);
    return ([x, y]) => {
      const at = ((canvas.height - 1 - y) * canvas.width + x) * 4;
      return data.subarray(at, at + 3).join();
    };
  };
  let pixel = frame();
  const wrong = [];
  for (const i of [1, 2, 3]) {
    for (const j of [1, 2, 3]) {
      const point = [Math.floor((canvas.clientWidth * i) / 4), Math.floor((canvas.clientHeight * j) / 4)];
      const b = view.pick(point[0] + 0.5, point[1] + 0.5);
      if (b < 0 && pixel(point) !== '237,242,247') wrong.push([point, b]);
      if (b < 0 || String(b) === document.documentElement.dataset.selected) continue;
      const before = pixel(point);
      view.select(b, true);
      pixel = frame();
      if (pixel(point) === before) wrong.push([point, b]);
    }
  }
  return wrong;
});
// A pixel of the canvas, in the page's coordinates, where block b's centre is drawn.
async function blockPoint(page, b) {
  const [x, y] = await page.evaluate((n) => window.bloktarView.screenPoint(n), b);
  const box = await page.locator('#canvas').boundingBox();
  return { x: box.x + x, y: box.y + y };
}

// A page for a document copied into a fresh folder with the given files beside it; checks that
// its hooks say what the inspector says.
async function pageFor(name, source, extra = {}) {
  const dir = fs.mkdtempSync(path.join(work, name + '-'));
  fs.copyFileSync(source, path.join(dir, path.basename(source)));
  for (const [file, bytes] of Object.entries(extra)) fs.writeFileSync(path.join(dir, file), bytes);
  const run = inspect(dir, [path.basename(source), '--html', name + '.html']);
  check(run.out.endsWith('HTMLファイル作成\t完了\n'), `${name}: the page is written`, run.out.slice(-400));
  const said = findings(run.out);
  const html = fs.readFileSync(path.join(dir, name + '.html'), 'latin1');
  check(!/https?:|\/\/[a-z]/i.test(html.replace(/<script type="application\/json"[^]*?<\/script>/, '')),
        `${name}: the page names no address outside it`);
  const view = await open(path.join(dir, name + '.html'));
  check(view.hooks.ready === said.total, `${name}: data-ready is the inspector's block count`,
        `${view.hooks.ready} != ${said.total}`);
  check(view.hooks.problems === said.problems,
        `${name}: data-problem-blocks is the inspector's count`, `${view.hooks.problems} != ${said.problems}`);
  check(view.errors.length === 0, `${name}: no script errors`, view.errors.join('; '));
  return { dir, run, said, view, size: Buffer.byteLength(html, 'latin1') };
}

// The milliseconds of frames of the big model (scripts/bench): a camera path of steps, each
// drawn at the next animation frame as while moving, and every third step drawn once more at
// rest; each timed until its pixels are there.
const frameTimes = (page, path) => page.evaluate(async (path) => {
  const view = window.bloktarView;
  const gl = document.getElementById('canvas').getContext('webgl2');
  const done = () => gl.readPixels(0, 0, 1, 1, gl.RGBA, gl.UNSIGNED_BYTE, new Uint8Array(4));
  view.fit();
  const start = view.camera();
  if (path === 'inside') view.setCamera({ distance: start.distance * 0.01 });
  const times = { moving: [], resting: [] };
  for (let i = 1; i <= 9; ++i) {
    let t0 = performance.now();
    if (path === 'inside') {
      const f = start.target.map((c, a) => (c - start.eye[a]) / start.distance);
      view.setCamera({ target: start.target.map((c, a) => c + f[a] * start.distance * 0.005 * i) });
    } else {
      view.setCamera({ yaw: start.yaw + 0.02 * i });
    }
    await new Promise((resolve) => requestAnimationFrame(resolve));
    done();
    times.moving.push(performance.now() - t0);
    if (i % 3 === 0) {
      t0 = performance.now();
      view.rest();
      done();
      times.resting.push(performance.now() - t0);
    }
  }
  return times;
}, path);
const median = (values) => values.slice().sort((a, b) => a - b)[Math.floor(values.length / 2)];

if (args.time) {
  // The benchmark: load to first frame, and frames orbiting the whole model and walking inside
  // it, several times.
  const all = { load: [], orbit: { moving: [], resting: [] }, inside: { moving: [], resting: [] } };
  for (let i = 0; i < Number(args.runs); ++i) {
    const view = await open(args.time);
    all.load.push(view.loadMs);
    const run = {};
    for (const path of ['orbit', 'inside']) {
      run[path] = await frameTimes(view.page, path);
      for (const kind of ['moving', 'resting']) all[path][kind].push(...run[path][kind]);
    }
    const ms = (path, kind) => Math.round(median(run[path][kind]));
    console.log(`run ${i + 1}: first frame after ${view.loadMs} ms, blocks drawn ${view.hooks.ready}, ` +
                `problems ${view.hooks.problems}; a frame orbiting ${ms('orbit', 'moving')} ms, ` +
                `at rest ${ms('orbit', 'resting')} ms; walking inside ${ms('inside', 'moving')} ms, ` +
                `at rest ${ms('inside', 'resting')} ms`);
    await view.context.close();
  }
  const ms = (values) => Math.round(median(values));
  console.log(`median load to first frame: ${ms(all.load)} ms; a frame while moving: ` +
              `${ms(all.orbit.moving)} ms orbiting, ${ms(all.inside.moving)} ms walking inside; ` +
              `at rest: ${ms(all.orbit.resting)} ms, ${ms(all.inside.resting)} ms`);
  await browser.close();
  process.exit(0);
}

if (args.screenshot) {
  // A picture for the README: a map seen from inside, from where the options put the eye.
  const view = await open(args.files[0]);
  if (args.select) await view.page.evaluate((b) => window.bloktarView.select(b), Number(args.select));
  await view.page.evaluate((c) => window.bloktarView.setCamera(c), JSON.parse(args.camera));
  await view.page.waitForTimeout(500);
  await view.page.screenshot({ path: args.screenshot });
  await browser.close();
  process.exit(0);
}

// ---- The sample, with a texture image beside it for wall.bmp (top half blue, bottom half
// green) and none for floor.bmp.
const wall = bmp(16, 16, (x, y) => (y < 8 ? [0, 0, 255] : [0, 255, 0]));
const sample = await pageFor('sample', path.join(args.source, 'examples/sample.mqo'), { 'wall.bmp': wall });
{
  const p = await pixels(sample.view.page);
  const total = p.width * p.height;
  check(p.background < total * 0.9 && p.background > total * 0.1,
        'sample: the boxes cover part of the view', JSON.stringify(p));
  check(p.red === 0, 'sample: nothing is marked as a problem', JSON.stringify(p));
  // The wall texture on the sides: both of its halves show.
  const colours = await textureColours(sample.view.page);
  check(colours.blue > 2000 && colours.green > 2000, 'sample: wall.bmp is drawn on the walls',
        JSON.stringify(colours));

  // Walking: W moves the eye ahead on the level, A to the left; F fits the model again.
  const page = sample.view.page;
  const start = await camera(page);
  await page.locator('#canvas').focus();
  await page.keyboard.down('w');
  await page.waitForTimeout(400);
  await page.keyboard.up('w');
  const ahead = await camera(page);
  const moved = ahead.eye.map((c, a) => c - start.eye[a]);
  const heading = [Math.cos(start.yaw), 0, Math.sin(start.yaw)];
  check(moved[0] * heading[0] + moved[2] * heading[2] > 0 && Math.abs(moved[1]) < 1e-6,
        'sample: W walks ahead', JSON.stringify(moved));
  await page.keyboard.down('ArrowLeft');
  await page.waitForTimeout(300);
  await page.keyboard.up('ArrowLeft');
  const left = await camera(page);
  const side = left.eye.map((c, a) => c - ahead.eye[a]);
  const rightward = [-heading[2], 0, heading[0]];
  check(side[0] * rightward[0] + side[2] * rightward[2] < 0, 'sample: the left arrow steps left',
        JSON.stringify(side));
  await page.keyboard.press('f');
  const fitted = await camera(page);
  check(JSON.stringify(fitted) === JSON.stringify(start), 'sample: F fits the whole model again');
  // A drag turns the view around the model.
  const box = await page.locator('#canvas').boundingBox();
  await page.mouse.move(box.x + 300, box.y + 300);
  await page.mouse.down();
  await page.mouse.move(box.x + 400, box.y + 320, { steps: 5 });
  await page.mouse.up();
  const turned = await camera(page);
  check(turned.yaw !== start.yaw && JSON.stringify(turned.target) === JSON.stringify(start.target),
        'sample: a drag orbits the point looked at');
}

// ---- The broken example: two blocks with problems, drawn red; clicking them shows them.
const broken = await pageFor('broken', path.join(args.source, 'examples/broken.mqo'));
{
  const page = broken.view.page;
  const before = await pixels(page);
  check(before.red > 1000, 'broken: the blocks with a problem are drawn red', JSON.stringify(before));
  const wrong = await wrongPicks(page);
  check(wrong.length === 0, 'broken: a click picks the block drawn there', JSON.stringify(wrong));
  const point = await blockPoint(page, 2);
  await page.mouse.click(point.x, point.y);
  const details = await page.locator('#details').innerText();
  check(await page.evaluate(() => document.documentElement.dataset.selected) === '2',
        'broken: a click on block 2 selects it');
  check(details.includes('ブロック 2') && details.includes('"roof"') && details.includes('レイアウト 0'),
        'broken: the panel names block 2, its object and its layout', details);
  for (const line of broken.said.lines[2]) {
    check(details.includes(line), `broken: the panel says "${line}"`, details);
  }
  const target = (await camera(page)).target;
  const centre = await page.evaluate(() => window.bloktarView.centre(2));
  check(JSON.stringify(target) === JSON.stringify(centre),
        'broken: the camera moves to the block clicked', `${target} ${centre}`);
  // The list: block 1's entry selects it and shows its problem.
  await page.getByRole('button', { name: 'ブロック 1', exact: true }).click();
  const listed = await page.locator('#details').innerText();
  check(listed.includes('ブロック 1') && listed.includes(broken.said.lines[1][0]),
        'broken: the list shows block 1 when clicked', listed);
  // Only the blocks with a problem: block 0 goes, so more background shows.
  await page.keyboard.press('f');
  const all = await pixels(page);
  await page.locator('#only-problems').check();
  const only = await pixels(page);
  check(only.background > all.background, 'broken: the switch hides the blocks without a problem',
        `${only.background} <= ${all.background}`);
  // A click on the background selects nothing, nor one on block 0 while the switch hides it.
  const box = await page.locator('#canvas').boundingBox();
  const selected = () => page.evaluate(() => document.documentElement.dataset.selected);
  await page.mouse.click(box.x + 3, box.y + box.height - 3);
  check(await selected() === '1', 'broken: a click on the background selects nothing');
  const hidden = await blockPoint(page, 0);
  await page.mouse.click(hidden.x, hidden.y);
  check(await selected() !== '0', 'broken: a click on a block hidden by the switch selects nothing');
}

// ---- A BD1 file: the converted sample draws exactly what the sample does.
{
  const dir = sample.dir;
  const conversion = spawnSync(args.bloktar, ['sample.mqo'], { cwd: dir, input: 'ok\n' });
  check(conversion.status === 0, 'bd1: the sample converts');
  const run = inspect(dir, ['sample.mqo.bd1', '--html=bd1.html']);
  const said = findings(run.out);
  const view = await open(path.join(dir, 'bd1.html'));
  check(view.hooks.ready === said.total && said.total === 4, 'bd1: data-ready is the block count');
  check(view.hooks.problems === said.problems, "bd1: data-problem-blocks is the inspector's count");
  const [fromDocument, fromBd1] = [await pixels(sample.view.page), await pixels(view.page)];
  await sample.view.page.keyboard.press('f');
  const again = await pixels(sample.view.page);
  check(again.hash === fromBd1.hash, 'bd1: the page draws what the document page draws',
        `${JSON.stringify(again)} ${JSON.stringify(fromBd1)} ${JSON.stringify(fromDocument)}`);
}

// ---- A mis-mapped texture shows as mis-mapped: the sample with every face's v halved takes
// only the top half of wall.bmp (blue), never its bottom half (green).
{
  const text = fs.readFileSync(path.join(args.source, 'examples/sample.mqo'), 'latin1');
  const halved = text.replace(/UV\(([^)]*)\)/g, (_, uv) =>
    'UV(' + uv.split(' ').map((x, i) => (i % 2 ? (Number(x) / 2).toFixed(5) : x)).join(' ') + ')');
  const source = path.join(work, 'halved.mqo');
  fs.writeFileSync(source, halved, 'latin1');
  const mismapped = await pageFor('halved', source, { 'wall.bmp': wall });
  const colours = await textureColours(mismapped.view.page);
  check(colours.blue > 2000 && colours.green === 0,
        'halved: only the half of wall.bmp its UVs name is drawn', JSON.stringify(colours));
}

// ---- A box whose top and front faces cross themselves (corner 0 moved past corner 1), which the
// inspector finds no fault with, beside a plain one: seen from all round, the frame leaves out
// nothing that is drawn with every face group, and a click picks the block drawn there.
{
  const lines = boxDocument([['a', 'a.bmp']], [{ lo: [0, 0, 0], hi: [100, 100, 100], material: 0 },
                                              { lo: [200, 0, 0], hi: [300, 50, 100], material: 0 }]).split('\r\n');
  const v = lines.indexOf('\tvertex 16 {');
  lines.splice(v + 1, 2, '\t\t130.0000 100.0000 0.0000', '\t\t0.0000 100.0000 0.0000');
  const source = path.join(work, 'crossed.mqo');
  fs.writeFileSync(source, lines.join('\r\n'), 'latin1');
  const page = (await pageFor('crossed', source)).view.page;
  const differing = [];
  for (let k = 0; k < 16; ++k) {
    const view = { yaw: (k * Math.PI) / 4, pitch: k < 8 ? -0.7 : 0.7 };
    await page.evaluate((c) => window.bloktarView.setCamera(c), view);
    const [drawn, everything] = [await pixels(page), await page.evaluate(() => window.bloktarView.pixels(true))];
    if (drawn.hash !== everything.hash) differing.push(view);
    if (k % 4 === 0) differing.push(...(await wrongPicks(page)));
  }
  check(differing.length === 0, 'crossed: seen from all round, nothing drawn is left out or mispicked',
        JSON.stringify(differing));
}

// ---- A long problem list: 2,600 boxes whose faces name texture 12, beyond the ten slots; the
// list comes in batches after the first frame and in the end holds every block, in order.
{
  const boxes = Array.from({ length: 2600 }, (_, i) =>
    ({ lo: [i * 20, 0, 0], hi: [i * 20 + 10, 10, 10], material: 12 }));
  const source = path.join(work, 'listed.mqo');
  fs.writeFileSync(source, boxDocument([['a', 'a.bmp']], boxes), 'latin1');
  const listed = await pageFor('listed', source);
  const page = listed.view.page;
  await page.waitForFunction((n) => document.querySelectorAll('#problem-list > li').length >= n,
                             listed.said.problems, { timeout: 30000 });
  const entries = await page.evaluate(() =>
    [...document.querySelectorAll('#problem-list > li > button')].map((b) => b.textContent));
  check(listed.said.problems === 2600 && entries.length === 2600 &&
        entries.every((text, b) => text === entries[0].slice(0, -1) + b),
        'listed: the problem list holds every block in order', `${entries.length} entries`);
}

// ---- The broken example's BD1 file: the hooks say what the inspector says of it.
{
  const dir = broken.dir;
  spawnSync(args.bloktar, ['broken.mqo'], { cwd: dir, input: 'ok\n' });
  const said = findings(inspect(dir, ['broken.mqo.bd1', '--html', 'bd1.html']).out);
  const view = await open(path.join(dir, 'bd1.html'));
  check(view.hooks.ready === said.total && view.hooks.problems === said.problems,
        "broken bd1: the hooks are the inspector's counts", JSON.stringify([view.hooks, said]));
}

// ---- The largest model a BD1 file holds, 32,767 boxes, with a texture image beside it: the
// pages of the document and of its BD1 file draw every block, say what the inspector says, and
// take at most three times the BD1 file and its textures.
if (args.mqogen) {
  const dir = fs.mkdtempSync(path.join(work, 'big-'));
  execFileSync(args.mqogen, ['blocks', '32767', path.join(dir, 'big.mqo'), path.join(dir, 'big.bd1')]);
  const texture = bmp(256, 256, (x, y) => [x, y, 128]);
  const big = await pageFor('big', path.join(dir, 'big.mqo'), { 'tex0.bmp': texture });
  const bd1Bytes = fs.statSync(path.join(dir, 'big.bd1')).size;
  check(big.said.total === 32767 && big.size <= 3 * (bd1Bytes + texture.length),
        'big: the page is at most 3 x the BD1 file and its texture',
        `${big.size} > 3 x (${bd1Bytes} + ${texture.length})`);
  const p = await pixels(big.view.page);
  check(p.background < p.width * p.height * 0.9, 'big: the boxes cover part of the view', JSON.stringify(p));
  // Once a drag ends the view is drawn again at full resolution, and nothing that can be seen
  // is left out, from outside the model or inside it: the frame is the one with every chunk and
  // face group drawn.
  const page = big.view.page;
  const box = await page.locator('#canvas').boundingBox();
  await page.mouse.move(box.x + 300, box.y + 300);
  await page.mouse.down();
  await page.mouse.move(box.x + 360, box.y + 280, { steps: 4 });
  await page.mouse.up();
  await page.waitForTimeout(1000);
  const size = await page.evaluate(() => {
    const canvas = document.getElementById('canvas');
    return [canvas.width, canvas.height, canvas.clientWidth, canvas.clientHeight];
  });
  check(size[0] === size[2] && size[1] === size[3], 'big: at rest the view is drawn at full resolution',
        JSON.stringify(size));
  const fitted = await camera(page);
  for (const [where, distance] of [['from afar', fitted.distance], ['close to a corner', fitted.distance / 2],
                                   ['inside', 1]]) {
    await page.evaluate((d) => window.bloktarView.setCamera({ distance: d }), distance);
    const [drawn, everything] = [await pixels(page), await page.evaluate(() => window.bloktarView.pixels(true))];
    check(drawn.hash === everything.hash && drawn.background < drawn.width * drawn.height,
          `big: ${where}, nothing seen is left out`, JSON.stringify([drawn, everything]));
    const wrong = await wrongPicks(page);
    check(wrong.length === 0, `big: ${where}, a click picks the block drawn there`, JSON.stringify(wrong));
  }
  await big.view.context.close();
  fs.copyFileSync(path.join(dir, 'big.bd1'), path.join(big.dir, 'big.bd1'));
  const run = inspect(big.dir, ['big.bd1', '--html', 'bd1.html']);
  const said = findings(run.out);
  const view = await open(path.join(big.dir, 'bd1.html'));
  check(view.hooks.ready === 32767 && view.hooks.problems === said.problems,
        "big bd1: the hooks are the inspector's counts", JSON.stringify([view.hooks, said.problems]));
  check(fs.statSync(path.join(big.dir, 'bd1.html')).size <= 3 * (bd1Bytes + texture.length),
        'big bd1: the page is at most 3 x the BD1 file and its texture');
  await view.context.close();
}

check(external.length === 0, 'nothing is fetched from outside the page', external.join(' '));
await browser.close();
console.log(failures ? `${failures} checks failed` : 'all checks passed');
process.exit(failures ? 1 : 0);
