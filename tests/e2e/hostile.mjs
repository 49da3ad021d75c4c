// A caught movie is hostile input. Played in the captured-SWF window, a movie that knows the run's
// token tries to read the desktop and to drive it; a script in each of the window's frames tries
// the same. Nothing may happen: nothing pressed, no setting changed, no file written outside the
// capture folder, and the desktop logs what it refused.
import { readdir, readFile, stat } from 'node:fs/promises';
import { dirname, join, relative } from 'node:path';
import { check, same, until } from './harness.mjs';
import { makeMovie, serveFiles, withMovieDesktop } from './desktop.mjs';

// Every file under `folder` but those under `skip`, with its size and time: what a run wrote.
async function filesUnder(folder, skip) {
    const found = {};
    for (const entry of await readdir(folder, { recursive: true, withFileTypes: true }).catch(() => [])) {
        const path = join(entry.parentPath ?? entry.path, entry.name);
        if (entry.isFile() && !path.startsWith(skip)) {
            const facts = await stat(path).catch(() => null);
            found[relative(folder, path)] = facts && `${facts.size} ${facts.mtimeMs}`;
        }
    }
    return found;
}

// What the movie asks for: the desktop's page and the frames' addresses, the user's events and the
// pages' calls with the token and without, and the same routes on its own origin.
function attack(desktop) {
    const origin = `http://127.0.0.1:${desktop.port}`;
    const withToken = { 'X-SWFHarvex-Token': desktop.token, 'Content-Type': 'application/json' };
    const requests = [{ method: 'GET', url: `${origin}/` }, { method: 'GET', url: '/' }, { method: 'GET', url: '/events' }];
    for (let oid = 1; oid <= 8; oid++) {
        requests.push({ method: 'GET', url: `${origin}/frame/${oid}` });
    }
    for (let oid = 1; oid <= 24; oid++) {
        requests.push({ method: 'POST', url: `${origin}/event`, headers: withToken, body: JSON.stringify({ oid, kind: 'click' }) });
    }
    for (let oid = 1; oid <= 8; oid++) {
        requests.push({ method: 'POST', url: `${origin}/event`, body: JSON.stringify({ oid, kind: 'edit', text: '/tmp' }) });
    }
    requests.push({ method: 'POST', url: `${origin}/page`, headers: withToken, body: JSON.stringify({ oid: 1, kind: 'click' }) });
    requests.push({ method: 'POST', url: '/event', headers: withToken, body: JSON.stringify({ oid: 1, kind: 'click' }) });
    return requests;
}

export function hostileSuite(suite, context, command, swfmovie) {
    const bundleBanner = join(dirname(dirname(command)), 'SWFHarvex.bundle', 'Resources', 'AdBrowser.swf');
    return withMovieDesktop(suite, context, { command, swfmovie, name: 'hostile' }, async ({ desktop, page, home, work, dialog, chooseFromMenu, loadInBrowserWindow, player }) => {
        const capture = join(home, 'Documents', 'SWFHarvexData');
        const list = dialog('Captured SWFs');
        const files = {};
        const server = await serveFiles(files);
        try {
            await chooseFromMenu('Captured SWFs…');
            await list.waitFor();
            const banner = await readFile(bundleBanner);

            await suite.run('a caught movie that knows the token drives nothing, and each attempt is refused', async () => {
                files['AdBrowser.swf'] = await makeMovie(swfmovie, work, 'AdBrowser', {
                    version: 10, width: 320, height: 240, frameRate: 12, frames: 1, background: '#ff00ff', requests: attack(desktop),
                });
                files['attack.html'] = '<html><body><embed src="AdBrowser.swf" width="320" height="240"></body></html>';
                await loadInBrowserWindow(server.url('attack.html'), [server.url('AdBrowser.swf')]);
                const settingsBefore = await filesUnder(join(home, '.config'), capture);
                const homeBefore = await filesUnder(home, capture);
                const folderBox = await list.getByRole('combobox').inputValue();

                await list.locator('header .title').click();
                await list.getByRole('button', { name: 'Reload' }).click();
                await player.choose('AdBrowser.swf');
                // The frame's policy stops the movie's requests to the desktop in the browser, token or
                // not, and the browser reports each. Its relative addresses resolve, as on the site,
                // against the page it came from, which the policy stops too: the movie reaches only
                // its own files.
                for (const line of [
                    `refused http://127.0.0.1:${desktop.port}`,
                    "frames: the page's policy (connect-src",
                    `refused ${server.url('event')} (403, frames: the page's policy (connect-src))`,
                    `refused ${server.url('events')} (403, frames: the page's policy (connect-src))`,
                ]) {
                    await until(() => desktop.output().includes(line), `the log to say ${line}`, 20000).catch((error) => {
                        const refusals = desktop.output().split('\n').filter((said) => said.includes('refused'));
                        throw new Error(`${error.message}; it said:\n${refusals.join('\n')}`);
                    });
                }
                await suite.screenshot(page, 'hostile-movie-playing');
                // Give any request that got through the time to act: none may have.
                await new Promise((resolve) => setTimeout(resolve, 1000));
                same(await desktop.opened(), [], 'addresses the desktop opened');
                same(await list.getByRole('combobox').inputValue(), folderBox, 'the folder box');
                same(await filesUnder(join(home, '.config'), capture), settingsBefore, 'the settings files');
                same(await filesUnder(home, capture), homeBefore, 'the files outside the capture folder');
                check((await readFile(bundleBanner)).equals(banner), "the bundle's own banner movie was replaced");
                check(await page.getByRole('alertdialog').count() === 0, 'a sheet is up');
            });

            await suite.run("a script in each of the window's frames reaches nothing of the desktop's", async () => {
                const frames = page.frames().filter((frame) => frame !== page.mainFrame());
                same(frames.length >= 2, true, 'frames of the captured-SWF window');
                const before = await filesUnder(home, capture);
                for (const frame of frames) {
                    const tried = await frame.evaluate(async ({ port, token }) => {
                        const desktopOrigin = `http://127.0.0.1:${port}`;
                        const results = {};
                        const attempts = {
                            page: [`${desktopOrigin}/`, {}],
                            frame: [`${desktopOrigin}/frame/1`, {}],
                            event: [`${desktopOrigin}/event`, { method: 'POST', headers: { 'X-SWFHarvex-Token': token }, body: '{"oid":1,"kind":"click"}' }],
                        };
                        for (const [name, [url, init]] of Object.entries(attempts)) {
                            try {
                                const response = await fetch(url, { credentials: 'include', ...init });
                                results[name] = `read ${response.status}`;
                            } catch {
                                results[name] = 'blocked';
                            }
                        }
                        results.token = document.documentElement.outerHTML.includes(token) ? 'found' : 'absent';
                        results.popup = window.open('about:blank') === null ? 'blocked' : 'opened';
                        // Straight to the desktop page, past the page's own bridge object.
                        parent.postMessage({ swfharvex: 'page', event: { oid: 1, kind: 'click' } }, '*');
                        parent.postMessage({ swfharvex: 'page', event: { kind: 'call', object: 'cocoaApp', name: 'Save', args: [] } }, '*');
                        return results;
                    }, { port: desktop.port, token: desktop.token });
                    same(tried, { page: 'blocked', frame: 'blocked', event: 'blocked', token: 'absent', popup: 'blocked' }, `what ${frame.url()} reached`);
                }
                for (const line of ['a page may only use its bridge, not click', 'the page may not call cocoaApp.Save']) {
                    await until(() => desktop.output().includes(line), `the log to say ${line}`);
                }
                same(await desktop.opened(), [], 'addresses the desktop opened');
                same(await filesUnder(home, capture), before, 'the files outside the capture folder');
            });
        } finally {
            await server.stop();
        }
    });
}
