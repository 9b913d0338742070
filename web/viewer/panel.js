// The attribute panel of the selected object, built from the rows the host
// lays out: groups, labels, units, options, check boxes, vectors, links,
// curves as knot lists, greyed rows, and the module's own elements drawn by
// the host (pointer, clock and clicks go to the host, which answers pixels).
import { getBinary, getJson, post } from './api.js';
import { ObjectPanel } from './object_panel.js';

const DEG = 180 / Math.PI;

// Shown and typed values of a real in its unit; the host keeps radians and fractions.
function toShown(value, unit) {
  if (unit === 'percent') return value * 100;
  if (unit === 'degree') return value * DEG;
  return value;
}
function fromShown(value, unit) {
  if (unit === 'percent') return value / 100;
  if (unit === 'degree') return value / DEG;
  return value;
}
// Lengths are scene units, which the docs define as centimetres.
const unitText = { percent: '%', degree: '°', meter: 'cm' };

function el(tag, props = {}, children = []) {
  const e = document.createElement(tag);
  Object.assign(e, props);
  for (const c of children) e.append(c);
  return e;
}

function roundShown(v) {
  return Math.round(v * 1000) / 1000;
}

export class Panel {
  // `edit(params)` sends an edit and answers the host's error text or '';
  // `shapeEdit(body)` does the same for a placement or a spline's shape.
  constructor(root, edit, shapeEdit) {
    this.root = root;
    this.edit = edit;
    this.object = new ObjectPanel(shapeEdit);
    this.rows = new Map();  // key -> {row, set(value), errorBox}
    this.elements = [];
  }

  // Every object gets its name, placement and (splines) shape; one with an
  // attribute description (plug-ins) its rows below them.
  async show(objectId, described = true) {
    // A later selection wins over one whose answers are still on their way.
    const ticket = (this.showing = (this.showing || 0) + 1);
    this.stopElements();
    this.rows.clear();
    this.root.replaceChildren();
    const section = await this.object.build(objectId);
    let panel = null, error = '';
    if (described) {
      try {
        panel = await getJson(`/api/panel?object=${objectId}`);
      } catch (e) {
        error = e.message;
      }
    }
    if (ticket !== this.showing) return;
    if (section) this.root.append(section);
    else if (error) this.root.append(el('p', { textContent: error }));
    if (panel) this.build(panel);
  }

  // Values and enabling as they stand after an edit; the field being edited
  // keeps its text, unless it is `restore`, whose value was refused.
  async refresh(restore = null) {
    await this.object.refresh();
    if (!this.rows.size && !this.elements.length) return;
    const panel = await getJson('/api/panel');
    for (const r of panel.rows || []) {
      const entry = r.key !== undefined && this.rows.get(r.key);
      if (!entry) continue;
      entry.row.classList.toggle('disabled', !r.enabled);
      for (const input of entry.row.querySelectorAll('input, select, button')) input.disabled = !r.enabled || r.readonly;
      if ((r.key === restore || !entry.row.contains(document.activeElement)) && r.value !== undefined) entry.set(r.value);
    }
    for (const element of this.elements) element.draw();
  }

  build(panel) {
    this.rows.clear();
    this.objects = panel.objects;
    for (const r of panel.rows) {
      const indent = `${r.depth * 12}px`;
      if (r.kind === 'title') this.root.append(el('h2', { textContent: r.label }));
      else if (r.kind === 'group') {
        const h = el('h3', { textContent: r.label });
        h.style.marginLeft = indent;
        this.root.append(h);
      } else if (r.kind === 'separator') this.root.append(el('hr'));
      else if (r.kind === 'element') this.root.append(this.buildElement(r, panel.width));
      else this.root.append(this.buildParameter(r, indent));
    }
  }

  buildParameter(r, indent) {
    const row = el('div', { className: 'row' });
    row.dataset.key = r.key;
    row.style.marginLeft = indent;
    const value = el('div', { className: 'value' });
    const errorBox = el('div', { className: 'error' });
    const label = el('label', { className: 'name', textContent: r.label });
    if (r.animated) {
      // A track drives this value: an edit sets (or adds) its key at the current frame.
      row.classList.add('animated');
      label.prepend(el('span', { className: 'key', textContent: '◆ ' }));
      label.title = 'Animated: an edit sets the key at the current frame';
    }
    row.append(label, value);
    const send = async (v) => {
      const error = await this.edit({ [r.key]: v });
      // The host kept the value it had: the field shows it again, then the reason.
      if (error) await this.refresh(r.key);
      errorBox.textContent = error;
      if (error) value.append(errorBox);
      else errorBox.remove();
    };
    const set = r.readonly ? this.buildReadout(r, value) : this.buildControl(r, value, send);
    if (!r.enabled) {
      row.classList.add('disabled');
      for (const input of value.querySelectorAll('input, select, button')) input.disabled = true;
    }
    if (r.value !== undefined) set(r.value);
    this.rows.set(r.key, { row, set });
    return row;
  }

  // A result the plug-in writes back (the path length): shown, never typed into.
  buildReadout(r, box) {
    const shown = el('output', { className: 'readout' });
    shown.dataset.key = r.key;
    box.append(shown);
    if (unitText[r.unit]) box.append(el('span', { className: 'unit', textContent: unitText[r.unit] }));
    return (v) => {
      shown.textContent = typeof v === 'number' ? String(roundShown(toShown(v, r.unit))) : JSON.stringify(v);
    };
  }

  // Builds the inputs of one value; answers a function that shows a value.
  buildControl(r, box, send) {
    if (r.type === 'bool') {
      const input = el('input', { type: 'checkbox' });
      input.onchange = () => send(input.checked);
      box.append(input);
      return (v) => { input.checked = !!v; };
    }
    if (r.type === 'long' && r.options) {
      const select = el('select', {}, r.options.map((o) => el('option', { value: o.value, textContent: o.label })));
      select.onchange = () => send(Number(select.value));
      box.append(select);
      return (v) => { select.value = String(v); };
    }
    if (r.type === 'long' || r.type === 'real') return this.buildNumber(r, box, send);
    if (r.type === 'vector') {
      const inputs = [0, 1, 2].map(() => el('input', { type: 'number', step: 'any' }));
      const read = () => inputs.map((i) => fromShown(Number(i.value), r.unit));
      for (const i of inputs) i.onchange = () => send(read());
      box.append(...inputs);
      if (unitText[r.unit]) box.append(el('span', { className: 'unit', textContent: unitText[r.unit] }));
      return (v) => inputs.forEach((i, k) => { i.value = roundShown(toShown(v[k], r.unit)); });
    }
    if (r.type === 'link') {
      const names = ['', ...this.objects];
      const select = el('select', {}, names.map((n) => el('option', { value: n, textContent: n || '(none)' })));
      select.onchange = () => send(select.value === '' ? null : select.value);
      box.append(select);
      return (v) => { select.value = v ?? ''; };
    }
    if (r.type === 'curve') return this.buildCurve(box, send);
    if (r.type === 'string' || r.type === 'filename') {
      const input = el('input', { type: 'text' });
      input.onchange = () => send(input.value);
      box.append(input);
      return (v) => { input.value = v; };
    }
    // Matrices and gradients are shown, not edited here.
    const text = el('code');
    box.append(text);
    return (v) => { text.textContent = JSON.stringify(v); };
  }

  // A number field, with a slider when the description gives both limits.
  // While a slider is dragged only the newest value waits for the host.
  buildNumber(r, box, send) {
    const integer = r.type === 'long';
    // Percentages and angles without limits get a slider over one turn or
    // the whole length; the field beside it takes any value.
    const soft = { percent: [0, 100], degree: [-180, 180] }[r.unit];
    const shownMin = r.min !== undefined ? toShown(r.min, r.unit) : soft && r.max === undefined ? soft[0] : undefined;
    const shownMax = r.max !== undefined ? toShown(r.max, r.unit) : soft && r.min === undefined ? soft[1] : undefined;
    const step = r.step !== undefined ? toShown(r.step, r.unit) : integer ? 1 : 'any';
    const number = el('input', { type: 'number', step });
    number.dataset.key = r.key;
    box.append(number);
    if (unitText[r.unit]) box.append(el('span', { className: 'unit', textContent: unitText[r.unit] }));
    let slider = null;
    if (shownMin !== undefined && shownMax !== undefined) {
      slider = el('input', { type: 'range', min: shownMin, max: shownMax, step: r.step !== undefined ? step : (shownMax - shownMin) / 1000 });
      slider.dataset.key = r.key;
      box.prepend(slider);
    }
    const toHost = (shown) => (integer ? Math.round(shown) : fromShown(shown, r.unit));
    let busy = false, waiting = null;
    const sendLatest = async (v) => {
      if (busy) { waiting = v; return; }
      busy = true;
      await send(v);
      busy = false;
      if (waiting !== null) { const next = waiting; waiting = null; sendLatest(next); }
    };
    number.onchange = () => {
      if (number.value.trim() === '') return;
      if (slider) slider.value = number.value;
      sendLatest(toHost(Number(number.value)));
    };
    if (slider) slider.oninput = () => { number.value = roundShown(Number(slider.value)); sendLatest(toHost(Number(slider.value))); };
    return (v) => {
      const shown = integer ? v : roundShown(toShown(v, r.unit));
      number.value = shown;
      if (slider) slider.value = shown;
    };
  }

  // A curve as its knot list: x and y per knot, knots added and removed.
  buildCurve(box, send) {
    const list = el('div', { className: 'knots' });
    const interpolation = el('select', {}, ['linear', 'smooth'].map((m) => el('option', { value: m, textContent: m })));
    box.append(list, interpolation);
    let curve = { knots: [] };
    const sendCurve = () => send({ ...curve, interpolation: interpolation.value });
    interpolation.onchange = () => { curve.interpolation = interpolation.value; sendCurve(); };
    const draw = () => {
      list.replaceChildren();
      curve.knots.forEach((k, i) => {
        const x = el('input', { type: 'number', step: 'any', value: k[0] });
        const y = el('input', { type: 'number', step: 'any', value: k[1] });
        const remove = el('button', { textContent: '−', title: 'Remove this knot' });
        x.onchange = () => { k[0] = Number(x.value); sendCurve(); };
        y.onchange = () => { k[1] = Number(y.value); sendCurve(); };
        remove.onclick = () => { curve.knots.splice(i, 1); draw(); sendCurve(); };
        list.append(el('div', {}, [x, y, remove]));
      });
      const add = el('button', { textContent: '+ knot', title: 'Add a knot after the last' });
      add.onclick = () => {
        const last = curve.knots[curve.knots.length - 1] || [0, 0];
        curve.knots.push([Math.min(1, last[0] + 0.1), last[1]]);
        draw();
        sendCurve();
      };
      list.append(add);
    };
    return (v) => {
      curve = JSON.parse(JSON.stringify(v));
      interpolation.value = v.interpolation || 'linear';
      draw();
    };
  }

  // The module's element: the host draws it; the page passes on the pointer,
  // runs the clock while the element may be changing, and opens what a click asks.
  buildElement(r, width) {
    const canvas = el('canvas', { className: 'element', width, height: Math.max(1, r.height) });
    canvas.dataset.element = r.element;
    const context = canvas.getContext('2d');
    const element = {
      draw: async () => {
        const buffer = await getBinary(`/api/panel/element?index=${r.element}`);
        const [w, h] = new Uint32Array(buffer, 0, 2);
        if (!w || !h) return;
        if (canvas.width !== w || canvas.height !== h) Object.assign(canvas, { width: w, height: h });
        context.putImageData(new ImageData(new Uint8ClampedArray(buffer, 8, w * h * 4), w, h), 0, 0);
      },
      timer: null,
    };
    const at = (e) => ({ x: Math.round(e.offsetX), y: Math.round(r.y + e.offsetY) });
    let last = 0, until = 0;
    const runClock = (ms) => {
      until = performance.now() + ms;
      if (element.timer) return;
      last = performance.now();
      element.timer = setInterval(async () => {
        const now = performance.now();
        const elapsed = Math.round(now - last);
        last = now;
        await post('/api/panel/tick', { ms: elapsed });
        await element.draw();
        if (now > until) { clearInterval(element.timer); element.timer = null; }
      }, 100);
    };
    canvas.onmousemove = async (e) => {
      await post('/api/panel/pointer', at(e));
      await element.draw();
      runClock(1000);
    };
    canvas.onmouseleave = async () => {
      await post('/api/panel/pointer', { x: -1, y: -1 });
      runClock(2000);
    };
    canvas.onclick = async (e) => {
      const answer = await post('/api/panel/click', at(e));
      // Open first: the new tab must not wait for the bar's redraw.
      if (answer.json && answer.json.open) {
        window.kurvoOpened = answer.json.open;
        window.open(answer.json.open, '_blank', 'noopener');
      }
      await element.draw();
    };
    this.elements.push(element);
    element.draw();
    return canvas;
  }

  stopElements() {
    for (const e of this.elements) if (e.timer) clearInterval(e.timer);
    this.elements = [];
  }
}
