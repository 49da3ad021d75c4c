// Runs first in a web view's frame, before the page's own scripts: it makes the native side's
// exposed objects (such as `cocoaApp`) exist in the page, with exactly the methods and keys the
// server read off the native bridge's rules, and runs the native side's calls in the page.
//
// The frame runs on an origin of its own, with no token and no cookie of the desktop's: what the
// page does with its objects goes to the desktop page as a message, which relays it to the server
// as this frame's bridge call, where the native rules decide again. Nothing here is a secret: the
// page and its movies can read and bypass all of it, and gain nothing by doing so.
(function () {
    'use strict';

    const config = JSON.parse(document.currentScript.getAttribute('data-config'));
    const parents = new Set(config.parents);
    // The desktop page this frame is in; Chromium names it even across origins.
    const ancestor = window.location.ancestorOrigins?.[0];
    const parentOrigin = parents.has(ancestor) ? ancestor : config.parents[0];

    function post(event) {
        if (window.parent !== window) {
            window.parent.postMessage({ swfharvex: 'page', event }, parentOrigin);
        }
    }

    function fault(text) {
        console.warn(`SWFHarvex page bridge: ${text}`);
        post({ kind: 'fault', text });
    }

    // The page sees a plain object; reading or setting anything it does not offer is reported
    // (the server refuses and logs it) and gives nothing.
    function expose(exposed) {
        const target = Object.create(null);
        const values = Object.create(null);
        for (const method of exposed.methods) {
            target[method.name] = function (...args) {
                post({ kind: 'call', object: exposed.key, name: method.name, args });
            };
        }
        const properties = new Set(exposed.properties);
        return new Proxy(target, {
            get(object, key) {
                if (typeof key === 'symbol' || key in object) {
                    return object[key];
                }
                if (properties.has(key)) {
                    return values[key];
                }
                post({ kind: 'get', object: exposed.key, key });
                return undefined;
            },
            set(object, key, value) {
                if (typeof key === 'symbol') {
                    return false;
                }
                if (properties.has(key) && (typeof value === 'boolean' || typeof value === 'string')) {
                    values[key] = value;
                }
                post({ kind: 'set', object: exposed.key, key, value });
                return true;
            },
            has(object, key) {
                return key in object || properties.has(key);
            },
            defineProperty() {
                return false;
            },
            deleteProperty() {
                return false;
            },
        });
    }

    for (const exposed of config.objects) {
        Object.defineProperty(window, exposed.key, {
            value: expose(exposed),
            writable: false,
            configurable: false,
            enumerable: true,
        });
    }

    function decoded(segment) {
        try {
            return decodeURIComponent(segment);
        } catch {
            return segment;
        }
    }

    // A local path the native side gave the page (escaped, "%" left as it is), as the address
    // this frame's origin answers it at: inside the capture folder or the bundle's resources, else
    // nothing. The folder's part is matched decoded; the rest goes to the server as the page
    // received it, and the server finds the file under that name or its unescaped form.
    function localURL(path) {
        const segments = path.split('/');
        for (const folder of config.folders) {
            const root = folder.path.split('/').filter((segment, at) => at === 0 || segment !== '');
            const inside =
                segments.length > root.length &&
                root.every((segment, at) => decoded(segments[at]) === segment);
            if (inside) {
                return folder.url + segments.slice(root.length).map(encodeURIComponent).join('/');
            }
        }
        return null;
    }

    // The renderer hands over the native side's calls, in order.
    function deliver(name, args) {
        const fn = window[name];
        if (typeof fn !== 'function') {
            fault(`the page has no function ${name}`);
            return;
        }
        try {
            fn.apply(window, args);
        } catch (error) {
            fault(`${name} failed: ${error}`);
        }
    }

    // Only the desktop page speaks for the native side; the page's own messages are not calls.
    window.addEventListener('message', (message) => {
        const data = message.data;
        if (
            message.source !== window.parent ||
            !parents.has(message.origin) ||
            data?.swfharvex !== 'deliver' ||
            typeof data.name !== 'string' ||
            !Array.isArray(data.args)
        ) {
            return;
        }
        deliver(data.name, data.args);
    });

    // The desktop names the frame by the page's title, which it cannot read across origins.
    document.addEventListener('DOMContentLoaded', () => {
        if (window.parent !== window) {
            window.parent.postMessage({ swfharvex: 'title', title: document.title }, parentOrigin);
        }
    });

    Object.defineProperty(window, 'SWFHarvexFrame', {
        value: Object.freeze({ localURL }),
        writable: false,
        configurable: false,
    });
})();
