// Small DOM helpers shared by the panels.

export function byId(id) {
  return document.getElementById(id);
}

/** Writes text only when it differs, so live regions announce changes and not every refresh. */
export function setText(element, text) {
  if (element.textContent !== text) element.textContent = text;
}

/** Shows a message under a panel; kind "error" (default) or "info". */
export function showMessage(element, text, kind = 'error') {
  element.textContent = text;
  element.dataset.kind = kind;
  element.setAttribute('role', kind === 'error' ? 'alert' : 'status');
  element.hidden = false;
}

export function clearMessage(element) {
  element.hidden = true;
  element.textContent = '';
}

/** Marks a button as waiting for its request (WAI-ARIA: aria-busy) for the promise's life. */
export async function whileBusy(button, promise) {
  button.setAttribute('aria-busy', 'true');
  try {
    return await promise;
  } finally {
    button.removeAttribute('aria-busy');
  }
}

export function isBusy(element) {
  return element.getAttribute('aria-busy') === 'true';
}
