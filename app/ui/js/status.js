// The service's status reply as the page understands it, and the one rule that
// turns it into the state the tray shows too.

/** Key/value lines: key up to the first "=", no trimming; a later line wins. */
export function parseStatusMap(text) {
  const map = new Map();
  let position = 0;
  while (position < text.length) {
    let end = text.indexOf('\n', position);
    if (end < 0) end = text.length;
    const equals = text.indexOf('=', position);
    if (equals >= 0 && equals < end) map.set(text.slice(position, equals), text.slice(equals + 1, end));
    position = end + 1;
  }
  return map;
}

/** True for the service's (or the app's) error replies, "error service" included. */
export function isErrorReply(text) {
  return text.length >= 5 && text.startsWith('error');
}

/** An error reply without its framing: the service's own words, as it sent them. */
export function errorMessage(text) {
  return text.replace(/^error /, '').replace(/[\r\n]+$/, '');
}

export function isServiceDown(text) {
  return text.replace(/[\r\n]+$/, '') === 'error service';
}

/** What a panel says about a failed reply: nothing when the service is down, as the header says that. */
export function replyProblem(text) {
  return isServiceDown(text) ? '' : errorMessage(text);
}

/** The tray's decision rule; the first matching row wins. */
function stateOf(status) {
  if (status.failure) return 'repair';
  if (!status.endpoint) return 'no-headset';
  if (status.drift) return 'drift';
  if (status.wanted && status.processing) return 'active';
  if (status.wanted) return 'waiting';
  return 'off';
}

/** Colour family (one per tray icon) and headline of each state. */
export const STATE_LOOK = {
  active: { tone: 'active', title: 'Active' },
  waiting: { tone: 'waiting', title: 'On, waiting for the game' },
  off: { tone: 'off', title: 'Off' },
  'no-headset': { tone: 'no-headset', title: 'No headset set up' },
  drift: { tone: 'attention', title: 'Needs attention' },
  repair: { tone: 'attention', title: 'Needs a repair' },
};

export function intensityWord(value) {
  if (value === '1') return 'Light';
  if (value === '2') return 'Normal';
  return 'Strong';
}

/** The model of one status reply text. */
export function readStatus(text) {
  const failure = isErrorReply(text) ? text : '';
  const map = failure ? new Map() : parseStatusMap(text);
  const value = (key) => map.get(key) ?? '';
  const status = {
    failure,
    serviceDown: isServiceDown(text),
    wanted: value('wanted') === '1',
    mode: value('mode') === 'always' ? 'always' : 'auto',
    gameRunning: value('game_running') === '1',
    processing: value('processing') === '1',
    intensity: value('intensity'),
    endpoint: value('endpoint'),
    fullFx: value('full_fx') === '1',
    drift: value('drift') === '1',
    games: value('games').split(',').filter((name) => name !== ''),
    comparing: value('comparing') === '1',
  };
  status.state = stateOf(status);
  return status;
}
