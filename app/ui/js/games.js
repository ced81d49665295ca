// The games list: the programs whose running switches Orvantis on in automatic mode.

import { replyProblem } from './status.js';
import { byId, clearMessage, showMessage, whileBusy } from './ui.js';

// The service reads a request of at most 4095 bytes; longer ones get no reply.
const MAX_REQUEST_BYTES = 4095;
const FILE_NAME_FORBIDDEN = /[<>:"/\\|?*\u0000-\u001f]/;

/** Process names are compared ignoring the case of A to Z only. */
function sameName(a, b) {
  const fold = (name) => name.replace(/[A-Z]/g, (letter) => letter.toLowerCase());
  return fold(a) === fold(b);
}

/** Why a typed name cannot be added to the list, or "" when it can. */
export function gameNameProblem(name, games) {
  if (name === '') return 'Type the game\u2019s program name, for example TslGame.exe.';
  if (/\s/.test(name)) return 'The name cannot contain spaces.';
  if (name.includes(',')) return 'The name cannot contain a comma.';
  if (/[/\\:]/.test(name)) return 'Type only the file name, without a folder.';
  if (FILE_NAME_FORBIDDEN.test(name)) return 'That is not a file name Windows allows.';
  if (!/^.+\.exe$/i.test(name)) return 'The name must end in .exe, for example TslGame.exe.';
  if (games.some((game) => sameName(game, name))) return `${name} is already in the list.`;
  return '';
}

function commandFor(games) {
  return `set games ${games.join(',')}`;
}

export function mountGames(session) {
  const list = byId('games');
  const form = byId('add-game');
  const input = byId('game-name');
  const addButton = byId('add-game-button');
  const message = byId('games-message');
  let games = [];
  let saving = false;

  function renderList() {
    const focusedName = list.contains(document.activeElement) ? document.activeElement.dataset.game : null;
    list.replaceChildren(...games.map((name) => item(name)));
    const again = [...list.querySelectorAll('button')].find((button) => button.dataset.game === focusedName);
    (again ?? (focusedName !== null ? input : null))?.focus();
  }

  function item(name) {
    const row = document.createElement('li');
    row.className = 'game';
    const label = document.createElement('span');
    label.textContent = name;
    const remove = document.createElement('button');
    remove.type = 'button';
    remove.className = 'icon-button';
    remove.dataset.game = name;
    remove.setAttribute('aria-label', `Remove ${name}`);
    remove.title = games.length > 1 ? `Remove ${name}` : 'One game at least stays in the list';
    remove.disabled = saving || games.length < 2;
    remove.innerHTML = '<svg viewBox="0 0 16 16" width="14" height="14" aria-hidden="true"><path d="M4.5 4.5l7 7M11.5 4.5l-7 7"/></svg>';
    row.append(label, remove);
    return row;
  }

  function render() {
    const status = session.status;
    if (!status || saving) return;
    const usable = !status.failure;
    input.disabled = !usable;
    addButton.disabled = !usable;
    if (usable && status.games.join(',') !== games.join(',')) {
      games = status.games;
      renderList();
    }
  }

  async function save(next, button) {
    const command = commandFor(next);
    if (new TextEncoder().encode(command).length > MAX_REQUEST_BYTES) {
      showMessage(message, 'The list is too long. Remove a game first.');
      return false;
    }
    saving = true;
    clearMessage(message);
    for (const control of list.querySelectorAll('button')) control.disabled = true;
    const reply = await whileBusy(button, session.send(command));
    saving = false;
    if (reply.ok) games = next;
    else if (replyProblem(reply.text)) showMessage(message, replyProblem(reply.text));
    renderList();
    render();
    return reply.ok;
  }

  session.subscribe((what) => what === 'status' && render());

  form.addEventListener('submit', async (event) => {
    event.preventDefault();
    if (saving) return;
    const name = input.value.trim();
    const problem = gameNameProblem(name, games);
    input.setAttribute('aria-invalid', String(problem !== ''));
    if (problem) {
      showMessage(message, problem);
      input.focus();
      return;
    }
    if (await save([...games, name], addButton)) input.value = '';
  });

  input.addEventListener('input', () => input.removeAttribute('aria-invalid'));

  list.addEventListener('click', (event) => {
    const button = event.target.closest('button');
    if (!button || saving) return;
    save(games.filter((game) => game !== button.dataset.game), button);
  });
}
