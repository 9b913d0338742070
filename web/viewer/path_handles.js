// Handles in the viewport for the selected object: a spline's control points
// (and Bezier tangents) to drag, and the object's placement to move, rotate
// or scale, with three.js's TransformControls. Every move is an edit the host
// evaluates; while one is on its way the newest move waits in its place, so
// a drag never sends more edits than the host answers.
import * as THREE from 'three';
import { TransformControls } from './vendor/TransformControls.js';
import { getJson, post } from './api.js';

// The host's matrix (offset and three axes) as a three.js matrix.
function hostMatrix(m) {
  return new THREE.Matrix4().set(
    m.v1[0], m.v2[0], m.v3[0], m.off[0],
    m.v1[1], m.v2[1], m.v3[1], m.off[1],
    m.v1[2], m.v2[2], m.v3[2], m.off[2],
    0, 0, 0, 1);
}

const DEG = 180 / Math.PI;
const POINT_COLOUR = 0xffd166, TANGENT_COLOUR = 0x66c2ff, PICKED_COLOUR = 0xff5a5f;

export class Handles {
  // `show(buffer)` applies the host's answer to an edit; `say(text, error)` reports.
  constructor(viewport, { show, say }) {
    this.viewport = viewport;
    this.show = show;
    this.say = say;
    this.mode = 'points';
    this.gestures = 0;
    this.latest = null;
    this.busy = false;
    this.shape = null;
    this.group = new THREE.Group();
    this.group.matrixAutoUpdate = false;
    viewport.root.add(this.group);
    this.gizmo = new TransformControls(viewport.camera, viewport.canvas);
    this.gizmo.setSize(0.8);
    viewport.scene.add(this.gizmo.getHelper());
    this.gizmo.addEventListener('change', () => viewport.requestRender());
    this.gizmo.addEventListener('dragging-changed', (e) => {
      viewport.controls.enabled = !e.value;
      if (e.value) this.gesture = ++this.gestures;
    });
    this.gizmo.addEventListener('objectChange', () => this.moved());
    // A click (not an orbit) on a point or tangent handle picks it.
    let down = null;
    viewport.canvas.addEventListener('pointerdown', (e) => { down = { x: e.clientX, y: e.clientY }; });
    viewport.canvas.addEventListener('pointerup', (e) => {
      if (!down || Math.hypot(e.clientX - down.x, e.clientY - down.y) > 4 || this.gizmo.dragging) return;
      this.pickAt(e.clientX, e.clientY);
    });
  }

  // Size of the handles: a hundredth of the scene's extent.
  setSceneSize(radius) {
    this.radius = Math.max(radius / 100, 1e-3);
  }

  setMode(mode) {
    this.mode = mode;
    this.attach();
  }

  async select(objectId) {
    this.object = objectId;
    this.picked = null;
    await this.refresh();
  }

  // Reads the object's placement and points again (after an undo, a frame, a reload).
  async refresh() {
    this.shape = null;
    if (this.object) {
      try {
        this.shape = await getJson(`/api/shape?object=${this.object}`);
      } catch (e) {
        this.shape = null;
      }
    }
    this.build();
  }

  build() {
    this.group.clear();
    this.points = [];
    this.tangents = [];
    this.proxy = null;
    const shape = this.shape;
    if (!shape || !shape.editable) return this.attach();
    this.group.matrix.copy(hostMatrix(shape.parent));
    this.group.matrixWorldNeedsUpdate = true;
    this.proxy = new THREE.Object3D();
    // Rotation as the host composes it: about X, then Y, then Z of the parent.
    this.proxy.rotation.order = 'ZYX';
    hostMatrix(shape.local).decompose(this.proxy.position, this.proxy.quaternion, this.proxy.scale);
    this.group.add(this.proxy);
    if (shape.spline) {
      const s = shape.spline;
      const sphere = new THREE.SphereGeometry(this.radius || 1, 12, 8);
      const handle = (p, colour, kind, index) => {
        const m = new THREE.Mesh(sphere, new THREE.MeshBasicMaterial({ color: colour, depthTest: false }));
        m.position.set(...p);
        m.renderOrder = 10;
        m.userData = { kind, index };
        this.proxy.add(m);
        return m;
      };
      this.points = s.points.map((p, i) => handle(p, POINT_COLOUR, 'point', i));
      if (s.bezier && s.tangents_in.length === s.points.length) {
        const at = (p, t) => [p[0] + t[0], p[1] + t[1], p[2] + t[2]];
        this.tangents = s.points.map((p, i) => ({
          in: handle(at(p, s.tangents_in[i]), TANGENT_COLOUR, 'in', i),
          out: handle(at(p, s.tangents_out[i]), TANGENT_COLOUR, 'out', i),
        }));
        this.tangentLines = new THREE.LineSegments(new THREE.BufferGeometry(),
          new THREE.LineBasicMaterial({ color: TANGENT_COLOUR, depthTest: false }));
        this.tangentLines.renderOrder = 9;
        this.proxy.add(this.tangentLines);
        this.drawTangentLines();
      }
    }
    this.attach();
  }

  drawTangentLines() {
    if (!this.tangentLines) return;
    const ends = [];
    this.points.forEach((p, i) => {
      for (const t of [this.tangents[i].in, this.tangents[i].out]) ends.push(...p.position.toArray(), ...t.position.toArray());
    });
    this.tangentLines.geometry.setAttribute('position', new THREE.Float32BufferAttribute(ends, 3));
  }

  // The gizmo on the picked handle (points mode) or on the object (move, rotate, scale).
  attach() {
    this.gizmo.detach();
    const all = [...this.points, ...this.tangents.flatMap((t) => [t.in, t.out])];
    for (const h of all) h.material.color.set(h.userData.kind === 'point' ? POINT_COLOUR : TANGENT_COLOUR);
    if (this.mode === 'points') {
      if (this.picked) {
        this.picked.material.color.set(PICKED_COLOUR);
        this.gizmo.setMode('translate');
        this.gizmo.attach(this.picked);
      }
    } else if (this.proxy) {
      this.gizmo.setMode({ move: 'translate', rotate: 'rotate', scale: 'scale' }[this.mode]);
      this.gizmo.attach(this.proxy);
    }
    this.viewport.requestRender();
  }

  // Picks the point (or tangent) handle `index` of the selected spline.
  pick(kind, index) {
    const h = kind === 'point' ? this.points[index] : this.tangents[index] && this.tangents[index][kind];
    if (!h) return false;
    this.picked = h;
    this.mode = 'points';
    this.attach();
    return true;
  }

  pickAt(x, y) {
    const all = [...this.points, ...this.tangents.flatMap((t) => [t.in, t.out])];
    if (!all.length) return;
    const box = this.viewport.canvas.getBoundingClientRect();
    const ndc = new THREE.Vector2(((x - box.left) / box.width) * 2 - 1, -((y - box.top) / box.height) * 2 + 1);
    const ray = new THREE.Raycaster();
    ray.setFromCamera(ndc, this.viewport.camera);
    const hit = ray.intersectObjects(all, false)[0];
    if (hit) this.pick(hit.object.userData.kind, hit.object.userData.index);
  }

  // The gizmo moved what it holds: send the new points or placement.
  moved() {
    const target = this.gizmo.object;
    if (!target || !this.shape) return;
    const body = { object: this.object, gesture: this.gesture };
    if (target === this.proxy) {
      const r = this.proxy.rotation;
      body.position = this.proxy.position.toArray();
      body.rotation = [r.x * DEG, r.y * DEG, r.z * DEG];
      body.scale = this.proxy.scale.toArray();
    } else {
      const { kind, index } = target.userData;
      const s = this.shape.spline;
      if (kind === 'point') {
        // The tangents are offsets from their point: they go with it.
        const was = new THREE.Vector3(...s.points[index]);
        const delta = target.position.clone().sub(was);
        if (this.tangents.length) for (const t of [this.tangents[index].in, this.tangents[index].out]) t.position.add(delta);
        s.points[index] = target.position.toArray();
      }
      if (this.tangents.length) {
        s.tangents_in = this.points.map((p, i) => this.tangents[i].in.position.clone().sub(p.position).toArray());
        s.tangents_out = this.points.map((p, i) => this.tangents[i].out.position.clone().sub(p.position).toArray());
        body.tangents_in = s.tangents_in;
        body.tangents_out = s.tangents_out;
        this.drawTangentLines();
      }
      body.points = s.points;
    }
    this.send(body);
  }

  // Sends `body` now, or when the edit on its way is answered (replacing any
  // move that was already waiting).
  send(body) {
    this.latest = JSON.parse(JSON.stringify(body));
    if (!this.busy) this.pump = this.run();
    return this.pump;
  }

  // One move to the host; counts how many are on their way at once
  // (window.kurvo.mostMovesOnTheirWay), which coalescing keeps at one.
  async post(body) {
    const k = window.kurvo;
    k.movesOnTheirWay = (k.movesOnTheirWay || 0) + 1;
    k.mostMovesOnTheirWay = Math.max(k.mostMovesOnTheirWay || 0, k.movesOnTheirWay);
    try {
      return await post('/api/shape', body);
    } finally {
      k.movesOnTheirWay -= 1;
    }
  }

  async run() {
    this.busy = true;
    try {
      while (this.latest) {
        const body = this.latest;
        this.latest = null;
        const started = performance.now();
        window.kurvo.shapeEditsSent += 1;
        const answer = await this.post(body);
        if (!answer.ok) {
          this.say(answer.json ? answer.json.error : 'the host refused the move', true);
          continue;
        }
        await this.show(answer.buffer, started);
        window.kurvo.shapeEdits += 1;
      }
    } finally {
      this.busy = false;
    }
  }
}
