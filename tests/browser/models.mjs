// Documents and texture images written for the browser tests and the README's picture: boxes as
// the modeller writes them (eight vertices, six faces, the first face's corners 3 2 1 0) and
// 24-bit BMP images.
//
//   node models.mjs map DIR   writes DIR/rooms.mqo with wall.bmp and floor.bmp beside it
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

// A 24-bit BMP file of width x height whose colour at (x, y) (y from the top) is colour(x, y).
export function bmp(width, height, colour) {
  const row = Math.ceil((width * 3) / 4) * 4;
  const bytes = Buffer.alloc(54 + row * height);
  bytes.write('BM', 0, 'latin1');
  bytes.writeUInt32LE(bytes.length, 2);
  bytes.writeUInt32LE(54, 10);
  bytes.writeUInt32LE(40, 14);
  bytes.writeInt32LE(width, 18);
  bytes.writeInt32LE(height, 22);
  bytes.writeUInt16LE(1, 26);
  bytes.writeUInt16LE(24, 28);
  bytes.writeUInt32LE(row * height, 34);
  for (let y = 0; y < height; ++y) {
    for (let x = 0; x < width; ++x) {
      const [r, g, b] = colour(x, y);
      const at = 54 + (height - 1 - y) * row + x * 3; // rows stored bottom-up
      bytes[at] = b;
      bytes[at + 1] = g;
      bytes[at + 2] = r;
    }
  }
  return bytes;
}

// The corners of a box from lo to hi, and its faces as corner numbers, in the layout the BD1
// file keeps; each face's first edge runs along axes[0], its second along axes[1].
const CORNERS = [[0, 1, 0], [1, 1, 0], [1, 1, 1], [0, 1, 1], [0, 0, 0], [1, 0, 0], [1, 0, 1], [0, 0, 1]];
const FACES = [
  { v: [3, 2, 1, 0], axes: [0, 2] }, { v: [4, 5, 6, 7], axes: [0, 2] },
  { v: [0, 1, 5, 4], axes: [0, 1] }, { v: [1, 2, 6, 5], axes: [2, 1] },
  { v: [2, 3, 7, 6], axes: [0, 1] }, { v: [3, 0, 4, 7], axes: [2, 1] },
];
const number = (x) => x.toFixed(4);

// A document of one object holding the boxes, each { lo, hi, material (per face or one),
// tile (texture repeats per 100 units, 0: once per face), firstFace (corners of face 0) }.
export function boxDocument(materials, boxes) {
  const lines = ['Metasequoia Document', 'Format Text Ver 1.0', '', `Material ${materials.length} {`];
  for (const [name, texture] of materials) {
    lines.push(`\t"${name}" col(1.000 1.000 1.000 1.000) dif(0.800) amb(0.600) emi(0.000) ` +
               `spc(0.000) power(5.00) tex("${texture}")`);
  }
  lines.push('}', 'Object "map" {', '\tvisible 15', `\tvertex ${boxes.length * 8} {`);
  for (const box of boxes) {
    for (const c of CORNERS) {
      lines.push('\t\t' + c.map((k, a) => number(k ? box.hi[a] : box.lo[a])).join(' '));
    }
  }
  lines.push('\t}', `\tface ${boxes.length * 6} {`);
  boxes.forEach((box, i) => {
    FACES.forEach((face, f) => {
      const corners = f === 0 && box.firstFace ? box.firstFace : face.v;
      const size = face.axes.map((a) => (box.tile ? ((box.hi[a] - box.lo[a]) * box.tile) / 100 : 1));
      const uv = [[0, 0], [size[0], 0], [size[0], size[1]], [0, size[1]]]
        .map(([u, v]) => `${u.toFixed(5)} ${v.toFixed(5)}`).join(' ');
      const material = Array.isArray(box.material) ? box.material[f] : box.material;
      lines.push(`\t\t4 V(${corners.map((v) => v + 8 * i).join(' ')}) M(${material}) UV(${uv})`);
    });
  });
  lines.push('\t}', '}', 'Eof', '');
  return lines.join('\r\n');
}

// A floor of rooms around a corridor, walls with doorways, a few pillars and one broken box
// (its first face in an order no layout has), with brick walls and a tiled floor.
export function mapModel() {
  const boxes = [];
  const H = 300;
  const T = 20;
  const wall = (x0, z0, x1, z1) => boxes.push({ lo: [x0, 0, z0], hi: [x1, H, z1], material: 0, tile: 1 });
  boxes.push({ lo: [-1200, -20, -800], hi: [1200, 0, 800], material: 1, tile: 0.5 });
  // The outer walls.
  wall(-1200, -800, 1200, -800 + T);
  wall(-1200, 800 - T, 1200, 800);
  wall(-1200, -800, -1200 + T, 800);
  wall(1200 - T, -800, 1200, -200);
  wall(1200 - T, 200, 1200, 800);
  // The corridor's walls along x, at z = -150 and z = 150, with a doorway into each room.
  for (const z of [-150 - T, 150]) {
    wall(-1200, z, -800, z + T);
    wall(-650, z, 0, z + T);
    wall(150, z, 600, z + T);
    wall(750, z, 1200, z + T);
  }
  // The rooms' walls across, at x = 0.
  wall(-T / 2, -800, T / 2, -150);
  wall(-T / 2, 150, T / 2, 800);
  // Pillars in the rooms, one of them broken.
  for (const [x, z] of [[-700, -500], [-300, -500], [400, 500], [800, 500]]) {
    boxes.push({ lo: [x - 40, 0, z - 40], hi: [x + 40, H, z + 40], material: 0, tile: 1 });
  }
  boxes.push({ lo: [-540, 0, 420], hi: [-420, 120, 540], material: [1, 1, 0, 0, 0, 0], tile: 1, firstFace: [0, 1, 2, 3] });
  const brick = bmp(64, 64, (x, y) => {
    const course = Math.floor(y / 16);
    const joint = y % 16 === 15 || (x + (course % 2) * 16) % 32 === 31;
    const shade = ((x * 7 + y * 13) % 17) - 8;
    return joint ? [196, 190, 180] : [160 + shade, 72 + shade, 52 + shade];
  });
  const tiles = bmp(64, 64, (x, y) => {
    const light = (Math.floor(x / 32) + Math.floor(y / 32)) % 2 === 0;
    const edge = x % 32 === 0 || y % 32 === 0;
    return edge ? [120, 120, 118] : light ? [214, 206, 186] : [176, 168, 150];
  });
  return {
    document: boxDocument([['brick', 'wall.bmp'], ['tiles', 'floor.bmp']], boxes),
    images: { 'wall.bmp': brick, 'floor.bmp': tiles },
    broken: boxes.length - 1,
  };
}

if (process.argv[1] === fileURLToPath(import.meta.url) && process.argv[2] === 'map') {
  const dir = process.argv[3];
  const model = mapModel();
  fs.writeFileSync(path.join(dir, 'rooms.mqo'), model.document, 'latin1');
  for (const [name, bytes] of Object.entries(model.images)) fs.writeFileSync(path.join(dir, name), bytes);
}
