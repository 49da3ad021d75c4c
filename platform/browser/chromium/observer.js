// Runs in every frame before the page's own scripts. It makes the page believe a Flash player is
// installed, so that embedding scripts insert their movies, and reports each plug-in object the
// moment it enters the document (or its address changes) to the host, through the binding the
// host installed. The rules for what is a plug-in object are the host's static reader's.
// It also tells the host when its document is quiet: loaded, with no timer due within `horizonMs`
// (the host's settle time), so that a page ends once it has nothing left to do. The engine calls
// this function with that time.
((horizonMs) => {
  'use strict';
  const BINDING = '__swfharvexReport';
  if (globalThis.__swfharvexObserving) {
    return;
  }
  Object.defineProperty(globalThis, '__swfharvexObserving', { value: true });
  // The browser may install the binding after this script has run: reports wait for it (see
  // flush), and it leaves the page's reach once taken.
  let binding = null;
  const takeBinding = () => {
    if (typeof binding !== 'function' && typeof globalThis[BINDING] === 'function') {
      binding = globalThis[BINDING];
      try {
        delete globalThis[BINDING];
      } catch (e) {
        // kept; harmless
      }
    }
    return typeof binding === 'function';
  };

  // Originals, taken before any page script can replace them.
  const getAttribute = Element.prototype.getAttribute;
  const hasAttribute = Element.prototype.hasAttribute;
  const rectOf = Element.prototype.getBoundingClientRect;
  const querySelectorAll = Element.prototype.querySelectorAll;
  const createElement = Document.prototype.createElement;
  const hrefOf = Object.getOwnPropertyDescriptor(HTMLAnchorElement.prototype, 'href');
  const baseURIOf = Object.getOwnPropertyDescriptor(Node.prototype, 'baseURI').get;
  const stringify = JSON.stringify;
  const performanceNow = Performance.prototype.now;
  const nativeSetTimeout = globalThis.setTimeout;
  const nativeClearTimeout = globalThis.clearTimeout;
  const nativeSetInterval = globalThis.setInterval;
  const nativeClearInterval = globalThis.clearInterval;
  const readyStateOf = Object.getOwnPropertyDescriptor(Document.prototype, 'readyState').get;

  // --- A Flash player, as embedding scripts test for it ---
  const flash = {
    name: 'Shockwave Flash',
    description: 'Shockwave Flash 32.0 r0',
    filename: 'Flash Player.plugin',
    version: '32.0.0.0',
  };
  const mimeTypes = [
    { type: 'application/x-shockwave-flash', suffixes: 'swf', description: 'Shockwave Flash' },
    { type: 'application/futuresplash', suffixes: 'spl', description: 'FutureSplash Player' },
  ];
  const listOf = (entries, key) => {
    const list = {};
    entries.forEach((entry, i) => {
      list[i] = entry;
      list[entry[key]] = entry;
    });
    Object.defineProperties(list, {
      length: { value: entries.length },
      item: { value: (i) => entries[i] || null },
      namedItem: { value: (name) => list[name] || null },
      refresh: { value: () => {} },
      [Symbol.iterator]: { value: () => entries[Symbol.iterator]() },
    });
    return list;
  };
  mimeTypes.forEach((mime) => {
    mime.enabledPlugin = flash;
  });
  Object.assign(flash, listOf(mimeTypes, 'type'));
  Object.defineProperty(flash, 'length', { value: mimeTypes.length });
  const plugins = listOf([flash], 'name');
  const mimes = listOf(mimeTypes, 'type');
  Object.defineProperty(Navigator.prototype, 'plugins', { get: () => plugins, configurable: true });
  Object.defineProperty(Navigator.prototype, 'mimeTypes', { get: () => mimes, configurable: true });

  // Pop-ups and dialogs would stop or multiply the page; a browser with a blocker shows none.
  window.open = () => null;

  // --- Plug-in objects ---
  const attr = (element, name) => {
    const value = getAttribute.call(element, name);
    return value === null ? '' : value.trim();
  };
  const paramURL = (object) => {
    for (const child of object.children) {
      if (child.localName === 'param') {
        const name = attr(child, 'name').toLowerCase();
        if (name === 'movie' || name === 'src') {
          return attr(child, 'value');
        }
      }
    }
    return '';
  };
  // The URL as written, or '' when the element names none.
  const urlTextOf = (element) =>
    element.localName === 'embed' ? attr(element, 'src') : attr(element, 'data') || paramURL(element);
  const isPluginObject = (element) => {
    if (element.localName === 'embed') {
      return hasAttribute.call(element, 'src') || hasAttribute.call(element, 'type');
    }
    if (element.localName !== 'object' || hasAttribute.call(element, 'classid')) {
      return false;
    }
    return urlTextOf(element) !== '' || attr(element, 'type') !== '';
  };
  // A plug-in object hides its fallback content, as a browser with the plug-in shows none of it.
  const insideShownObject = (element) => {
    for (let up = element.parentElement; up; up = up.parentElement) {
      if (up.localName === 'object' && isPluginObject(up)) {
        return true;
      }
    }
    return false;
  };
  // Resolved as the document resolves links: against its base, in its character set.
  const resolve = (text) => {
    if (text === '') {
      return '';
    }
    const anchor = createElement.call(document, 'a');
    anchor.setAttribute('href', text);
    return hrefOf.get.call(anchor);
  };

  const reported = new WeakMap(); // element -> the URL and type it was last reported with
  const handles = new WeakMap();
  let nextHandle = 1;
  const pending = [];

  const consider = (element) => {
    if (!element.isConnected || !isPluginObject(element) || insideShownObject(element)) {
      return;
    }
    const urlText = urlTextOf(element);
    const type = attr(element, 'type');
    const key = urlText + '\n' + type;
    if (reported.get(element) === key) {
      return;
    }
    reported.set(element, key);
    if (!handles.has(element)) {
      handles.set(element, nextHandle++);
    }
    const names = [];
    const values = [];
    for (const attribute of element.attributes) {
      names.push(attribute.name);
      values.push(attribute.value);
    }
    // An object gives the player its flashvars and base as parameters; a browser hands them to
    // the plug-in beside the attributes, and an attribute of the same name wins.
    if (element.localName === 'object') {
      for (const child of element.children) {
        const name = child.localName === 'param' ? attr(child, 'name').toLowerCase() : '';
        if ((name === 'flashvars' || name === 'base') && !names.includes(name)) {
          names.push(name);
          values.push(getAttribute.call(child, 'value') || '');
        }
      }
    }
    const rect = rectOf.call(element);
    pending.push({
      handle: handles.get(element),
      tag: element.localName,
      url: resolve(urlText),
      urlText,
      base: baseURIOf.call(document),
      document: location.href,
      type,
      names,
      values,
      rect: [rect.x, rect.y, rect.width, rect.height],
    });
  };
  const considerTree = (node) => {
    if (node.nodeType !== Node.ELEMENT_NODE) {
      return;
    }
    if (node.localName === 'embed' || node.localName === 'object') {
      consider(node);
    }
    for (const inner of querySelectorAll.call(node, 'embed, object')) {
      consider(inner);
    }
  };
  let retrying = false;
  const flush = () => {
    if (pending.length === 0 || retrying) {
      return;
    }
    if (!takeBinding()) {
      retrying = true;
      setTimeout(() => {
        retrying = false;
        flush();
      }, 10);
      return;
    }
    binding(stringify(pending.splice(0)));
  };

  // --- Quiet ---
  // A timer due within the horizon is work the page will soon do, which may insert a movie; one
  // due later is not waited for. An interval is watched for the runs that fill its first second
  // (a script polling for its moment to insert a movie), counted rather than timed so that a
  // loaded machine does not cut them short; after them it is a heartbeat the host does not wait
  // for (its settle time bounds a page that never rests). Timers are known by when they are due, so the
  // page's own timers run untouched: a check set for just after a timer runs after it, and sees
  // what its callback did (the slack covers the browser's clamping of nested timers).
  const kSlackMs = 5;
  const kIntervalWatchMs = 1000;
  const now = () => performanceNow.call(performance);
  const due = new Map(); // timer id -> when it runs
  let quiet = null;
  const tell = (isQuiet) => {
    if (quiet !== isQuiet) {
      quiet = isQuiet;
      pending.push({ quiet });
      flush();
    }
  };
  const check = () => {
    const time = now();
    for (const [id, when] of due) {
      if (when <= time) {
        due.delete(id);
      }
    }
    tell(readyStateOf.call(document) === 'complete' && due.size === 0);
  };
  const checkIn = (ms) => nativeSetTimeout.call(globalThis, check, ms);
  const noteTimer = (id, ms) => {
    if (ms <= horizonMs) {
      due.set(id, now() + ms + kSlackMs);
      tell(false);
      checkIn(ms + kSlackMs);
    }
  };
  const dropTimer = (id) => {
    if (due.delete(id)) {
      checkIn(0);
    }
  };
  // Plain functions, so that the page's own calls (with `this` of the window or none) behave.
  globalThis.setTimeout = function setTimeout(handler, delay, ...args) {
    const ms = Math.max(0, Number(delay) || 0);
    const id = nativeSetTimeout.call(globalThis, handler, ms, ...args);
    noteTimer(id, ms);
    return id;
  };
  globalThis.setInterval = function setInterval(handler, delay, ...args) {
    const ms = Math.max(0, Number(delay) || 0);
    const watch = Math.min(kIntervalWatchMs, horizonMs);
    if (typeof handler !== 'function' || ms > watch) {
      const id = nativeSetInterval.call(globalThis, handler, ms, ...args);
      noteTimer(id, Math.max(ms, watch)); // a string's runs cannot be counted: timed instead
      return id;
    }
    const watchedRuns = Math.max(1, Math.ceil(watch / Math.max(ms, 1)));
    let runs = 0;
    let id = 0;
    const counted = function (...handlerArgs) {
      try {
        return handler.apply(this, handlerArgs);
      } finally {
        if (++runs === watchedRuns) {
          dropTimer(id);
        }
      }
    };
    id = nativeSetInterval.call(globalThis, counted, ms, ...args);
    due.set(id, Infinity);
    tell(false);
    return id;
  };
  globalThis.clearTimeout = function clearTimeout(id) {
    nativeClearTimeout.call(globalThis, id);
    dropTimer(id);
  };
  globalThis.clearInterval = function clearInterval(id) {
    nativeClearInterval.call(globalThis, id);
    dropTimer(id);
  };
  // After the task that completes the document, so that what its load handlers start is seen.
  document.addEventListener('readystatechange', () => checkIn(0));
  tell(false);

  new MutationObserver((records) => {
    for (const record of records) {
      if (record.type === 'attributes') {
        const target = record.target;
        considerTree(target.localName === 'param' && target.parentElement ? target.parentElement : target);
      } else {
        record.addedNodes.forEach(considerTree);
        // A <param> added to an object can give it its movie.
        const target = record.target;
        if (target.nodeType === Node.ELEMENT_NODE && target.localName === 'object') {
          consider(target);
        }
      }
    }
    flush();
    // What changed may have started work: a look once the change's task is over.
    checkIn(0);
  }).observe(document, {
    childList: true,
    subtree: true,
    attributes: true,
    attributeFilter: ['src', 'data', 'type', 'classid', 'value', 'name'],
  });
})
