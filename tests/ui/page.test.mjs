// The page in Chromium against the mock bridge, driven through roles and names.

import assert from 'node:assert/strict';
import { readFile } from 'node:fs/promises';
import { createRequire } from 'node:module';
import { after, afterEach, before, test } from 'node:test';
import { launchBrowser, openPage } from './harness.mjs';

const HEADPHONES = '{0.0.0.00000000}.{5d2e7c1a-0b61-4c55-9a7e-3f1d2b8c9e01}';
const SPEAKERS = '{0.0.0.00000000}.{5d2e7c1a-0b61-4c55-9a7e-3f1d2b8c9e02}';
const HDMI = '{0.0.0.00000000}.{5d2e7c1a-0b61-4c55-9a7e-3f1d2b8c9e03}';
const FOREIGN = '{7A1C2E33-9F0B-4D1E-8E6A-0C5B4F3D2A11}';
const endpoints = () => [
  { id: HEADPHONES, description: 'Headphones', connector: 'USB Headset', fx: 'some' },
  { id: SPEAKERS, description: 'Speakers', connector: 'High Definition Audio', fx: FOREIGN },
  { id: HDMI, description: 'Digital Output', connector: 'HDMI Audio', fx: 'none' },
];
/** On, attached to the headphones, a game running: the state a player sees most. */
const active = (extra = {}) => ({
  endpoints: endpoints(),
  journal: { device: HEADPHONES, full: false, savedFx: 'some' },
  gameRunning: 1,
  games: ['TslGame.exe', 'Valorant.exe'],
  ...extra,
});
const REQUEST_FORM = /^\d+\t(pipe|prefs|pref|win|repair)\t/;

let browser;
let opened = [];
before(async () => {
  browser = await launchBrowser();
});
after(() => browser.close());

async function open(options) {
  const session = await openPage(browser, options);
  opened.push(session);
  await session.page.waitForFunction(() => window.__mock.unanswered === 0 && !/Checking/.test(document.querySelector('h1').textContent));
  return session;
}

// Whatever a test did: nothing outside the page's folder was asked for, nothing
// was logged as an error, and every request had the bridge's form.
afterEach(async () => {
  for (const { context, problems, mock } of opened) {
    const requests = await mock((m) => m.requests);
    assert.deepEqual(problems, []);
    assert.deepEqual(requests.filter((request) => !REQUEST_FORM.test(request)), []);
    await context.close();
  }
  opened = [];
});

/** Runs act and returns the requests it caused once expected (a RegExp) is among them. */
async function requestsOf({ page, mock }, act, expected) {
  const before = await mock((m) => m.requests.length);
  await act();
  await page.waitForFunction(
    ([from, source]) => window.__mock.requests.slice(from).some((request) => new RegExp(source).test(request)),
    [before, expected.source],
  );
  await page.waitForFunction(() => !document.querySelector('[aria-busy="true"]'));
  return (await mock((m) => m.requests)).slice(before).map((request) => request.replace(/^\d+\t/, ''));
}

test('every control sends its exact request', async () => {
  const session = await open({ service: active() });
  const { page } = session;
  const button = (name) => page.getByRole('button', { name, exact: true });
  const radio = (name) => page.getByRole('radio', { name, exact: true });
  const checkbox = (name) => page.getByRole('checkbox', { name, exact: true });
  const cases = [
    ['win\tmin', () => button('Minimise').click()],
    ['win\thide', () => button('Hide').click()],
    ['win\tquit', () => button('Quit').click()],
    ['pipe\tset wanted 0', () => page.getByRole('switch', { name: 'Orvantis on' }).click()],
    ['pipe\tset wanted 1', () => page.getByRole('switch', { name: 'Orvantis on' }).click()],
    ['pipe\tset intensity 3', () => radio('Strong').check()],
    ['pipe\tset intensity 1', () => radio('Light').check()],
    ['pipe\tset mode always', () => radio('Always').check()],
    ['pipe\tset mode auto', () => radio('While a game runs').check()],
    [`pipe\tinstall ${HEADPHONES}`, () => button('Use this headset').click()],
    [`pipe\tinstall ${HDMI}`, async () => {
      await radio('Digital Output (HDMI Audio)').check();
      await button('Use this headset').click();
    }],
    [`pipe\tinstall ${SPEAKERS} full force`, async () => {
      await page.getByText('Advanced options').click();
      await checkbox("Turn off the headset's other sound effects").check();
      await checkbox("Replace another app's effect").check();
      await radio('Speakers (High Definition Audio)').check();
      await button('Use this headset').click();
    }],
    ['pipe\tuninstall', () => button('Remove from headset').click()],
    ['pipe\tset games TslGame.exe,Valorant.exe,cs2.exe', async () => {
      await page.getByRole('textbox', { name: 'Add a game' }).fill(' cs2.exe ');
      await button('Add').click();
    }],
    ['pipe\tset games TslGame.exe,cs2.exe', () => button('Remove Valorant.exe').click()],
    ['pref\tstartup 1', () => checkbox('Start with Windows').check()],
    ['pref\tminimized 1', () => checkbox('Start minimised').check()],
    ['pref\tnotify 0', () => checkbox('Notifications').uncheck()],
  ];
  for (const [expected, act] of cases) {
    const sent = await requestsOf(session, act, new RegExp(`\\t${expected.split('\t')[1].replace(/[{}().]/g, '\\$&')}$`));
    assert.ok(sent.includes(expected), `${expected} not in ${JSON.stringify(sent)}`);
  }
  // The comparison counts down; stopping it brings the button back at once,
  // before any status read after the stop has come back.
  assert.ok((await requestsOf(session, () => button('Compare without').click(), /set compare 1$/)).includes('pipe\tset compare 1'));
  assert.match(await page.locator('#compare-hint').textContent(), /It comes back in 1[45] s/);
  await session.mock((m) => (m.holding = '\tstatus$'));
  assert.ok((await requestsOf(session, () => button('Stop comparing').click(), /set compare 0$/)).includes('pipe\tset compare 0'));
  assert.equal(await button('Compare without').isVisible(), true);
  await session.mock((m) => (m.holding = false) || m.release());
  assert.deepEqual(await session.mock((m) => m.windowCommands), ['min', 'hide', 'quit']);
  assert.deepEqual(await session.mock((m) => m.prefs), { startup: 1, minimized: 1, notify: 0 });
});

test('each state shows in words and colour, with what the effect reports', async () => {
  const { page, mock } = await open({ service: active() });
  const heading = page.getByRole('heading', { level: 1 });
  const truth = page.locator('#effect-truth');
  const cases = [
    // [service change, fmt message or null, heading, tone, effect text or null]
    [{}, [48000, 2, 1], 'Active', 'active', 'through Orvantis: 48 kHz, 2 channels'],
    [{ gameRunning: 0 }, [44100, 8, 1], 'On, waiting for the game', 'waiting', '44.1 kHz, 8 channels'],
    [{ wanted: 0 }, [48000, 33, 2], 'Off', 'off', 'passes through unchanged: Orvantis works on 1 to 32 channels'],
    [{ wanted: 1, mode: 0 }, [4000, 2, 2], 'Active', 'active', 'Orvantis works at 8 to 192 kHz'],
    [{}, [48000, 2, 0], 'Active', 'active', 'Windows has not loaded the effect on this headset yet: play any sound, or restart audio'],
    [{ journal: null }, null, 'No headset set up', 'no-headset', null],
    [{ drift: 1 }, null, 'No headset set up', 'no-headset', null],
    [{ journal: { device: HEADPHONES, full: true, savedFx: 'some' }, drift: 1 }, null, 'Needs attention', 'attention', null],
    [{ running: false }, null, 'Needs a repair', 'attention', null],
  ];
  for (const [change, fmt, title, tone, effect] of cases) {
    await mock((m, [service, message]) => {
      Object.assign(m.service, service);
      if (message) m.emit({ fmt: message });
      m.refresh();
    }, [change, fmt]);
    await heading.filter({ hasText: new RegExp(`^${title}$`) }).waitFor();
    assert.equal(await page.locator('.state').getAttribute('data-state'), tone);
    if (effect) assert.match((await truth.textContent()).replace(/\s+/g, ' '), new RegExp(effect.replace(/[()]/g, '\\$&')));
    else assert.equal(await truth.isVisible(), false);
  }
  assert.equal(await page.getByRole('switch', { name: 'Orvantis on' }).isDisabled(), true);
  assert.ok(await page.getByText('The Orvantis service is not running').isVisible());
});

test('drift offers to put the effect back, the service down offers a repair', async () => {
  const session = await open({ service: active({ journal: { device: HEADPHONES, full: true, savedFx: 'some' }, drift: 1 }) });
  const { page, mock } = session;
  await page.getByText('Windows removed Orvantis from this headset').waitFor();
  const sent = await requestsOf(session, () => page.getByRole('button', { name: 'Put it back' }).click(), /\tinstall /);
  assert.ok(sent.includes(`pipe\tinstall ${HEADPHONES} full`));
  await page.getByRole('heading', { name: 'Active' }).waitFor();

  await mock((m) => Object.assign(m.service, { running: false, repairOutcome: 'cancelled' }));
  await page.getByRole('switch', { name: 'Orvantis on' }).click({ force: true });
  await page.getByRole('button', { name: 'Repair' }).click();
  await page.getByText('Repair was cancelled.').waitFor();
  await mock((m) => (m.service.repairOutcome = 'ok'));
  const repaired = await requestsOf(session, () => page.getByRole('button', { name: 'Repair' }).click(), /^\d+\trepair\t$/);
  assert.ok(repaired.includes('repair\t'));
  await page.getByRole('heading', { name: 'Active' }).waitFor();
});

test("the service's errors are shown verbatim and bad game names are refused before sending", async () => {
  const session = await open({ service: active({ audioRestartError: 'Windows Audio did not start again (error 1053). Restart your PC.' }) });
  const { page, mock } = session;
  const message = (panel) => page.locator(`#${panel}-message`);
  await page.getByRole('radio', { name: 'Speakers (High Definition Audio)' }).check();
  await requestsOf(session, () => page.getByRole('button', { name: 'Use this headset' }).click(), /\tinstall /);
  assert.equal(
    await message('headset').textContent(),
    `this device already runs another app's audio effect (${FOREIGN}); Orvantis would replace it and break that app. Choose your headset or speakers instead.`,
  );
  await page.getByRole('radio', { name: 'Digital Output (HDMI Audio)' }).check();
  await requestsOf(session, () => page.getByRole('button', { name: 'Use this headset' }).click(), /\tinstall /);
  assert.equal(await message('headset').textContent(), 'Windows Audio did not start again (error 1053). Restart your PC.');
  await mock((m) => Object.assign(m.service, { endpointsError: true }) && m.refresh());
  await message('headset').filter({ hasText: /^cannot read endpoints$/ }).waitFor();

  const names = [
    ['', 'Type the game’s program name'],
    ['my game.exe', 'cannot contain spaces'],
    ['a.exe,b.exe', 'cannot contain a comma'],
    ['C:\\Games\\x.exe', 'without a folder'],
    ['game?.exe', 'not a file name Windows allows'],
    ['TslGame', 'must end in .exe'],
    ['.exe', 'must end in .exe'],
    ['tslgame.EXE', 'tslgame.EXE is already in the list'],
  ];
  const sentBefore = await mock((m) => m.requests.length);
  for (const [name, problem] of names) {
    await page.getByRole('textbox', { name: 'Add a game' }).fill(name);
    await page.getByRole('button', { name: 'Add', exact: true }).click();
    assert.match(await message('games').textContent(), new RegExp(problem.replace(/[.?]/g, '\\$&')));
    assert.equal(await page.getByRole('textbox', { name: 'Add a game' }).getAttribute('aria-invalid'), 'true');
  }
  assert.deepEqual(await mock((m, from) => m.requests.slice(from).filter((r) => r.includes('set games')), sentBefore), []);
});

test('while Windows audio restarts the page shows progress and stays usable', async () => {
  const session = await open({ service: active({ audioRestartMs: null }) });
  const { page, mock } = session;
  await page.getByRole('radio', { name: 'Digital Output (HDMI Audio)' }).check();
  await page.getByRole('button', { name: 'Use this headset' }).click();
  const progress = page.getByRole('progressbar');
  await progress.waitFor();
  assert.match(await page.getByRole('status').filter({ hasText: 'Windows audio restarts' }).textContent(), /sound stops for a moment/);
  assert.equal(await page.getByRole('button', { name: 'Use this headset' }).getAttribute('aria-busy'), 'true');
  assert.equal(await page.getByRole('button', { name: 'Remove from headset' }).isDisabled(), true);
  // Commands queue behind the restart in the service; the page keeps answering meanwhile.
  await page.getByRole('checkbox', { name: 'Notifications' }).uncheck();
  await page.waitForFunction(() => window.__mock.prefs.notify === 0);
  await page.getByRole('radio', { name: 'Strong' }).check();
  assert.equal(await page.getByRole('radio', { name: 'Strong' }).isChecked(), true);

  await mock((m) => m.finishAudioRestart());
  await page.getByText('Orvantis is on your headset now.').waitFor();
  assert.equal(await progress.isVisible(), false);
  await page.waitForFunction(() => window.__mock.service.intensity === 3);
  await page.getByText('Orvantis is on this headset').waitFor();
  assert.equal(await page.locator('#fact-headset').textContent(), 'Digital Output (HDMI Audio)');
});

test('replies land on their own requests in any order, and a status read before a change never undoes it', async () => {
  const { page, mock } = await open({ service: active() });
  await mock((m) => (m.holding = true) && m.refresh());
  await page.waitForFunction(() => window.__mock.held.length === 2);
  await mock((m) => (m.holding = '\tstatus$'));
  await page.getByRole('radio', { name: 'Strong' }).check();
  await page.getByRole('switch', { name: 'Orvantis on' }).click();
  await page.getByRole('checkbox', { name: 'Start with Windows' }).check();
  await page.waitForFunction(() => !document.querySelector('[aria-busy="true"]'));
  await mock((m) => m.release('reverse')); // the listing, then the status read before the changes
  const shown = async () => [
    await page.getByRole('radio', { name: 'Strong' }).isChecked(),
    await page.getByRole('switch', { name: 'Orvantis on' }).getAttribute('aria-checked'),
    await page.getByRole('checkbox', { name: 'Start with Windows' }).isChecked(),
  ];
  assert.deepEqual(await shown(), [true, 'false', true]);
  await mock((m) => (m.holding = false) || m.release());
  await page.getByRole('heading', { name: 'Off' }).waitFor();
  assert.deepEqual(await shown(), [true, 'false', true]);
  assert.equal(await page.locator('[role="alert"]:not([hidden])').count(), 0);
});

test('a 2044-record meter batch every 16 ms causes no long task and is drawn only in animation frames', async () => {
  const { page, mock } = await open({ service: active() });
  await page.evaluate(() => {
    window.longTasks = [];
    new PerformanceObserver((list) => window.longTasks.push(...list.getEntries().map((e) => e.duration))).observe({ type: 'longtask' });
    window.drawsInHandlers = 0;
    for (const name of ['fill', 'stroke', 'fillRect', 'clearRect']) {
      const draw = CanvasRenderingContext2D.prototype[name];
      CanvasRenderingContext2D.prototype[name] = function (...args) {
        if (window.__mock.inHandler) window.drawsInHandlers++;
        return draw.apply(this, args);
      };
    }
  });
  const records = Array.from({ length: 2044 }, (_, k) => [(k * 37) % 65536, (k * 91) % 65536, k % 16]);
  await mock((m, batch) => m.floodMeter(batch, 16, 2000), records);
  const { longTasks, drawsInHandlers, drawn } = await page.evaluate(() => {
    const canvas = document.getElementById('meter');
    const pixels = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height).data;
    return { longTasks: window.longTasks, drawsInHandlers: window.drawsInHandlers, drawn: pixels.some((v, i) => i % 4 === 3 && v > 0) };
  });
  assert.deepEqual(longTasks, []);
  assert.equal(drawsInHandlers, 0);
  assert.ok(drawn, 'the meter drew the records');
  assert.equal(await page.locator('#meter-empty').isVisible(), false);
});

test('the window layout fits 520 px at scale 1 and 1.5, and works by keyboard alone', async () => {
  const long = 'Headset Earphone Microphone Combination Device With An Unusually Long Name (USB Audio Class 2.0 Device Driver)';
  for (const scale of [1, 1.5]) {
    const service = active({ games: ['TslGame.exe', 'AVeryLongGameExecutableNameWithoutAnyBreaks_Shipping_Win64.exe'] });
    service.endpoints.push({ id: '{0.0.0.00000000}.{x}', description: long, connector: 'USB', fx: 'none' });
    const { page } = await open({ service, scale, reducedMotion: 'reduce' });
    await page.getByText('Advanced options').click();
    const overflowing = await page.evaluate(() =>
      [document.documentElement, document.body, ...document.querySelectorAll('*')]
        .filter((element) => element.scrollWidth > element.clientWidth + 1 && getComputedStyle(element).overflowX !== 'visible')
        .map((element) => element.id || element.className || element.tagName),
    );
    assert.deepEqual(overflowing, [], `scale ${scale}`);
    const look = await page.evaluate(() => ({
      background: getComputedStyle(document.documentElement).backgroundColor,
      titleBar: getComputedStyle(document.querySelector('.titlebar')).appRegion,
      buttons: [...document.querySelectorAll('.titlebar button')].map((b) => getComputedStyle(b).appRegion),
      breathing: getComputedStyle(document.querySelector('.state-dot')).animationName,
    }));
    assert.deepEqual(look, { background: 'rgb(10, 10, 11)', titleBar: 'drag', buttons: ['no-drag', 'no-drag', 'no-drag'], breathing: 'none' });
  }
  const session = await open({ service: active() });
  const { page } = session;
  let focused = '';
  for (let presses = 0; presses < 8 && focused !== 'Orvantis on'; presses++) {
    await page.keyboard.press('Tab');
    focused = await page.evaluate(() => document.activeElement.getAttribute('aria-label'));
  }
  assert.equal(focused, 'Orvantis on');
  assert.notEqual(await page.evaluate(() => getComputedStyle(document.activeElement).outlineStyle), 'none');
  assert.ok((await requestsOf(session, () => page.keyboard.press('Space'), /set wanted 0$/)).includes('pipe\tset wanted 0'));
  await page.keyboard.press('Tab');
  assert.ok((await requestsOf(session, () => page.keyboard.press('ArrowRight'), /set intensity 3$/)).includes('pipe\tset intensity 3'));
});

test('axe finds no serious or critical accessibility problem', async () => {
  const require = createRequire(import.meta.url);
  const axeSource = await readFile(require.resolve('axe-core/axe.min.js'), 'utf8');
  for (const service of [active(), active({ journal: null, drift: 0 }), active({ drift: 1 }), { running: false }]) {
    const { page } = await open({ service });
    await page.getByText('Advanced options').click();
    await page.evaluate(axeSource);
    const violations = await page.evaluate(async () => {
      const result = await window.axe.run(document, { resultTypes: ['violations'] });
      return result.violations.filter((v) => v.impact === 'serious' || v.impact === 'critical').map((v) => `${v.id}: ${v.nodes.map((n) => n.target).join(' ')}`);
    });
    assert.deepEqual(violations, [], JSON.stringify(service));
  }
});
