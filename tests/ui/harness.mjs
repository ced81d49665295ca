// Opens the page as the app's web view would: app/ui served under a private
// https host by request routing, the mock bridge in place before the page runs.
// Every request for anything else, and every console error, is recorded.

import { readFile } from 'node:fs/promises';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { chromium } from 'playwright-core';
import { installMockBridge } from './mock_bridge.js';

export const HOST = 'kestrune.example';
const UI_FOLDER = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../../app/ui');
const TYPES = { '.html': 'text/html', '.css': 'text/css', '.js': 'text/javascript', '.svg': 'image/svg+xml', '.png': 'image/png' };

export function launchBrowser() {
  return chromium.launch({
    executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium',
    headless: true,
    args: [
      '--no-sandbox',
      '--disable-gpu',
      '--disable-quic',
      '--no-first-run',
      '--disable-background-networking',
      '--disable-component-update',
      '--disable-sync',
    ],
  });
}

async function serve(route, problems) {
  const url = new URL(route.request().url());
  const file = path.join(UI_FOLDER, decodeURIComponent(url.pathname));
  const inside = file.startsWith(UI_FOLDER + path.sep);
  if (url.protocol !== 'https:' || url.host !== HOST || !inside) {
    problems.push(`request outside the page: ${url.href}`);
    return route.abort('blockedbyclient');
  }
  try {
    const body = await readFile(file);
    return route.fulfill({ status: 200, body, contentType: TYPES[path.extname(file)] ?? 'application/octet-stream' });
  } catch {
    problems.push(`missing file: ${url.pathname}`);
    return route.fulfill({ status: 404, body: '' });
  }
}

/**
 * options: service and prefs (the mock's starting state), scale (device pixel
 * ratio), reducedMotion, seed (reply order); bridge(page), when given, puts
 * another bridge in place of the mock. Returns {page, problems, mock}:
 * mock(fn, arg) runs fn(window.__mock, arg) in the page.
 */
export async function openPage(browser, { service = {}, prefs = {}, scale = 1, reducedMotion = 'no-preference', seed = 1, bridge } = {}) {
  const context = await browser.newContext({ viewport: { width: 520, height: 760 }, deviceScaleFactor: scale, reducedMotion });
  const problems = [];
  await context.route('**/*', (route) => serve(route, problems));
  const page = await context.newPage();
  page.on('console', (message) => message.type() === 'error' && problems.push(`console: ${message.text()}`));
  page.on('pageerror', (error) => problems.push(`page error: ${error.message}`));
  await (bridge ? bridge(page) : page.addInitScript(installMockBridge, { service, prefs, seed }));
  await page.goto(`https://${HOST}/index.html`);
  // A string expression: evaluated by the debugger protocol, so the page's
  // content security policy (no eval) does not apply.
  const mock = (fn, arg) => page.evaluate(`(${fn})(window.__mock, ${JSON.stringify(arg ?? null)})`);
  return { page, context, problems, mock };
}
