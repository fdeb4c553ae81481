// The .glb files of bloktar-export as other programs read them: the Khronos glTF validator must
// report no error and no warning, and glTF-Transform's reader must find every block's corners and
// UVs as the BD1 file holds them (x mirrored back), every face seen from outside its box, each
// face's material named after its texture slot and the images as they were put in.
//
//   node glb_test.mjs --export PATH --bloktar PATH --mqogen PATH --source REPO_DIR
//
// Reported as skipped (a line with SKIPPED, status 0) when the pinned packages are missing,
// unless BLOKTAR_REQUIRE_BROWSER is set (scripts/check, which installs them): then it fails.
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';

import { bmp, boxDocument } from '../browser/models.mjs';

function options() {
  const result = {};
  const argv = process.argv.slice(2);
  for (let i = 0; i < argv.length; i += 2) result[argv[i].slice(2)] = path.resolve(argv[i + 1]);
  return result;
}
const args = options();

function skip(why) {
  const required = Boolean(process.env.BLOKTAR_REQUIRE_BROWSER);
  console.log(`${required ? 'not ok - ' : 'SKIPPED: '}${why} (scripts/install-deps browser)`);
  process.exit(required ? 1 : 0);
}
let validator;
let NodeIO;
try {
  validator = (await import('gltf-validator')).default;
  ({ NodeIO } = await import('@gltf-transform/core'));
} catch (e) {
  skip('the pinned gltf-validator and @gltf-transform/core are not installed');
}

let failures = 0;
function check(condition, what, detail = '') {
  console.log(`${condition ? 'ok' : 'not ok'} - ${what}${condition ? '' : ' ' + detail}`);
  if (!condition) ++failures;
}

const work = fs.mkdtempSync(path.join(os.tmpdir(), 'bloktar-gltf-'));
process.on('exit', () => fs.rmSync(work, { recursive: true, force: true }));

function run(program, argv, dir) {
  return spawnSync(program, argv, { cwd: dir, input: 'ok\n', maxBuffer: 1 << 30 });
}

// ---- The BD1 file, read here on its own.
const FACE_CORNERS = [[3, 2, 1, 0], [4, 5, 6, 7], [0, 1, 5, 4], [1, 2, 6, 5], [2, 3, 7, 6],
                      [3, 0, 4, 7]];
function readBd1(bytes) {
  const view = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
  const count = view.getInt16(310, true);
  const blocks = [];
  for (let b = 0; b < count; ++b) {
    const at = 312 + 316 * b;
    const f32 = (i) => view.getFloat32(at + 4 * i, true);
    const block = { x: [], y: [], z: [], u: [], v: [], texture: [] };
    for (let k = 0; k < 8; ++k) {
      block.x.push(f32(k));
      block.y.push(f32(8 + k));
      block.z.push(f32(16 + k));
    }
    for (let i = 0; i < 24; ++i) {
      block.u.push(f32(24 + i));
      block.v.push(f32(48 + i));
    }
    for (let f = 0; f < 6; ++f) block.texture.push(view.getInt32(at + 288 + 4 * f, true));
    blocks.push(block);
  }
  return blocks;
}

// ---- The file as the validator and glTF-Transform see it.
async function validate(name, bytes) {
  const report = await validator.validateBytes(new Uint8Array(bytes), { maxIssues: 50 });
  const shown = report.issues.messages
    .filter((m) => m.severity <= 1)
    .map((m) => `${m.code} ${m.pointer || ''} ${m.message}`)
    .join('; ');
  check(report.issues.numErrors === 0 && report.issues.numWarnings === 0,
        `${name}: the validator finds no error and no warning`, shown);
}

async function compare(name, glbBytes, blocks, files = {}) {
  const document = await new NodeIO().readBinary(new Uint8Array(glbBytes));
  const root = document.getRoot();
  const meshes = root.listMeshes();
  if (blocks.length === 0) {
    check(meshes.length === 0, `${name}: no mesh for no blocks`);
    return;
  }
  // Every vertex of every primitive, by block.
  const byBlock = blocks.map(() => []);
  const triangles = [];
  const seen = new Set();
  for (const primitive of meshes[0].listPrimitives()) {
    const position = primitive.getAttribute('POSITION');
    const uv = primitive.getAttribute('TEXCOORD_0');
    const normal = primitive.getAttribute('NORMAL');
    const block = primitive.getAttribute('_BLOCK');
    if (!seen.has(position)) {
      seen.add(position);
      for (let i = 0; i < position.getCount(); ++i) {
        const b = block.getScalar(i);
        byBlock[b].push({ p: position.getElement(i, []), uv: uv.getElement(i, []),
                          n: normal.getElement(i, []), key: `${seen.size}:${i}` });
      }
    }
    const indices = primitive.getIndices().getArray();
    const material = primitive.getMaterial();
    for (let t = 0; t < indices.length; t += 3) {
      const corners = [0, 1, 2].map((c) => ({
        p: position.getElement(indices[t + c], []), uv: uv.getElement(indices[t + c], []),
        n: normal.getElement(indices[t + c], []), b: block.getScalar(indices[t + c]) }));
      triangles.push({ corners, material });
    }
  }
  const same = (a, b) => a.length === b.length && a.every((x, i) => Object.is(x + 0, b[i] + 0));
  let cornersOk = true;
  let detail = '';
  const faceOf = blocks.map((block) => FACE_CORNERS.map((corners, f) => corners.map((k, c) => ({
    p: [-block.x[k], block.y[k], block.z[k]], uv: [block.u[f * 4 + c], block.v[f * 4 + c]] }))));
  blocks.forEach((block, b) => {
    const vertices = byBlock[b];
    if (vertices.length !== 24) {
      cornersOk = false;
      detail ||= `block ${b} has ${vertices.length} vertices`;
      return;
    }
    const used = new Set();
    for (const face of faceOf[b]) {
      for (const corner of face) {
        const match = vertices.find((v) => !used.has(v.key) && same(v.p, corner.p) &&
                                    same(v.uv, corner.uv));
        if (!match) {
          cornersOk = false;
          detail ||= `block ${b}: corner ${corner.p} with UV ${corner.uv} is missing`;
        } else {
          used.add(match.key);
        }
      }
    }
  });
  check(cornersOk, `${name}: every block's face corners and UVs as the BD1 file holds them`,
        detail);

  let outside = true;
  let materials = true;
  detail = '';
  const perFace = new Map();
  for (const { corners, material } of triangles) {
    const b = corners[0].b;
    const block = blocks[b];
    const face = faceOf[b].findIndex((quad) => corners.every(
      (c) => quad.some((q) => same(q.p, c.p) && same(q.uv, c.uv))));
    if (face < 0) {
      outside = false;
      detail ||= `a triangle of block ${b} lies on none of its faces`;
      continue;
    }
    perFace.set(`${b}:${face}`, (perFace.get(`${b}:${face}`) || 0) + 1);
    const texture = block.texture[face];
    const number = (material.getExtras() || {}).textureNumber;
    if (texture >= 0 && texture < 10 ? number !== texture : number !== null) {
      materials = false;
    }
    const [a, c, d] = corners.map((x) => x.p);
    const e1 = [c[0] - a[0], c[1] - a[1], c[2] - a[2]];
    const e2 = [d[0] - a[0], d[1] - a[1], d[2] - a[2]];
    const n = [e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2],
               e1[0] * e2[1] - e1[1] * e2[0]];
    const centre = [0, 1, 2].map((axis) =>
      [0, 1, 2, 3, 4, 5, 6, 7].reduce((s, k) => s + [-block.x[k], block.y[k], block.z[k]][axis],
                                       0) / 8);
    const middle = [0, 1, 2].map((axis) => (a[axis] + c[axis] + d[axis]) / 3);
    const plane = n[0] * (a[0] - centre[0]) + n[1] * (a[1] - centre[1]) + n[2] * (a[2] - centre[2]);
    const out = n[0] * (middle[0] - centre[0]) + n[1] * (middle[1] - centre[1]) +
                n[2] * (middle[2] - centre[2]);
    const area = Math.hypot(...n);
    if (area > 0 && plane !== 0 && !(out > 0)) {
      outside = false;
      detail ||= `block ${b} face ${face} is seen from inside`;
    }
    for (const corner of corners) {
      const length = Math.hypot(...corner.n);
      const along = corner.n[0] * n[0] + corner.n[1] * n[1] + corner.n[2] * n[2];
      if (Math.abs(length - 1) > 1e-6 || (area > 0 && !(along > 0))) {
        outside = false;
        detail ||= `block ${b} face ${face}: its normal is not the unit normal of its turn`;
      }
    }
  }
  const everyFaceTwice = blocks.every((_, b) => FACE_CORNERS.every(
    (_, f) => perFace.get(`${b}:${f}`) === 2));
  check(outside && everyFaceTwice, `${name}: every face two triangles, seen from outside`, detail);
  check(materials, `${name}: every face's material is its texture slot's`);

  for (const [slot, expected] of Object.entries(files)) {
    const material = root.listMaterials().find((m) => (m.getExtras() || {}).textureNumber ===
                                                        Number(slot));
    const texture = material && material.getBaseColorTexture();
    if (expected === null) {
      check(material && !texture && material.getBaseColorFactor()[3] === 1,
            `${name}: slot ${slot} has a flat colour`);
    } else if (expected.mimeType) {
      check(texture && texture.getMimeType() === expected.mimeType &&
            (!expected.bytes || Buffer.compare(Buffer.from(texture.getImage()), expected.bytes) === 0),
            `${name}: slot ${slot}'s image is ${expected.mimeType}${expected.bytes ? ' as it was' : ''}`);
    }
  }
}

async function exportAndCheck(name, dir, file, bd1, files) {
  const result = run(args.export, [file], dir);
  check(result.status === 0, `${name}: written`, new TextDecoder('shift_jis').decode(result.stdout));
  if (result.status !== 0) return;
  const glb = fs.readFileSync(path.join(dir, file + '.glb'));
  await validate(name, glb);
  await compare(name, glb, readBd1(bd1), files);
}

// ---- The maps.
// Our examples: the sample with a BMP and a PNG image beside it, and the broken example.
{
  const dir = path.join(work, 'examples');
  fs.mkdirSync(dir);
  for (const file of ['sample.mqo', 'broken.mqo']) {
    fs.copyFileSync(path.join(args.source, 'examples', file), path.join(dir, file));
  }
  fs.writeFileSync(path.join(dir, 'wall.bmp'),
                   bmp(8, 8, (x, y) => (x + y) % 2 ? [200, 40, 40] : [240, 240, 240]));
  for (const file of ['sample.mqo', 'broken.mqo']) {
    run(args.bloktar, [file], dir);
    const bd1 = fs.readFileSync(path.join(dir, file + '.bd1'));
    await exportAndCheck(file, dir, file, bd1, { 0: { mimeType: 'image/png' }, 1: null });
    await exportAndCheck(file + '.bd1', dir, file + '.bd1', bd1, { 0: { mimeType: 'image/png' } });
  }
}

// A BD1 file without blocks: a scene without nodes.
{
  const dir = path.join(work, 'empty');
  fs.mkdirSync(dir);
  const bd1 = Buffer.alloc(312);
  bd1.write('a.bmp', 0, 'latin1');
  fs.writeFileSync(path.join(dir, 'empty.bd1'), bd1);
  await exportAndCheck('no blocks', dir, 'empty.bd1', bd1, {});
}

// Generated documents: all four layouts, several objects, up to the most blocks a file holds.
for (const [count, extra] of [[7, ['--objects', '3']], [160, []], [32767, []]]) {
  const dir = path.join(work, `gen${count}`);
  fs.mkdirSync(dir);
  spawnSync(args.mqogen, ['blocks', String(count), path.join(dir, 'gen.mqo'), path.join(dir, 'gen.bd1'),
                          ...extra]);
  const bd1 = fs.readFileSync(path.join(dir, 'gen.bd1'));
  await exportAndCheck(`${count} generated blocks (BD1)`, dir, 'gen.bd1', bd1, {});
  if (count === 7) await exportAndCheck(`${count} generated blocks (document)`, dir, 'gen.mqo', bd1, {});
}

// A map of boxes of our own, textures of every kind the page takes: a box in the usual turn,
// one mirrored, a wedge; BMP, GIF, TGA, WebP, a missing one, one without a name, a texture number
// beyond the slots.
{
  const dir = path.join(work, 'kinds');
  fs.mkdirSync(dir);
  fs.writeFileSync(path.join(dir, 'brick.bmp'), bmp(16, 8, (x, y) => [150 + x * 5, 60, 40 + y * 10]));
  const tga = Buffer.concat([Buffer.from([0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 2, 0, 24, 32]),
                             Buffer.from([0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255])]);
  fs.writeFileSync(path.join(dir, 'stone.tga'), tga);
  fs.writeFileSync(path.join(dir, 'dot.gif'), Buffer.from(
    'R0lGODlhAQABAIAAAP///wAAACwAAAAAAQABAAACAkQBADs=', 'base64'));
  const webp = Buffer.from('UklGRhoAAABXRUJQVlA4TA0AAAAvAAAAEAcQERGIiP4HAA==', 'base64');
  fs.writeFileSync(path.join(dir, 'leaf.webp'), webp);
  const boxes = [
    { lo: [0, 0, 0], hi: [100, 100, 100], material: [0, 1, 2, 3, 4, 5] },
    { lo: [200, 0, 0], hi: [300, 50, 100], material: 1, tile: 50 },
    { lo: [-200, 0, -100], hi: [-100, 200, 0], material: 2 },
  ];
  const doc = boxDocument([['brick', 'brick.bmp'], ['stone', 'stone.tga'], ['dot', 'dot.gif'],
                           ['leaf', 'leaf.webp'], ['gone', 'gone.bmp'], ['none', '']], boxes);
  fs.writeFileSync(path.join(dir, 'kinds.mqo'), doc);
  run(args.bloktar, ['kinds.mqo'], dir);
  const bd1 = Buffer.from(fs.readFileSync(path.join(dir, 'kinds.mqo.bd1')));
  // Block 1 mirrored in x, block 2 made a wedge, a face of block 0 beyond the slots.
  const view = new DataView(bd1.buffer, bd1.byteOffset, bd1.byteLength);
  for (let k = 0; k < 8; ++k) {
    const at = 312 + 316 + 4 * k;
    view.setFloat32(at, -view.getFloat32(at, true), true);
  }
  const wedge = 312 + 316 * 2;
  for (const k of [2, 3]) view.setFloat32(wedge + 32 + 4 * k, view.getFloat32(wedge + 32 + 4 * (k + 4), true), true);
  view.setInt32(312 + 288 + 4 * 5, 42, true);
  fs.writeFileSync(path.join(dir, 'kinds.bd1'), bd1);
  await exportAndCheck('boxes with every kind of image', dir, 'kinds.bd1', bd1, {
    0: { mimeType: 'image/png' }, 1: { mimeType: 'image/png' }, 2: { mimeType: 'image/png' },
    3: { mimeType: 'image/png' }, 4: null,
  });
  // The WebP image beside its fallback, as the extension has it.
  const glb = fs.readFileSync(path.join(dir, 'kinds.bd1.glb'));
  const json = JSON.parse(glb.subarray(20, 20 + glb.readUInt32LE(12)).toString());
  const texture = json.textures.find((t) => t.extensions);
  const image = texture && json.images[texture.extensions.EXT_texture_webp.source];
  const webpView = image && json.bufferViews[image.bufferView];
  const binAt = 20 + glb.readUInt32LE(12) + 8;
  check(image && image.mimeType === 'image/webp' && json.extensionsUsed.includes('EXT_texture_webp') &&
        Buffer.compare(glb.subarray(binAt + webpView.byteOffset,
                                    binAt + webpView.byteOffset + webpView.byteLength),
                       webp) === 0,
        'boxes with every kind of image: the WebP image as it was, in EXT_texture_webp');
}

console.log(failures ? `${failures} checks failed` : 'all checks passed');
process.exit(failures ? 1 : 0);
