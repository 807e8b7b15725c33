'use strict';
// The board's page: the state arrives over the WebSocket, taps go back the same way.
(() => {
  const Sheets = 10, Slots = 36;
  const state = {
    sheets: Array(Sheets).fill(''),
    slots: Array.from({ length: Sheets }, () => Array.from({ length: Slots }, () => ['empty', ''])),
    shown: 0, view: 0, play: 'stopped', audition: false, now: { sheet: -1, slot: -1, title: '' }, left: 0,
    playing: [], master: 0,
  };
  const $ = (id) => document.getElementById(id);
  const banner = $('banner'), grid = $('grid'), tabs = $('tabs'), follow = $('follow'), queue = $('queue');
  const stateWords = { empty: 'empty', filled: '', playing: 'playing', next: 'next', queued: 'queued' };
  let socket = null, retry = 0;

  const send = (command) => {
    if (socket && socket.readyState === WebSocket.OPEN) socket.send(JSON.stringify(command));
  };

  // A label that wraps, then ends in an ellipsis (web.css).
  const label = (parent) => {
    const span = document.createElement('span');
    span.className = 'label';
    parent.appendChild(span);
    return span;
  };

  const buttons = [], titles = [];
  for (let b = 0; b < Slots; ++b) {
    const button = document.createElement('button');
    button.dataset.slot = b;
    titles.push(label(button));
    // A press at the pointer's touch, as the board's own buttons play at the mouse button's press;
    // its release when the pointer lets go (a button that plays while held stops then). A finger
    // on a page that scrolls may be starting a scroll, not a press: there the press waits for the
    // click, as it does for a key on the page's button.
    let held = null, pressedAtTouch = false;
    const press = () => {
      const queued = queue.getAttribute('aria-pressed') === 'true';
      send({ cmd: queued ? 'queue' : 'press', sheet: state.view, slot: b });
      return queued ? null : state.view;
    };
    const letGo = () => {
      if (held !== null) send({ cmd: 'release', sheet: held, slot: b });
      held = null;
    };
    const pageScrolls = () => {
      const page = document.scrollingElement || document.documentElement;
      return page.scrollHeight > page.clientHeight + 1 || page.scrollWidth > page.clientWidth + 1;
    };
    button.addEventListener('pointerdown', (e) => {
      pressedAtTouch = e.button === 0 && !(e.pointerType === 'touch' && pageScrolls());
      if (pressedAtTouch) held = press();
    });
    ['pointerup', 'pointercancel', 'pointerleave'].forEach((type) => button.addEventListener(type, letGo));
    button.addEventListener('click', () => {
      if (!pressedAtTouch) press();
      pressedAtTouch = false;
    });
    grid.appendChild(button);
    buttons.push(button);
  }
  // A tab reads its sheet's number, then as much of the name as fits: ten tabs that all read
  // "Music S…" on a phone say nothing.
  const tabButtons = [], tabNames = [];
  for (let s = 0; s < Sheets; ++s) {
    const tab = document.createElement('button');
    tab.setAttribute('role', 'tab');
    const text = label(tab), number = document.createElement('span');
    number.className = 'num';
    number.textContent = String(s + 1);
    text.append(number, ' ');
    tabNames.push(text.appendChild(document.createTextNode('')));
    tab.addEventListener('click', () => {
      if (follow.checked) send({ cmd: 'show', sheet: s });
      else { state.view = s; render(); }
    });
    tabs.appendChild(tab);
    tabButtons.push(tab);
  }
  document.querySelectorAll('#transport button[data-cmd]').forEach((b) =>
    b.addEventListener('click', () => send({ cmd: b.dataset.cmd })));

  // Stop All ends the whole show, so one stray tap must not do it: a second tap within ArmedMs,
  // or a finger held for HoldMs, stops all. The button says so, and shows when it is armed.
  const stopAll = $('stopall'), ArmedMs = 2000, HoldMs = 600;
  const stopAllWords = [stopAll.firstChild.textContent, stopAll.lastChild.textContent, stopAll.getAttribute('aria-label')];
  let armed = 0, holding = 0, heldOff = false;
  const showArmed = (on) => {
    stopAll.classList.toggle('armed', on);
    stopAll.firstChild.textContent = on ? 'Tap again ' : stopAllWords[0];
    stopAll.lastChild.textContent = on ? 'to stop all' : stopAllWords[1];
    stopAll.setAttribute('aria-label', on ? 'Stop All armed: tap again to stop all' : stopAllWords[2]);
  };
  const disarm = () => { clearTimeout(armed); armed = 0; showArmed(false); };
  const stopEverything = () => { disarm(); send({ cmd: 'stopall' }); };
  const letGoOfStopAll = () => { clearTimeout(holding); holding = 0; };
  stopAll.addEventListener('pointerdown', (e) => {
    if (e.button !== 0) return;
    letGoOfStopAll();
    heldOff = false;
    holding = setTimeout(() => { holding = 0; heldOff = true; stopEverything(); }, HoldMs);
  });
  ['pointerup', 'pointercancel', 'pointerleave'].forEach((type) => stopAll.addEventListener(type, letGoOfStopAll));
  stopAll.addEventListener('contextmenu', (e) => e.preventDefault());
  stopAll.addEventListener('click', () => {
    if (heldOff) { heldOff = false; return; } // the end of the hold that stopped all
    if (armed) return stopEverything();
    showArmed(true);
    armed = setTimeout(disarm, ArmedMs);
  });
  queue.addEventListener('click', () =>
    queue.setAttribute('aria-pressed', queue.getAttribute('aria-pressed') === 'true' ? 'false' : 'true'));
  follow.addEventListener('change', () => { if (follow.checked) { state.view = state.shown; render(); } });

  // The master level: a move sets the board's; the board's own moves show unless a finger is on it.
  const master = $('master'), masterValue = $('masterValue');
  let masterHeld = false;
  const showMasterValue = (db) => { masterValue.textContent = `${Math.round(db)} dB`; };
  master.addEventListener('input', () => {
    showMasterValue(Number(master.value));
    send({ cmd: 'master', db: Number(master.value) });
  });
  master.addEventListener('pointerdown', () => { masterHeld = true; });
  ['pointerup', 'pointercancel', 'change'].forEach((type) => master.addEventListener(type, () => { masterHeld = false; }));
  function renderMaster() {
    if (!masterHeld) master.value = String(Math.round(state.master));
    showMasterValue(masterHeld ? Number(master.value) : state.master);
  }

  const clock = (seconds) => {
    const s = Math.max(0, Math.ceil(seconds));
    return Math.floor(s / 60) + ':' + String(s % 60).padStart(2, '0');
  };

  function renderSlot(b) {
    const [kind, title] = state.slots[state.view][b];
    const button = buttons[b];
    button.className = kind;
    titles[b].textContent = kind === 'empty' ? '<empty>' : title;
    const word = stateWords[kind];
    button.setAttribute('aria-label', `Button ${b + 1}: ${kind === 'empty' ? 'empty' : title}${word && kind !== 'empty' ? ', ' + word : ''}`);
    button.title = titles[b].textContent;
  }

  function renderTime() {
    const left = $('left');
    left.textContent = clock(state.left);
    left.classList.toggle('ending', state.play !== 'stopped' && state.left > 0 && state.left <= 10);
  }

  // What plays, a row each: rows are made when the sounds change, and only their times otherwise.
  const playingList = $('playing');
  let playingIds = '';
  function renderPlaying() {
    const ids = state.playing.map((p) => p.id).join(',');
    if (ids !== playingIds) {
      playingIds = ids;
      playingList.replaceChildren(...state.playing.map((p) => {
        const row = document.createElement('li');
        const title = document.createElement('span'), output = document.createElement('span');
        const left = document.createElement('span'), stop = document.createElement('button');
        title.className = 'title'; output.className = 'output'; left.className = 'left';
        stop.textContent = 'Stop';
        stop.addEventListener('click', () => send({ cmd: 'stopsound', id: p.id }));
        row.append(title, output, left, stop);
        return row;
      }));
    }
    state.playing.forEach((p, i) => {
      const [title, output, left, stop] = playingList.children[i].children;
      title.textContent = p.paused ? `Paused: ${p.title}` : p.title;
      output.textContent = p.output;
      left.textContent = clock(p.left);
      left.classList.toggle('ending', !p.paused && p.left > 0 && p.left <= 10);
      stop.setAttribute('aria-label', `Stop ${p.title}`);
    });
    playingList.hidden = state.playing.length === 0;
  }

  function render() {
    for (let s = 0; s < Sheets; ++s) {
      const tab = tabButtons[s];
      tabNames[s].textContent = state.sheets[s];
      tab.setAttribute('aria-selected', s === state.view ? 'true' : 'false');
      tab.setAttribute('aria-label', `Sheet ${s + 1}: ${state.sheets[s]}${s === state.shown ? ', shown on the board' : ''}`);
      tab.classList.toggle('shown', s === state.shown);
    }
    for (let b = 0; b < Slots; ++b) renderSlot(b);
    $('nowTitle').textContent = state.now.title ? `${state.play === 'paused' ? 'Paused: ' : ''}${state.now.title}` : 'Nothing plays';
    $('audition').hidden = !state.audition;
    renderTime();
    renderPlaying();
    renderMaster();
  }

  // What the board answered this page (a press whose song cannot play), for a few seconds; a tap
  // puts it away.
  const notice = $('notice');
  let noticeTimer = 0;
  function say(text) {
    notice.textContent = text;
    notice.classList.add('shown');
    clearTimeout(noticeTimer);
    noticeTimer = setTimeout(() => notice.classList.remove('shown'), 6000);
  }
  notice.addEventListener('click', () => notice.classList.remove('shown'));

  function apply(m) {
    switch (m.t) {
      case 'all':
        state.sheets = m.sheets; state.slots = m.slots; state.shown = m.shown; state.play = m.play;
        state.audition = m.audition === true; state.now = m.now; state.left = m.time.left;
        state.playing = m.playing || []; state.master = m.master || 0;
        if (follow.checked) state.view = m.shown;
        return true;
      case 'slot':
        state.slots[m.sheet][m.slot] = [m.state, m.title];
        if (m.sheet === state.view) renderSlot(m.slot);
        return false;
      case 'sheet': state.sheets[m.sheet] = m.name; return true;
      case 'shown':
        state.shown = m.sheet;
        if (follow.checked) state.view = m.sheet;
        return true;
      case 'play': state.play = m.state; return true;
      case 'audition': state.audition = m.audition === true; return true;
      case 'now': state.now = m; return true;
      case 'time': state.left = m.left; renderTime(); return false;
      case 'playing': state.playing = m.playing; renderPlaying(); return false;
      case 'master': state.master = m.master; renderMaster(); return false;
      case 'error': say(m.text); return false;
      default: return false;
    }
  }

  function connect() {
    socket = new WebSocket(`ws://${location.host}/ws`);
    socket.onopen = () => { retry = 0; banner.classList.remove('shown'); };
    socket.onmessage = (e) => {
      const data = JSON.parse(e.data);
      let whole = false;
      for (const m of Array.isArray(data) ? data : [data]) whole = apply(m) || whole;
      if (whole) render();
    };
    socket.onclose = () => {
      banner.textContent = 'Connection lost: reconnecting…';
      banner.classList.add('shown');
      retry = Math.min(retry + 1, 6);
      setTimeout(connect, 250 * retry);
    };
  }
  render();
  banner.classList.add('shown');
  connect();
})();
