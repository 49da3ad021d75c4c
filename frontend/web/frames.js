// Web views as frames. A window is drawn afresh on every change, but a frame must live on (its
// page has state, a movie may be playing): each view's frame is kept here and moved into the new
// drawing without reloading. What the native side called in a page is kept too, so that a frame
// that loads (again) is brought up to date.

import { sendPage } from './transport.js';

const frames = new Map(); // view oid → { iframe, url, loaded }
const calls = new Map(); // view oid → [{ name, args }], the latest call of each function

// Pages run on the frames' own origin (see PROTOCOL.md): the desktop page talks to them only by
// messages, and only with that origin.
function originOf(text) {
    try {
        return new URL(text).origin === text ? text : '';
    } catch {
        return '';
    }
}
const framesOrigin = originOf(document.querySelector('meta[name="swfharvex-frames"]')?.content ?? '');
// Far longer than any page's title; a page cannot make the window's labels unreadable.
const LONGEST_TITLE = 200;

function deliver(entry, call) {
    if (!framesOrigin) {
        return; // a desktop page without the frames' origin runs no page
    }
    entry.iframe.contentWindow?.postMessage({ swfharvex: 'deliver', name: call.name, args: call.args }, framesOrigin);
}

// What a frame's page sent: its bridge's calls go to the server as that frame's view's, whatever
// view the message names; the server decides what a page may do.
window.addEventListener('message', (message) => {
    if (!framesOrigin || message.origin !== framesOrigin) {
        return;
    }
    for (const [oid, entry] of frames) {
        if (entry.iframe.contentWindow === message.source) {
            const data = message.data;
            if (data?.swfharvex === 'page' && data.event && typeof data.event === 'object') {
                sendPage(oid, data.event);
            } else if (data?.swfharvex === 'title' && typeof data.title === 'string' && data.title) {
                entry.iframe.title = data.title.slice(0, LONGEST_TITLE);
            }
            return;
        }
    }
});

function makeFrame(view) {
    const iframe = document.createElement('iframe');
    const entry = { iframe, url: view.url, loaded: false };
    iframe.className = 'page';
    iframe.dataset.view = String(view.oid);
    // Scripts run, on the frame's own origin; no pop-ups, forms, downloads or navigation of
    // the desktop page.
    iframe.setAttribute('sandbox', 'allow-scripts allow-same-origin');
    // Named by the page's file until the page says its title.
    iframe.title = decodeURIComponent(view.url.split('/').pop() || 'Web page');
    iframe.addEventListener('load', () => {
        entry.loaded = true;
        for (const call of calls.get(view.oid) ?? []) {
            deliver(entry, call);
        }
    });
    iframe.src = `/frame/${view.oid}`;
    return entry;
}

// The element that stands for the view in a window's drawing; the frame joins it in place().
export function frameHolder(view) {
    const holder = document.createElement('div');
    holder.className = 'control web';
    holder.dataset.frame = String(view.oid);
    let entry = frames.get(view.oid);
    if (entry && entry.url !== view.url) {
        // Another page: what was called in the old one is no longer the page's state.
        entry.iframe.remove();
        calls.delete(view.oid);
        entry = undefined;
    }
    if (!entry && view.url) {
        frames.set(view.oid, makeFrame(view));
    }
    return holder;
}

// Puts each view's frame into its holder in `node`, which must be in the document already. A
// frame still in the old drawing moves without reloading where the browser can do that.
export function placeFrames(node) {
    for (const holder of node.querySelectorAll('[data-frame]')) {
        const entry = frames.get(Number(holder.dataset.frame));
        if (!entry) {
            continue;
        }
        if (entry.iframe.isConnected && typeof holder.moveBefore === 'function') {
            holder.moveBefore(entry.iframe, null);
        } else {
            entry.loaded = false;
            holder.append(entry.iframe);
        }
    }
}

// Frames whose views are no longer drawn anywhere are let go.
export function dropFramesOutside(root) {
    for (const [oid, entry] of frames) {
        if (!root.querySelector(`[data-frame="${oid}"]`)) {
            entry.iframe.remove();
            frames.delete(oid);
        }
    }
}

// The native side called a page's function.
export function pageCalled(view, call) {
    const list = (calls.get(view) ?? []).filter((earlier) => earlier.name !== call.name);
    list.push(call);
    calls.set(view, list);
    const entry = frames.get(view);
    if (entry?.loaded) {
        deliver(entry, call);
    }
}

// A snapshot's pages replace whatever was known.
export function resetPages(pages) {
    calls.clear();
    for (const page of pages ?? []) {
        calls.set(page.view, page.calls);
    }
}
