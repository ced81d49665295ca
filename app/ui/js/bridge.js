// The page's end of the app's bridge. Requests go out as "id\tkind\targument"
// strings; replies come back as parsed objects {id, ok, text}, in any order, and
// are matched by id. Everything else the app posts is an event for listeners.

// Longer than the slowest request the app serves (repair waits up to 60 s), so
// a reply that never comes (a malformed request, a closed app) still settles.
const REPLY_TIMEOUT_MS = 90000;

export class Bridge {
  /** @param webview window.chrome.webview, or undefined outside the app */
  constructor(webview) {
    this.webview = webview;
    this.nextId = 1;
    this.pending = new Map();
    this.listeners = { refresh: [], fmt: [], meter: [] };
    webview?.addEventListener('message', (event) => this.receive(event.data));
  }

  /** Sends one request; resolves to {ok, text} and never rejects. */
  request(kind, argument = '') {
    if (!this.webview) {
      return Promise.resolve({ ok: false, text: 'error service' });
    }
    const id = this.nextId++;
    return new Promise((resolve) => {
      const timer = setTimeout(() => {
        this.pending.delete(id);
        resolve({ ok: false, text: 'error no answer from the app' });
      }, REPLY_TIMEOUT_MS);
      this.pending.set(id, { resolve, timer });
      this.webview.postMessage(`${id}\t${kind}\t${argument}`);
    });
  }

  /** A control-pipe command; the reply text is the service's, unchanged. */
  pipe(command) {
    return this.request('pipe', command);
  }

  /** name: "refresh" (no argument), "fmt" ([rate, channels, state]) or "meter" (records). */
  on(name, listener) {
    this.listeners[name].push(listener);
  }

  receive(message) {
    if (message === null || typeof message !== 'object') return;
    if ('id' in message) {
      this.settle(message);
    } else if (message.event === 'refresh') {
      this.emit('refresh', undefined);
    } else if (Array.isArray(message.fmt)) {
      this.emit('fmt', message.fmt);
    } else if (Array.isArray(message.meter)) {
      this.emit('meter', message.meter);
    }
  }

  settle(reply) {
    const waiter = this.pending.get(reply.id);
    if (!waiter) return;
    this.pending.delete(reply.id);
    clearTimeout(waiter.timer);
    waiter.resolve({ ok: reply.ok === true, text: typeof reply.text === 'string' ? reply.text : '' });
  }

  emit(name, value) {
    for (const listener of this.listeners[name]) listener(value);
  }
}
