// The part of the panel every object has, whatever made it: its name and
// kind, its placement (position, rotation, scale) and, for a spline, its
// interpolation, closed flag and points as numbers. Every change is an edit
// the host evaluates, undoes and saves like a drag in the viewport.
import { getJson } from './api.js';

// A spline with more points than this lists the first ones; the rest are
// dragged in the viewport (thousands of fields would stall the page).
const MAX_POINT_ROWS = 256;

function el(tag, props = {}, children = []) {
  const e = document.createElement(tag);
  Object.assign(e, props);
  for (const c of children) e.append(c);
  return e;
}

const shown = (v) => String(Math.round(v * 1000) / 1000);

export class ObjectPanel {
  // `edit(body)` sends a shape edit ({points} | {closed} | {position} ...)
  // and answers the host's error text or ''.
  constructor(edit) {
    this.edit = edit;
    this.fields = [];  // {row, set(shape)} per shown value
  }

  // Builds the section of object `id`; answers null when the host knows no
  // such object.
  async build(id) {
    this.id = id;
    this.fields = [];
    let shape;
    try {
      shape = await getJson(`/api/shape?object=${id}`);
    } catch (e) {
      return null;
    }
    this.shape = shape;
    const section = el('section', { className: 'object' });
    const title = el('h2', { textContent: shape.name });
    title.append(el('span', { className: 'kind', textContent: ` ${shape.kind}` }));
    section.append(title);
    section.append(el('h3', { textContent: 'Placement' }));
    const parts = [['position', 'Position', 'cm'], ['rotation', 'Rotation', '°'], ['scale', 'Scale', '']];
    const animated = shape.animated || {};
    for (const [key, label, unit] of parts)
      section.append(this.vectorRow(`placement.${key}`, label, unit, (s) => s.placement[key], (v) => ({ [key]: v }),
        animated[key]));
    if (shape.spline) {
      section.append(el('h3', { textContent: 'Spline' }));
      section.append(this.interpolationRow(), this.closedRow());
      const count = shape.spline.points.length;
      for (let i = 0; i < Math.min(count, MAX_POINT_ROWS); ++i)
        section.append(this.vectorRow(`point.${i}`, `Point ${i}`, 'cm', (s) => s.spline.points[i], (v) => {
          const points = this.shape.spline.points.map((p) => [...p]);
          points[i] = v;
          return { points };
        }, animated.points));
      if (count > MAX_POINT_ROWS)
        section.append(el('p', { className: 'note', textContent: `${count - MAX_POINT_ROWS} more points: drag them in the viewport` }));
    } else if (/ spline$/.test(shape.kind)) {
      section.append(el('p', { className: 'note', textContent: 'A spline primitive: its shape comes from its values.' }));
    }
    for (const f of this.fields) f.set(shape);
    if (!shape.editable) for (const input of section.querySelectorAll('input, select')) input.disabled = true;
    return section;
  }

  // The values as the host has them now; the field being typed in keeps its text.
  async refresh(restore = null) {
    if (!this.id) return;
    let shape;
    try {
      shape = await getJson(`/api/shape?object=${this.id}`);
    } catch (e) {
      return;
    }
    this.shape = shape;
    for (const f of this.fields)
      if (f.key === restore || !f.row.contains(document.activeElement)) f.set(shape);
  }

  row(key, label, control, animated = false) {
    const row = el('div', { className: 'row' });
    row.dataset.key = key;
    const value = el('div', { className: 'value' }, control);
    const name = el('label', { className: 'name', textContent: label });
    if (animated) {
      // A track drives this value: an edit sets (or adds) its key at the current frame.
      row.classList.add('animated');
      name.prepend(el('span', { className: 'key', textContent: '◆ ' }));
      name.title = 'Animated: an edit sets the key at the current frame';
    }
    row.append(name, value);
    return { row, value };
  }

  // Sends an edit; a refused one shows its reason beside the field and the host's value again.
  async send(key, body, row, value) {
    const error = await this.edit(body);
    let box = row.querySelector('.error');
    if (error) {
      if (!box) value.append((box = el('div', { className: 'error' })));
      box.textContent = error;
      await this.refresh(key);
    } else if (box) box.remove();
  }

  vectorRow(key, label, unit, get, body, animated = false) {
    const inputs = [0, 1, 2].map((k) => el('input', { type: 'number', step: 'any', title: 'XYZ'[k] }));
    const { row, value } = this.row(key, label, inputs, animated);
    if (unit) value.append(el('span', { className: 'unit', textContent: unit }));
    for (const input of inputs) {
      input.dataset.key = key;
      input.onchange = () => {
        const v = inputs.map((i) => Number(i.value));
        if (inputs.some((i) => i.value.trim() === '') || !v.every(Number.isFinite)) return;
        // The components not typed in go as the host has them, not as rounded for showing.
        const was = get(this.shape);
        const next = v.map((x, k) => (x === Number(shown(was[k])) ? was[k] : x));
        this.send(key, body(next), row, value);
      };
    }
    this.fields.push({ key, row, set: (s) => inputs.forEach((i, k) => { i.value = shown(get(s)[k]); }) });
    return row;
  }

  interpolationRow() {
    const key = 'spline.interpolation';
    const select = el('select', {}, ['linear', 'cubic', 'bezier'].map((m) => el('option', { value: m, textContent: m })));
    select.dataset.key = key;
    const { row, value } = this.row(key, 'Interpolation', [select]);
    select.onchange = () => this.send(key, { interpolation: select.value }, row, value);
    this.fields.push({ key, row, set: (s) => { select.value = s.spline.interpolation; } });
    return row;
  }

  closedRow() {
    const key = 'spline.closed';
    const box = el('input', { type: 'checkbox' });
    box.dataset.key = key;
    const { row, value } = this.row(key, 'Closed', [box]);
    box.onchange = () => this.send(key, { closed: box.checked }, row, value);
    this.fields.push({ key, row, set: (s) => { box.checked = !!s.spline.closed; } });
    return row;
  }
}
