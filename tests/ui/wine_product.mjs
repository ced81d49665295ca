// The Windows side of the page's end-to-end test: the product folder staged
// from the Windows build, installed in a Wine prefix of its own, and the app's
// bridge (bridge_stdio.exe) running there with a fake headset. The program's
// lines go to the page; its records (window, shell, repair) are kept here.

import { spawn } from 'node:child_process';
import { cp, mkdir, readFile, rm } from 'node:fs/promises';
import { closeSync, existsSync, openSync } from 'node:fs';
import path from 'node:path';
import readline from 'node:readline';
import { fileURLToPath } from 'node:url';

const ROOT = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');
const BUILD = path.resolve(process.env.KESTRUNE_WINDOWS_BUILD ?? path.join(ROOT, 'build/windows'));
const BIN = path.join(BUILD, 'bin');
const WORK = path.join(BUILD, 'page_e2e');
const PREFIX = path.join(WORK, 'wineprefix');
const STAGE = path.join(WORK, 'Orvantis');
const INSTALLED = path.join(PREFIX, 'drive_c/Program Files/Kestrune/kestrune_service.exe');
const INSTALLED_WINDOWS = 'C:\\Program Files\\Kestrune\\kestrune_service.exe';
const DELIVERABLES = ['kestrune_service.exe', 'KestruneApo.dll', 'kestrune_app.exe', 'kestrune_ctl.exe'];
const WINE_ENV = { ...process.env, KESTRUNE_BUILD_DIR: BUILD, WINEPREFIX: PREFIX };
// Above the page's own ids, so these replies are the test's and never the page's.
const FIRST_TEST_ID = 1_000_000;
// The first run creates the prefix (about 10 s) before the program starts.
const READY_TIMEOUT_MS = 120_000;
const STEP_TIMEOUT_MS = 120_000;

const windowsPath = (unixPath) => `Z:${unixPath.replaceAll('/', '\\')}`;

/** An ASCII JSON string: the program's input form, whatever the text holds. */
function inputLine(text) {
  return `${JSON.stringify(text).replace(/[\u007f-\uffff]/g, (c) => `\\u${c.charCodeAt(0).toString(16).padStart(4, '0')}`)}\n`;
}

function exited(child, timeoutMs) {
  if (child.exitCode !== null || child.signalCode !== null) return Promise.resolve(true);
  return new Promise((resolve) => {
    const timer = setTimeout(() => resolve(false), timeoutMs);
    child.once('exit', () => {
      clearTimeout(timer);
      resolve(true);
    });
  });
}

/**
 * Runs a Windows program (or Wine's own, such as reg) in the prefix; resolves
 * to {code, out} with line ends as on Linux. Output goes through a file: the
 * installer can leave a Wine desktop process behind holding its handles.
 */
export async function wine(args, timeoutMs = STEP_TIMEOUT_MS) {
  const outPath = path.join(WORK, 'step.out');
  const fd = openSync(outPath, 'w');
  const child = spawn('bash', [path.join(ROOT, 'cmake/wine_run.sh'), ...args], { env: WINE_ENV, stdio: ['ignore', fd, fd] });
  closeSync(fd);
  if (!(await exited(child, timeoutMs))) child.kill('SIGKILL');
  const out = (await readFile(outPath, 'utf8')).replaceAll('\r\n', '\n');
  return { code: child.exitCode, out };
}

function wineserverKill() {
  return new Promise((resolve) => spawn('wineserver', ['-k'], { env: WINE_ENV, stdio: 'ignore' }).on('close', resolve).on('error', resolve));
}

/** Registry values under a key as {name: text}, read with Wine's reg. */
export async function registryValues(key) {
  const { out } = await wine(['reg', 'query', key]);
  const values = {};
  for (const match of out.matchAll(/^ {4}(\S+) {4}REG_\w+ {4}(.*)$/gm)) values[match[1]] = match[2];
  return values;
}

/** The product folder as shipped: the four deliverables and the page folder. */
async function stageProductFolder() {
  await rm(STAGE, { recursive: true, force: true });
  await mkdir(STAGE, { recursive: true });
  for (const name of DELIVERABLES) await cp(path.join(BIN, name), path.join(STAGE, name));
  await cp(path.join(ROOT, 'app/ui'), path.join(STAGE, 'ui'), { recursive: true });
}

export class WineProduct {
  constructor(child) {
    this.child = child;
    this.records = []; // what the app would have done to its window, the shell or the installer
    this.installed = false;
    this.nextId = FIRST_TEST_ID;
    this.waiting = new Map();
    this.toPage = null;
    readline.createInterface({ input: child.stdout }).on('line', (line) => this.route(line));
    // A program that ended answers every request still open, and any later one, with a failure.
    child.stdin.on('error', () => {});
    child.once('exit', () => {
      for (const answer of this.waiting.values()) answer({ ok: false, text: 'error bridge_stdio ended' });
      this.waiting.clear();
    });
    this.ready = new Promise((resolve, reject) => {
      readline.createInterface({ input: child.stderr }).on('line', (line) => {
        if (line === 'ready') resolve();
        else this.records.push(line);
      });
      child.once('exit', (code) => reject(new Error(`bridge_stdio ended early (${code}): ${this.records.join('; ')}`)));
      setTimeout(() => reject(new Error('bridge_stdio did not get ready')), READY_TIMEOUT_MS).unref();
    });
  }

  /**
   * A clean prefix with the fake headset, the program running (it keeps the
   * prefix's services alive) and the product installed from its folder.
   */
  static async start(headset) {
    for (const name of [...DELIVERABLES, 'bridge_stdio.exe', 'fake_audiosrv.exe']) {
      if (!existsSync(path.join(BIN, name))) throw new Error(`${name} is missing: build ${BUILD} first`);
    }
    await mkdir(WORK, { recursive: true });
    await wineserverKill(); // whatever an interrupted run left running
    await stageProductFolder();
    const child = spawn('bash', [path.join(ROOT, 'cmake/wine_run.sh'), path.join(BIN, 'bridge_stdio.exe'), '--headset', headset], {
      env: WINE_ENV,
      stdio: ['pipe', 'pipe', 'pipe'],
    });
    const product = new WineProduct(child);
    try {
      await product.ready;
      if (existsSync(INSTALLED)) await wine([INSTALLED_WINDOWS, 'uninstall']); // left by an interrupted run
      const { code, out } = await wine([`${windowsPath(STAGE)}\\kestrune_service.exe`, 'install']);
      if (code !== 0 || !out.includes('service running\n')) throw new Error(`install failed (${code}): ${out}`);
      product.installed = true;
    } catch (error) {
      await product.shutDown();
      throw error;
    }
    return product;
  }

  route(line) {
    const reply = JSON.parse(line);
    const waiter = this.waiting.get(reply.id);
    if (waiter) {
      this.waiting.delete(reply.id);
      waiter(reply);
    } else {
      this.toPage?.(line);
    }
  }

  /** One request of the test's own, straight to the program; resolves to the reply. */
  request(kind, argument) {
    const id = this.nextId++;
    if (this.child.exitCode !== null || this.child.signalCode !== null) return Promise.resolve({ ok: false, text: 'error bridge_stdio ended' });
    return new Promise((resolve) => {
      this.waiting.set(id, resolve);
      this.child.stdin.write(inputLine(`${id}\t${kind}\t${argument}`));
    });
  }

  /** The service's status reply as {key: value}. */
  async status() {
    const { ok, text } = await this.request('pipe', 'status');
    if (!ok) throw new Error(`status failed: ${text}`);
    return Object.fromEntries(text.trimEnd().split('\n').map((line) => line.split(/=(.*)/s, 2)));
  }

  /** For openPage: the page's web view speaks to this program. */
  async connect(page) {
    await page.exposeBinding('kestruneBridgeSend', (_source, message) => this.child.stdin.write(inputLine(message)));
    await page.addInitScript(installForwardingBridge);
    // A string expression: evaluated by the debugger protocol, so the page's
    // content security policy (no eval) does not apply.
    this.toPage = (line) => page.evaluate(`window.kestruneBridgeDeliver(${JSON.stringify(line)})`).catch(() => {});
  }

  /** Takes the product off the prefix's machine; resolves to the uninstaller's output. */
  async uninstall() {
    this.installed = false;
    return wine([INSTALLED_WINDOWS, 'uninstall']);
  }

  /** Leaves nothing behind: the product uninstalled, the program ended, the prefix's Wine stopped. */
  async shutDown() {
    if (this.installed) await this.uninstall();
    this.child.stdin.end();
    if (!(await exited(this.child, 20_000))) this.child.kill('SIGKILL');
    await wineserverKill();
  }
}

/**
 * The page's window.chrome.webview: string messages go to the program through
 * the exposed binding, and what the program prints arrives as message events
 * with the JSON parsed, as the app's web view delivers them. Runs in the page.
 */
function installForwardingBridge() {
  const webview = new EventTarget();
  webview.postMessage = (message) => {
    if (typeof message === 'string') window.kestruneBridgeSend(message);
  };
  window.kestruneBridgeDeliver = (jsonText) => webview.dispatchEvent(new MessageEvent('message', { data: JSON.parse(jsonText) }));
  window.chrome = window.chrome ?? {};
  window.chrome.webview = webview;
}
