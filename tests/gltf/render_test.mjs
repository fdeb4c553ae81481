// The same map from the same camera: the inspector's page (bloktar-inspect --html) and the .glb
// of bloktar-export drawn by three.js's own glTF loader, both in headless Chromium (the Debian
// package, software WebGL). The boxes must cover the same pixels, and the texture image must
// show in both.
//
//   node render_test.mjs --export PATH --inspect PATH --source REPO_DIR [--screenshot OUT.png]
//
// With --screenshot it only draws the map of rooms in three.js, as the page's camera sees it,
// into OUT.png (the picture docs/export.png in the guide).
//
// Reported as skipped (a line with SKIPPED, status 0) when Chromium, playwright-core (pinned in
// tests/browser) or three (pinned here) is missing, unless BLOKTAR_REQUIRE_BROWSER is set.
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import { createRequire } from 'node:module';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

import { bmp, mapModel } from '../browser/models.mjs';

const here = path.dirname(fileURLToPath(import.meta.url));
const CHROMIUM = process.env.BLOKTAR_CHROMIUM || '/usr/bin/chromium';
const FLAGS = ['--use-angle=swiftshader', '--enable-unsafe-swiftshader', '--no-sandbox',
               '--disable-background-networking', '--disable-component-update', '--disable-sync',
               '--no-first-run', '--disable-quic', '--disable-dev-shm-usage'];
const VIEWPORT = { width: 1000, height: 700 };

const args = {};
const argv = process.argv.slice(2);
for (let i = 0; i < argv.length; i += 2) args[argv[i].slice(2)] = path.resolve(argv[i + 1]);

function skip(why) {
  const required = Boolean(process.env.BLOKTAR_REQUIRE_BROWSER);
  console.log(`${required ? 'not ok - ' : 'SKIPPED: '}${why} (scripts/install-deps browser)`);
  process.exit(required ? 1 : 0);
}
let chromium;
try {
  ({ chromium } = createRequire(path.join(here, '../browser/'))('playwright-core'));
} catch (e) {
  skip('playwright-core is not installed');
}
const threeRoot = path.join(here, 'node_modules/three');
if (!fs.existsSync(path.join(threeRoot, 'build/three.module.js'))) skip('three is not installed');
if (!fs.existsSync(CHROMIUM)) skip(`${CHROMIUM} is not installed`);

let failures = 0;
function check(condition, what, detail = '') {
  console.log(`${condition ? 'ok' : 'not ok'} - ${what}${condition ? '' : ' ' + detail}`);
  if (!condition) ++failures;
}

const work = fs.mkdtempSync(path.join(os.tmpdir(), 'bloktar-render-'));
process.on('exit', () => fs.rmSync(work, { recursive: true, force: true }));

// The three.js page: the .glb at /model.glb, three and its loader below /three/, nothing else.
const THREE_PAGE = `<!doctype html>
<html><head><style>html, body { margin: 0; } canvas { display: block; }</style>
<script type="importmap">{"imports": {"three": "/three/build/three.module.js",
  "three/addons/": "/three/examples/jsm/"}}</script></head>
<body><canvas id="canvas"></canvas>
<script type="module">
import * as THREE from 'three';
import { GLTFLoader } from 'three/addons/loaders/GLTFLoader.js';
window.draw = (view) => new Promise((resolve, reject) => {
  const canvas = document.getElementById('canvas');
  canvas.style.width = view.clientWidth + 'px';
  canvas.style.height = view.clientHeight + 'px';
  const renderer = new THREE.WebGLRenderer({ canvas, alpha: true, preserveDrawingBuffer: true });
  renderer.setPixelRatio(view.width / view.clientWidth);
  renderer.setSize(view.clientWidth, view.clientHeight, false);
  renderer.setClearColor(0x000000, 0);
  const scene = new THREE.Scene();
  scene.add(new THREE.AmbientLight(0xffffff, 1.5));
  const sun = new THREE.DirectionalLight(0xffffff, 2);
  sun.position.set(0.3, 1, 0.6);
  scene.add(sun);
  const camera = new THREE.PerspectiveCamera(60, view.clientWidth / view.clientHeight,
                                             view.near, view.far);
  camera.position.set(...view.eye);
  camera.lookAt(...view.target);
  new GLTFLoader().load('/model.glb', (gltf) => {
    scene.add(gltf.scene);
    renderer.render(scene, camera);
    const gl = renderer.getContext();
    const pixels = new Uint8Array(view.width * view.height * 4);
    gl.readPixels(0, 0, view.width, view.height, gl.RGBA, gl.UNSIGNED_BYTE, pixels);
    const covered = new Uint8Array(view.width * view.height);
    let reddish = 0;
    for (let i = 0; i < covered.length; ++i) {
      covered[i] = pixels[i * 4 + 3] > 0 ? 1 : 0;
      if (covered[i] && pixels[i * 4] > 120 && pixels[i * 4 + 1] < 90 && pixels[i * 4 + 2] < 90) ++reddish;
    }
    resolve({ covered: Array.from(covered), reddish });
  }, undefined, (e) => reject(String(e)));
});
window.ready = true;
</script></body></html>`;

const browser = await chromium.launch({ executablePath: CHROMIUM, headless: true, args: FLAGS });
const external = [];

// The inspector's page at rest after fitting the model: its camera, and which pixels the boxes
// cover (anything but the background colour).
async function inspectorView(file) {
  const context = await browser.newContext({ viewport: VIEWPORT });
  await context.route('**/*', (route) => {
    const url = route.request().url();
    if (url.startsWith('file:') || url.startsWith('data:')) return route.continue();
    external.push(url);
    return route.abort();
  });
  const page = await context.newPage();
  await page.goto('file://' + file);
  await page.waitForSelector('html[data-ready]', { timeout: 120000 });
  const view = await page.evaluate(() => {
    const v = window.bloktarView;
    v.fit();
    v.pixels(true);
    const canvas = document.getElementById('canvas');
    const gl = canvas.getContext('webgl2');
    const pixels = new Uint8Array(canvas.width * canvas.height * 4);
    gl.readPixels(0, 0, canvas.width, canvas.height, gl.RGBA, gl.UNSIGNED_BYTE, pixels);
    const covered = new Uint8Array(canvas.width * canvas.height);
    let reddish = 0;
    for (let i = 0; i < covered.length; ++i) {
      const [r, g, b] = [pixels[i * 4], pixels[i * 4 + 1], pixels[i * 4 + 2]];
      covered[i] = r === 237 && g === 242 && b === 247 ? 0 : 1;
      if (covered[i] && r > 120 && g < 90 && b < 90) ++reddish;
    }
    const camera = v.camera();
    return { eye: camera.eye, target: camera.target, distance: camera.distance,
             width: canvas.width, height: canvas.height, clientWidth: canvas.clientWidth,
             clientHeight: canvas.clientHeight, covered: Array.from(covered), reddish };
  });
  await context.close();
  return view;
}

async function threeView(glb, view, screenshot) {
  const context = await browser.newContext({ viewport: VIEWPORT });
  await context.route('**/*', (route) => {
    const url = new URL(route.request().url());
    if (url.host !== 'bloktar.test') {
      external.push(url.href);
      return route.abort();
    }
    if (url.pathname === '/') return route.fulfill({ body: THREE_PAGE, contentType: 'text/html' });
    if (url.pathname === '/model.glb') return route.fulfill({ body: glb, contentType: 'model/gltf-binary' });
    const file = path.join(threeRoot, path.normalize(url.pathname.slice('/three/'.length)));
    if (url.pathname.startsWith('/three/') && file.startsWith(threeRoot) && fs.existsSync(file)) {
      return route.fulfill({ body: fs.readFileSync(file), contentType: 'text/javascript' });
    }
    return route.fulfill({ status: 404, body: '' });
  });
  const page = await context.newPage();
  const errors = [];
  page.on('pageerror', (e) => errors.push(e.message));
  await page.goto('http://bloktar.test/');
  await page.waitForFunction(() => window.ready === true);
  // The page's near and far planes matter only at the edges of what is seen.
  const result = await page.evaluate((v) => window.draw(v), {
    eye: view.eye, target: view.target, width: view.width, height: view.height,
    clientWidth: view.clientWidth, clientHeight: view.clientHeight,
    near: view.distance * 1e-3, far: view.distance * 10,
  });
  if (screenshot) await page.locator('#canvas').screenshot({ path: screenshot });
  await context.close();
  return { ...result, errors };
}

async function compare(name, dir, file) {
  const inspected = spawnSync(args.inspect, [file, '--html', 'page.html'], { cwd: dir });
  const exported = spawnSync(args.export, [file], { cwd: dir, input: 'ok\n' });
  if (args.screenshot) {
    const page = await inspectorView(path.join(dir, 'page.html'));
    await threeView(fs.readFileSync(path.join(dir, file + '.glb')), page, args.screenshot);
    return;
  }
  // The inspector ends with status 2 where a block has a problem; the page is written all the same.
  check(inspected.status !== 1 && exported.status === 0, `${name}: page and .glb written`);
  const page = await inspectorView(path.join(dir, 'page.html'));
  const three = await threeView(fs.readFileSync(path.join(dir, file + '.glb')), page);
  check(three.errors.length === 0, `${name}: three.js loads the .glb without an error`,
        three.errors.join('; '));
  let both = 0;
  let either = 0;
  let covered = 0;
  for (let i = 0; i < page.covered.length; ++i) {
    both += page.covered[i] & three.covered[i];
    either += page.covered[i] | three.covered[i];
    covered += page.covered[i];
  }
  const overlap = either ? both / either : 0;
  check(covered > page.covered.length / 10 && overlap > 0.97,
        `${name}: the boxes cover the same pixels on the page and in three.js ` +
        `(overlap ${overlap.toFixed(4)}, ${covered} pixels covered on the page)`);
  check(page.reddish > 100 && three.reddish > 100,
        `${name}: the texture image shows on the page and in three.js`,
        `(reddish pixels: page ${page.reddish}, three.js ${three.reddish})`);
}

// The sample with a red and white check for wall.bmp, and a map of rooms seen from outside with
// red bricks on the walls.
if (!args.screenshot) {
  const dir = path.join(work, 'sample');
  fs.mkdirSync(dir);
  fs.copyFileSync(path.join(args.source, 'examples/sample.mqo'), path.join(dir, 'sample.mqo'));
  fs.writeFileSync(path.join(dir, 'wall.bmp'),
                   bmp(8, 8, (x, y) => ((x >> 1) + (y >> 1)) % 2 ? [200, 30, 30] : [240, 240, 240]));
  await compare('sample.mqo', dir, 'sample.mqo');
}
{
  const dir = path.join(work, 'rooms');
  fs.mkdirSync(dir);
  const model = mapModel();
  fs.writeFileSync(path.join(dir, 'rooms.mqo'), model.document, 'latin1');
  for (const [name, image] of Object.entries(model.images)) {
    fs.writeFileSync(path.join(dir, name), image);
  }
  await compare('rooms.mqo', dir, 'rooms.mqo');
}

check(external.length === 0, 'no request leaves the machine', external.join(' '));
await browser.close();
console.log(failures ? `${failures} checks failed` : 'all checks passed');
process.exit(failures ? 1 : 0);
