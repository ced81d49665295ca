// The app's own preferences: start with Windows, start minimised, notifications.

import { parseStatusMap } from './status.js';
import { byId, clearMessage, showMessage, whileBusy } from './ui.js';

export function mountPrefs(bridge) {
  const boxes = [...document.querySelectorAll('[data-pref]')];
  const message = byId('prefs-message');
  let loadState = 'none'; // "none", "loading" or "loaded"; a failed load is tried again on the next refresh

  async function load() {
    if (loadState !== 'none') return;
    loadState = 'loading';
    for (const box of boxes) box.disabled = true;
    const reply = await bridge.request('prefs');
    loadState = reply.ok ? 'loaded' : 'none';
    if (!reply.ok) return;
    const prefs = parseStatusMap(reply.text);
    for (const box of boxes) {
      box.checked = prefs.get(box.dataset.pref) === '1';
      box.disabled = false;
    }
  }

  for (const box of boxes) {
    box.addEventListener('change', async () => {
      clearMessage(message);
      const reply = await whileBusy(box, bridge.request('pref', `${box.dataset.pref} ${box.checked ? 1 : 0}`));
      if (reply.ok) return;
      box.checked = !box.checked;
      showMessage(message, 'This setting could not be changed.');
    });
  }

  bridge.on('refresh', load);
  load();
}
