// Writes the README's pictures of the page (docs/page-*.png): the window at
// 520 x 760, against the mock bridge, with a synthesised meter history.
// Run: npm run screenshots (in tests/ui).

import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { launchBrowser, openPage } from './harness.mjs';

const DOCS = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../../docs');
const HEADPHONES = '{0.0.0.00000000}.{5d2e7c1a-0b61-4c55-9a7e-3f1d2b8c9e01}';
const endpoints = [
  { id: HEADPHONES, description: 'Headphones', connector: 'USB Headset', fx: 'some' },
  { id: '{0.0.0.00000000}.{5d2e7c1a-0b61-4c55-9a7e-3f1d2b8c9e02}', description: 'Speakers', connector: 'High Definition Audio', fx: '{7A1C2E33-9F0B-4D1E-8E6A-0C5B4F3D2A11}' },
  { id: '{0.0.0.00000000}.{5d2e7c1a-0b61-4c55-9a7e-3f1d2b8c9e03}', description: 'Monitor', connector: 'HDMI Audio', fx: 'none' },
];
const attached = { device: HEADPHONES, full: false, savedFx: 'some' };

/** 8 s of a quiet match: room tone, footsteps every ~0.6 s lifted by the effect, two shots held down. */
function matchRecords() {
  let seed = 7;
  const noise = () => ((seed = (seed * 16807) % 2147483647) / 2147483647);
  const records = [];
  for (let k = 0; k < 1600; k++) {
    const stepPhase = k % 120;
    const step = stepPhase < 10 ? (0.012 + 0.01 * noise()) * (1 - stepPhase / 10) : 0;
    const shot = k % 800 > 700 && k % 800 < 730 ? 0.7 * (1 - (k % 800 - 700) / 30) : 0;
    const tone = 0.006 + 0.003 * noise();
    const input = Math.min(1, tone + step + shot);
    const output = Math.min(1, tone * 0.9 + step * 4.5 + shot * 0.35);
    const status = 8 | (step > 0.004 ? 1 : 0) | (k % 800 > 705 && k % 800 < 760 ? 6 : 0);
    records.push([Math.round(input * 65535), Math.round(output * 65535), status]);
  }
  return records;
}

const SHOTS = [
  { file: 'page-active.png', service: { journal: attached, gameRunning: 1 }, fmt: [48000, 2, 1] },
  { file: 'page-choose-headset.png', service: {}, scrollTo: '#headset-title' },
  {
    file: 'page-installing.png',
    service: { audioRestartMs: null },
    scrollTo: '#headset-title',
    act: async (page) => {
      await page.getByRole('radio', { name: 'Headphones (USB Headset)' }).check();
      await page.getByRole('button', { name: 'Use this headset' }).click();
      await page.getByRole('progressbar').waitFor();
      await page.waitForTimeout(2100);
    },
  },
  { file: 'page-drift.png', service: { journal: attached, drift: 1 } },
  { file: 'page-repair.png', service: { running: false } },
];

const browser = await launchBrowser();
for (const shot of SHOTS) {
  const { page, context, mock } = await openPage(browser, { service: { endpoints, ...shot.service } });
  await page.waitForFunction(() => window.__mock.unanswered === 0 && !/Checking/.test(document.querySelector('h1').textContent));
  if (shot.fmt) await mock((m, [fmt, records]) => m.emit({ fmt }) || m.emit({ meter: records }), [shot.fmt, matchRecords()]);
  if (shot.scrollTo) await page.locator(shot.scrollTo).evaluate((element) => element.closest('section').scrollIntoView());
  await shot.act?.(page);
  await page.evaluate(() => document.activeElement.blur());
  await page.waitForTimeout(200);
  await page.screenshot({ path: path.join(DOCS, shot.file) });
  await context.close();
  console.log(`docs/${shot.file}`);
}
await browser.close();
