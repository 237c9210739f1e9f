// The page of `crumple view`: draws the channel's render buffers, sends hits
// aimed by clicks, and edits the settings of the session the tool holds.
import * as THREE from 'three';
import { OrbitControls } from 'three/addons/controls/OrbitControls.js';

const token = new URLSearchParams(location.search).get('token') ?? '';
const $ = (id) => document.getElementById(id);

// ---------------------------------------------------------------- requests

async function request(method, path, body) {
  const init = { method, headers: { 'X-Crumple-Token': token } };
  if (body !== undefined) {
    init.headers['Content-Type'] = 'application/json';
    init.body = JSON.stringify(body);
  }
  const response = await fetch(path, init);
  if (!response.ok) {
    let reason = `${method} ${path}: HTTP ${response.status}`;
    try {
      const answer = await response.json();
      if (typeof answer?.error === 'string') reason = answer.error;
    } catch { /* the status alone says it */ }
    throw new Error(reason);
  }
  return response;
}
const getJSON = async (path) => (await request('GET', path)).json();
const postJSON = async (path, body) => (await request('POST', path, body)).json();

// One request at a time, in order, so every answer applies to the state the
// one before it left. data-state is "busy" while any work is queued or held.
let pending = 0;
let chain = Promise.resolve();
let drawn = false;

function hold() {
  pending++;
  document.body.dataset.state = 'busy';
  let released = false;
  return () => {
    if (released) return;
    released = true;
    if (--pending === 0) document.body.dataset.state = drawn ? 'ready' : 'error';
  };
}

function run(task) {
  const release = hold();
  chain = chain.then(task).then(
    () => { release(); },
    (error) => {
      setStatus(error.message, true);
      if (lastState) syncSettings(lastState, true);
      release();
    });
  return chain;
}

function setStatus(text, isError = false) {
  const status = $('status');
  status.textContent = text;
  status.classList.toggle('error', isError);
}

// ---------------------------------------------------------------- 3D view

const canvas = $('canvas');
const renderer = new THREE.WebGLRenderer({ canvas, antialias: true, preserveDrawingBuffer: true });
// Colours go out as computed, as the tool's offline pictures show them.
renderer.outputColorSpace = THREE.LinearSRGBColorSpace;
renderer.setPixelRatio(window.devicePixelRatio);
renderer.setClearColor(new THREE.Color().setRGB(0x10 / 255, 0x14 / 255, 0x18 / 255, THREE.LinearSRGBColorSpace));

const scene = new THREE.Scene();
const camera = new THREE.PerspectiveCamera(35, 1, 0.01, 1000);
scene.add(camera);
scene.add(new THREE.HemisphereLight(0xe4ecf5, 0x2a2f36, 1.1));
// Key light rides with the camera so every side shows its dents.
const key = new THREE.DirectionalLight(0xffffff, 2.2);
key.position.set(-0.35, 0.8, 0.5);
key.target.position.set(0, 0, -1);
camera.add(key, key.target);

const material = new THREE.MeshPhongMaterial({
  vertexColors: true, side: THREE.DoubleSide, shininess: 24, specular: 0x303030,
});
const mesh = new THREE.Mesh(new THREE.BufferGeometry(), material);
scene.add(mesh);

const controls = new OrbitControls(camera, canvas);
controls.addEventListener('change', requestRender);

let frameQueued = false;
function requestRender() {
  if (frameQueued) return;
  frameQueued = true;
  requestAnimationFrame(() => {
    frameQueued = false;
    renderer.render(scene, camera);
  });
}

function fit() {
  const { clientWidth: w, clientHeight: h } = $('viewport');
  if (w === 0 || h === 0) return;
  renderer.setSize(w, h, false);
  camera.aspect = w / h;
  camera.updateProjectionMatrix();
  renderer.render(scene, camera);
}
fit();
new ResizeObserver(fit).observe($('viewport'));

// Looks at the bounds from the scene's view direction.
function frame(view) {
  const sphere = mesh.geometry.boundingSphere;
  if (!sphere || !(sphere.radius > 0)) return;
  const half = THREE.MathUtils.degToRad(camera.fov) / 2;
  const halfWide = Math.atan(Math.tan(half) * camera.aspect);
  const distance = 1.15 * sphere.radius / Math.sin(Math.min(half, halfWide));
  const direction = new THREE.Vector3(...view).normalize();
  camera.position.copy(sphere.center).addScaledVector(direction, distance);
  camera.near = distance / 100;
  camera.far = distance * 100;
  camera.updateProjectionMatrix();
  controls.target.copy(sphere.center);
  controls.update();
}

// ------------------------------------------------------------ render buffers

// "CRVM", V, I, positions[3V], normals[3V], colour bytes (B, G, R, A)[4V], indices[I].
function parseBuffers(data) {
  const bytes = new Uint8Array(data);
  const view = new DataView(data);
  if (data.byteLength < 12 || String.fromCharCode(...bytes.subarray(0, 4)) !== 'CRVM') {
    throw new Error('buffers: not a CRVM block');
  }
  const V = view.getUint32(4, true);
  const I = view.getUint32(8, true);
  const expected = 12 + 28 * V + 4 * I;
  if (data.byteLength !== expected) {
    throw new Error(`buffers: ${data.byteLength} bytes for ${V} vertices and ${I} indices, expected ${expected}`);
  }
  if (I % 3 !== 0) throw new Error(`buffers: ${I} indices is not whole triangles`);
  const indices = new Uint32Array(data, 12 + 28 * V, I);
  for (let i = 0; i < I; i++) {
    if (indices[i] >= V) throw new Error(`buffers: index ${i} names vertex ${indices[i]} of ${V}`);
  }
  // The index buffer runs to its capacity, padded with degenerate triangles.
  let triangles = 0;
  for (let i = 0; i < I; i += 3) {
    const a = indices[i], b = indices[i + 1], c = indices[i + 2];
    if (a !== b && b !== c && a !== c) triangles++;
  }
  return {
    V, I, indices, triangles,
    positions: new Float32Array(data, 12, 3 * V),
    normals: new Float32Array(data, 12 + 12 * V, 3 * V),
    colours: bytes.subarray(12 + 24 * V, 12 + 28 * V),
  };
}

// Damage as the offline renderer shows it: blue byte = dent (orange), red byte
// = reinforced plating (darker), lowered alpha = mark (violet); tinted below y 0.
function shade(colours, positions, out) {
  for (let v = 0, n = out.length / 3; v < n; v++) {
    const dent = colours[4 * v] / 255;
    const red = colours[4 * v + 2] / 255;
    const mark = 1 - colours[4 * v + 3] / 255;
    let r = 0.70 - 0.22 * red, g = 0.74 - 0.24 * red, b = 0.80 - 0.25 * red;
    if (positions[3 * v + 1] < 0) { r *= 0.80; g *= 0.86; b *= 0.95; }
    if (dent > 0) {
      const t = 0.35 + 0.65 * Math.sqrt(dent);
      r += (1.00 - r) * t; g += (0.45 - g) * t; b += (0.05 - b) * t;
    }
    r += (0.50 - r) * mark; g += (0.08 - g) * mark; b += (0.70 - b) * mark;
    out[3 * v] = r; out[3 * v + 1] = g; out[3 * v + 2] = b;
  }
}

// A zero record normal (a vertex the plug-in inserted, say) takes the
// normal of its faces; the others stay as the engine would light them.
function fillZeroNormals(geometry) {
  const normals = geometry.attributes.normal.array;
  const zero = [];
  for (let v = 0; v < normals.length; v += 3) {
    if (normals[v] === 0 && normals[v + 1] === 0 && normals[v + 2] === 0) zero.push(v);
  }
  if (zero.length === 0) return;
  const faces = new THREE.BufferGeometry();
  faces.setAttribute('position', geometry.attributes.position);
  faces.setIndex(geometry.index);
  faces.computeVertexNormals();
  const computed = faces.attributes.normal.array;
  for (const v of zero) normals.set(computed.subarray(v, v + 3), v);
}

function draw(buffers) {
  const { V, I } = buffers;
  let geometry = mesh.geometry;
  // Same sizes: the GPU buffers are refilled in place; new sizes need new ones.
  if (geometry.attributes.position?.count !== V || geometry.index?.count !== I) {
    const next = new THREE.BufferGeometry();
    next.setAttribute('position', new THREE.BufferAttribute(new Float32Array(3 * V), 3));
    next.setAttribute('normal', new THREE.BufferAttribute(new Float32Array(3 * V), 3));
    next.setAttribute('color', new THREE.BufferAttribute(new Float32Array(3 * V), 3));
    next.setIndex(new THREE.BufferAttribute(new Uint32Array(I), 1));
    mesh.geometry = next;
    geometry.dispose();
    geometry = next;
  }
  const { position, normal, color } = geometry.attributes;
  position.array.set(buffers.positions);
  normal.array.set(buffers.normals);
  geometry.index.array.set(buffers.indices);
  fillZeroNormals(geometry);
  shade(buffers.colours, buffers.positions, color.array);
  for (const attribute of [position, normal, color, geometry.index]) attribute.needsUpdate = true;
  geometry.computeBoundingBox();
  geometry.computeBoundingSphere();
  renderer.render(scene, camera);
}

let shown = 'after';

async function loadMesh(which) {
  const data = await (await request('GET', `/api/buffers?mesh=${which}`)).arrayBuffer();
  const buffers = parseBuffers(data);
  draw(buffers);
  $('mesh-counts').textContent = `${buffers.V} vertices · ${buffers.triangles} triangles`;
  shown = which;
  $('shown').textContent = which;
  $('shown').classList.toggle('before', which === 'before');
  $('toggle').setAttribute('aria-pressed', String(which === 'before'));
}

// ------------------------------------------------------------------- state

let lastState = null;
const settingInputs = new Map();   // name -> {setting, value input, range input?}
const sliderTimers = new Map();    // name -> {timer, release}

function applyState(state) {
  lastState = state;
  $('mesh-name').textContent = state.mesh;
  const names = state.settings.map((s) => s.name).join('\n');
  if (names !== [...settingInputs.keys()].join('\n')) buildSettings(state.settings);
  syncSettings(state, false);
  drawRows(state.rows);
}

function buildSettings(settings) {
  const box = $('settings');
  box.replaceChildren();
  settingInputs.clear();
  for (const setting of settings) {
    const row = document.createElement('div');
    row.className = `setting ${setting.kind}`;
    const name = document.createElement('label');
    name.className = 'name';
    name.textContent = setting.name;
    row.append(name);
    const value = document.createElement('input');
    value.dataset.setting = setting.name;
    const id = `setting-${settingInputs.size}`;
    value.id = id;
    name.htmlFor = id;
    const entry = { setting, value, range: null };
    if (setting.kind === 'switch') {
      value.type = 'checkbox';
      value.addEventListener('change', () => sendSetting(setting.name, value.checked ? 1 : 0));
      row.append(value);
    } else {
      value.type = 'number';
      const step = setting.step ?? (setting.kind === 'integer' ? 1 : 'any');
      value.step = String(step);
      if (Number.isFinite(setting.min)) value.min = String(setting.min);
      if (Number.isFinite(setting.max)) value.max = String(setting.max);
      const controls = document.createElement('div');
      controls.className = 'controls';
      if (Number.isFinite(setting.min) && Number.isFinite(setting.max)) {
        const range = document.createElement('input');
        range.type = 'range';
        range.min = value.min;
        range.max = value.max;
        range.step = String(step);
        range.tabIndex = -1;
        range.addEventListener('input', () => {
          value.value = range.value;
          debounceSetting(setting.name, () => Number(range.value));
        });
        entry.range = range;
        controls.append(range);
      } else {
        controls.append(document.createElement('span'));
      }
      value.addEventListener('change', () => {
        const number = Number(value.value);
        if (value.value.trim() === '' || !Number.isFinite(number)) {
          setStatus(`${setting.name}: "${value.value}" is not a number`, true);
          syncSettings(lastState, true);
          return;
        }
        if (entry.range) entry.range.value = String(number);
        sendSetting(setting.name, number);
      });
      controls.append(value);
      row.append(controls);
    }
    settingInputs.set(setting.name, entry);
    box.append(row);
  }
}

// Shows the server's values; a control the user is still working on keeps
// what it shows unless `force`.
function syncSettings(state, force) {
  for (const setting of state.settings) {
    const entry = settingInputs.get(setting.name);
    if (!entry) continue;
    if (!force && (sliderTimers.has(setting.name) || document.activeElement === entry.value)) continue;
    if (setting.kind === 'switch') {
      entry.value.checked = setting.value !== 0;
    } else {
      entry.value.value = String(setting.value);
      if (entry.range) entry.range.value = String(setting.value);
    }
  }
}

function debounceSetting(name, read) {
  const waiting = sliderTimers.get(name);
  if (waiting) clearTimeout(waiting.timer);
  const release = waiting?.release ?? hold();
  const timer = setTimeout(() => {
    sliderTimers.delete(name);
    sendSetting(name, read());
    release();
  }, 150);
  sliderTimers.set(name, { timer, release });
}

function sendSetting(name, value) {
  return run(async () => {
    applyState(await postJSON('/api/settings', { settings: { [name]: value } }));
    setStatus(`${name} = ${value} for the next hits`);
  });
}

// --------------------------------------------------------------- the table

// Four decimals, as `crumple run` prints them; "-" where a step made no impact.
const fixed = (x) => (typeof x === 'number' ? x.toFixed(4) : '-');
const ifImpact = (row, x) => (row.impact ? fixed(x) : '-');

function cell(tr, text, className) {
  const td = document.createElement('td');
  td.textContent = text;
  if (className) td.className = className;
  tr.append(td);
}

function message(row) {
  const parts = [...(row.messages ?? [])];
  if (row.reset && !parts.includes('ClearDamage')) parts.unshift('ClearDamage');
  return parts.join('; ');
}

function drawRows(rows) {
  const body = document.createDocumentFragment();
  for (const row of rows) {
    const tr = document.createElement('tr');
    tr.dataset.step = String(row.step);
    if (row.reset) tr.className = 'reset';
    if (row.line) tr.title = row.line;
    cell(tr, String(row.step));
    cell(tr, row.name ?? '', 'text name');
    cell(tr, ifImpact(row, row.energy));
    cell(tr, ifImpact(row, row.radius));
    cell(tr, `${row.verticesUsed}/${row.vertexCapacity}`);
    cell(tr, `${row.indicesUsed}/${row.indexCapacity}`);
    cell(tr, fixed(row.cumulativeImpact));
    cell(tr, fixed(row.holesUnderWater));
    cell(tr, ifImpact(row, row.maxMove));
    cell(tr, fixed(row.deepestDent));
    cell(tr, message(row), 'text message');
    body.append(tr);
  }
  $('rows').replaceChildren(body);
  const wrap = $('table-wrap');
  wrap.scrollTop = wrap.scrollHeight;
}

// ------------------------------------------------------------------ inputs

const nextInputs = ['mass1', 'mass2', 'speed'];

function readNext() {
  const next = {};
  for (const id of nextInputs) {
    const input = $(id);
    const number = Number(input.value);
    if (input.value.trim() === '' || !Number.isFinite(number)) {
      throw new Error(`${input.closest('label').textContent.trim()}: "${input.value}" is not a number`);
    }
    next[id] = number;
  }
  return next;
}

for (const id of nextInputs) {
  $(id).addEventListener('change', () => {
    const number = Number($(id).value);
    if ($(id).value.trim() === '' || !Number.isFinite(number)) return;
    run(async () => applyState(await postJSON('/api/next', { [id]: number })));
  });
}

// A click aims a hit; a drag (4 px or more) only moves the camera.
const raycaster = new THREE.Raycaster();
let down = null;
canvas.addEventListener('pointerdown', (event) => {
  down = event.button === 0 ? { x: event.clientX, y: event.clientY } : null;
});
canvas.addEventListener('pointerup', (event) => {
  if (!down || event.button !== 0) return;
  const moved = Math.hypot(event.clientX - down.x, event.clientY - down.y);
  down = null;
  if (moved >= 4 || !drawn) return;
  const rect = canvas.getBoundingClientRect();
  const pointer = new THREE.Vector2(
    ((event.clientX - rect.left) / rect.width) * 2 - 1,
    -((event.clientY - rect.top) / rect.height) * 2 + 1);
  raycaster.setFromCamera(pointer, camera);
  const [first] = raycaster.intersectObject(mesh, false);
  if (!first) return;
  const aim = { from: camera.position.toArray(), towards: first.point.toArray() };
  run(async () => {
    const { row, state } = await postJSON('/api/hit', { aim, ...readNext() });
    applyState(state);
    await loadMesh('after');
    setStatus(`${row.name}: energy ${ifImpact(row, row.energy)}, radius ${ifImpact(row, row.radius)}` +
      (row.messages?.length ? ` · ${row.messages.join('; ')}` : ''));
  });
});

function afterStep(path, done) {
  return () => run(async () => {
    applyState(await postJSON(path, {}));
    await loadMesh('after');
    setStatus(done);
  });
}
$('undo').addEventListener('click', afterStep('/api/undo', 'last step undone'));
$('reset').addEventListener('click', afterStep('/api/reset', 'ClearDamage: the undamaged mesh is back'));
$('toggle').addEventListener('click', () => run(async () => {
  await loadMesh(shown === 'after' ? 'before' : 'after');
  setStatus(`showing the mesh ${shown === 'before' ? 'before any step' : 'after the last step'}`);
}));

const query = `token=${encodeURIComponent(token)}`;
$('save').href = `/api/scene?download=1&${query}`;
$('glb').href = `/api/mesh.glb?${query}`;

// ------------------------------------------------------------------- start

run(async () => {
  const state = await getJSON('/api/state');
  applyState(state);
  for (const id of nextInputs) $(id).value = String(state.next[id]);
  await loadMesh('after');
  frame(state.view);
  renderer.render(scene, camera);
  drawn = true;
  setStatus(`${state.rows.length} steps loaded`);
});
