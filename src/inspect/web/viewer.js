// The page's viewer: draws every block of the inspection with WebGL2, lets one orbit, walk and
// click through the model, and lists the blocks with a problem in the inspector's words.
'use strict';
(function () {
  const data = JSON.parse(document.getElementById('bloktar-data').textContent);
  const words = data.words;
  const root = document.documentElement;

  // ---- The data: document bytes are Shift_JIS, the block records binary (see BlockData).
  const sjis = new TextDecoder('shift_jis');
  function bytesOf(base64) {
    const text = atob(base64);
    const bytes = new Uint8Array(text.length);
    for (let i = 0; i < text.length; ++i) bytes[i] = text.charCodeAt(i);
    return bytes;
  }
  const documentText = (base64) => sjis.decode(bytesOf(base64));
  const lineText = (line) =>
    line.map((piece) => (typeof piece === 'string' ? piece : documentText(piece.s))).join('');

  const count = data.blockCount;
  const raw = bytesOf(data.blocks);
  const WORDS = 78; // a record's corners, UVs and face textures, 4 bytes each
  const floats = new Float32Array(raw.buffer, 0, count * WORDS);
  const ints = new Int32Array(raw.buffer, 0, count * WORDS);
  const problem = raw.subarray(count * WORDS * 4, count * WORDS * 4 + count);
  const layout = new Int8Array(raw.buffer, count * (WORDS * 4 + 1), count);
  const faceCorners = data.faceCorners;
  const textureNames = data.textures.map((t) => documentText(t.name));
  const objectNames = data.objects.map(documentText);

  // Corner k of block b as the document has it: the records hold x mirrored.
  const cornerX = (b, k) => -floats[b * WORDS + k];
  const cornerY = (b, k) => floats[b * WORDS + 8 + k];
  const cornerZ = (b, k) => floats[b * WORDS + 16 + k];
  const faceU = (b, f, c) => floats[b * WORDS + 24 + 4 * f + c];
  const faceV = (b, f, c) => floats[b * WORDS + 48 + 4 * f + c];
  const faceTexture = (b, f) => ints[b * WORDS + 72 + f];

  function drawable(b) {
    for (let k = 0; k < 24; ++k) if (!Number.isFinite(floats[b * WORDS + k])) return false;
    return true;
  }

  // ---- Geometry, built once: four vertices per face in the order the record holds them, each
  // with its UVs, texture slot, problem flag and the light of the face's two sides; two
  // triangles per face whose front turns outwards (away from the block's centre), so that the
  // sides facing away are left undrawn. The blocks with a problem are drawn from both sides.
  const drawn = [];
  const drawnIndex = new Int32Array(count).fill(-1);
  for (let b = 0; b < count; ++b) {
    if (drawable(b)) drawnIndex[b] = drawn.push(b) - 1;
  }
  const STRIDE = 24; // bytes per vertex: x y z u v (float32), slot, problem, two lights (bytes)
  const vertexData = new ArrayBuffer(drawn.length * 24 * STRIDE);
  const vertexFloats = new Float32Array(vertexData);
  const vertexBytes = new Uint8Array(vertexData);
  const triangles = new Uint32Array(drawn.length * 36); // drawn block i's face f at 36 i + 6 f
  // Which way each face turns: 0 to 5 for +x, -x, +y, -y, +z, -z when its four corners lie in one
  // plane of that axis (facePlane: where), 6 otherwise.
  const faceGroup = new Uint8Array(drawn.length * 6);
  const facePlane = new Float32Array(drawn.length * 6);
  const centres = new Float64Array(drawn.length * 3);
  const radii = new Float64Array(drawn.length);
  const low = [Infinity, Infinity, Infinity];
  const high = [-Infinity, -Infinity, -Infinity];
  const SUN = [0.3, 1, 0.6].map((x) => x / Math.hypot(0.3, 1, 0.6));
  const lightByte = (sun) => Math.round(255 * (0.5 + 0.5 * Math.max(sun, 0)));
  for (let i = 0; i < drawn.length; ++i) addBlock(i);
  function addBlock(i) {
    const b = drawn[i];
    const middle = [0, 0, 0];
    for (let k = 0; k < 8; ++k) {
      const corner = [cornerX(b, k), cornerY(b, k), cornerZ(b, k)];
      for (let a = 0; a < 3; ++a) {
        middle[a] += corner[a] / 8;
        low[a] = Math.min(low[a], corner[a]);
        high[a] = Math.max(high[a], corner[a]);
      }
    }
    let far = 0;
    for (let k = 0; k < 8; ++k) {
      far = Math.max(far, (cornerX(b, k) - middle[0]) ** 2 + (cornerY(b, k) - middle[1]) ** 2 +
                          (cornerZ(b, k) - middle[2]) ** 2);
    }
    centres.set(middle, i * 3);
    radii[i] = Math.sqrt(far);
    const p = new Float64Array(12); // a face's four corners
    for (let f = 0; f < 6; ++f) {
      const first = (i * 6 + f) * 4;
      for (let c = 0; c < 4; ++c) {
        const k = faceCorners[f][c];
        p[c * 3] = cornerX(b, k);
        p[c * 3 + 1] = cornerY(b, k);
        p[c * 3 + 2] = cornerZ(b, k);
        const at = (first + c) * (STRIDE / 4);
        for (let a = 0; a < 3; ++a) vertexFloats[at + a] = p[c * 3 + a];
        vertexFloats[at + 3] = faceU(b, f, c);
        vertexFloats[at + 4] = faceV(b, f, c);
      }
      // Newell's normal, turned away from the block's centre.
      const n = [0, 0, 0];
      for (let c = 0; c < 4; ++c) {
        const [s, q] = [c * 3, ((c + 1) % 4) * 3];
        n[0] += (p[s + 1] - p[q + 1]) * (p[s + 2] + p[q + 2]);
        n[1] += (p[s + 2] - p[q + 2]) * (p[s] + p[q]);
        n[2] += (p[s] - p[q]) * (p[s + 1] + p[q + 1]);
      }
      let toward = 0;
      for (let a = 0; a < 3; ++a) toward += n[a] * ((p[a] + p[6 + a]) / 2 - middle[a]);
      const out = toward >= 0 ? 1 : -1;
      const length = Math.hypot(n[0], n[1], n[2]);
      const sun = length > 0 ? (out * (n[0] * SUN[0] + n[1] * SUN[1] + n[2] * SUN[2])) / length : SUN[1];
      const texture = faceTexture(b, f);
      for (let c = 0; c < 4; ++c) {
        const at = (first + c) * STRIDE + 20;
        vertexBytes[at] = texture >= 0 && texture < 10 ? texture : 10;
        vertexBytes[at + 1] = problem[b];
        vertexBytes[at + 2] = lightByte(sun);
        vertexBytes[at + 3] = lightByte(-sun);
      }
      const order = out > 0 ? [0, 1, 2, 0, 2, 3] : [0, 2, 1, 0, 3, 2];
      for (let j = 0; j < 6; ++j) triangles[(i * 6 + f) * 6 + j] = first + order[j];
      faceGroup[i * 6 + f] = 6;
      for (let a = 0; a < 3; ++a) {
        if (!(length > 0 && p[a] === p[3 + a] && p[a] === p[6 + a] && p[a] === p[9 + a])) continue;
        // Both triangles must turn the same way as the face (not so where its edges cross).
        const turn = out * n[a] > 0 ? 1 : -1;
        const [u, w] = [(a + 1) % 3, (a + 2) % 3];
        const along = (c0, c1, c2) =>
          (p[c1 * 3 + u] - p[c0 * 3 + u]) * (p[c2 * 3 + w] - p[c0 * 3 + w]) -
          (p[c1 * 3 + w] - p[c0 * 3 + w]) * (p[c2 * 3 + u] - p[c0 * 3 + u]);
        if (turn * along(order[0], order[1], order[2]) >= 0 && turn * along(order[3], order[4], order[5]) >= 0) {
          faceGroup[i * 6 + f] = 2 * a + (turn > 0 ? 0 : 1);
          facePlane[i * 6 + f] = p[a];
        }
      }
    }
  }
  const centre = drawn.length ? low.map((l, a) => (l + high[a]) / 2) : [0, 0, 0];
  const radius = drawn.length
    ? Math.max(Math.hypot(high[0] - low[0], high[1] - low[1], high[2] - low[2]) / 2, 1e-3)
    : 1;

  function blockCentre(b) {
    const sum = [0, 0, 0];
    for (let k = 0; k < 8; ++k) {
      sum[0] += cornerX(b, k);
      sum[1] += cornerY(b, k);
      sum[2] += cornerZ(b, k);
    }
    return sum.map((s) => s / 8);
  }
  function blockRadius(b) {
    const c = blockCentre(b);
    let r = 0;
    for (let k = 0; k < 8; ++k) {
      r = Math.max(r, Math.hypot(cornerX(b, k) - c[0], cornerY(b, k) - c[1], cornerZ(b, k) - c[2]));
    }
    return r;
  }

  // ---- Chunks: runs of up to CHUNK blocks that lie close together (along a curve that fills the
  // model's box), each run's faces grouped by the way they turn. A frame draws the chunks
  // nearest the eye first, so that the depth test spares the shading of most of what lies
  // behind them, and leaves out the chunks outside the view and the groups whose faces all turn
  // away from the eye. The blocks without a problem are drawn with their back faces culled,
  // those with one from both sides, in chunks of their own.
  const CHUNK = 512;
  const spread = (v) => {
    let x = Math.max(0, Math.min(1023, Math.floor(v)));
    x = (x | (x << 16)) & 0x030000ff;
    x = (x | (x << 8)) & 0x0300f00f;
    x = (x | (x << 4)) & 0x030c30c3;
    return (x | (x << 2)) & 0x09249249;
  };
  const curve = new Uint32Array(drawn.length);
  for (let i = 0; i < drawn.length; ++i) {
    for (let a = 0; a < 3; ++a) {
      const scale = high[a] > low[a] ? 1024 / (high[a] - low[a]) : 0;
      curve[i] |= spread((centres[i * 3 + a] - low[a]) * scale) << a;
    }
  }
  const chunkIndices = new Uint32Array(drawn.length * 36);
  let filled = 0;
  const chunks = [];
  function addChunks(blocks, both) {
    blocks.sort((x, y) => curve[x] - curve[y]);
    for (let start = 0; start < blocks.length; start += CHUNK) {
      const run = blocks.slice(start, start + CHUNK);
      const lo = [Infinity, Infinity, Infinity];
      const hi = [-Infinity, -Infinity, -Infinity];
      for (const i of run) {
        for (let a = 0; a < 3; ++a) {
          lo[a] = Math.min(lo[a], centres[i * 3 + a] - radii[i]);
          hi[a] = Math.max(hi[a], centres[i * 3 + a] + radii[i]);
        }
      }
      const groups = [];
      for (let turn = both ? 6 : 0; turn < 7; ++turn) {
        const group = addGroup(run, both ? -1 : turn);
        if (group.count) groups.push(group);
      }
      chunks.push({
        centre: lo.map((l, a) => (l + hi[a]) / 2),
        radius: Math.hypot(hi[0] - lo[0], hi[1] - lo[1], hi[2] - lo[2]) / 2,
        both, groups,
      });
    }
  }
  // The triangles of the faces of some blocks that turn one way (-1: all), appended.
  function addGroup(blocks, turn) {
    const group = { turn: turn < 0 ? 6 : turn, offset: filled, plane: [Infinity, -Infinity] };
    for (let j = 0; j < blocks.length; ++j) {
      for (let f = blocks[j] * 6; f < blocks[j] * 6 + 6; ++f) {
        if (turn >= 0 && faceGroup[f] !== turn) continue;
        for (let k = 0; k < 6; ++k) chunkIndices[filled++] = triangles[f * 6 + k];
        group.plane[0] = Math.min(group.plane[0], facePlane[f]);
        group.plane[1] = Math.max(group.plane[1], facePlane[f]);
      }
    }
    group.count = filled - group.offset;
    return group;
  }
  const plain = [];
  const marked = [];
  for (let i = 0; i < drawn.length; ++i) (problem[drawn[i]] ? marked : plain).push(i);
  addChunks(plain, false);
  addChunks(marked, true);

  // Face outlines of blocks, as line segments with a colour, for drawing over everything.
  function outlines(blocks, colour) {
    const lines = new Float32Array(blocks.length * 6 * 4 * 2 * 7);
    let at = 0;
    for (const b of blocks) {
      for (let f = 0; f < 6; ++f) {
        for (let c = 0; c < 4; ++c) {
          for (const k of [faceCorners[f][c], faceCorners[f][(c + 1) % 4]]) {
            lines.set([cornerX(b, k), cornerY(b, k), cornerZ(b, k)], at);
            lines.set(colour, at + 3);
            at += 7;
          }
        }
      }
    }
    return lines;
  }

  // ---- WebGL2.
  const canvas = document.getElementById('canvas');
  const message = document.getElementById('message');
  // A model this large is drawn without smoothed edges (software WebGL pays for them on every
  // sample) and at half resolution while the camera moves.
  const large = drawn.length > 4096;
  const gl = canvas.getContext('webgl2', { antialias: !large });
  if (!gl) {
    message.textContent = 'このブラウザーでは WebGL2 が使えないため、ブロックを描けません。';
  }

  // Everything per face is worked out beforehand, so that a pixel costs one look-up of the
  // image or the flat colour.
  const FACE_VS = `#version 300 es
layout(location = 0) in vec3 aPos;
layout(location = 1) in vec2 aUv;
layout(location = 2) in uvec2 aInfo;
layout(location = 3) in vec2 aLight;
uniform mat4 uViewProj;
uniform uint uHasImage;
uniform vec3 uPalette[11];
out vec2 vUv;
flat out vec3 vFlat;
flat out uint vImage;
flat out uint vProblem;
flat out vec2 vLight;
invariant gl_Position;
void main() {
  vUv = aUv;
  vImage = aInfo.x < 10u && ((uHasImage >> aInfo.x) & 1u) == 1u ? aInfo.x + 1u : 0u;
  vFlat = uPalette[min(aInfo.x, 10u)];
  vProblem = aInfo.y;
  vLight = aLight;
  gl_Position = uViewProj * vec4(aPos, 1.0);
}`;
  // The look-up of the images is left out while there are none: software WebGL pays for it on
  // every pixel, also where a face takes no image.
  const faceFs = (images) => `#version 300 es
precision highp float;
precision highp int;
precision highp sampler2DArray;
in vec2 vUv;
flat in vec3 vFlat;
flat in uint vImage;
flat in uint vProblem;
flat in vec2 vLight;
uniform sampler2DArray uImages;
uniform bool uSelected;
out vec4 outColour;
void main() {
  vec3 base;
  ${images ? 'if (vImage != 0u) base = texture(uImages, vec3(vUv, float(vImage - 1u))).rgb; else' : ''}
  {
    // A flat colour per texture number, with a faint 4 x 4 check of its UVs.
    vec2 cell = floor(vUv * 4.0);
    base = vFlat * (0.93 + 0.07 * mod(cell.x + cell.y, 2.0));
  }
  vec3 colour = base * (gl_FrontFacing ? vLight.x : vLight.y);
  if (vProblem != 0u) colour = mix(colour, vec3(0.9, 0.0, 0.0), 0.5);
  if (uSelected) colour = mix(colour, vec3(1.0, 0.85, 0.1), 0.45);
  outColour = vec4(colour, 1.0);
}`;
  const LINE_VS = `#version 300 es
layout(location = 0) in vec3 aPos;
layout(location = 1) in vec4 aColour;
uniform mat4 uViewProj;
out vec4 vColour;
void main() {
  vColour = aColour;
  gl_Position = uViewProj * vec4(aPos, 1.0);
}`;
  const LINE_FS = `#version 300 es
precision mediump float;
in vec4 vColour;
out vec4 outColour;
void main() { outColour = vColour; }`;

  function program(vs, fs) {
    const p = gl.createProgram();
    for (const [type, source] of [[gl.VERTEX_SHADER, vs], [gl.FRAGMENT_SHADER, fs]]) {
      const s = gl.createShader(type);
      gl.shaderSource(s, source);
      gl.compileShader(s);
      if (!gl.getShaderParameter(s, gl.COMPILE_STATUS)) throw new Error(gl.getShaderInfoLog(s));
      gl.attachShader(p, s);
    }
    gl.linkProgram(p);
    if (!gl.getProgramParameter(p, gl.LINK_STATUS)) throw new Error(gl.getProgramInfoLog(p));
    const uniforms = {};
    const n = gl.getProgramParameter(p, gl.ACTIVE_UNIFORMS);
    for (let i = 0; i < n; ++i) {
      const name = gl.getActiveUniform(p, i).name.replace(/\[0\]$/, '');
      uniforms[name] = gl.getUniformLocation(p, name);
    }
    return { p, u: uniforms };
  }

  function buffer(target, array) {
    const b = gl.createBuffer();
    gl.bindBuffer(target, b);
    gl.bufferData(target, array, gl.STATIC_DRAW);
    return b;
  }

  // Base colours by texture number (the SVG picture's), and grey for a number out of range.
  const PALETTE = [
    [200, 168, 120], [127, 168, 201], [143, 191, 127], [181, 159, 208], [217, 195, 106],
    [127, 201, 192], [170, 170, 170], [201, 160, 184], [159, 176, 217], [191, 191, 159],
    [128, 128, 128],
  ];
  const IMAGE_SIZE = 256;

  // The faces' vertices in one buffer, their triangles by chunk in another, and the selected
  // block's in a third.
  let faces, lines, faceVao, chunkBuffer, selectedSet, problemLines, selectedLines;
  let hasImage = 0;
  if (gl) {
    lines = program(LINE_VS, LINE_FS);
    faceVao = gl.createVertexArray();
    gl.bindVertexArray(faceVao);
    buffer(gl.ARRAY_BUFFER, vertexData);
    gl.enableVertexAttribArray(0);
    gl.vertexAttribPointer(0, 3, gl.FLOAT, false, STRIDE, 0);
    gl.enableVertexAttribArray(1);
    gl.vertexAttribPointer(1, 2, gl.FLOAT, false, STRIDE, 12);
    gl.enableVertexAttribArray(2);
    gl.vertexAttribIPointer(2, 2, gl.UNSIGNED_BYTE, STRIDE, 20);
    gl.enableVertexAttribArray(3);
    gl.vertexAttribPointer(3, 2, gl.UNSIGNED_BYTE, true, STRIDE, 22);
    chunkBuffer = buffer(gl.ELEMENT_ARRAY_BUFFER, chunkIndices);
    selectedSet = { buffer: buffer(gl.ELEMENT_ARRAY_BUFFER, new Uint32Array(36)), count: 0 };
    gl.bindVertexArray(null);
    problemLines = lineSet(drawn.filter((b) => problem[b]), [1, 0, 0, 0.55]);

    const images = gl.createTexture();
    gl.bindTexture(gl.TEXTURE_2D_ARRAY, images);
    gl.texStorage3D(gl.TEXTURE_2D_ARRAY, 9, gl.RGBA8, IMAGE_SIZE, IMAGE_SIZE, 10);
    gl.texParameteri(gl.TEXTURE_2D_ARRAY, gl.TEXTURE_MIN_FILTER, gl.LINEAR_MIPMAP_LINEAR);
    gl.texParameteri(gl.TEXTURE_2D_ARRAY, gl.TEXTURE_MAG_FILTER, gl.LINEAR);
  }

  function facesProgram(images) {
    const faces = program(FACE_VS, faceFs(images));
    gl.useProgram(faces.p);
    gl.uniform1i(faces.u.uImages, 0);
    gl.uniform3fv(faces.u.uPalette, PALETTE.flat().map((x) => x / 255));
    return faces;
  }

  function lineSet(blocks, colour) {
    const array = outlines(blocks, colour);
    const vao = gl.createVertexArray();
    gl.bindVertexArray(vao);
    const b = buffer(gl.ARRAY_BUFFER, array);
    gl.enableVertexAttribArray(0);
    gl.vertexAttribPointer(0, 3, gl.FLOAT, false, 28, 0);
    gl.enableVertexAttribArray(1);
    gl.vertexAttribPointer(1, 4, gl.FLOAT, false, 28, 12);
    gl.bindVertexArray(null);
    return { vao, buffer: b, count: array.length / 7 };
  }

  // The texture images found beside the input, each scaled to one layer of the array.
  async function loadImages() {
    const scratch = document.createElement('canvas');
    scratch.width = scratch.height = IMAGE_SIZE;
    const context = scratch.getContext('2d');
    for (let slot = 0; slot < 10; ++slot) {
      const uri = data.textures[slot].image;
      if (!uri) continue;
      const image = new Image();
      image.src = uri;
      try {
        await image.decode();
      } catch (e) {
        continue; // not decodable here: the flat colour stands in
      }
      context.clearRect(0, 0, IMAGE_SIZE, IMAGE_SIZE);
      // UV (0, 0) is the image's top left corner, as in the modeller.
      context.drawImage(image, 0, 0, IMAGE_SIZE, IMAGE_SIZE);
      gl.texSubImage3D(gl.TEXTURE_2D_ARRAY, 0, 0, 0, slot, IMAGE_SIZE, IMAGE_SIZE, 1, gl.RGBA,
                       gl.UNSIGNED_BYTE, scratch);
      hasImage |= 1 << slot;
    }
    gl.generateMipmap(gl.TEXTURE_2D_ARRAY);
    faces = facesProgram(hasImage !== 0);
  }

  // ---- The camera: a point looked at, the direction (yaw, pitch) and the distance to it.
  const FOV = Math.PI / 3;
  const camera = { target: [0, 0, 0], yaw: 0, pitch: 0, distance: 1 };
  const forward = () => [
    Math.cos(camera.pitch) * Math.cos(camera.yaw),
    Math.sin(camera.pitch),
    Math.cos(camera.pitch) * Math.sin(camera.yaw),
  ];
  const eye = () => {
    const f = forward();
    return camera.target.map((c, a) => c - f[a] * camera.distance);
  };
  function fit() {
    // From above, the front and the side of positive x, like the SVG picture.
    camera.yaw = (-3 * Math.PI) / 4;
    camera.pitch = -Math.atan(1 / Math.SQRT2);
    camera.target = centre.slice();
    camera.distance = (radius / Math.sin(FOV / 2)) * 1.05;
    moved();
  }
  function lookAt(b) {
    camera.target = blockCentre(b);
    camera.distance = Math.max(blockRadius(b) * 3, radius * 0.02);
    moved();
  }

  function multiply(a, b) {
    const out = new Float32Array(16);
    for (let c = 0; c < 4; ++c) {
      for (let r = 0; r < 4; ++r) {
        let s = 0;
        for (let k = 0; k < 4; ++k) s += a[k * 4 + r] * b[c * 4 + k];
        out[c * 4 + r] = s;
      }
    }
    return out;
  }
  const dot = (a, b) => a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
  // The eye's directions: ahead, right and up.
  function axes() {
    const f = forward();
    const length = Math.hypot(f[0], f[2]) || 1;
    const r = [-f[2] / length, 0, f[0] / length];
    const u = [r[1] * f[2] - r[2] * f[1], r[2] * f[0] - r[0] * f[2], r[0] * f[1] - r[1] * f[0]];
    return [f, r, u];
  }
  const near = () => radius * 1e-3;
  const far = () => camera.distance + radius * 4;
  const aspect = () => Math.max(canvas.clientWidth, 1) / Math.max(canvas.clientHeight, 1);
  function viewProjection() {
    const e = eye();
    const [f, r, u] = axes();
    const view = [
      r[0], u[0], -f[0], 0, r[1], u[1], -f[1], 0, r[2], u[2], -f[2], 0,
      -dot(r, e), -dot(u, e), dot(f, e), 1,
    ];
    const [n, z] = [near(), far()];
    const g = 1 / Math.tan(FOV / 2);
    const projection = [
      g / aspect(), 0, 0, 0, 0, g, 0, 0, 0, 0, (z + n) / (n - z), -1,
      0, 0, (2 * z * n) / (n - z), 0,
    ];
    return multiply(projection, view);
  }

  // ---- Drawing, on demand: at most one frame per animation frame, and only after a change.
  // While the camera moves a large model is drawn at half resolution; once it has rested for
  // REST_MS it is drawn again at full resolution.
  const REST_MS = 250;
  let onlyProblems = false;
  let selected = -1;
  let started = false; // the images are in: frames may be drawn
  let requested = false;
  let moving = false;
  let restTimer = 0;
  function redraw() {
    if (requested || !started) return;
    requested = true;
    requestAnimationFrame(frame);
  }
  function moved() {
    moving = true;
    clearTimeout(restTimer);
    restTimer = setTimeout(() => {
      moving = false;
      redraw();
    }, REST_MS);
    redraw();
  }
  let last = 0;
  function frame(now) {
    requested = false;
    if (keys.size) {
      walk(Math.max(0, Math.min((now - last) / 1000, 0.1)), fast);
      last = now;
    }
    draw(!moving);
  }
  function rest(everything) {
    clearTimeout(restTimer);
    moving = false;
    draw(true, everything);
  }
  function resize(scale) {
    const ratio = Math.min(window.devicePixelRatio || 1, 2) * scale;
    const width = Math.max(1, Math.round(canvas.clientWidth * ratio));
    const height = Math.max(1, Math.round(canvas.clientHeight * ratio));
    if (canvas.width !== width || canvas.height !== height) {
      canvas.width = width;
      canvas.height = height;
    }
  }
  // Whether any of a chunk may be seen: its sphere not wholly outside the view.
  function inView(chunk, e, [f, r, u]) {
    const v = chunk.centre.map((c, a) => c - e[a]);
    const depth = dot(v, f);
    if (depth < near() - chunk.radius || depth > far() + chunk.radius) return false;
    const ty = Math.tan(FOV / 2);
    const tx = ty * aspect();
    return Math.abs(dot(v, r)) - depth * tx <= chunk.radius * Math.hypot(1, tx) &&
           Math.abs(dot(v, u)) - depth * ty <= chunk.radius * Math.hypot(1, ty);
  }
  // Whether any face of a group may turn towards the eye.
  function towards(group, e) {
    if (group.turn === 6) return true;
    const a = group.turn >> 1;
    return group.turn % 2 === 0 ? e[a] > group.plane[0] : e[a] < group.plane[1];
  }
  function drawChunks(everything) {
    const e = eye();
    const view = axes();
    const order = chunks.filter((c) => (c.both || !onlyProblems) && (everything || inView(c, e, view)));
    const distance = (c) => (c.centre[0] - e[0]) ** 2 + (c.centre[1] - e[1]) ** 2 + (c.centre[2] - e[2]) ** 2;
    order.sort((x, y) => distance(x) - distance(y));
    gl.bindBuffer(gl.ELEMENT_ARRAY_BUFFER, chunkBuffer);
    for (const chunk of order) {
      gl[chunk.both ? 'disable' : 'enable'](gl.CULL_FACE);
      // Neighbouring groups that are drawn go in one call.
      let [start, end] = [0, 0];
      for (const group of chunk.groups) {
        if (!everything && !towards(group, e)) continue;
        if (group.offset !== end) {
          if (end > start) gl.drawElements(gl.TRIANGLES, end - start, gl.UNSIGNED_INT, start * 4);
          start = group.offset;
        }
        end = group.offset + group.count;
      }
      if (end > start) gl.drawElements(gl.TRIANGLES, end - start, gl.UNSIGNED_INT, start * 4);
    }
  }
  function drawLines(matrix, set) {
    if (!set || set.count === 0) return;
    gl.useProgram(lines.p);
    gl.uniformMatrix4fv(lines.u.uViewProj, false, matrix);
    gl.bindVertexArray(set.vao);
    gl.drawArrays(gl.LINES, 0, set.count);
    gl.bindVertexArray(null);
  }
  // everything: no chunk or face group left out (for tests).
  function draw(atRest, everything) {
    resize(atRest || !large ? 1 : 0.5);
    gl.bindFramebuffer(gl.FRAMEBUFFER, null);
    gl.viewport(0, 0, canvas.width, canvas.height);
    gl.clearColor(0.93, 0.95, 0.97, 1);
    gl.clear(gl.COLOR_BUFFER_BIT | gl.DEPTH_BUFFER_BIT);
    const matrix = viewProjection();
    gl.enable(gl.DEPTH_TEST);
    gl.useProgram(faces.p);
    gl.uniformMatrix4fv(faces.u.uViewProj, false, matrix);
    gl.uniform1ui(faces.u.uHasImage, hasImage);
    gl.uniform1i(faces.u.uSelected, 0);
    gl.bindVertexArray(faceVao);
    drawChunks(everything);
    // The block selected once more over itself, tinted.
    if (selectedSet.count && (problem[selected] || !onlyProblems)) {
      gl.uniform1i(faces.u.uSelected, 1);
      gl.depthFunc(gl.LEQUAL);
      gl[problem[selected] ? 'disable' : 'enable'](gl.CULL_FACE);
      gl.bindBuffer(gl.ELEMENT_ARRAY_BUFFER, selectedSet.buffer);
      gl.drawElements(gl.TRIANGLES, selectedSet.count, gl.UNSIGNED_INT, 0);
      gl.depthFunc(gl.LESS);
    }
    gl.bindVertexArray(null);
    gl.disable(gl.CULL_FACE);
    // Outlines of the blocks with a problem, and of the one selected, show through everything.
    gl.disable(gl.DEPTH_TEST);
    gl.enable(gl.BLEND);
    gl.blendFunc(gl.SRC_ALPHA, gl.ONE_MINUS_SRC_ALPHA);
    drawLines(matrix, problemLines);
    drawLines(matrix, selectedLines);
    gl.disable(gl.BLEND);
  }

  // The block drawn at a point of the canvas (CSS pixels), or -1: the nearest triangle that the
  // ray from the eye through that point meets, of those the frame draws (front faces only for a
  // block without a problem, nothing nearer than the near plane or beyond the far one).
  function pick(x, y) {
    const [width, height] = [canvas.clientWidth, canvas.clientHeight];
    if (!(x >= 0 && y >= 0 && x < width && y < height)) return -1;
    const e = eye();
    const [f, r, u] = axes();
    const g = Math.tan(FOV / 2);
    const sx = ((2 * x) / width - 1) * g * aspect();
    const sy = (1 - (2 * y) / height) * g;
    // One step along d goes one unit ahead: the distance along the ray is the depth.
    const d = [0, 1, 2].map((a) => f[a] + r[a] * sx + u[a] * sy);
    const dd = dot(d, d);
    const [lo, hi] = [near(), far()];
    let nearest = Infinity;
    let found = -1;
    const corner = (v, a) => vertexFloats[v * (STRIDE / 4) + a];
    for (let i = 0; i < drawn.length; ++i) {
      const both = problem[drawn[i]] !== 0;
      if (onlyProblems && !both) continue;
      const o = [centres[i * 3] - e[0], centres[i * 3 + 1] - e[1], centres[i * 3 + 2] - e[2]];
      const along = dot(o, d) / dd;
      if (dot(o, o) - along * along * dd > radii[i] * radii[i] * 1.0001 + 1e-12) continue;
      for (let k = i * 36; k < i * 36 + 36; k += 3) {
        const [p, q, w] = [triangles[k], triangles[k + 1], triangles[k + 2]];
        const e1 = [0, 1, 2].map((a) => corner(q, a) - corner(p, a));
        const e2 = [0, 1, 2].map((a) => corner(w, a) - corner(p, a));
        const pv = [d[1] * e2[2] - d[2] * e2[1], d[2] * e2[0] - d[0] * e2[2], d[0] * e2[1] - d[1] * e2[0]];
        const det = dot(e1, pv);
        // A front face, counter-clockwise on the screen, has det > 0.
        if (both ? det === 0 : !(det > 0)) continue;
        const s = [0, 1, 2].map((a) => e[a] - corner(p, a));
        const bu = dot(s, pv) / det;
        if (!(bu >= 0 && bu <= 1)) continue;
        const qv = [s[1] * e1[2] - s[2] * e1[1], s[2] * e1[0] - s[0] * e1[2], s[0] * e1[1] - s[1] * e1[0]];
        const bv = dot(d, qv) / det;
        if (!(bv >= 0 && bu + bv <= 1)) continue;
        const t = dot(e2, qv) / det;
        if (t >= lo && t <= hi && t < nearest) {
          nearest = t;
          found = drawn[i];
        }
      }
    }
    return found;
  }

  // ---- The side panel.
  const element = (tag, text, className) => {
    const e = document.createElement(tag);
    if (text !== undefined) e.textContent = text;
    if (className) e.className = className;
    return e;
  };
  const strip = (text) => text.replace(/^\t+|\n$/g, '');
  // The shortest decimal that reads back to the same float, as the inspector prints it.
  function floatText(x) {
    if (Number.isNaN(x)) return 'nan';
    if (!Number.isFinite(x)) return x < 0 ? '-inf' : 'inf';
    if (x === 0) return Object.is(x, -0) ? '-0' : '0';
    for (let digits = 1; digits < 10; ++digits) {
      const text = String(Number(x.toPrecision(digits)));
      if (Math.fround(Number(text)) === x) return text;
    }
    return String(x);
  }
  function textureText(texture) {
    if (texture < 0 || texture >= 10) return texture + ' ' + words.outOfRange;
    return texture + ' ' + (textureNames[texture] || words.noName);
  }
  function swatch(texture) {
    const s = element('span', undefined, 'swatch');
    if (texture >= 0 && texture < 10 && data.textures[texture].image) {
      s.style.backgroundImage = `url("${data.textures[texture].image}")`;
    } else {
      const [r, g, b] = PALETTE[texture >= 0 && texture < 10 ? texture : 10];
      s.style.backgroundColor = `rgb(${r}, ${g}, ${b})`;
    }
    return s;
  }

  const details = document.getElementById('details');
  function showDetails(b) {
    details.replaceChildren();
    const heading = [words.block + b];
    if (!data.fromBd1) {
      const objects = [].concat(data.blockObjects[b]);
      heading.push(objects.length ? objects.map((o) => `"${objectNames[o]}"`).join(' ') : '-');
      heading.push(words.layout + (layout[b] < 0 ? words.none : layout[b]));
    }
    details.append(element('h3', heading.join('\u3000'), problem[b] ? 'problem' : ''));
    for (const line of data.problems[b] || []) {
      details.append(element('div', strip(lineText(line)), 'problem'));
    }
    if (!drawable(b)) details.append(element('p', '角の座標に有限でない値があるため、このブロックは描いていません。', 'note'));
    details.append(element('div', strip(words.faceTextures)));
    const table = element('table');
    for (let f = 0; f < 6; ++f) {
      const row = element('tr');
      const cell = element('td');
      cell.append(swatch(faceTexture(b, f)), ' ' + words.face + f);
      const uv = [0, 1, 2, 3].map((c) => `(${floatText(faceU(b, f, c))}, ${floatText(faceV(b, f, c))})`);
      row.append(cell, element('td', textureText(faceTexture(b, f))), element('td', 'UV ' + uv.join(' ')));
      table.append(row);
    }
    details.append(table);
    const corners = element('table');
    for (let k = 0; k < 8; ++k) {
      const row = element('tr');
      row.append(
        element('td', strip(words.corner) + k),
        element('td', [0, 8, 16].map((o) => floatText(floats[b * WORDS + o + k])).join(' ')));
      corners.append(row);
    }
    details.append(element('div', 'BD1 の角 (x は反転)'), corners);
  }

  const list = document.getElementById('problem-list');
  const listItems = new Map();
  function select(b, move) {
    if (!(b >= 0 && b < count)) return;
    listItems.get(selected)?.classList.remove('selected');
    selected = b;
    listItems.get(b)?.classList.add('selected');
    if (gl) {
      if (selectedLines) {
        gl.deleteVertexArray(selectedLines.vao);
        gl.deleteBuffer(selectedLines.buffer);
      }
      selectedLines = lineSet(drawable(b) ? [b] : [], [1, 0.8, 0, 1]);
      const i = drawnIndex[b];
      if (i >= 0) {
        gl.bindBuffer(gl.ELEMENT_ARRAY_BUFFER, selectedSet.buffer);
        gl.bufferSubData(gl.ELEMENT_ARRAY_BUFFER, 0, triangles.subarray(i * 36, i * 36 + 36));
      }
      selectedSet.count = i >= 0 ? 36 : 0;
      if (move && i >= 0) lookAt(b);
    }
    showDetails(b);
    root.dataset.selected = String(b);
    redraw();
  }

  // The list's first entries come with the panel; a long list's others follow in batches once the
  // first frame is drawn, so that laying out thousands of entries does not hold the view back.
  const LISTED_AT_ONCE = 500;
  const LISTED_PER_BATCH = 2000;
  const listed = [];
  function listItem(b) {
    const item = element('li');
    const button = element('button', words.block + b, 'block');
    button.type = 'button';
    button.addEventListener('click', () => select(b, true));
    item.append(button);
    const first = (data.problems[b] || [])[0];
    if (first) item.append(' ', element('span', strip(lineText(first)), 'problem'));
    if (b === selected) item.classList.add('selected');
    listItems.set(b, item);
    return item;
  }
  function listFrom(start, end) {
    const items = document.createDocumentFragment();
    for (let i = start; i < end; ++i) items.append(listItem(listed[i]));
    list.append(items);
  }
  function listRest(start) {
    if (start >= listed.length) return;
    const end = Math.min(listed.length, start + LISTED_PER_BATCH);
    listFrom(start, end);
    setTimeout(() => listRest(end), 0);
  }

  function fillPanel() {
    document.title = data.title + ' - bloktar-inspect';
    document.getElementById('title').textContent = data.title;
    for (let b = 0; b < count; ++b) {
      if (problem[b]) listed.push(b);
    }
    listFrom(0, Math.min(listed.length, LISTED_AT_ONCE));
    document.getElementById('problems-title').textContent =
      strip(words.problemBlocks) + ' ' + listed.length;
    document.getElementById('summary').textContent = data.summary.map(lineText).join('\n');
    return listed.length;
  }

  // ---- Moving: orbit, look, walk, wheel.
  const keys = new Set();
  const MOVE_KEYS = new Set(['KeyW', 'KeyA', 'KeyS', 'KeyD', 'KeyQ', 'KeyE', 'ArrowUp',
                             'ArrowDown', 'ArrowLeft', 'ArrowRight']);
  let drag = null;
  const limitPitch = () => {
    camera.pitch = Math.max(-1.55, Math.min(1.55, camera.pitch));
  };
  function turn(dx, dy, inPlace) {
    const from = eye();
    camera.yaw += dx * 0.005;
    camera.pitch -= dy * 0.005;
    limitPitch();
    if (inPlace) {
      const f = forward();
      camera.target = from.map((c, a) => c + f[a] * camera.distance);
    }
    moved();
  }
  canvas.addEventListener('contextmenu', (e) => e.preventDefault());
  canvas.addEventListener('pointerdown', (e) => {
    canvas.focus();
    canvas.setPointerCapture(e.pointerId);
    drag = { x: e.clientX, y: e.clientY, moved: 0, look: e.button === 2 || e.shiftKey, button: e.button };
  });
  canvas.addEventListener('pointermove', (e) => {
    if (!drag) return;
    const dx = e.clientX - drag.x;
    const dy = e.clientY - drag.y;
    drag.x = e.clientX;
    drag.y = e.clientY;
    drag.moved += Math.abs(dx) + Math.abs(dy);
    turn(dx, dy, drag.look);
  });
  canvas.addEventListener('pointerup', (e) => {
    if (drag && drag.moved < 4 && drag.button === 0) {
      const box = canvas.getBoundingClientRect();
      const b = pick(e.clientX - box.left, e.clientY - box.top);
      if (b >= 0) select(b, true);
    }
    drag = null;
  });
  canvas.addEventListener('wheel', (e) => {
    e.preventDefault();
    const factor = Math.exp(Math.max(-300, Math.min(300, e.deltaY)) * 0.0015);
    const nearest = radius * 0.01;
    if (factor < 1 && camera.distance * factor < nearest) {
      // Close to the point looked at: go on through it.
      const f = forward();
      const step = camera.distance * (1 - factor) + nearest * 0.1;
      camera.target = camera.target.map((c, a) => c + f[a] * step);
    } else {
      camera.distance = Math.min(camera.distance * factor, radius * 20);
    }
    moved();
  }, { passive: false });
  window.addEventListener('keydown', (e) => {
    if (e.target instanceof HTMLInputElement) return;
    if (e.code === 'KeyF') {
      fit();
    } else if (MOVE_KEYS.has(e.code)) {
      if (!keys.size) last = performance.now();
      keys.add(e.code);
      e.preventDefault();
      redraw();
    }
  });
  window.addEventListener('keyup', (e) => keys.delete(e.code));
  window.addEventListener('blur', () => keys.clear());
  function walk(seconds, fast) {
    const f = forward();
    const flat = Math.hypot(f[0], f[2]) || 1;
    const ahead = [f[0] / flat, 0, f[2] / flat];
    const right = [-ahead[2], 0, ahead[0]];
    const along = (keys.has('KeyW') || keys.has('ArrowUp') ? 1 : 0) -
                  (keys.has('KeyS') || keys.has('ArrowDown') ? 1 : 0);
    const side = (keys.has('KeyD') || keys.has('ArrowRight') ? 1 : 0) -
                 (keys.has('KeyA') || keys.has('ArrowLeft') ? 1 : 0);
    const up = (keys.has('KeyE') ? 1 : 0) - (keys.has('KeyQ') ? 1 : 0);
    const step = radius * 0.4 * seconds * (fast ? 4 : 1);
    camera.target = camera.target.map((c, a) => c + (ahead[a] * along + right[a] * side) * step);
    camera.target[1] += up * step;
    moved();
  }
  let fast = false;
  window.addEventListener('keydown', (e) => { fast = e.shiftKey; });
  window.addEventListener('keyup', (e) => { fast = e.shiftKey; });

  document.getElementById('fit').addEventListener('click', fit);
  document.getElementById('only-problems').addEventListener('change', (e) => {
    onlyProblems = e.target.checked;
    redraw();
  });
  document.getElementById('goto').addEventListener('submit', (e) => {
    e.preventDefault();
    select(Number(document.getElementById('goto-number').value), true);
  });

  // ---- A small interface for tests.
  function project(point) {
    const m = viewProjection();
    const clip = [0, 1, 2, 3].map((r) =>
      m[r] * point[0] + m[4 + r] * point[1] + m[8 + r] * point[2] + m[12 + r]);
    if (clip[3] <= 0) return null;
    return [(clip[0] / clip[3] + 1) / 2 * canvas.clientWidth,
            (1 - clip[1] / clip[3]) / 2 * canvas.clientHeight];
  }
  window.bloktarView = {
    drawn: drawn.length,
    camera: () => ({ eye: eye(), target: camera.target.slice(), yaw: camera.yaw,
                     pitch: camera.pitch, distance: camera.distance }),
    setCamera: (c) => {
      Object.assign(camera, c);
      moved();
    },
    // Ends the camera's motion at once and draws the frame at rest (scripts/bench times it).
    rest: () => rest(),
    fit,
    select: (b, stay) => select(b, !stay),
    pick,
    centre: (b) => blockCentre(b),
    screenPoint: (b) => (drawable(b) ? project(blockCentre(b)) : null),
    // Draws a frame at rest and counts its pixels: the background's, reddish ones, and a hash of
    // all. everything: with no chunk or face group left out.
    pixels(everything) {
      rest(everything);
      const pixels = new Uint8Array(canvas.width * canvas.height * 4);
      gl.readPixels(0, 0, canvas.width, canvas.height, gl.RGBA, gl.UNSIGNED_BYTE, pixels);
      let background = 0;
      let red = 0;
      let hash = 2166136261;
      for (let i = 0; i < pixels.length; i += 4) {
        const [r, g, b] = [pixels[i], pixels[i + 1], pixels[i + 2]];
        if (r === 237 && g === 242 && b === 247) ++background;
        if (r > 150 && g < 90 && b < 90) ++red;
        hash = Math.imul(hash ^ (r | (g << 8) | (b << 16)), 16777619) >>> 0;
      }
      return { width: canvas.width, height: canvas.height, background, red, hash };
    },
  };

  // ---- Start: the panel, the images, the first frame, then the hooks for tests.
  const problems = fillPanel();
  if (gl) {
    fit();
    new ResizeObserver(redraw).observe(canvas);
    loadImages().then(() => {
      started = true;
      rest();
      // Reading a pixel back waits until the frame has really been drawn.
      gl.readPixels(0, 0, 1, 1, gl.RGBA, gl.UNSIGNED_BYTE, new Uint8Array(4));
      requestAnimationFrame(() => {
        root.dataset.problemBlocks = String(problems);
        root.dataset.ready = String(drawn.length);
        listRest(LISTED_AT_ONCE);
      });
    });
  } else {
    listRest(LISTED_AT_ONCE);
  }
})();
