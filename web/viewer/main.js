// kurvo view: the scene tree, the viewport and the attribute panel, kept in
// step with the host: every edit goes to the host, which evaluates and
// answers the geometry that changed.
import { getBinary, getJson, parseFrame, post } from './api.js';
import { Panel } from './panel.js';
import { Handles } from './path_handles.js';
import { Timeline } from './timeline.js';
import { UndoButtons } from './undo.js';
import { Viewport } from './viewport.js';
import { watchScene } from './watch.js';

const status = document.getElementById('status');
function say(text, error = false) {
  status.textContent = text;
  status.classList.toggle('error', error);
}

// What the tests and the performance figures read: the last edit's time from
// sending it to the new picture, and how many edits were applied.
window.kurvo = { ready: false, edits: 0, lastEditMs: 0, frames: 0, undos: 0, reloads: 0, shapeEdits: 0, shapeEditsSent: 0 };

const viewport = new Viewport(document.getElementById('canvas'));
window.kurvo.viewport = viewport;
let selected = 0;

// Applies the host's answer (a geometry frame) and draws it. The times of
// the page's part are kept in window.kurvo.lastShow (see showTimed).
async function show(buffer, started = performance.now()) {
  window.kurvo.lastShow = viewport.showTimed(parseFrame(buffer));
  window.kurvo.lastEditMs = performance.now() - started;
  say(`evaluated in ${window.kurvo.lastEditMs.toFixed(0)} ms`);
  await Promise.all([panel.refresh(), undo.update()]);
}

async function sendEdit(params) {
  const started = performance.now();
  const answer = await post('/api/edit', { object: selected, params });
  if (!answer.ok) {
    const error = answer.json ? answer.json.error : 'the host refused the edit';
    say(error, true);
    return error;
  }
  window.kurvo.lastHostMs = answer.hostMs;
  await show(answer.buffer, started);
  window.kurvo.edits += 1;
  return '';
}

// Undo, a new frame or a reload may change the selected object's points.
async function showAndRefresh(buffer) {
  await show(buffer);
  await handles.refresh();
}

// A placement or spline edit typed in the panel, as a drag sends it.
async function sendShapeEdit(body) {
  const started = performance.now();
  const answer = await post('/api/shape', { object: selected, ...body });
  if (!answer.ok) {
    const error = answer.json ? answer.json.error : 'the host refused the edit';
    say(error, true);
    return error;
  }
  window.kurvo.lastHostMs = answer.hostMs;
  await show(answer.buffer, started);
  await handles.refresh();
  window.kurvo.edits += 1;
  return '';
}

const panel = new Panel(document.getElementById('panel'), sendEdit, sendShapeEdit);
const handles = new Handles(viewport, { show, say });
const timeline = new Timeline(document.getElementById('timeline'), { show: showAndRefresh, say });
const undo = new UndoButtons(document.getElementById('undo'), document.getElementById('redo'), { show: showAndRefresh, say });
window.kurvo.handles = handles;
window.kurvo.timeline = timeline;
let objects = [];

function buildTree(objects) {
  const tree = document.getElementById('tree');
  const depth = new Map();
  tree.replaceChildren();
  for (const o of objects) {
    const d = o.parent ? (depth.get(o.parent) ?? 0) + 1 : 0;
    depth.set(o.id, d);
    const item = document.createElement('div');
    item.dataset.id = o.id;
    item.style.paddingLeft = `${8 + d * 14}px`;
    item.append(o.name);
    const kind = document.createElement('span');
    kind.className = 'kind';
    kind.textContent = o.kind;
    item.append(kind);
    if (o.generated) {
      // A copy an array made: shown, not edited.
      item.classList.add('generated');
      item.title = 'made by the array: read-only';
    }
    item.onclick = () => select(o.id);
    tree.append(item);
  }
}

async function select(id) {
  selected = id;
  for (const item of document.querySelectorAll('#tree div')) item.classList.toggle('selected', Number(item.dataset.id) === id);
  const entry = objects.find((o) => o.id === id);
  await Promise.all([panel.show(id, !entry || entry.panel), handles.select(id)]);
}

// The scene again after its file changed: the same camera, the same object
// selected (found by name), the whole geometry.
async function reload() {
  const name = (objects.find((o) => o.id === selected) || {}).name;
  const { width, height } = viewport.size();
  const info = await getJson(`/api/scene?w=${width}&h=${height}`);
  objects = info.objects;
  buildTree(objects);
  viewport.apply(parseFrame(await getBinary('/api/geometry')));
  viewport.renderNow();
  await timeline.load();
  await undo.update();
  const again = objects.find((o) => o.name === name);
  if (again) await select(again.id);
}

// A save that fails says why in the status line, however it failed.
async function save(file) {
  try {
    const answer = await post('/api/save', file ? { file } : {});
    if (answer.ok && answer.json) say(`saved ${answer.json.saved}`);
    else say(`not saved: ${answer.json ? answer.json.error : 'the host gave no reason'}`, true);
  } catch (e) {
    say(`not saved: ${e.message}`, true);
  }
}

async function start() {
  const { width, height } = viewport.size();
  const info = await getJson(`/api/scene?w=${width}&h=${height}`);
  document.getElementById('file').textContent = info.file;
  document.title = `${info.file} - kurvo view`;
  objects = info.objects;
  buildTree(info.objects);
  viewport.apply(parseFrame(await getBinary('/api/geometry')));
  viewport.useHostCamera(info.camera, info.bounds);
  const [lo, hi] = [info.bounds.min, info.bounds.max];
  handles.setSceneSize(Math.hypot(hi[0] - lo[0], hi[1] - lo[1], hi[2] - lo[2]) / 2);
  await timeline.load();
  await undo.update();
  const first = info.objects.find((o) => o.kind === 'deformer' && o.panel) || info.objects.find((o) => o.panel) || info.objects[0];
  if (first) await select(first.id);
  document.getElementById('frame-all').onclick = () => viewport.frameAll();
  document.getElementById('save').onclick = () => save('');
  document.getElementById('export').onclick = () => {
    const name = document.getElementById('export-name').value.trim();
    if (name) save(name);
    else say('name the file to export, e.g. bent.obj', true);
  };
  for (const button of document.querySelectorAll('#tools button')) {
    button.onclick = () => {
      for (const b of document.querySelectorAll('#tools button')) b.classList.toggle('active', b === button);
      handles.setMode(button.dataset.mode);
    };
  }
  const modeKeys = { w: 'move', e: 'rotate', r: 'scale', p: 'points' };
  window.addEventListener('keydown', (e) => {
    if (e.target instanceof HTMLInputElement || e.ctrlKey || e.metaKey) return;
    if (e.key === 'f') viewport.frameAll();
    if (e.key === ' ' && timeline.time && timeline.time.present) {
      e.preventDefault();
      timeline.toggle();
    }
    if (modeKeys[e.key]) document.querySelector(`#tools button[data-mode=${modeKeys[e.key]}]`).click();
  });
  watchScene({ reload, say });
  viewport.renderNow();
  window.kurvo.ready = true;
}

start().catch((e) => say(e.message, true));
