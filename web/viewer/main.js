// kurvo view: the scene tree, the viewport and the attribute panel, kept in
// step with the host: every edit goes to the host, which evaluates and
// answers the geometry that changed.
import { getBinary, getJson, parseFrame, post } from './api.js';
import { Panel } from './panel.js';
import { Viewport } from './viewport.js';

const status = document.getElementById('status');
function say(text, error = false) {
  status.textContent = text;
  status.classList.toggle('error', error);
}

// What the tests and the performance figures read: the last edit's time from
// sending it to the new picture, and how many edits were applied.
window.kurvo = { ready: false, edits: 0, lastEditMs: 0 };

const viewport = new Viewport(document.getElementById('canvas'));
window.kurvo.viewport = viewport;
let selected = 0;

async function sendEdit(params) {
  const started = performance.now();
  const answer = await post('/api/edit', { object: selected, params });
  if (!answer.ok) {
    const error = answer.json ? answer.json.error : 'the host refused the edit';
    say(error, true);
    return error;
  }
  viewport.apply(parseFrame(answer.buffer));
  viewport.renderNow();
  // Reading one pixel waits until the picture is really drawn.
  const gl = viewport.renderer.getContext();
  gl.readPixels(0, 0, 1, 1, gl.RGBA, gl.UNSIGNED_BYTE, new Uint8Array(4));
  window.kurvo.lastEditMs = performance.now() - started;
  window.kurvo.edits += 1;
  say(`evaluated in ${window.kurvo.lastEditMs.toFixed(0)} ms`);
  panel.refresh();
  return '';
}

const panel = new Panel(document.getElementById('panel'), sendEdit);

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
  await panel.show(id);
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
  buildTree(info.objects);
  viewport.apply(parseFrame(await getBinary('/api/geometry')));
  viewport.useHostCamera(info.camera, info.bounds);
  const first = info.objects.find((o) => o.kind === 'deformer' && o.panel) || info.objects.find((o) => o.panel);
  if (first) await select(first.id);
  document.getElementById('frame-all').onclick = () => viewport.frameAll();
  document.getElementById('save').onclick = () => save('');
  document.getElementById('export').onclick = () => {
    const name = document.getElementById('export-name').value.trim();
    if (name) save(name);
    else say('name the file to export, e.g. bent.obj', true);
  };
  window.addEventListener('keydown', (e) => {
    if (e.key === 'f' && !(e.target instanceof HTMLInputElement)) viewport.frameAll();
  });
  viewport.renderNow();
  window.kurvo.ready = true;
}

start().catch((e) => say(e.message, true));
