// Reloads the scene when its file (or a mesh file it names) changes on disk:
// the host checks the files each time the page asks, about once a second.
// A file that no longer loads shows its message; the last good scene stays.
import { getJson } from './api.js';

export function watchScene({ reload, say }) {
  let version = 0;
  let shownError = '';
  const check = async () => {
    try {
      const state = await getJson('/api/watch');
      if (state.version !== version) {
        version = state.version;
        await reload();
        window.kurvo.reloads = version;
        say('reloaded: the file changed on disk');
      }
      if (state.error && state.error !== shownError) say(`${state.error} (showing the last scene that loaded)`, true);
      shownError = state.error || '';
      window.kurvo.watchError = shownError;
    } catch (e) {
      // The viewer may be stopping; try again later.
    }
    setTimeout(check, 1000);
  };
  setTimeout(check, 1000);
}
