// The captured-SWF window's pages, running in frames of the desktop with the real player: what
// they list, mark and play, and what their script can and cannot reach of the native side.
import { makeMovie, serveFiles, withMovieDesktop } from './desktop.mjs';
import { check, same, until } from './harness.mjs';

const COLORS = { red: [255, 0, 0], green: [0, 255, 0], blue: [0, 0, 255], yellow: [255, 255, 0], magenta: [255, 0, 255] };

// The movie with one action added before its first frame ends: getURL(url, target), the way old
// movies called into the page's script.
function withGetURL(swf, url, target) {
    const nbits = swf[8] >> 3;
    let at = 8 + Math.ceil((5 + 4 * nbits) / 8) + 4;
    for (;;) {
        const header = swf.readUInt16LE(at);
        const length = (header & 0x3f) === 0x3f ? swf.readUInt32LE(at + 2) + 4 : header & 0x3f;
        if (header >> 6 === 1 || header >> 6 === 0) {
            break;
        }
        at += 2 + length;
    }
    const strings = Buffer.from(`${url}\0${target}\0`, 'latin1');
    const action = Buffer.concat([Buffer.from([0x83, strings.length & 0xff, strings.length >> 8]), strings, Buffer.from([0])]);
    const tag = Buffer.concat([Buffer.alloc(6), action]);
    tag.writeUInt16LE((12 << 6) | 0x3f, 0);
    tag.writeUInt32LE(action.length, 2);
    const out = Buffer.concat([swf.subarray(0, at), tag, swf.subarray(at)]);
    out.writeUInt32LE(out.length, 4);
    return out;
}

export function pagesSuite(suite, context, command, swfmovie) {
    return withMovieDesktop(suite, context, { command, swfmovie, name: 'pages' }, async ({ desktop, page, work, dialog, chooseFromMenu, loadInBrowserWindow, player }) => {
        const list = dialog('Captured SWFs');
        const { frame, options, choose } = player;
        const plays = (color) => player.plays(COLORS[color], color);
        const movie = (color, size = [320, 240]) =>
            makeMovie(swfmovie, work, color, { version: 10, width: size[0], height: size[1], frameRate: 12, frames: 1, background: `#${COLORS[color].map((c) => c.toString(16).padStart(2, '0')).join('')}` });
        const files = {};
        const server = await serveFiles(files);
        const capture = async (pageName, movies) => {
            Object.assign(files, movies);
            files[pageName] = `<html><body>${Object.keys(movies).map((name) => `<embed src="${encodeURIComponent(name)}" width="10" height="10">`).join('')}</body></html>`;
            await loadInBrowserWindow(server.url(pageName), Object.keys(movies).map((name) => server.url(encodeURIComponent(name))));
        };
        try {
            await suite.run('caught movies play when chosen, and a later capture shows after Reload', async () => {
                await capture('three.html', { 'red.swf': await movie('red'), 'green.swf': await movie('green', [400, 200]), 'blue.swf': await movie('blue') });
                await chooseFromMenu('Captured SWFs…');
                await list.waitFor();
                await until(async () => (await options.count()) === 3, 'the page to list three movies', 10000);
                await choose('green.swf');
                await until(async () => (await list.textContent()).includes('400*200px'), 'the panel to show the movie');
                await plays('green');
                // The player keeps the movie's proportions.
                const stage = await frame.locator('#stage').boundingBox();
                check(Math.abs(stage.width / stage.height - 2) < 0.02, `the player is ${stage.width}×${stage.height}`);
                await suite.screenshot(page, 'pages-playing');
                await choose('blue.swf');
                await plays('blue');

                await capture('fourth.html', { 'yellow.swf': await movie('yellow') });
                await list.locator('header .title').click();
                await new Promise((resolve) => setTimeout(resolve, 500)); // the window's poll has ended
                same(await options.count(), 3, 'movies listed before Reload');
                await list.getByRole('button', { name: 'Reload' }).click();
                await until(async () => (await options.count()) === 4, 'the fourth movie after Reload');
            });

            await suite.run('movies whose names hold a percent sign play and stay marked', async () => {
                await capture('percent.html', { 'my movie.swf': await movie('magenta'), 'café.swf': await movie('red') });
                await list.locator('header .title').click();
                await list.getByRole('button', { name: 'Reload' }).click();
                await until(async () => (await options.count()) === 6, 'six movies');
                for (const [name, color] of [['my%20movie.swf', 'magenta'], ['caf%C3%A9.swf', 'red']]) {
                    await choose(name);
                    await plays(color);
                    check((await list.textContent()).includes(name.replace(/\.swf$/, '')), `the panel names ${name}`);
                    // The native side sends the current movie again with the list: it stays marked.
                    await list.getByRole('button', { name: 'Reload' }).click();
                    await until(async () => (await frame.getByRole('option', { name, exact: true }).getAttribute('aria-selected')) === 'true', `${name} to stay marked after Reload`);
                }
            });

            await suite.run('the arrow keys choose, and the page logs through the native side', async () => {
                await frame.getByRole('listbox').focus();
                await page.keyboard.press('ArrowUp');
                await until(async () => (await list.textContent()).includes('my%20movie'), 'the panel to follow the arrow key');
                await frame.locator('body').evaluate(() => cocoaApp.WriteCocoaAppLog('a line from the list page'));
                await until(() => desktop.output().includes('JavaScript Log: a line from the list page'), 'the log line');
            });

            await suite.run('the page reaches nothing the native rules exclude, and each attempt is logged', async () => {
                const answers = await frame.locator('body').evaluate(() => {
                    const seen = {};
                    seen.secret = typeof cocoaApp.JSOnSelectedSWF_;
                    seen.window = typeof cocoaApp.window;
                    cocoaApp.bSWFReady = 'yes';
                    return seen;
                });
                same(answers, { secret: 'undefined', window: 'undefined' }, 'what the page could see');
                for (const line of ['may not read cocoaApp.JSOnSelectedSWF_', 'may not read cocoaApp.window', 'may not set cocoaApp.bSWFReady']) {
                    await until(() => desktop.output().includes(line), `the log to say ${line}`);
                }
                // A number is an index as good as its decimal text.
                await frame.locator('body').evaluate(() => cocoaApp.OnSelectedSWF(2));
                await until(async () => (await list.textContent()).includes('blue'), 'the panel to show the third movie');
            });

            await suite.run('a playing movie cannot reach the native side through the page', async () => {
                const base = await movie('blue');
                await capture('reach.html', {
                    'reach.swf': withGetURL(base, "javascript:cocoaApp.WriteCocoaAppLog('from the movie')", ''),
                    'reach2.swf': withGetURL(base, "javascript:cocoaApp.WriteCocoaAppLog('from the movie')", '_self'),
                });
                await list.locator('header .title').click();
                await list.getByRole('button', { name: 'Reload' }).click();
                for (const name of ['reach.swf', 'reach2.swf']) {
                    await until(async () => (await frame.getByRole('option', { name, exact: true }).count()) === 1, `${name} listed`);
                    await choose(name);
                    await plays('blue');
                }
                await new Promise((resolve) => setTimeout(resolve, 1500));
                check(!desktop.output().includes('from the movie'), 'a movie wrote to the log through cocoaApp');
            });

            await suite.run("the ad page plays its banner and opens only web links", async () => {
                const ad = page.frameLocator('iframe[title="SWFHarvex"]');
                await ad.getByRole('link', { name: 'Help' }).click();
                await until(async () => (await desktop.opened()).includes('https://swfharvex.example/help'), 'the link to be opened');
                await ad.locator('body').evaluate(() => cocoaApp.OnClickAdSWF('javascript:alert(1)'));
                await new Promise((resolve) => setTimeout(resolve, 300));
                same((await desktop.opened()).filter((url) => !url.startsWith('https:')), [], 'addresses opened other than https');
            });
        } finally {
            await server.stop();
        }
    });
}
