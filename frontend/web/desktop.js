// The desktop: keeps the latest description of every visible window and of the menu bar, as
// the server streams them, and draws them. The model decides everything; this only presents.
import { drawMenuBar, wireMenuBar } from './menubar.js';
import { dropFramesOutside, pageCalled, placeFrames, resetPages } from './frames.js';
import { drawSheet } from './sheets.js';
import { place, topLeft } from './geometry.js';
import { clearStatus, hasToken, isPending, onSettled, send, showStatus } from './transport.js';
import { drawView } from './views.js';

const DEFAULT_TITLE_BAR = 22;

const desktop = document.getElementById('desktop');
const bar = document.getElementById('menubar');
const windows = new Map(); // oid → description, in stacking order (front-most last)
let menubar = null;

function redrawWindow(oid) {
    drawWindow(windows.get(oid));
}

// A failed event leaves the control as the user left it: draw the model's state again.
const ctx = {
    async send(oid, kind, fields) {
        const ok = await send(oid, kind, fields);
        if (!ok) {
            for (const [windowOid, node] of drawnWindows) {
                if (node.querySelector(`[data-oid="${oid}"]`) || node.querySelector(`[data-key^="${oid}:"]`)) {
                    redrawWindow(windowOid);
                }
            }
        }
        return ok;
    },
};

const drawnWindows = new Map(); // oid → element

function titleBarHeight(description) {
    const content = description.contentView?.frame;
    const rest = content ? description.frame[3] - content[3] : 0;
    return rest > 0 ? rest : DEFAULT_TITLE_BAR;
}

function buildWindow(description) {
    const node = document.createElement('section');
    node.className = 'window';
    node.classList.toggle('key', description.key === true);
    node.setAttribute('role', 'dialog');
    node.setAttribute('aria-label', description.title ?? '');
    node.dataset.window = String(description.oid);
    const frame = topLeft(description.frame, desktop.clientHeight);
    // A window taller than the page keeps its title bar (and close box) within reach.
    frame.top = Math.max(0, frame.top);
    place(node, frame);

    const titleBarSize = titleBarHeight(description);
    const titleBar = document.createElement('header');
    titleBar.className = 'titlebar';
    titleBar.style.height = `${titleBarSize}px`;
    const close = document.createElement('button');
    close.type = 'button';
    close.className = 'close';
    close.setAttribute('aria-label', 'Close');
    close.dataset.key = `${description.oid}:close`;
    close.addEventListener('click', () => ctx.send(description.oid, 'close'));
    const title = document.createElement('span');
    title.className = 'title';
    title.textContent = description.title ?? '';
    titleBar.append(close, title);

    const content = document.createElement('div');
    content.className = 'content';
    const contentHeight = description.frame[3] - titleBarSize;
    place(content, { left: 0, top: titleBarSize, width: description.frame[2], height: contentHeight });
    if (description.contentView) {
        content.append(drawView(description.contentView, contentHeight, false, ctx));
    }
    node.append(titleBar, content);

    const sheets = (description.sheets ?? []).map((sheet) => drawSheet(sheet, ctx)).filter(Boolean);
    if (sheets.length > 0) {
        // Under a sheet nothing of the window takes input, not even the keyboard.
        titleBar.inert = true;
        content.inert = true;
        const overlay = document.createElement('div');
        overlay.className = 'overlay';
        overlay.style.top = `${titleBarSize}px`;
        overlay.append(...sheets);
        node.append(overlay);
    }
    node.addEventListener('pointerdown', () => raise(description.oid));
    return node;
}

// Keeps what the user is doing across a redraw: the focused element, and in a text field what
// was typed and not yet heard by the model (a late echo must not undo keystrokes).
function drawWindow(description) {
    const old = drawnWindows.get(description.oid);
    let node;
    try {
        node = buildWindow(description);
    } catch (error) {
        // One description the page cannot read must not take the rest of the desktop with it.
        showStatus(`Could not draw the window “${description.title ?? description.oid}”: ${error.message}`);
        return;
    }
    const active = document.activeElement;
    const focusedKey = old && old.contains(active) ? active.dataset.key : undefined;
    const fresh = focusedKey ? node.querySelector(`[data-key="${CSS.escape(focusedKey)}"]`) : null;
    let focusTarget = fresh;
    if (fresh && active.tagName === 'INPUT' && active.type === 'text' && fresh.tagName === 'INPUT') {
        const oid = Number(focusedKey.split(':')[0]);
        active.dataset.modelValue = fresh.dataset.modelValue;
        active.disabled = fresh.disabled;
        active.style.cssText = fresh.style.cssText;
        if (!isPending(oid)) {
            setValueKeepingCaret(active, fresh.dataset.modelValue);
        }
        fresh.replaceWith(active);
        focusTarget = active;
    }
    // The new drawing joins the page before the old one leaves, so that frames can move across.
    if (old) {
        old.after(node);
        placeFrames(node);
        old.remove();
    } else {
        desktop.append(node);
        placeFrames(node);
    }
    drawnWindows.set(description.oid, node);
    const firstInSheet = node.querySelector('.overlay [data-focus-first]')?.dataset.focusFirst;
    if (focusTarget && !focusTarget.closest('[inert]')) {
        focusTarget.focus();
    } else if (firstInSheet && !node.querySelector('.overlay')?.contains(focusTarget)) {
        node.querySelector(`[data-key="${CSS.escape(firstInSheet)}"]`)?.focus();
    }
    stack();
}

function setValueKeepingCaret(input, value) {
    if (value === undefined || input.value === value) {
        return;
    }
    const caret = input.selectionStart;
    input.value = value;
    if (caret !== null) {
        input.setSelectionRange(Math.min(caret, value.length), Math.min(caret, value.length));
    }
}

// The model's word on a field that was skipped while edits were on their way: once they are all
// answered and the user has paused, the field shows what the model holds.
const ECHO_GRACE_MS = 300;
onSettled((oid) => {
    const input = document.activeElement;
    if (input?.tagName !== 'INPUT' || input.dataset.key !== String(oid)) {
        return;
    }
    const typed = input.value;
    setTimeout(() => {
        if (document.activeElement === input && !isPending(oid) && input.value === typed) {
            setValueKeepingCaret(input, input.dataset.modelValue);
        }
    }, ECHO_GRACE_MS);
});

function stack() {
    let z = 1;
    for (const oid of windows.keys()) {
        const node = drawnWindows.get(oid);
        if (node) {
            node.style.zIndex = String(z++);
        }
    }
}

// Bringing a window to the front is the page's own arrangement.
function raise(oid) {
    const description = windows.get(oid);
    if (!description || [...windows.keys()].at(-1) === oid) {
        return;
    }
    windows.delete(oid);
    windows.set(oid, description);
    stack();
}

function removeWindow(oid) {
    windows.delete(oid);
    drawnWindows.get(oid)?.remove();
    drawnWindows.delete(oid);
    dropFramesOutside(desktop);
}

function parse(event) {
    try {
        return JSON.parse(event.data);
    } catch {
        showStatus(`Unreadable ${event.type} from the server`);
        return null;
    }
}

function onSnapshot(snapshot) {
    for (const oid of [...drawnWindows.keys()]) {
        removeWindow(oid);
    }
    resetPages(snapshot.pages);
    menubar = snapshot.menubar ?? null;
    drawMenuBar(bar, menubar, ctx);
    for (const description of snapshot.windows ?? []) {
        windows.set(description.oid, description);
        drawWindow(description);
    }
    document.body.dataset.ready = 'true';
}

function connect() {
    const stream = new EventSource('/events');
    stream.addEventListener('open', () => {
        if (hasToken()) {
            clearStatus();
        }
    });
    stream.addEventListener('error', () => {
        showStatus(
            stream.readyState === EventSource.CLOSED
                ? 'The connection to SWFHarvex has ended. Reload the page to reconnect.'
                : 'Reconnecting to SWFHarvex…',
            { sticky: true },
        );
    });
    stream.addEventListener('snapshot', (event) => {
        const snapshot = parse(event);
        if (snapshot) {
            onSnapshot(snapshot);
        }
    });
    stream.addEventListener('window', (event) => {
        const description = parse(event);
        if (description && description.visible === false) {
            removeWindow(description.oid);
        } else if (description) {
            const wasKey = windows.get(description.oid)?.key === true;
            windows.set(description.oid, description);
            drawWindow(description);
            // A window that becomes key comes to the front; one that only changed (a status line,
            // a transfer's progress) stays where the user put it.
            if (description.key === true && !wasKey) {
                raise(description.oid);
            }
        }
    });
    stream.addEventListener('script', (event) => {
        const call = parse(event);
        if (call && Array.isArray(call.args)) {
            pageCalled(call.view, { name: call.name, args: call.args });
        }
    });
    stream.addEventListener('closed', (event) => {
        const closed = parse(event);
        if (closed) {
            removeWindow(closed.oid);
        }
    });
    stream.addEventListener('menubar', (event) => {
        const description = parse(event);
        if (description !== null || event.data === 'null') {
            menubar = description;
            drawMenuBar(bar, menubar, ctx);
        }
    });
}

window.addEventListener('resize', () => {
    for (const description of windows.values()) {
        drawWindow(description);
    }
});

wireMenuBar(bar);
if (!hasToken()) {
    showStatus('This page carries no token: nothing done here can reach SWFHarvex.', { sticky: true });
}
connect();
