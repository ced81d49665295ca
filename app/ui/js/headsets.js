// Choosing the headset: the endpoint listing as radios, putting the effect on
// one (the Windows audio service restarts meanwhile) and taking it off again.

import { parseEndpoints } from './endpoints.js';
import { isErrorReply, replyProblem } from './status.js';
import { byId, clearMessage, showMessage, whileBusy } from './ui.js';

// The app gives an install or uninstall up to 30 s.
const RESTART_SECONDS = 30;

const TAG_NOTES = {
  kestrune: 'Orvantis is on this headset',
  'other-effect': "Another app's sound effect is on this device",
};

export class Headsets {
  constructor(session) {
    this.session = session;
    this.list = byId('headsets');
    this.installButton = byId('install');
    this.uninstallButton = byId('uninstall');
    this.message = byId('headset-message');
    this.listingText = null;
    this.listingProblem = ''; // the listing's own error, while the message shows it
    this.selectedId = null; // the player's pick; null until they pick or one is in use
    this.working = false; // an install or uninstall is under way
    this.progressTimer = 0;
    session.subscribe(() => this.render());
    this.list.addEventListener('change', (event) => {
      this.selectedId = event.target.value;
      this.renderButtons();
    });
    this.installButton.addEventListener('click', () =>
      this.install(this.chosen, { full: byId('opt-full').checked, force: byId('opt-force').checked }, this.installButton),
    );
    this.uninstallButton.addEventListener('click', () => this.uninstall());
  }

  get current() {
    const status = this.session.status;
    return status && !status.failure ? status.endpoint : '';
  }

  /** The endpoint the radios show as chosen: the player's pick, else the one in use. */
  get chosen() {
    return this.selectedId ?? this.current;
  }

  render() {
    const listing = this.session.listing;
    if (listing && listing.text !== this.listingText) this.renderList(listing.text);
    this.renderButtons();
  }

  renderList(text) {
    this.listingText = text;
    const focusedId = this.list.contains(document.activeElement) ? document.activeElement.value : null;
    const endpoints = isErrorReply(text) ? [] : parseEndpoints(text);
    const problem = isErrorReply(text) ? replyProblem(text) : '';
    if (problem) showMessage(this.message, problem);
    else if (this.listingProblem && this.message.textContent === this.listingProblem) clearMessage(this.message);
    this.listingProblem = problem;
    byId('headsets-empty').hidden = endpoints.length > 0 || isErrorReply(text);
    this.list.replaceChildren(...endpoints.map((endpoint, index) => this.row(endpoint, index)));
    if (focusedId !== null) this.radio(focusedId)?.focus();
  }

  row(endpoint, index) {
    const row = document.createElement('label');
    row.className = 'headset';
    const radio = document.createElement('input');
    radio.type = 'radio';
    radio.name = 'headset';
    radio.value = endpoint.id;
    radio.setAttribute('aria-labelledby', `headset-name-${index}`);
    const text = document.createElement('span');
    text.className = 'headset-text';
    const name = document.createElement('span');
    name.className = 'headset-name';
    name.id = `headset-name-${index}`;
    name.textContent = endpoint.name;
    text.append(name);
    const note = TAG_NOTES[endpoint.tag];
    if (note) {
      const noteElement = document.createElement('span');
      noteElement.className = 'headset-note';
      noteElement.id = `headset-note-${index}`;
      noteElement.dataset.tag = endpoint.tag;
      noteElement.textContent = note;
      radio.setAttribute('aria-describedby', noteElement.id);
      text.append(noteElement);
    }
    row.append(radio, text);
    return row;
  }

  radio(id) {
    return [...this.list.querySelectorAll('input')].find((radio) => radio.value === id);
  }

  renderButtons() {
    for (const radio of this.list.querySelectorAll('input')) radio.checked = radio.value === this.chosen;
    const usable = !this.working && Boolean(this.session.status) && !this.session.status.failure;
    this.installButton.disabled = !usable || !this.radio(this.chosen);
    this.uninstallButton.disabled = !usable || !this.current;
  }

  /** Puts the effect on an endpoint; button shows the wait. Also used by "Put it back". */
  async install(id, { full, force }, button) {
    const command = `install ${id}${full ? ' full' : ''}${force ? ' force' : ''}`;
    const reply = await this.restartAudio(command, button, 'Putting Orvantis on your headset. Windows audio restarts, so sound stops for a moment');
    if (reply.ok) {
      byId('opt-force').checked = false;
      this.selectedId = null;
      showMessage(this.message, 'Orvantis is on your headset now.', 'info');
    }
  }

  async uninstall() {
    const reply = await this.restartAudio('uninstall', this.uninstallButton, 'Taking Orvantis off your headset. Windows audio restarts, so sound stops for a moment');
    if (reply.ok) showMessage(this.message, 'Your headset is back as it was before Orvantis.', 'info');
  }

  async restartAudio(command, button, waitText) {
    if (this.working) return { ok: false, text: '' };
    this.working = true;
    this.renderButtons();
    clearMessage(this.message);
    this.showProgress(waitText);
    const reply = await whileBusy(button, this.session.send(command));
    this.hideProgress();
    this.working = false;
    this.renderButtons();
    if (!reply.ok && replyProblem(reply.text)) showMessage(this.message, replyProblem(reply.text));
    return reply;
  }

  showProgress(waitText) {
    const bar = byId('install-bar');
    const time = byId('install-progress-time');
    byId('install-progress-text').textContent = `${waitText}…`;
    const started = performance.now();
    const tick = () => {
      const seconds = Math.min(RESTART_SECONDS, Math.floor((performance.now() - started) / 1000));
      bar.value = seconds;
      time.textContent = `${seconds} s, usually less than ${RESTART_SECONDS} s`;
    };
    tick();
    byId('install-progress').hidden = false;
    this.progressTimer = setInterval(tick, 1000);
  }

  hideProgress() {
    clearInterval(this.progressTimer);
    byId('install-progress').hidden = true;
  }
}
