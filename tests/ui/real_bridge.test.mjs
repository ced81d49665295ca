// The page end to end: instead of the mock, the app's own bridge processing and
// pipe client (bridge_stdio.exe under Wine), and behind them the product
// installed in a Wine prefix of its own with a fake headset. Driven through
// roles and names like a person; after each step the page shows the new
// state and the service's own status reply agrees. Steps run in order.

import assert from 'node:assert/strict';
import { after, afterEach, before, test } from 'node:test';
import { launchBrowser, openPage } from './harness.mjs';
import { WineProduct, registryValues } from './wine_product.mjs';

const HEADSET = '{2F8D5C61-7A3B-4E09-9D14-6B0E8C3A5F27}';
const HEADSET_NAME = 'Headphones (USB Headset)';

let product;
let browser;
let page;
let problems;

before(async () => {
  product = await WineProduct.start(HEADSET);
  browser = await launchBrowser();
  ({ page, problems } = await openPage(browser, { bridge: (p) => product.connect(p) }));
  await heading('No headset set up');
});

after(async () => {
  await browser?.close();
  await product?.shutDown();
});

afterEach(() => assert.deepEqual(problems, []));

const heading = (name) => page.getByRole('heading', { level: 1, name, exact: true }).waitFor();
const button = (name) => page.getByRole('button', { name, exact: true });
const fact = (text) => page.locator('#facts').getByText(text, { exact: true }).waitFor();
const idle = () => page.waitForFunction(() => !document.querySelector('[aria-busy="true"]'));

test('Use this headset puts Orvantis on the headset', async () => {
  await page.getByRole('radio', { name: HEADSET_NAME }).check();
  await button('Use this headset').click();
  await page.getByText('Orvantis is on your headset now.').waitFor();
  await heading('On, waiting for the game');
  await fact(HEADSET_NAME);
  await page.getByText('Orvantis is on this headset').waitFor();
  const status = await product.status();
  assert.equal(status.endpoint, HEADSET);
  assert.equal(status.install_phase, '2');
});

test('the switch turns Orvantis off and on', async () => {
  const power = page.getByRole('switch', { name: 'Orvantis on' });
  for (const [title, wanted] of [['Off', '0'], ['On, waiting for the game', '1']]) {
    await power.click();
    await heading(title);
    assert.equal((await product.status()).wanted, wanted);
    assert.equal(await power.getAttribute('aria-checked'), String(wanted === '1'));
  }
});

test('the intensity radios set the intensity', async () => {
  for (const [name, value] of [['Strong', '3'], ['Light', '1']]) {
    await page.getByRole('radio', { name, exact: true }).check();
    await fact(name);
    await idle();
    assert.equal((await product.status()).intensity, value);
  }
});

test('Always switches the effect on without a game, and the comparison takes it off for a while', async () => {
  await page.getByRole('radio', { name: 'Always' }).check();
  await fact('Always');
  assert.equal((await product.status()).mode, 'always');
  // The service's game watcher switches on; the page sees it on a later refresh.
  await heading('Active');
  assert.equal((await product.status()).processing, '1');

  await button('Compare without').click();
  await button('Stop comparing').waitFor();
  assert.equal((await product.status()).comparing, '1');
  await button('Stop comparing').click();
  await button('Compare without').waitFor();
  await idle();
  assert.equal((await product.status()).comparing, '0');

  await page.getByRole('radio', { name: 'While a game runs' }).check();
  await heading('On, waiting for the game');
  assert.equal((await product.status()).mode, 'auto');
});

test('games are added and removed, names beyond ASCII too', async () => {
  const add = (name) => async () => {
    await page.getByRole('textbox', { name: 'Add a game' }).fill(name);
    await button('Add').click();
  };
  const remove = (name) => () => button(`Remove ${name}`).click();
  const cases = [
    [add('Café.exe'), 'TslGame.exe,Café.exe'],
    [remove('TslGame.exe'), 'Café.exe'],
    [add('cs2.exe'), 'Café.exe,cs2.exe'],
    [remove('Café.exe'), 'cs2.exe'],
  ];
  for (const [act, games] of cases) {
    await act();
    await page.getByText(`Starts when ${games.split(',').join(' or ')} runs.`, { exact: true }).waitFor();
    assert.equal((await product.status()).games, games);
  }
});

test('the settings and the preference are in the registry', async () => {
  const minimised = page.getByRole('checkbox', { name: 'Start minimised' });
  const expected = (await minimised.isChecked()) ? '0x0' : '0x1';
  await minimised.click();
  await idle();
  const settings = await registryValues('HKLM\\SOFTWARE\\Kestrune');
  assert.deepEqual(
    { Wanted: settings.Wanted, Mode: settings.Mode, Intensity: settings.Intensity, Games: settings.Games },
    { Wanted: '0x1', Mode: '0x1', Intensity: '0x1', Games: 'cs2.exe' },
  );
  assert.equal((await registryValues('HKCU\\Software\\Kestrune')).StartMinimized, expected);
});

test('Remove from headset takes Orvantis off the headset', async () => {
  await button('Remove from headset').click();
  await page.getByText('Your headset is back as it was before Orvantis.').waitFor();
  await heading('No headset set up');
  assert.equal((await product.status()).endpoint, '');
});

test('once the product is uninstalled the page asks for a repair', async () => {
  const { code, out } = await product.uninstall();
  assert.equal(code, 0);
  assert.equal(out, 'uninstalled (endpoint restored, service and files removed)\n');
  await heading('Needs a repair');
  await page.getByText('The Orvantis service is not running').waitFor();
  await button('Repair').click();
  await page.getByText('Repair finished, but the service still does not answer.').waitFor();
  assert.ok(product.records.includes('repair'), product.records.join('; '));
});
