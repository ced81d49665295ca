// What the page knows of the service and the effect: the latest status, the
// endpoint listing and the effect's format. Panels subscribe and render from it.

import { isServiceDown, readStatus } from './status.js';

/** Runs fn once at a time; calls made meanwhile fold into one more run. */
function singleFlight(fn) {
  let running = null;
  let again = false;
  return () => {
    if (running) {
      again = true;
      return running;
    }
    running = (async () => {
      try {
        do {
          again = false;
          await fn();
        } while (again);
      } finally {
        running = null;
      }
    })();
    return running;
  };
}

export class Session {
  constructor(bridge) {
    this.bridge = bridge;
    this.status = null; // readStatus() of the latest reply that is still true
    this.listing = null; // the latest reply to "endpoints": {ok, text}
    this.fmt = null; // [rate, channels, state] from the effect, or null
    this.listeners = [];
    // A status read while a change is under way may describe the world before
    // it; such a read is dropped and the change's own refresh replaces it.
    this.changesInFlight = 0;
    this.changeCount = 0;
    this.pollStatus = singleFlight(() => this.readStatusOnce());
    this.pollListing = singleFlight(() => this.readListingOnce());
    bridge.on('refresh', () => this.refresh());
    bridge.on('fmt', (fmt) => this.noteFmt(fmt));
  }

  /** listener(what): what is "status", "listing" or "fmt". */
  subscribe(listener) {
    this.listeners.push(listener);
  }

  /** Reads status and listing again; resolves when both have been read. */
  refresh() {
    return Promise.all([this.pollStatus(), this.pollListing()]);
  }

  /** Sends a command that changes something; resolves to the reply. */
  async send(command) {
    this.changesInFlight++;
    this.changeCount++;
    const reply = await this.bridge.pipe(command);
    this.changesInFlight--;
    this.changeCount++;
    if (isServiceDown(reply.text)) this.apply(readStatus(reply.text));
    this.refresh();
    return reply;
  }

  async readStatusOnce() {
    const stale = this.changesInFlight > 0;
    const changeCount = this.changeCount;
    const reply = await this.bridge.pipe('status');
    if (stale || changeCount !== this.changeCount) return;
    this.apply(readStatus(reply.text));
  }

  async readListingOnce() {
    this.listing = await this.bridge.pipe('endpoints');
    this.notify('listing');
  }

  apply(status) {
    this.status = status;
    this.notify('status');
  }

  noteFmt(fmt) {
    if (this.fmt && fmt.every((value, index) => value === this.fmt[index])) return;
    this.fmt = fmt.slice(0, 3);
    this.notify('fmt');
  }

  notify(what) {
    for (const listener of this.listeners) listener(what);
  }
}
