// The status header: the state in words and colour, the facts behind it, what
// the effect itself reports, and the two ways out of trouble (put back, repair).

import { endpointName } from './endpoints.js';
import { STATE_LOOK, errorMessage, intensityWord } from './status.js';
import { byId, setText, whileBusy } from './ui.js';

const STATE_DETAIL = {
  active: 'Footsteps stand out now.',
  waiting: 'Orvantis starts by itself when your game runs.',
  off: 'Switch it on to hear footsteps better.',
  'no-headset': 'Choose your headset below to start.',
  drift: 'Orvantis is no longer on your headset.',
  repair: 'Orvantis cannot reach its service.',
};

function rateText(rate) {
  return `${Number((rate / 1000).toFixed(1))}\u00a0kHz`;
}

function channelsText(channels) {
  return channels === 1 ? '1\u00a0channel' : `${channels}\u00a0channels`;
}

/** Why the effect passes a format through unchanged (it takes float, 1-32 channels, 8-192 kHz). */
function passReason(rate, channels) {
  if (channels < 1 || channels > 32) return 'Orvantis works on 1 to 32 channels';
  if (rate < 8000 || rate > 192000) return 'Orvantis works at 8 to 192 kHz';
  return 'Orvantis works on 32-bit float sound';
}

/** What the effect reports about itself, for a set-up headset: {kind, text}. */
export function effectTruth(fmt) {
  const [rate, channels, state] = fmt ?? [0, 0, 0];
  if (state === 1) {
    return { kind: 'active', text: `Windows plays this headset's sound through Orvantis: ${rateText(rate)}, ${channelsText(channels)}.` };
  }
  if (state === 2) {
    return {
      kind: 'pass',
      text: `This headset's format (${rateText(rate)}, ${channelsText(channels)}) passes through unchanged: ${passReason(rate, channels)}.`,
    };
  }
  return { kind: 'idle', text: 'Windows has not loaded the effect on this headset yet: play any sound, or restart audio' };
}

export function mountHeader(session, bridge, headsets) {
  const state = document.querySelector('.state');
  const truth = byId('effect-truth');
  const driftBanner = byId('drift-banner');
  const repairBanner = byId('repair-banner');
  const repairButton = byId('repair');
  let repairNote = ''; // the outcome of the last repair, until the state changes

  function renderState(status) {
    const look = STATE_LOOK[status.state];
    state.dataset.state = look.tone;
    setText(byId('state-word'), look.title);
    let detail = STATE_DETAIL[status.state];
    if (status.comparing) detail = 'Comparing: you hear your game without Orvantis.';
    else if (status.state === 'waiting' && status.mode === 'auto') detail = `Starts when ${status.games.join(' or ')} runs.`;
    setText(byId('state-detail'), detail);
  }

  function renderFacts(status) {
    byId('facts').hidden = Boolean(status.failure);
    setText(byId('fact-intensity'), intensityWord(status.intensity));
    setText(byId('fact-mode'), status.mode === 'always' ? 'Always' : 'While a game runs');
    setText(byId('fact-game'), status.gameRunning ? 'Running' : 'Not running');
    setText(byId('fact-headset'), status.endpoint ? endpointName(session.listing?.text ?? '', status.endpoint) : 'None yet');
  }

  function renderTruth(status) {
    truth.hidden = Boolean(status.failure) || !status.endpoint || status.drift;
    const { kind, text } = effectTruth(session.fmt);
    truth.dataset.kind = kind;
    setText(truth.querySelector('span'), text);
  }

  function renderBanners(status) {
    driftBanner.hidden = status.state !== 'drift';
    repairBanner.hidden = status.state !== 'repair';
    if (status.state !== 'repair') repairNote = '';
    setText(byId('repair-title'), status.serviceDown
      ? 'The Orvantis service is not running'
      : 'The Orvantis service reports a problem');
    let text = status.serviceDown ? 'Repair reinstalls it; Windows asks for permission first.' : errorMessage(status.failure);
    if (repairButton.disabled) text = 'Repairing… confirm the Windows prompt if one appears.';
    else if (repairNote) text = repairNote;
    setText(byId('repair-text'), text);
  }

  function render() {
    const status = session.status;
    if (!status) return;
    renderState(status);
    renderFacts(status);
    renderTruth(status);
    renderBanners(status);
  }

  session.subscribe(render);

  byId('put-back').addEventListener('click', (event) => {
    const status = session.status;
    headsets.install(status.endpoint, { full: status.fullFx, force: false }, event.currentTarget);
  });

  repairButton.addEventListener('click', async () => {
    repairButton.disabled = true;
    render();
    const reply = await whileBusy(repairButton, bridge.request('repair'));
    if (reply.ok) await session.refresh();
    repairButton.disabled = false;
    repairNote = reply.ok ? 'Repair finished, but the service still does not answer.' : 'Repair was cancelled.';
    render();
  });
}
