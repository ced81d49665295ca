// The page's entry: one bridge, one session, the panels wired to them.

import { Bridge } from './bridge.js';
import { mountControls } from './controls.js';
import { mountGames } from './games.js';
import { mountHeader } from './header.js';
import { Headsets } from './headsets.js';
import { mountMeter } from './meter.js';
import { mountPrefs } from './prefs.js';
import { Session } from './session.js';
import { byId } from './ui.js';

const bridge = new Bridge(window.chrome?.webview);
const session = new Session(bridge);

for (const button of document.querySelectorAll('[data-win]')) {
  button.addEventListener('click', () => bridge.request('win', button.dataset.win));
}

const headsets = new Headsets(session);
mountHeader(session, bridge, headsets);
mountControls(session);
mountGames(session);
mountPrefs(bridge);
mountMeter(bridge, byId('meter'), byId('meter-empty'));
session.refresh();
