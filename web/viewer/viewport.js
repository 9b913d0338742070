// The 3D view: the host's meshes and lines, lit as the host's renderer
// lights them (a quarter ambient, three quarters from above left behind the
// viewer, both sides of every face alike), with orbit, pan, zoom and frame-all.
import * as THREE from 'three';
import { OrbitControls } from './vendor/OrbitControls.js';

// Colours pass through unchanged, as the host writes them into its pictures.
THREE.ColorManagement.enabled = false;

const BACKGROUND = [0.17, 0.18, 0.2];
const DEFAULT_COLOUR = [0.72, 0.74, 0.78];

const vertexShader = `
varying vec3 vColour;
varying vec3 vViewPosition;
void main() {
  vColour = color;
  vec4 p = modelViewMatrix * vec4(position, 1.0);
  vViewPosition = p.xyz;
  gl_Position = projectionMatrix * p;
}`;
const fragmentShader = `
varying vec3 vColour;
varying vec3 vViewPosition;
void main() {
  vec3 n = normalize(cross(dFdx(vViewPosition), dFdy(vViewPosition)));
  vec3 light = normalize(vec3(-0.4, 0.6, 0.7));
  gl_FragColor = vec4(vColour * (0.25 + 0.75 * abs(dot(n, light))), 1.0);
}`;

export class Viewport {
  constructor(canvas) {
    this.canvas = canvas;
    this.renderer = new THREE.WebGLRenderer({ canvas, antialias: true, preserveDrawingBuffer: true });
    this.renderer.outputColorSpace = THREE.LinearSRGBColorSpace;
    this.renderer.setPixelRatio(1);
    this.scene = new THREE.Scene();
    this.scene.background = new THREE.Color(...BACKGROUND);
    // The host's space: mirrored in Z when its axes are left-handed.
    this.root = new THREE.Group();
    this.scene.add(this.root);
    this.camera = new THREE.PerspectiveCamera(40, 1, 1, 1e6);
    this.controls = new OrbitControls(this.camera, canvas);
    this.controls.addEventListener('change', () => this.requestRender());
    this.material = new THREE.ShaderMaterial({ vertexShader, fragmentShader, vertexColors: true, side: THREE.DoubleSide });
    this.meshes = [];
    this.lines = null;
    this.pending = false;
    new ResizeObserver(() => this.resize()).observe(canvas);
    this.resize();
  }

  size() {
    return { width: this.canvas.clientWidth || 1, height: this.canvas.clientHeight || 1 };
  }

  resize() {
    const { width, height } = this.size();
    this.renderer.setSize(width, height, false);
    this.camera.aspect = width / height;
    this.camera.updateProjectionMatrix();
    this.requestRender();
  }

  // Places the camera where the host's preview camera is (sceneInfo.camera).
  useHostCamera(host, bounds) {
    const v = (a) => new THREE.Vector3(...a);
    const right = v(host.right), up = v(host.up), forward = v(host.forward), eye = v(host.eye);
    this.mirrored = new THREE.Vector3().crossVectors(right, up).dot(forward) > 0;
    const m = (p) => (this.mirrored ? new THREE.Vector3(p.x, p.y, -p.z) : p);
    this.root.scale.set(1, 1, this.mirrored ? -1 : 1);
    const centre = m(v(bounds.min).add(v(bounds.max)).multiplyScalar(0.5));
    // The host's camera has no roll: world Y up keeps its picture and lets
    // the orbit turn about the vertical.
    const e = m(eye), f = m(forward);
    this.camera.fov = host.perspective ? THREE.MathUtils.radToDeg(2 * Math.atan(host.height / 2 / host.scale)) : 40;
    const radius = v(bounds.max).sub(v(bounds.min)).length() / 2 || 1;
    this.camera.near = Math.max(radius / 1000, 0.01);
    this.camera.far = radius * 1000;
    this.camera.position.copy(e);
    this.camera.up.set(0, 1, 0);
    const distance = Math.max(centre.clone().sub(e).dot(f), radius);
    this.controls.target.copy(e.clone().add(f.clone().multiplyScalar(distance)));
    this.camera.lookAt(this.controls.target);
    this.camera.updateProjectionMatrix();
    this.controls.update();
    this.requestRender();
  }

  // Keeps the view direction and moves back until every object fits.
  frameAll() {
    const box = new THREE.Box3().setFromObject(this.root);
    if (box.isEmpty()) return;
    const sphere = box.getBoundingSphere(new THREE.Sphere());
    const direction = this.camera.getWorldDirection(new THREE.Vector3());
    const halfFov = THREE.MathUtils.degToRad(this.camera.fov) / 2;
    const fit = Math.min(halfFov, Math.atan(Math.tan(halfFov) * this.camera.aspect));
    const distance = sphere.radius / Math.sin(fit);
    this.controls.target.copy(sphere.center);
    this.camera.position.copy(sphere.center).addScaledVector(direction, -distance);
    this.controls.update();
    this.requestRender();
  }

  // Applies a geometry frame (api.js parseFrame).
  apply(frame) {
    const { header } = frame;
    for (const entry of header.meshes) this.applyMesh(entry, frame);
    if (header.full) {
      for (let i = header.meshCount; i < this.meshes.length; ++i) if (this.meshes[i]) this.root.remove(this.meshes[i]);
      this.meshes.length = header.meshCount;
    }
    const ends = frame.floats(header.lines.positions), colours = frame.floats(header.lines.colors);
    const old = this.lines && this.lines.geometry.getAttribute('position');
    if (old && old.array.length === ends.length) {
      // The same lines moved (a dragged path): the buffers are written in place.
      old.array.set(ends);
      old.needsUpdate = true;
      const c = this.lines.geometry.getAttribute('color');
      c.array.set(colours);
      c.needsUpdate = true;
    } else {
      if (this.lines) {
        this.root.remove(this.lines);
        this.lines.geometry.dispose();
      }
      const g = new THREE.BufferGeometry();
      g.setAttribute('position', new THREE.BufferAttribute(ends.slice(), 3));
      g.setAttribute('color', new THREE.BufferAttribute(colours.slice(), 3));
      this.lineMaterial = this.lineMaterial || new THREE.LineBasicMaterial({ vertexColors: true });
      this.lines = new THREE.LineSegments(g, this.lineMaterial);
      this.lines.frustumCulled = false;
      this.root.add(this.lines);
    }
    this.requestRender();
  }

  applyMesh(entry, frame) {
    let mesh = this.meshes[entry.index];
    const positions = frame.floats(entry.positions);
    if (!mesh || entry.indices) {
      const g = new THREE.BufferGeometry();
      g.setAttribute('position', new THREE.BufferAttribute(positions.slice(), 3));
      g.setIndex(new THREE.BufferAttribute(frame.uints(entry.indices).slice(), 1));
      g.setAttribute('color', new THREE.BufferAttribute(new Float32Array(positions.length), 3));
      if (mesh) {
        mesh.geometry.dispose();
        mesh.geometry = g;
      } else {
        mesh = new THREE.Mesh(g, this.material);
        mesh.frustumCulled = false;
        this.meshes[entry.index] = mesh;
        this.root.add(mesh);
      }
      mesh.name = entry.name;
    } else {
      const attribute = mesh.geometry.getAttribute('position');
      attribute.array.set(positions);
      attribute.needsUpdate = true;
    }
    const colours = mesh.geometry.getAttribute('color');
    if (entry.colors) {
      colours.array.set(frame.floats(entry.colors));
      colours.needsUpdate = true;
    } else if (entry.indices) {
      const c = entry.color || DEFAULT_COLOUR;
      for (let i = 0; i < colours.array.length; i += 3) colours.array.set(c, i);
      colours.needsUpdate = true;
    }
  }

  // Applies a frame and draws it at once; answers the page's times in ms:
  // apply (the answer into the buffers), upload (the buffers to the GPU: a
  // render that draws nothing, which still sends every changed buffer) and
  // draw (the whole picture; software drawing on machines without a GPU).
  showTimed(frame) {
    const gl = this.renderer.getContext();
    const pixel = new Uint8Array(4);
    const t0 = performance.now();
    this.apply(frame);
    const t1 = performance.now();
    const drawn = [...this.meshes.filter(Boolean), this.lines].filter(Boolean);
    for (const m of drawn) m.geometry.setDrawRange(0, 0);
    this.renderer.render(this.scene, this.camera);
    // Reading a pixel waits until the work is really done.
    gl.readPixels(0, 0, 1, 1, gl.RGBA, gl.UNSIGNED_BYTE, pixel);
    for (const m of drawn) m.geometry.setDrawRange(0, Infinity);
    const t2 = performance.now();
    this.renderNow();
    gl.readPixels(0, 0, 1, 1, gl.RGBA, gl.UNSIGNED_BYTE, pixel);
    const t3 = performance.now();
    return { apply: t1 - t0, upload: t2 - t1, draw: t3 - t2 };
  }

  requestRender() {
    if (this.pending) return;
    this.pending = true;
    requestAnimationFrame(() => this.renderNow());
  }

  renderNow() {
    this.pending = false;
    this.renderer.render(this.scene, this.camera);
  }
}
