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

  // ---- Geometry: four vertices and two triangles per face, in the order the record holds them.
  // Each face's triangles turn their front outwards (away from the block's centre), so that the
  // sides facing away can be left undrawn; a block with a problem is drawn from both sides,
  // whatever its corners.
  const drawn = [];
  for (let b = 0; b < count; ++b) if (drawable(b)) drawn.push(b);
  const vertexCount = drawn.length * 24;
  const positions = new Float32Array(vertexCount * 3);
  const uvs = new Float32Array(vertexCount * 2);
  const info = new Uint8Array(vertexCount * 4); // texture slot (10: none), problem
  const ids = new Uint32Array(vertexCount);
  const triangles = []; // per drawn block: its indices
  const low = [Infinity, Infinity, Infinity];
  const high = [-Infinity, -Infinity, -Infinity];
  let v = 0;
  for (const b of drawn) {
    const middle = blockCentre(b);
    const own = new Uint32Array(problem[b] ? 72 : 36);
    let t = 0;
    for (let f = 0; f < 6; ++f) {
      const texture = faceTexture(b, f);
      const slot = texture >= 0 && texture < 10 ? texture : 10;
      const corners = faceCorners[f].map((k) => [cornerX(b, k), cornerY(b, k), cornerZ(b, k)]);
      for (let c = 0; c < 4; ++c) {
        const p = corners[c];
        positions.set(p, v * 3);
        for (let a = 0; a < 3; ++a) {
          low[a] = Math.min(low[a], p[a]);
          high[a] = Math.max(high[a], p[a]);
        }
        uvs[v * 2] = faceU(b, f, c);
        uvs[v * 2 + 1] = faceV(b, f, c);
        info[v * 4] = slot;
        info[v * 4 + 1] = problem[b];
        ids[v] = b;
        ++v;
      }
      // Newell's normal against the direction from the block's centre to the face's.
      let outward = 0;
      for (let c = 0; c < 4; ++c) {
        const [p, q] = [corners[c], corners[(c + 1) % 4]];
        const normal = [(p[1] - q[1]) * (p[2] + q[2]), (p[2] - q[2]) * (p[0] + q[0]),
                        (p[0] - q[0]) * (p[1] + q[1])];
        for (let a = 0; a < 3; ++a) outward += normal[a] * ((corners[0][a] + corners[2][a]) / 2 - middle[a]);
      }
      const first = v - 4;
      const front = [first, first + 1, first + 2, first, first + 2, first + 3];
      const back = [first, first + 2, first + 1, first, first + 3, first + 2];
      own.set(outward >= 0 ? front : back, t);
      t += 6;
      if (problem[b]) {
        own.set(outward >= 0 ? back : front, t);
        t += 6;
      }
    }
    triangles.push(own);
  }
  const indices = new Uint32Array(triangles.reduce((n, own) => n + own.length, 0));
  // The blocks nearest the eye first, so that the depth test spares the shading of most of what
  // lies behind them.
  function sortFrom(point) {
    const order = drawn.map((b, i) => {
      const c = blockCentre(b);
      return [(c[0] - point[0]) ** 2 + (c[1] - point[1]) ** 2 + (c[2] - point[2]) ** 2, i];
    });
    order.sort((x, y) => x[0] - y[0]);
    let at = 0;
    for (const [, i] of order) {
      indices.set(triangles[i], at);
      at += triangles[i].length;
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
  // Edges smoothed for small models only: software WebGL pays for it on every sample.
  const gl = canvas.getContext('webgl2', { antialias: drawn.length <= 4096 });
  if (!gl) {
    message.textContent = 'このブラウザーでは WebGL2 が使えないため、ブロックを描けません。';
  }

  const FACE_VS = `#version 300 es
layout(location = 0) in vec3 aPos;
layout(location = 1) in vec2 aUv;
layout(location = 2) in uvec4 aInfo;
layout(location = 3) in uint aId;
uniform mat4 uViewProj;
uniform bool uOnlyProblems;
out vec3 vWorld;
out vec2 vUv;
flat out uint vSlot;
flat out uint vProblem;
flat out uint vId;
void main() {
  vWorld = aPos;
  vUv = aUv;
  vSlot = aInfo.x;
  vProblem = aInfo.y;
  vId = aId;
  gl_Position = uOnlyProblems && aInfo.y == 0u ? vec4(2.0, 2.0, 2.0, 1.0)
                                               : uViewProj * vec4(aPos, 1.0);
}`;
  const FACE_FS = `#version 300 es
precision highp float;
precision highp int;
precision highp sampler2DArray;
in vec3 vWorld;
in vec2 vUv;
flat in uint vSlot;
flat in uint vProblem;
flat in uint vId;
uniform sampler2DArray uImages;
uniform uint uHasImage;
uniform vec3 uPalette[11];
uniform vec3 uEye;
uniform int uSelected;
uniform bool uPick;
out vec4 outColour;
void main() {
  if (uPick) {
    uint id = vId + 1u;
    outColour = vec4(float(id & 255u), float((id >> 8) & 255u), float((id >> 16) & 255u), 255.0) / 255.0;
    return;
  }
  vec3 image = texture(uImages, vec3(vUv, float(min(vSlot, 9u)))).rgb;
  vec3 across = cross(dFdx(vWorld), dFdy(vWorld));
  vec3 n = length(across) > 0.0 ? normalize(across) : vec3(0.0, 1.0, 0.0);
  if (dot(n, uEye - vWorld) < 0.0) n = -n;
  float light = 0.5 + 0.5 * max(dot(n, normalize(vec3(0.3, 1.0, 0.6))), 0.0);
  vec3 base;
  if (vSlot < 10u && ((uHasImage >> vSlot) & 1u) == 1u) {
    base = image;
  } else {
    // A flat colour per texture number, with a faint 4 x 4 check of its UVs.
    vec2 cell = floor(vUv * 4.0);
    base = uPalette[min(vSlot, 10u)] * (0.93 + 0.07 * mod(cell.x + cell.y, 2.0));
  }
  vec3 colour = base * light;
  if (vProblem != 0u) colour = mix(colour, vec3(0.9, 0.0, 0.0), 0.5);
  if (int(vId) == uSelected) colour = mix(colour, vec3(1.0, 0.85, 0.1), 0.45);
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

  let faces, lines, faceVao, indexBuffer, problemLines, selectedLines, pickTarget;
  let hasImage = 0;
  if (gl) {
    faces = program(FACE_VS, FACE_FS);
    lines = program(LINE_VS, LINE_FS);
    faceVao = gl.createVertexArray();
    gl.bindVertexArray(faceVao);
    buffer(gl.ARRAY_BUFFER, positions);
    gl.enableVertexAttribArray(0);
    gl.vertexAttribPointer(0, 3, gl.FLOAT, false, 0, 0);
    buffer(gl.ARRAY_BUFFER, uvs);
    gl.enableVertexAttribArray(1);
    gl.vertexAttribPointer(1, 2, gl.FLOAT, false, 0, 0);
    buffer(gl.ARRAY_BUFFER, info);
    gl.enableVertexAttribArray(2);
    gl.vertexAttribIPointer(2, 4, gl.UNSIGNED_BYTE, 0, 0);
    buffer(gl.ARRAY_BUFFER, ids);
    gl.enableVertexAttribArray(3);
    gl.vertexAttribIPointer(3, 1, gl.UNSIGNED_INT, 0, 0);
    indexBuffer = buffer(gl.ELEMENT_ARRAY_BUFFER, indices);
    gl.bindVertexArray(null);
    problemLines = lineSet(drawn.filter((b) => problem[b]), [1, 0, 0, 0.55]);

    const images = gl.createTexture();
    gl.bindTexture(gl.TEXTURE_2D_ARRAY, images);
    gl.texStorage3D(gl.TEXTURE_2D_ARRAY, 9, gl.RGBA8, IMAGE_SIZE, IMAGE_SIZE, 10);
    gl.texParameteri(gl.TEXTURE_2D_ARRAY, gl.TEXTURE_MIN_FILTER, gl.LINEAR_MIPMAP_LINEAR);
    gl.texParameteri(gl.TEXTURE_2D_ARRAY, gl.TEXTURE_MAG_FILTER, gl.LINEAR);
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
    redraw();
  }
  // Once the eye has rested somewhere new, the draw order follows it.
  let sortedFor = null;
  let sortTimer = 0;
  function resortSoon() {
    clearTimeout(sortTimer);
    sortTimer = setTimeout(() => {
      const e = eye();
      if (sortedFor && Math.hypot(e[0] - sortedFor[0], e[1] - sortedFor[1], e[2] - sortedFor[2]) < radius * 0.05) return;
      sortNow();
      dirty = true;
    }, 400);
  }
  function sortNow() {
    sortedFor = eye();
    sortFrom(sortedFor);
    gl.bindBuffer(gl.ELEMENT_ARRAY_BUFFER, indexBuffer);
    gl.bufferSubData(gl.ELEMENT_ARRAY_BUFFER, 0, indices);
  }
  function lookAt(b) {
    camera.target = blockCentre(b);
    camera.distance = Math.max(blockRadius(b) * 3, radius * 0.02);
    redraw();
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
  function viewProjection(aspect) {
    const e = eye();
    const f = forward();
    const right = [-f[2], 0, f[0]];
    const length = Math.hypot(right[0], right[2]) || 1;
    const r = right.map((x) => x / length);
    const u = [r[1] * f[2] - r[2] * f[1], r[2] * f[0] - r[0] * f[2], r[0] * f[1] - r[1] * f[0]];
    const dot = (a, b) => a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
    const view = [
      r[0], u[0], -f[0], 0, r[1], u[1], -f[1], 0, r[2], u[2], -f[2], 0,
      -dot(r, e), -dot(u, e), dot(f, e), 1,
    ];
    const near = radius * 1e-3;
    const far = camera.distance + radius * 4;
    const g = 1 / Math.tan(FOV / 2);
    const projection = [
      g / aspect, 0, 0, 0, 0, g, 0, 0, 0, 0, (far + near) / (near - far), -1,
      0, 0, (2 * far * near) / (near - far), 0,
    ];
    return multiply(projection, view);
  }

  // ---- Drawing.
  let onlyProblems = false;
  let selected = -1;
  let dirty = true;
  function redraw() {
    dirty = true;
    if (indexBuffer) resortSoon();
  }
  function resize() {
    const scale = window.devicePixelRatio || 1;
    const width = Math.max(1, Math.round(canvas.clientWidth * scale));
    const height = Math.max(1, Math.round(canvas.clientHeight * scale));
    if (canvas.width !== width || canvas.height !== height) {
      canvas.width = width;
      canvas.height = height;
    }
  }
  function drawFaces(matrix, pick) {
    gl.useProgram(faces.p);
    gl.uniformMatrix4fv(faces.u.uViewProj, false, matrix);
    gl.uniform1i(faces.u.uOnlyProblems, onlyProblems ? 1 : 0);
    gl.uniform1i(faces.u.uImages, 0);
    gl.uniform1ui(faces.u.uHasImage, hasImage);
    gl.uniform3fv(faces.u.uPalette, PALETTE.flat().map((x) => x / 255));
    gl.uniform3fv(faces.u.uEye, eye());
    gl.uniform1i(faces.u.uSelected, selected);
    gl.uniform1i(faces.u.uPick, pick ? 1 : 0);
    gl.bindVertexArray(faceVao);
    gl.drawElements(gl.TRIANGLES, indices.length, gl.UNSIGNED_INT, 0);
    gl.bindVertexArray(null);
  }
  function drawLines(matrix, set) {
    if (!set || set.count === 0) return;
    gl.useProgram(lines.p);
    gl.uniformMatrix4fv(lines.u.uViewProj, false, matrix);
    gl.bindVertexArray(set.vao);
    gl.drawArrays(gl.LINES, 0, set.count);
    gl.bindVertexArray(null);
  }
  function draw() {
    resize();
    gl.bindFramebuffer(gl.FRAMEBUFFER, null);
    gl.viewport(0, 0, canvas.width, canvas.height);
    gl.clearColor(0.93, 0.95, 0.97, 1);
    gl.clear(gl.COLOR_BUFFER_BIT | gl.DEPTH_BUFFER_BIT);
    const matrix = viewProjection(canvas.width / canvas.height);
    gl.enable(gl.DEPTH_TEST);
    gl.enable(gl.CULL_FACE);
    drawFaces(matrix, false);
    gl.disable(gl.CULL_FACE);
    // Outlines of the blocks with a problem, and of the one selected, show through everything.
    gl.disable(gl.DEPTH_TEST);
    gl.enable(gl.BLEND);
    gl.blendFunc(gl.SRC_ALPHA, gl.ONE_MINUS_SRC_ALPHA);
    drawLines(matrix, problemLines);
    drawLines(matrix, selectedLines);
    gl.disable(gl.BLEND);
  }

  // The block drawn at a point of the canvas (CSS pixels), or -1: the blocks drawn once more
  // into a framebuffer of their numbers, that one pixel only.
  function pick(x, y) {
    if (!gl) return -1;
    resize();
    const px = Math.floor(x * (canvas.width / canvas.clientWidth));
    const py = canvas.height - 1 - Math.floor(y * (canvas.height / canvas.clientHeight));
    if (px < 0 || py < 0 || px >= canvas.width || py >= canvas.height) return -1;
    if (!pickTarget || pickTarget.width !== canvas.width || pickTarget.height !== canvas.height) {
      if (pickTarget) {
        gl.deleteFramebuffer(pickTarget.framebuffer);
        gl.deleteRenderbuffer(pickTarget.colour);
        gl.deleteRenderbuffer(pickTarget.depth);
      }
      const framebuffer = gl.createFramebuffer();
      gl.bindFramebuffer(gl.FRAMEBUFFER, framebuffer);
      const colour = gl.createRenderbuffer();
      gl.bindRenderbuffer(gl.RENDERBUFFER, colour);
      gl.renderbufferStorage(gl.RENDERBUFFER, gl.RGBA8, canvas.width, canvas.height);
      gl.framebufferRenderbuffer(gl.FRAMEBUFFER, gl.COLOR_ATTACHMENT0, gl.RENDERBUFFER, colour);
      const depth = gl.createRenderbuffer();
      gl.bindRenderbuffer(gl.RENDERBUFFER, depth);
      gl.renderbufferStorage(gl.RENDERBUFFER, gl.DEPTH_COMPONENT24, canvas.width, canvas.height);
      gl.framebufferRenderbuffer(gl.FRAMEBUFFER, gl.DEPTH_ATTACHMENT, gl.RENDERBUFFER, depth);
      pickTarget = { framebuffer, colour, depth, width: canvas.width, height: canvas.height };
    }
    gl.bindFramebuffer(gl.FRAMEBUFFER, pickTarget.framebuffer);
    gl.viewport(0, 0, canvas.width, canvas.height);
    gl.enable(gl.SCISSOR_TEST);
    gl.scissor(px, py, 1, 1);
    gl.clearColor(0, 0, 0, 0);
    gl.clear(gl.COLOR_BUFFER_BIT | gl.DEPTH_BUFFER_BIT);
    gl.enable(gl.DEPTH_TEST);
    gl.enable(gl.CULL_FACE);
    drawFaces(viewProjection(canvas.width / canvas.height), true);
    gl.disable(gl.CULL_FACE);
    const pixel = new Uint8Array(4);
    gl.readPixels(px, py, 1, 1, gl.RGBA, gl.UNSIGNED_BYTE, pixel);
    gl.disable(gl.SCISSOR_TEST);
    gl.bindFramebuffer(gl.FRAMEBUFFER, null);
    redraw();
    return pixel[3] === 0 ? -1 : pixel[0] + (pixel[1] << 8) + (pixel[2] << 16) - 1;
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
      selectedLines = lineSet(drawable(b) ? [b] : [], [1, 0.8, 0, 1]);
      if (move && drawable(b)) lookAt(b);
    }
    showDetails(b);
    root.dataset.selected = String(b);
    redraw();
  }

  function fillPanel() {
    document.title = data.title + ' - bloktar-inspect';
    document.getElementById('title').textContent = data.title;
    let problems = 0;
    const items = document.createDocumentFragment();
    for (let b = 0; b < count; ++b) {
      if (!problem[b]) continue;
      ++problems;
      const item = element('li');
      const button = element('button', words.block + b, 'block');
      button.type = 'button';
      button.addEventListener('click', () => select(b, true));
      item.append(button);
      const first = (data.problems[b] || [])[0];
      if (first) item.append(' ', element('span', strip(lineText(first)), 'problem'));
      items.append(item);
      listItems.set(b, item);
    }
    list.append(items);
    document.getElementById('problems-title').textContent = strip(words.problemBlocks) + ' ' + problems;
    document.getElementById('summary').textContent = data.summary.map(lineText).join('\n');
    return problems;
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
    redraw();
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
    redraw();
  }, { passive: false });
  window.addEventListener('keydown', (e) => {
    if (e.target instanceof HTMLInputElement) return;
    if (e.code === 'KeyF') {
      fit();
    } else if (MOVE_KEYS.has(e.code)) {
      keys.add(e.code);
      e.preventDefault();
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
    redraw();
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
    const m = viewProjection(canvas.width / canvas.height);
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
    setCamera: (c) => { Object.assign(camera, c); redraw(); },
    fit,
    select: (b) => select(b, true),
    pick,
    centre: (b) => blockCentre(b),
    screenPoint: (b) => (drawable(b) ? project(blockCentre(b)) : null),
    // Draws a frame and counts its pixels: the background's, reddish ones, and a hash of all.
    pixels() {
      clearTimeout(sortTimer);
      sortNow(); // the order that follows the eye, as it will be once the eye rests
      draw();
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
    sortNow();
    new ResizeObserver(redraw).observe(canvas);
    let last = performance.now();
    const frame = (now) => {
      const seconds = Math.min((now - last) / 1000, 0.1);
      last = now;
      if (keys.size) walk(seconds, fast);
      if (dirty) {
        dirty = false;
        draw();
      }
      requestAnimationFrame(frame);
    };
    loadImages().then(() => {
      draw();
      // Reading a pixel back waits until the frame has really been drawn.
      gl.readPixels(0, 0, 1, 1, gl.RGBA, gl.UNSIGNED_BYTE, new Uint8Array(4));
      dirty = false;
      requestAnimationFrame((now) => {
        root.dataset.problemBlocks = String(problems);
        root.dataset.ready = String(drawn.length);
        last = now;
        requestAnimationFrame(frame);
      });
    });
  }
})();
