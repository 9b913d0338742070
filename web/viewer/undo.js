// Undo and redo of every edit (parameters, dragged points, placements):
// the buttons and Ctrl+Z / Ctrl+Shift+Z (Ctrl+Y too). Inside a text field
// the keys keep their usual meaning for the text.
import { getJson, post } from './api.js';

export class UndoButtons {
  constructor(undoButton, redoButton, { show, say }) {
    this.buttons = { undo: undoButton, redo: redoButton };
    this.show = show;
    this.say = say;
    undoButton.onclick = () => this.step('undo');
    redoButton.onclick = () => this.step('redo');
    window.addEventListener('keydown', (e) => {
      if (!(e.ctrlKey || e.metaKey) || e.target instanceof HTMLInputElement) return;
      const key = e.key.toLowerCase();
      if (key === 'z' || key === 'y') {
        e.preventDefault();
        this.step(key === 'y' || e.shiftKey ? 'redo' : 'undo');
      }
    });
  }

  async step(which) {
    const answer = await post(`/api/${which}`, {});
    if (!answer.ok) {
      this.say(answer.json ? answer.json.error : `the host refused to ${which}`, true);
      return;
    }
    await this.show(answer.buffer);
    window.kurvo.undos += 1;
    this.say(which === 'undo' ? 'undone' : 'redone');
    await this.update();
  }

  // Greys the buttons when there is nothing to take back or make again.
  async update() {
    const time = await getJson('/api/time');
    this.buttons.undo.disabled = time.undo === 0;
    this.buttons.redo.disabled = time.redo === 0;
  }
}
