// The way back to the model: every user event is one POST, answered by the server; what
// changes comes back over the event stream, never from the answer.

const TOKEN_PLACEHOLDER = '{{SWFHARVEX_TOKEN}}';

function pageToken() {
    const meta = document.querySelector('meta[name="swfharvex-token"]');
    const token = meta ? meta.content : '';
    return token === TOKEN_PLACEHOLDER ? '' : token;
}

const token = pageToken();

export function hasToken() {
    return token !== '';
}
let statusTimer = 0;

// A refusal or a lost connection is shown for a while: the user must learn that an action did
// not reach the model.
export function showStatus(text, { sticky = false } = {}) {
    const line = document.getElementById('status');
    line.textContent = text;
    line.hidden = false;
    clearTimeout(statusTimer);
    if (!sticky) {
        statusTimer = setTimeout(() => {
            line.hidden = true;
        }, 8000);
    }
}

export function clearStatus() {
    clearTimeout(statusTimer);
    document.getElementById('status').hidden = true;
}

// Events still on their way, per object: a text field keeps what the user typed until the
// model has heard all of it.
const pending = new Map();
const settledListeners = new Set();

export function isPending(oid) {
    return (pending.get(oid) ?? 0) > 0;
}

async function describeRefusal(response) {
    let reason = `${response.status}`;
    try {
        const body = await response.json();
        if (body && typeof body.error === 'string') {
            reason += ` ${body.error}`;
        }
    } catch {
        // Not JSON: the status alone says it.
    }
    return reason;
}

// Sends {oid, kind, ...fields}; resolves to whether the server took it.
// Called with an oid when its last event has been answered.
export function onSettled(listener) {
    settledListeners.add(listener);
}

// A page's bridge calls, relayed for the frame they came from: `event` is the page's own, the
// view is ours. One at a time per page, so the native side hears them in the order made; a page
// that floods its bridge loses what is past the queue's bound (the server would refuse it
// anyway). Refusals are the server's to log; the page learns nothing from them.
const MOST_QUEUED_PAGE_CALLS = 256;
const pageQueues = new Map(); // view oid → { tail: Promise, length }

export function sendPage(oid, event) {
    const queue = pageQueues.get(oid) ?? { tail: Promise.resolve(), length: 0 };
    pageQueues.set(oid, queue);
    if (queue.length >= MOST_QUEUED_PAGE_CALLS) {
        return;
    }
    queue.length++;
    queue.tail = queue.tail
        .then(() =>
            fetch('/page', {
                method: 'POST',
                credentials: 'same-origin',
                headers: { 'Content-Type': 'application/json', 'X-SWFHarvex-Token': token },
                body: JSON.stringify({ ...event, oid }),
            }),
        )
        .catch(() => {
            // The server is gone: the status line says so for the user's own events.
        })
        .finally(() => {
            queue.length--;
        });
}

export async function send(oid, kind, fields = {}) {
    pending.set(oid, (pending.get(oid) ?? 0) + 1);
    let ok = false;
    try {
        if (!token) {
            throw new Error('the page carries no token');
        }
        const response = await fetch('/event', {
            method: 'POST',
            credentials: 'same-origin',
            headers: { 'Content-Type': 'application/json', 'X-SWFHarvex-Token': token },
            body: JSON.stringify({ oid, kind, ...fields }),
        });
        ok = response.ok;
        if (!ok) {
            showStatus(`Not done (${kind}): ${await describeRefusal(response)}`);
        }
    } catch (error) {
        showStatus(`Not sent (${kind}): ${error.message}`);
    } finally {
        const left = (pending.get(oid) ?? 1) - 1;
        if (left > 0) {
            pending.set(oid, left);
        } else {
            pending.delete(oid);
            for (const listener of settledListeners) {
                listener(oid);
            }
        }
    }
    return ok;
}
