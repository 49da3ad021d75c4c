// The whole desktop: the real command serving the real model, driven as a person would.
import { execFile, spawn } from 'node:child_process';
import { chmod, cp, mkdir, mkdtemp, readdir, readFile, rm, writeFile } from 'node:fs/promises';
import http from 'node:http';
import net from 'node:net';
import { tmpdir } from 'node:os';
import { dirname, join } from 'node:path';
import { promisify } from 'node:util';
import { inflateSync } from 'node:zlib';
import { check, same, until } from './harness.mjs';

const READY_LINE = /SWFHarvex desktop: (http:\/\/127\.0\.0\.1:(\d+)\/\?token=([0-9A-Za-z]+))/;

// Starts the command in a home of its own, with an opener that only writes down what it was
// asked to open (no real browser or mail program starts).
export async function startDesktop(command, home) {
    const bin = join(home, 'bin');
    await mkdir(bin, { recursive: true });
    const opened = join(home, 'opened.txt');
    await writeFile(join(bin, 'xdg-open'), `#!/bin/sh\nprintf '%s\\n' "$1" >> '${opened}'\n`);
    await chmod(join(bin, 'xdg-open'), 0o755);
    // The command takes the port it is given or fails: a free one, asked of the system just before.
    const args = ['--no-open', '--port', String(await freePort())];
    const child = spawn(command, args, {
        env: {
            ...process.env,
            HOME: home,
            XDG_CONFIG_HOME: join(home, '.config'),
            PATH: `${bin}:${process.env.PATH}`,
        },
        stdio: ['ignore', 'pipe', 'pipe'],
    });
    let output = '';
    const ready = new Promise((resolve, reject) => {
        const read = (chunk) => {
            output += chunk;
            const found = READY_LINE.exec(output);
            if (found) {
                resolve({ url: found[1], port: Number(found[2]), token: found[3] });
            }
        };
        child.stdout.on('data', read);
        child.stderr.on('data', read);
        child.on('exit', (code) => reject(new Error(`the desktop ended (status ${code}) before it was ready:\n${output}`)));
        setTimeout(() => reject(new Error(`no address printed within 15 s:\n${output}`)), 15000);
    });
    const address = await ready;
    return {
        ...address,
        opened: async () => (await readFile(opened, 'utf8').catch(() => '')).split('\n').filter(Boolean),
        output: () => output,
        stop() {
            child.kill('SIGTERM');
            return new Promise((resolve) => {
                if (child.exitCode !== null) {
                    return resolve();
                }
                const force = setTimeout(() => child.kill('SIGKILL'), 5000);
                child.on('exit', () => {
                    clearTimeout(force);
                    resolve();
                });
            });
        },
    };
}

function freePort() {
    return new Promise((resolve, reject) => {
        const probe = net.createServer();
        probe.on('error', reject);
        probe.listen(0, '127.0.0.1', () => {
            const { port } = probe.address();
            probe.close(() => resolve(port));
        });
    });
}

// A raw request, so that the Host header and the path go out exactly as written.
function request(port, { method = 'GET', path, host = `127.0.0.1:${port}`, headers = {}, body }) {
    return new Promise((resolve, reject) => {
        const sent = http.request({ host: '127.0.0.1', port, method, path, headers: { Host: host, ...headers } }, (response) => {
            response.resume();
            response.on('end', () => resolve(response.statusCode));
        });
        sent.on('error', reject);
        sent.end(body);
    });
}

// A movie written by the build's own movie tool from its description.
export async function makeMovie(swfmovie, folder, name, description) {
    const json = join(folder, `${name}.json`);
    const out = join(folder, `${name}.swf`);
    await writeFile(json, JSON.stringify(description));
    await promisify(execFile)(swfmovie, [json, '-o', out]);
    return readFile(out);
}

// A loopback web server for the given files (name → Buffer or text, looked up per request);
// `onSent(name, time)` hears when a file's last byte went out; stop() ends it.
export async function serveFiles(files, onSent = () => {}) {
    const server = http.createServer((request, response) => {
        const name = decodeURIComponent(request.url.slice(1));
        if (!(name in files)) {
            response.writeHead(404).end();
            return;
        }
        const type = name.endsWith('.html') ? 'text/html' : 'application/x-shockwave-flash';
        response.on('finish', () => onSent(name, Date.now()));
        response.writeHead(200, { 'Content-Type': type });
        response.end(files[name]);
    });
    await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
    return {
        url: (name) => `http://127.0.0.1:${server.address().port}/${name}`,
        // The host's own browser keeps its connections open while the page stays in its tab.
        stop: () =>
            new Promise((resolve) => {
                server.close(resolve);
                server.closeAllConnections();
            }),
    };
}

async function filesContaining(folder, text) {
    const found = [];
    for (const entry of await readdir(folder, { recursive: true, withFileTypes: true }).catch(() => [])) {
        if (entry.isFile()) {
            const path = join(entry.parentPath ?? entry.path, entry.name);
            // A settings file being written is renamed into place at any moment: only what is
            // there counts.
            if ((await readFile(path, 'utf8').catch(() => '')).includes(text)) {
                found.push(path);
            }
        }
    }
    return found;
}

// A desktop in a home of its own for cases that play generated movies: `cases` gets the desktop,
// its page (open and ready), the person's driver (desktopDriver), a folder for movies and the
// captured-SWF window's player (watchPlayer). Everything stops and goes afterwards, whatever
// happened.
export async function withMovieDesktop(suite, context, { command, swfmovie, name }, cases) {
    const home = await mkdtemp(join(tmpdir(), `swfharvex-e2e-${name}-`));
    const work = await mkdtemp(join(tmpdir(), `swfharvex-e2e-${name}-movies-`));
    let desktop = null;
    let page = null;
    try {
        await suite.run(`the desktop starts for the ${name} cases`, async () => {
            check(swfmovie, 'no movie tool was given (--swfmovie)');
            desktop = await startDesktop(command, home);
        });
        if (desktop) {
            page = await context.newPage();
            await page.goto(desktop.url);
            await page.waitForSelector('body[data-ready]');
            // A failed case keeps what the person saw and the desktop's last words.
            suite.onFailure = async (name) => {
                await suite.screenshot(page, name);
                console.log(`      screenshot ${name}.png; the desktop's last lines:\n        ${desktop.output().split('\n').slice(-12).join('\n        ')}`);
            };
            await cases({ desktop, page, home, work, ...desktopDriver(page), player: watchPlayer(page) });
        }
    } finally {
        suite.onFailure = null;
        await page?.close();
        await desktop?.stop();
        await rm(home, { recursive: true, force: true });
        await rm(work, { recursive: true, force: true });
    }
}

// The colour of one pixel of a one-pixel PNG: with nothing above or to the left, every PNG filter
// leaves the bytes as they are.
export function pixelOf(png) {
    let at = 8;
    const data = [];
    while (at < png.length) {
        const length = png.readUInt32BE(at);
        const type = png.toString('latin1', at + 4, at + 8);
        if (type === 'IDAT') {
            data.push(png.subarray(at + 8, at + 8 + length));
        }
        at += 12 + length;
    }
    const row = inflateSync(Buffer.concat(data));
    return [row[1], row[2], row[3]];
}

const near = (a, b) => a.every((value, i) => Math.abs(value - b[i]) <= 24);

// The captured-SWF window's list page as a person sees it: its options, choosing one, and the
// colour at the centre of its player, read off the screen.
export function watchPlayer(page) {
    const frame = page.frameLocator('iframe[title="Caught movies"]');
    const centre = async () => {
        const box = await frame.locator('#stage').boundingBox();
        const png = await page.screenshot({ clip: { x: Math.round(box.x + box.width / 2), y: Math.round(box.y + box.height / 2), width: 1, height: 1 } });
        return pixelOf(png);
    };
    return {
        frame,
        options: frame.getByRole('option'),
        async choose(name) {
            const option = frame.getByRole('option', { name, exact: true });
            await option.click();
            await until(async () => (await option.getAttribute('aria-selected')) === 'true', `${name} to be marked`);
        },
        // `rgb` as [r, g, b]; `what` names it in a timeout.
        // Generous: the first movie of a fresh browser waits for the player's WebAssembly to
        // compile, which a loaded machine once stretched past 15 s. Speed is the benchmark's.
        plays: (rgb, what) => until(async () => near(await centre(), rgb), `the player to show ${what}`, 30000),
    };
}

// What a person does in the desktop, by role and name.
export function desktopDriver(page) {
    const dialog = (name) => page.getByRole('dialog', { name, exact: true });
    return {
        dialog,
        async chooseFromMenu(title) {
            await page.getByRole('menubar').getByRole('menuitem', { name: 'SWFHarvex', exact: true }).click();
            await page.getByRole('menu', { name: 'SWFHarvex' }).getByRole('menuitem', { name: title }).click();
        },
        async loadInBrowserWindow(address, caughtURLs) {
            const browser = dialog('Browser');
            // To the front, by the part of its title bar that other windows leave free.
            await browser.locator('header').click({ position: { x: 40, y: 8 } });
            await browser.getByRole('textbox', { name: 'Address of the page to load' }).fill(address);
            await browser.getByRole('button', { name: 'Load' }).click();
            for (const url of caughtURLs) {
                await until(async () => (await browser.textContent()).includes(`${url} \u2014 caught`), `${url} to be listed as caught`);
            }
        },
    };
}

export async function desktopSuite(suite, context, command, swfmovie) {
    const home = await mkdtemp(join(tmpdir(), 'swfharvex-e2e-home-'));
    // The companion the build assembles beside the command, where scripts/run installs it.
    const companion = join(dirname(command), 'Dissecta.app');
    const installed = join(home, '.local/share/swfharvex/Dissecta.app');
    await cp(companion, installed, { recursive: true }).catch(() => {});
    let desktop = null;
    await suite.run('the desktop starts and prints its address', async () => {
        desktop = await startDesktop(command, home);
    });
    if (!desktop) {
        await rm(home, { recursive: true, force: true });
        return;
    }
    const page = await context.newPage();
    const { dialog, chooseFromMenu, loadInBrowserWindow } = desktopDriver(page);

    try {
        await page.goto(desktop.url);
        await page.waitForSelector('body[data-ready]');

        await suite.run("the page carries the run's token for its posts", async () => {
            const meta = await page.locator('meta[name="swfharvex-token"]').getAttribute('content');
            same(meta, desktop.token, 'the token in the desktop page');
        });

        await suite.run('the menu bar carries the plug-in menu', async () => {
            await page.getByRole('menubar').getByRole('menuitem', { name: 'SWFHarvex', exact: true }).click();
            const menu = page.getByRole('menu', { name: 'SWFHarvex' });
            for (const title of ['Captured SWFs…', 'Preferences…', 'About SWFHarvex']) {
                check(await menu.getByRole('menuitem', { name: title }).isVisible(), `menu item ${title}`);
            }
            await suite.screenshot(page, 'desktop-menu');
            await page.keyboard.press('Escape');
        });

        await suite.run('the captured-SWF window opens from the menu', async () => {
            await chooseFromMenu('Captured SWFs…');
            const list = dialog('Captured SWFs');
            await list.waitFor();
            check(await list.getByRole('button', { name: 'Reload' }).isVisible(), 'its Reload button');
            check(await list.getByRole('separator').isVisible(), 'its divider');
            await suite.screenshot(page, 'desktop-captured-swfs');
        });

        await suite.run('a folder chosen in the captured-SWF window lands in its folder box', async () => {
            const list = dialog('Captured SWFs');
            await list.getByRole('button', { name: 'Browse…' }).click();
            const chooser = page.getByRole('alertdialog');
            await chooser.waitFor();
            await suite.screenshot(page, 'desktop-folder-chooser');
            await chooser.getByRole('button', { name: 'Choose' }).click();
            await chooser.waitFor({ state: 'detached' });
            await until(async () => (await list.getByRole('combobox').inputValue()) === home, `the folder box to read ${home}`);
        });

        await suite.run('a folder typed in Preferences reaches the settings file', async () => {
            await chooseFromMenu('Preferences…');
            const prefs = dialog('Preferences');
            await prefs.waitFor();
            await prefs.getByRole('radio', { name: 'Start from this folder:' }).check();
            const field = prefs.getByRole('textbox', { name: 'The folder the save dialog starts from' });
            await until(() => field.isEnabled(), 'the folder field to be enabled');
            const folder = join(home, 'Saved Movies');
            await field.fill(folder);
            await until(async () => (await filesContaining(join(home, '.config'), folder)).length > 0, 'the settings file to hold the folder');
            await suite.screenshot(page, 'desktop-preferences');
        });

        await suite.run("the About window's two links open through the desktop", async () => {
            await chooseFromMenu('About SWFHarvex');
            const about = dialog('About SWFHarvex');
            await about.waitFor();
            await suite.screenshot(page, 'desktop-about');
            const links = about.getByRole('link');
            same(await links.count(), 2, 'links');
            await links.nth(0).click();
            await links.nth(1).click();
            const opened = await until(async () => ((await desktop.opened()).length === 2 ? desktop.opened() : null), 'both links to be opened');
            // Each opener runs on its own: the order they write in is theirs.
            check(opened.some((url) => /^https?:\/\//.test(url)) && opened.some((url) => url.startsWith('mailto:')), `opened: ${opened.join(', ')}`);
            same(new URL(page.url()).pathname, '/', 'the page stays');
        });

        await suite.run('a window closes with its close box and opens again', async () => {
            const about = dialog('About SWFHarvex');
            await about.getByRole('button', { name: 'Close' }).click();
            await about.waitFor({ state: 'detached' });
            await chooseFromMenu('About SWFHarvex');
            await about.waitFor();
        });

        await suite.run("a page typed into the browser window is loaded and its movie caught", async () => {
            const movie = Buffer.from('FWS\x0a\x15\x00\x00\x00\x78\x00\x05\x5f\x00\x00\x0f\xa0\x00\x00\x18\x01\x00\x00\x00', 'latin1');
            const pages = await serveFiles({
                'page.html': '<html><body><embed src="movie.swf" width="550" height="400"></body></html>',
                'movie.swf': movie,
            });
            try {
                await loadInBrowserWindow(pages.url('page.html'), [pages.url('movie.swf')]);
                const kept = await readFile(join(home, 'Documents', 'SWFHarvexData', 'movie.swf'));
                check(kept.equals(movie), 'the caught movie is byte-exact in the capture folder');
                await suite.screenshot(page, 'desktop-browser');
            } finally {
                await pages.stop();
            }
        });

        await suite.run('caught movies are listed in the window, described on a click and saved byte-exact', async () => {
            check(swfmovie, 'no movie tool was given (--swfmovie)');
            const work = await mkdtemp(join(tmpdir(), 'swfharvex-e2e-movies-'));
            const movies = {
                'red.swf': await makeMovie(swfmovie, work, 'red', { version: 10, width: 320, height: 240, frameRate: 12, frames: 3, background: '#ff0000' }),
                'green.swf': await makeMovie(swfmovie, work, 'green', { version: 9, width: 640, height: 480, frameRate: 30, frames: 5, background: '#00ff00' }),
                'blue.swf': await makeMovie(swfmovie, work, 'blue', { version: 8, width: 200, height: 100, frameRate: 24, frames: 7, background: '#0000ff' }),
            };
            const embeds = Object.keys(movies).map((name) => `<embed src="${name}" width="100" height="100">`).join('');
            const pages = await serveFiles({ 'movies.html': `<html><body>${embeds}</body></html>`, ...movies });
            try {
                await loadInBrowserWindow(pages.url('movies.html'), Object.keys(movies).map((name) => pages.url(name)));
            } finally {
                await pages.stop();
                await rm(work, { recursive: true, force: true });
            }
            const list = dialog('Captured SWFs');
            if (!(await list.isVisible())) {
                await chooseFromMenu('Captured SWFs…');
            }
            // Brought in front of the browser window by its title bar, as a person would.
            await list.locator('header .title').click();
            await list.getByRole('button', { name: 'Reload' }).click();
            const frame = page.frameLocator('iframe[title="Caught movies"]');
            const options = frame.getByRole('option');
            await until(async () => (await options.count()) === 4, 'the page to list the four caught movies', 10000);
            await frame.getByRole('option', { name: 'green.swf' }).click();
            await until(async () => (await list.textContent()).includes('640*480px'), 'the panel to show the frame size');
            const text = await list.textContent();
            for (const fact of ['green', '9', '30', '5']) {
                check(text.includes(fact), `the panel shows ${fact}`);
            }
            await suite.screenshot(page, 'desktop-captured-movie');

            // Saved into a folder that is not there yet: the window asks, then creates it.
            const target = join(home, 'new folder');
            await list.getByRole('combobox').fill(target);
            await list.getByRole('button', { name: 'Save' }).click();
            const ask = page.getByRole('alertdialog');
            await ask.waitFor();
            await suite.screenshot(page, 'desktop-save-create-folder');
            await ask.getByRole('button', { name: 'OK' }).click();
            const saved = await until(async () => readFile(join(target, 'green.swf')).catch(() => null), 'the saved movie');
            check(saved.equals(movies['green.swf']), 'the saved movie is byte-exact');
        });

        await suite.run('the Open button opens the selected movie in the installed companion', async () => {
            await page.getByRole('menubar').getByRole('menuitem', { name: 'SWFHarvex', exact: true }).click();
            const item = page.getByRole('menu', { name: 'SWFHarvex' }).getByRole('menuitem', { name: 'Update Dissecta…' });
            check(await item.isDisabled(), 'the installed companion counts as current');
            await page.keyboard.press('Escape');
            const list = dialog('Captured SWFs');
            await list.getByRole('button', { name: 'Open in Dissecta' }).click();
            // The companion writes its report and hands it to the desktop's opener.
            const report = join(home, 'Documents/Dissecta/green.swf.html');
            await until(async () => (await desktop.opened()).includes(report), 'the companion to open its report', 10000);
            const html = await readFile(report, 'utf8');
            check(html.includes('SetBackgroundColor') && html.includes('green.swf'), 'the report describes the movie');
            const shown = await context.newPage();
            await shown.goto(`file://${report}`);
            await suite.screenshot(shown, 'dissecta-report');
            check(await shown.getByRole('heading', { name: /Needs from outside/ }).isVisible(), 'the report shows its sections');
            await shown.close();
        });

        await suite.run('the server refuses what a stranger could send', async () => {
            const cookie = `swfharvex_token=${desktop.token}`;
            const port = desktop.port;
            const cases = [
                ['no token', { path: '/' }, 403],
                ['a wrong token', { path: '/?token=0', headers: { Cookie: 'swfharvex_token=0' } }, 403],
                ['a foreign Host', { path: '/', host: `attacker.example:${port}`, headers: { Cookie: cookie } }, 403],
                ['a dot-dot segment', { path: '/files/resources/../../etc/passwd', headers: { Cookie: cookie } }, 404],
                ['an encoded dot-dot', { path: '/files/resources/%2e%2e/%2e%2e/etc/passwd', headers: { Cookie: cookie } }, 404],
                ['an absolute path', { path: '/files/resources//etc/passwd', headers: { Cookie: cookie } }, 404],
                ['a renderer file outside its folder', { path: '/ui/%2e%2e/PROTOCOL.md', headers: { Cookie: cookie } }, 404],
                ['a POST without the token header', {
                    method: 'POST',
                    path: '/event',
                    headers: { Cookie: cookie, 'Content-Type': 'application/json' },
                    body: JSON.stringify({ oid: 1, kind: 'click' }),
                }, 403],
            ];
            const wrong = [];
            for (const [what, sent, status] of cases) {
                const got = await request(port, sent);
                if (got !== status) {
                    wrong.push(`${what}: ${got}, not ${status}`);
                }
            }
            check(wrong.length === 0, wrong.join('; '));
        });
    } finally {
        await page.close();
        await desktop.stop();
        await rm(home, { recursive: true, force: true });
    }
}
