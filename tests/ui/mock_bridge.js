// A stand-in for the desktop app's bridge and the service behind it, injected
// into the page before it loads. It speaks the bridge protocol byte for byte:
// string requests "id\tkind\targument"; replies posted as JSON text that the
// page receives parsed, each after its own delay so that they can cross; a
// "refresh" event before the reply of every pipe command that changed
// something. The service serialises its commands like the real one, so an
// install keeps every later command waiting until Windows audio is back.
// Runs inside the page: self-contained, no imports.
export function installMockBridge({ service: serviceOptions = {}, prefs: prefsOptions = {}, seed = 1 }) {
  const OUR_CLSID = '{B3C1F6A2-5D4E-4F8A-9C7B-2E1D0A9F8C64}';
  const UNKNOWN =
    'error unknown command. commands: status | endpoints | set wanted 0|1 | set intensity 1|2|3 | set mode auto|always | set games a.exe,b.exe | install <endpoint-id> [full] [force] | uninstall\n';
  const service = {
    running: true,
    wanted: 1,
    mode: 1,
    intensity: 2,
    games: ['TslGame.exe'],
    gameRunning: 0,
    compareUntil: 0,
    journal: null, // {device, full, savedFx}
    drift: 0,
    // {id, description, connector, fx}: fx "none" (no effect values), "some", or the class id in its effect slot
    endpoints: [],
    endpointsError: false,
    audioRestartMs: 40, // null: wait for finishAudioRestart()
    audioRestartError: '',
    repairOutcome: 'ok',
    ...serviceOptions,
  };
  const prefs = { startup: 0, minimized: 0, notify: 1, ...prefsOptions };
  const webview = new EventTarget();
  const mock = {
    service,
    prefs,
    requests: [], // every string the page posted
    unanswered: 0, // requests whose reply has not been delivered yet
    windowCommands: [],
    inHandler: false, // true while the page's message handlers run
    holding: false, // true, or a pattern of arguments: those replies wait in held until release()
    held: [],
    restarts: [],
  };
  let random = seed;
  const jitterMs = () => {
    random = (random * 1103515245 + 12345) % 2147483648;
    return random % 16;
  };
  let lock = Promise.resolve();

  function deliver(jsonText) {
    const data = JSON.parse(jsonText); // what the control does with a JSON web message
    mock.inHandler = true;
    try {
      webview.dispatchEvent(new MessageEvent('message', { data }));
    } finally {
      mock.inHandler = false;
    }
  }

  function quote(text) {
    const escapes = { '"': '\\"', '\\': '\\\\', '\n': '\\n', '\r': '\\r', '\t': '\\t' };
    return `"${text.replace(/["\\\u0000-\u001f]/g, (c) => escapes[c] ?? `\\u${c.charCodeAt(0).toString(16).padStart(4, '0')}`)}"`;
  }

  function status() {
    const meter = service.wanted !== 0 && (service.mode !== 1 || service.gameRunning === 1);
    const comparing = Date.now() < service.compareUntil;
    const lines = [
      `wanted=${service.wanted}`,
      `mode=${service.mode === 0 ? 'always' : 'auto'}`,
      `game_running=${service.gameRunning}`,
      `processing=${meter && !comparing ? 1 : 0}`,
      `intensity=${service.intensity}`,
      `endpoint=${service.journal ? service.journal.device : ''}`,
      `install_phase=${service.journal ? 2 : 0}`,
      `full_fx=${service.journal?.full ? 1 : 0}`,
      `drift=${service.drift}`,
      `games=${service.games.length ? service.games.join(',') : 'TslGame.exe'}`,
      `comparing=${comparing ? 1 : 0}`,
    ];
    return `${lines.join('\n')}\n`;
  }

  function listing() {
    if (service.endpointsError) return 'error cannot read endpoints\n';
    return service.endpoints
      .map((e) => {
        let tag = '\t[no-effects]';
        if (service.journal?.device === e.id) tag = '\t[kestrune]';
        else if (e.fx.startsWith('{') && e.fx.toUpperCase() !== OUR_CLSID) tag = '\t[other-effect]';
        else if (e.fx !== 'none') tag = '';
        return `${e.id}\t${e.description} (${e.connector})${tag}\n`;
      })
      .join('');
  }

  async function restartAudio() {
    if (service.audioRestartMs === null) await new Promise((resolve) => mock.restarts.push(resolve));
    else await new Promise((resolve) => setTimeout(resolve, service.audioRestartMs));
    return service.audioRestartError ? `error ${service.audioRestartError}\n` : 'ok\n';
  }

  function restoreEndpoint() {
    const endpoint = service.endpoints.find((e) => e.id === service.journal?.device);
    if (endpoint) endpoint.fx = service.journal.savedFx;
    service.journal = null;
    service.drift = 0;
  }

  async function install(tokens) {
    const id = tokens[1];
    const full = tokens.slice(2).includes('full');
    const force = tokens.slice(2).includes('force');
    const endpoint = service.endpoints.find((e) => e.id === id);
    const foreign = endpoint && endpoint.fx.startsWith('{') && endpoint.fx.toUpperCase() !== OUR_CLSID;
    if (foreign && !force) {
      return `error this device already runs another app's audio effect (${endpoint.fx}); Orvantis would replace it and break that app. Choose your headset or speakers instead.\n`;
    }
    if (service.journal) restoreEndpoint();
    if (!endpoint) return `error no such render endpoint (or no FxProperties): ${id}\n`;
    service.journal = { device: id, full, savedFx: endpoint.fx };
    endpoint.fx = OUR_CLSID;
    return restartAudio();
  }

  async function dispatch(request) {
    const tokens = request.replace(/[\r\n]+$/, '').split(' ').filter((token) => token !== '');
    const [word, key, value] = tokens;
    if (tokens.length === 0) return 'error empty command\n';
    if (word === 'status') return status();
    if (word === 'endpoints') return listing();
    if (word === 'set' && tokens.length === 3) {
      if (key === 'wanted' && (value === '0' || value === '1')) service.wanted = Number(value);
      else if (key === 'compare' && (value === '0' || value === '1')) service.compareUntil = value === '1' ? Date.now() + 15000 : 0;
      else if (key === 'intensity' && /^[1-3]$/.test(value)) service.intensity = Number(value);
      else if (key === 'mode' && (value === 'auto' || value === 'always')) service.mode = value === 'auto' ? 1 : 0;
      else if (key === 'games') {
        const entries = value.split(',');
        const end = entries.indexOf('');
        service.games = end < 0 ? entries : entries.slice(0, end);
      } else return UNKNOWN;
      return 'ok\n';
    }
    if (word === 'install' && tokens.length >= 2) return install(tokens);
    if (word === 'uninstall') {
      if (!service.journal) return 'ok\n';
      restoreEndpoint();
      return restartAudio();
    }
    return UNKNOWN;
  }

  async function pipe(argument) {
    if (!service.running) return 'error service';
    const turn = lock.then(() => dispatch(argument));
    lock = turn.catch(() => {});
    return turn;
  }

  async function serve(kind, argument) {
    if (kind === 'pipe') {
      const text = await pipe(argument);
      const failed = text.startsWith('error');
      const changed = !failed && !argument.startsWith('status') && argument !== 'endpoints';
      return { ok: !failed, text, refresh: changed };
    }
    if (kind === 'prefs') {
      return { ok: true, text: `startup=${prefs.startup}\nminimized=${prefs.minimized}\nnotify=${prefs.notify}\n` };
    }
    if (kind === 'pref') {
      const name = argument.split(' ')[0];
      if (!(name in prefs)) return { ok: false, text: '' };
      prefs[name] = argument.length >= 3 && argument.endsWith('1') ? 1 : 0;
      return { ok: true, text: '' };
    }
    if (kind === 'open') return { ok: argument.startsWith('https://') || argument.startsWith('mailto:'), text: '' };
    if (kind === 'repair') {
      await new Promise((resolve) => setTimeout(resolve, 50));
      if (service.repairOutcome !== 'ok') return { ok: false, text: 'cancelled' };
      service.running = true;
      return { ok: true, text: '' };
    }
    if (kind === 'win') {
      mock.windowCommands.push(argument === 'min' || argument === 'hide' ? argument : 'quit');
      return { ok: true, text: '' };
    }
    return { ok: false, text: '' };
  }

  async function receive(message) {
    if (typeof message !== 'string') return;
    mock.requests.push(message);
    const first = message.indexOf('\t');
    const second = first < 0 ? -1 : message.indexOf('\t', first + 1);
    if (second < 0) return;
    mock.unanswered++;
    const id = message.slice(0, first);
    const result = await serve(message.slice(first + 1, second), message.slice(second + 1));
    const reply = `{"id":${id},"ok":${result.ok},"text":${quote(result.text)}}`;
    const send = () => {
      mock.unanswered--;
      if (result.refresh) deliver('{"event":"refresh"}');
      deliver(reply);
    };
    const hold = mock.holding === true || (typeof mock.holding === 'string' && new RegExp(mock.holding).test(message));
    if (hold) mock.held.push(send);
    else setTimeout(send, jitterMs());
  }

  webview.postMessage = (message) => {
    receive(message);
  };
  mock.emit = (object) => deliver(JSON.stringify(object));
  mock.refresh = () => deliver('{"event":"refresh"}');
  mock.release = (order = 'reverse') => {
    const sends = mock.held.splice(0);
    for (const send of order === 'reverse' ? sends.reverse() : sends) send();
  };
  mock.finishAudioRestart = () => mock.restarts.splice(0).forEach((resolve) => resolve());
  /** Posts the same "meter" message every periodMs for durationMs, as the meter feed would. */
  mock.floodMeter = (records, periodMs, durationMs) =>
    new Promise((resolve) => {
      const text = JSON.stringify({ meter: records });
      const timer = setInterval(() => deliver(text), periodMs);
      setTimeout(() => resolve(clearInterval(timer)), durationMs);
    });
  window.chrome = window.chrome ?? {};
  window.chrome.webview = webview;
  window.__mock = mock;
}
