// The switch, intensity, when to switch on, and the 15-second comparison.

import { replyProblem } from './status.js';
import { byId, clearMessage, isBusy, showMessage, whileBusy } from './ui.js';

const COMPARE_MS = 15000;

const INTENSITY_HINTS = {
  1: 'Light: a gentle lift for quiet steps; gunfire stays as it was.',
  2: 'Normal: steps clearly forward, loud bursts held back.',
  3: 'Strong: the most lift for distant steps; everything else sits lower.',
};

export function mountControls(session) {
  const power = document.querySelector('.power');
  const intensity = byId('intensity');
  const mode = byId('mode');
  const compare = byId('compare');
  const message = byId('sound-message');
  let compareUntil = 0; // performance.now() at which the comparison ends; 0 when none
  let compareTimer = 0;
  let statusAtStop = null; // a status read before the comparison ended must not start it again

  // The control shows the new value at once; a failure puts back what the
  // service last said. (On success the status read after the change renders.)
  async function change(control, command) {
    clearMessage(message);
    const reply = await whileBusy(control, session.send(command));
    if (reply.ok) return true;
    if (replyProblem(reply.text)) showMessage(message, replyProblem(reply.text));
    render();
    return false;
  }

  function renderPower(status) {
    if (isBusy(power)) return;
    power.disabled = Boolean(status.failure);
    power.setAttribute('aria-checked', String(status.wanted && !status.failure));
    power.querySelector('.power-text').textContent = status.wanted && !status.failure ? 'On' : 'Off';
  }

  function renderChoice(fieldset, value, usable) {
    if (isBusy(fieldset)) return;
    fieldset.disabled = !usable;
    for (const radio of fieldset.querySelectorAll('input')) radio.checked = usable && radio.value === value;
  }

  function renderCompare(status) {
    if (isBusy(compare)) return;
    if (status.comparing && !compareUntil && status !== statusAtStop) startCountdown();
    if (!status.comparing && compareUntil) stopCountdown();
    compare.disabled = !compareUntil && !(status.wanted && status.processing && !status.failure);
    compare.textContent = compareUntil ? 'Stop comparing' : 'Compare without';
    const left = Math.max(0, Math.ceil((compareUntil - performance.now()) / 1000));
    let hint = 'Listen for 15 seconds without Orvantis, then it comes back by itself.';
    if (compareUntil) hint = `Without Orvantis now. It comes back in ${left} s.`;
    else if (compare.disabled) hint = 'Available while Orvantis is active: hear 15 seconds without it.';
    byId('compare-hint').textContent = hint;
  }

  function startCountdown() {
    compareUntil = performance.now() + COMPARE_MS;
    clearInterval(compareTimer);
    compareTimer = setInterval(() => {
      if (performance.now() >= compareUntil) stopCountdown();
      render();
    }, 250);
  }

  function stopCountdown() {
    compareUntil = 0;
    clearInterval(compareTimer);
    statusAtStop = session.status;
  }

  function render() {
    const status = session.status;
    if (!status) return;
    renderPower(status);
    const usable = !status.failure;
    renderChoice(intensity, status.intensity.charAt(0), usable);
    renderChoice(mode, status.mode, usable);
    renderCompare(status);
    byId('intensity-hint').textContent = INTENSITY_HINTS[status.intensity.charAt(0)] ?? '';
  }

  session.subscribe((what) => what === 'status' && render());

  power.addEventListener('click', () => {
    if (isBusy(power)) return;
    const want = power.getAttribute('aria-checked') !== 'true';
    power.setAttribute('aria-checked', String(want));
    power.querySelector('.power-text').textContent = want ? 'On' : 'Off';
    change(power, `set wanted ${want ? 1 : 0}`);
  });

  intensity.addEventListener('change', (event) => {
    byId('intensity-hint').textContent = INTENSITY_HINTS[event.target.value];
    change(intensity, `set intensity ${event.target.value}`);
  });

  mode.addEventListener('change', (event) => change(mode, `set mode ${event.target.value}`));

  compare.addEventListener('click', async () => {
    if (isBusy(compare)) return;
    const starting = !compareUntil;
    if (await change(compare, `set compare ${starting ? 1 : 0}`)) {
      if (starting) startCountdown();
      else stopCountdown();
    }
    render();
  });
}
