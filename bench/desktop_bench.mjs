// The desktop's latencies as a person meets them, in headless Chromium against the real command:
// from a click on a movie in the list to the panel showing its facts, from a capture finishing
// to the browser window calling it caught, from the Reload button to the list showing every
// movie; and the bytes the event stream carries for a run with MOVIES caught and listed.
//   node bench/desktop_bench.mjs --modules build/e2e/node_modules \
//       --swfharvex build/test/apps/swfharvex --swfmovie build/test/tools/swfmovie/swfmovie
//       [--movies 1000] [--clicks 30] [--pause MS between clicks, 1000]
import http from 'node:http';
import { mkdtemp, rm } from 'node:fs/promises';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';
import { makeMovie, serveFiles, startDesktop } from '../tests/e2e/desktop.mjs';
import { benchOptions, report } from './desktop_common.mjs';
import { launchBrowser, until } from '../tests/e2e/harness.mjs';

const values = benchOptions({ movies: { type: 'string', default: '1000' }, clicks: { type: 'string', default: '30' }, pause: { type: 'string', default: '1000' } });
const MOVIES = Number(values.movies);
const CLICKS = Number(values.clicks);
// Between clicks a person looks at the facts and the movie: the movie has started meanwhile.
const PAUSE = Number(values.pause);

const line = (what, list) => report(what, list, 44);

// Counts what one event-stream client receives.
// Counts what one event-stream client receives, in all and by event name.
function countStream(port, token) {
    let bytes = 0;
    let text = '';
    const byName = new Map();
    const counts = new Map();
    const request = http.get({ host: '127.0.0.1', port, path: '/events', headers: { Cookie: `swfharvex_token=${token}` } }, (response) => {
        response.on('data', (chunk) => {
            bytes += chunk.length;
            text += chunk.toString('latin1');
            let end;
            while ((end = text.indexOf('\n\n')) >= 0) {
                const event = text.slice(0, end + 2);
                text = text.slice(end + 2);
                const name = /^event: (\w+)/.exec(event)?.[1] ?? 'ping';
                byName.set(name, (byName.get(name) ?? 0) + event.length);
                counts.set(name, (counts.get(name) ?? 0) + 1);
            }
        });
    });
    request.on('error', () => {});
    const kib = (n) => `${(n / 1024).toFixed(0)} KiB`;
    return {
        bytes: () => bytes,
        parts: () => [...byName].map(([name, size]) => `${name} ${kib(size)} in ${counts.get(name)}`).join(', '),
        stop: () => request.destroy(),
    };
}

const home = await mkdtemp(join(tmpdir(), 'swfharvex-bench-home-'));
const work = await mkdtemp(join(tmpdir(), 'swfharvex-bench-movies-'));
const browser = await launchBrowser(resolve(values.modules), values.chromium);
const desktop = await startDesktop(resolve(values.swfharvex), home);
const stream = countStream(desktop.port, desktop.token);
try {
    const page = await browser.context.newPage();
    await page.goto(desktop.url);
    await page.waitForSelector('body[data-ready]');
    const dialog = (name) => page.getByRole('dialog', { name, exact: true });

    // Movies of different frame sizes, so that each click changes the panel.
    const sizes = [];
    const files = {};
    for (let i = 0; i < MOVIES; i++) {
        sizes.push([100 + (i % 500), 100 + Math.floor(i / 500)]);
    }
    const kinds = new Map();
    for (const [width, height] of sizes) {
        const key = `${width}x${height}`;
        if (!kinds.has(key)) {
            kinds.set(key, await makeMovie(resolve(values.swfmovie), work, key, { version: 10, width, height, frameRate: 24, frames: 1 }));
        }
    }
    const names = sizes.map(([width, height], i) => `m${String(i).padStart(4, '0')}_${width}x${height}.swf`);
    names.forEach((name, i) => {
        files[name] = kinds.get(`${sizes[i][0]}x${sizes[i][1]}`);
    });
    // The last movie comes from a second page, after the rest: its capture is the one timed.
    const last = names.pop();
    const embeds = (list) => list.map((name) => `<embed src="${name}" width="10" height="10">`).join('');
    const finished = new Map(); // name → resolves with when the server sent its last byte
    files['all.html'] = `<html><body>${embeds(names)}</body></html>`;
    const server = await serveFiles(files, (name, at) => finished.get(name)?.(at));
    const browserWindow = dialog('Browser');
    const load = async (name) => {
        await browserWindow.getByRole('textbox', { name: 'Address of the page to load' }).fill(server.url(name));
        await browserWindow.getByRole('button', { name: 'Load' }).click();
    };
    const started = Date.now();
    await load('all.html');
    await until(async () => (await browserWindow.textContent()).includes(`(${names.length} plug-in objects: ${names.length} caught)`), `${names.length} movies caught`, 120000);
    console.log(`${names.length} movies caught in ${Date.now() - started} ms`);

    // Capture finished → the browser window says so. The page notes when its text changes.
    const captureToShown = [];
    for (let round = 0; round < 5; round++) {
        const name = round === 0 ? last : `again${round}_${last}`;
        files[name] = files[last];
        await page.evaluate(() => {
            window.__caught = new Promise((resolveCaught) => {
                const observer = new MutationObserver(() => {
                    if (document.body.textContent.includes(window.__expect)) {
                        observer.disconnect();
                        resolveCaught(Date.now());
                    }
                });
                observer.observe(document.body, { subtree: true, childList: true, characterData: true });
            });
        });
        await page.evaluate((text) => {
            window.__expect = text;
        }, `${server.url(name)} \u2014 caught`);
        const pageName = `p${round}.html`;
        files[pageName] = `<html><body>${embeds([name])}</body></html>`;
        const sent = new Promise((resolveSent) => finished.set(name, resolveSent));
        await load(pageName);
        const sentAt = await sent;
        const shownAt = await page.evaluate(() => window.__caught);
        captureToShown.push(shownAt - sentAt);
    }

    // The list window: Reload shows every movie; a click shows the movie's facts.
    await page.getByRole('menubar').getByRole('menuitem', { name: 'SWFHarvex', exact: true }).click();
    await page.getByRole('menu', { name: 'SWFHarvex' }).getByRole('menuitem', { name: 'Captured SWFs…' }).click();
    const list = dialog('Captured SWFs');
    await list.waitFor();
    await list.locator('header .title').click();
    const frame = page.frameLocator('iframe[title="Caught movies"]');
    await until(async () => (await frame.getByRole('option').count()) > 0, 'the list page', 20000);
    // The list is in a frame of another origin: each side is timed in its own document, on the
    // clock both share.
    const listFrame = await (await page.$('iframe[title="Caught movies"]')).contentFrame();
    const reloadToList = [];
    const total = await frame.getByRole('option').count();
    for (let round = 0; round < 5; round++) {
        await listFrame.evaluate((count) => {
            const list = document.getElementById('list');
            window.benchShown = new Promise((done) => {
                new MutationObserver((_, observer) => {
                    if (list.children.length === count) {
                        observer.disconnect();
                        done(Date.now());
                    }
                }).observe(list, { childList: true });
            });
        }, total);
        const clicked = await page.evaluate(() => {
            [...document.querySelectorAll('button')].find((b) => b.textContent === 'Reload').click();
            return Date.now();
        });
        reloadToList.push((await listFrame.evaluate(() => window.benchShown)) - clicked);
    }

    const clickToFacts = [];
    for (let i = 0; i < CLICKS; i++) {
        await new Promise((resolvePause) => setTimeout(resolvePause, PAUSE));
        const index = (i * 37) % total;
        const name = await listFrame.evaluate((at) => document.querySelectorAll('#list [role=option]')[at].textContent, index);
        const size = /_(\d+)x(\d+)\.swf$/.exec(name);
        await page.evaluate((expect) => {
            const panel = () => [...document.querySelectorAll('[role=dialog]')].find((d) => d.getAttribute('aria-label') === 'Captured SWFs');
            window.benchShown = new Promise((done) => {
                new MutationObserver((_, observer) => {
                    if (panel().textContent.includes(expect)) {
                        observer.disconnect();
                        done(Date.now());
                    }
                }).observe(panel().parentElement, { subtree: true, childList: true, characterData: true });
            });
        }, `${size[1]}*${size[2]}px`);
        const clicked = await listFrame.evaluate((at) => {
            document.querySelectorAll('#list [role=option]')[at].click();
            return Date.now();
        }, index);
        clickToFacts.push((await page.evaluate(() => window.benchShown)) - clicked);
    }

    line('click on a movie -> panel shows its facts', clickToFacts);
    line('capture finished -> browser window: caught', captureToShown);
    line(`Reload -> list shows all ${total} movies`, reloadToList);
    console.log(`event stream: ${(stream.bytes() / 1024).toFixed(0)} KiB for the whole run (${total} movies caught and listed, ${CLICKS} clicks, 5 reloads): ${stream.parts()}`);
    await server.stop();
} finally {
    stream.stop();
    await desktop.stop();
    await browser.close();
    await rm(home, { recursive: true, force: true });
    await rm(work, { recursive: true, force: true });
}
