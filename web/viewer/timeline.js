// The timeline of an animated scene: play/pause, a scrub bar over the
// scene's frame range and the current frame's number. Every frame is
// evaluated by the host; while one is on its way, a newer request replaces
// the waiting one instead of queueing behind it.
import { getJson, post } from './api.js';

export class Timeline {
  // `show(buffer)` applies the host's answer; `say(text, error)` reports.
  constructor(root, { show, say }) {
    this.root = root;
    this.show = show;
    this.say = say;
    this.frame = 0;
    this.busy = false;
    this.waiting = null;
    this.playing = false;
  }

  async load() {
    const time = await getJson('/api/time');
    this.time = time;
    this.frame = time.frame;
    this.root.hidden = !time.present;
    this.root.replaceChildren();
    if (!time.present) return;
    const el = (tag, props) => Object.assign(document.createElement(tag), props);
    this.play = el('button', { textContent: '▶', title: 'Play / pause (Space)', className: 'play' });
    this.bar = el('input', { type: 'range', min: time.start, max: time.end, step: 1, value: time.frame, className: 'scrub' });
    this.number = el('input', { type: 'number', min: time.start, max: time.end, step: 1, value: time.frame, className: 'frame' });
    const range = el('span', { className: 'range', textContent: `${time.start}–${time.end} at ${time.fps} fps` });
    this.root.append(this.play, el('span', { textContent: 'Frame' }), this.number, this.bar, range);
    this.play.onclick = () => this.toggle();
    this.bar.oninput = () => this.seek(Number(this.bar.value));
    this.number.onchange = () => {
      const f = Math.round(Number(this.number.value));
      if (Number.isFinite(f)) this.seek(Math.min(Math.max(f, time.start), time.end));
    };
  }

  // Shows `frame`; resolves once the host has answered it (or a later one).
  seek(frame) {
    this.waiting = frame;
    if (!this.busy) this.pump = this.run();
    return this.pump;
  }

  async run() {
    this.busy = true;
    try {
      while (this.waiting !== null) {
        const frame = this.waiting;
        this.waiting = null;
        const answer = await post('/api/frame', { frame });
        if (!answer.ok) {
          this.say(answer.json ? answer.json.error : 'the host refused the frame', true);
          continue;
        }
        this.frame = frame;
        await this.show(answer.buffer);
        this.bar.value = frame;
        if (document.activeElement !== this.number) this.number.value = frame;
        window.kurvo.frame = frame;
        window.kurvo.frames += 1;
      }
    } finally {
      this.busy = false;
    }
  }

  toggle() {
    this.playing = !this.playing;
    this.play.textContent = this.playing ? '❚❚' : '▶';
    if (this.playing) this.loop();
  }

  // Plays at the scene's rate, or as fast as the host answers when that is slower.
  async loop() {
    const { start, end, fps } = this.time;
    while (this.playing) {
      const begun = performance.now();
      const next = this.frame >= end ? start : this.frame + 1;
      await this.seek(next);
      const wait = 1000 / fps - (performance.now() - begun);
      if (wait > 0) await new Promise((r) => setTimeout(r, wait));
    }
  }
}
