// From a click on a caught movie (the click event in the list's frame) to its first frame on the
// screen, in headless Chromium against the real command with the real player: with a fresh
// browser profile (the click as soon as the list shows, the player's WebAssembly still compiling
// for the first time) and with a warm one (a new tab in the same profile, clicked once its page
// has settled).
//   node bench/player_bench.mjs --modules build/e2e/node_modules \
//       --swfharvex build/test/apps/swfharvex --swfmovie build/test/tools/swfmovie/swfmovie
//       [--fresh 3] [--warm 5]
import { mkdtemp, rm } from 'node:fs/promises';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';
import { desktopDriver, makeMovie, pixelOf, serveFiles, startDesktop } from '../tests/e2e/desktop.mjs';
import { benchOptions, report } from './desktop_common.mjs';
import { launchBrowser, until } from '../tests/e2e/harness.mjs';

const values = benchOptions({ fresh: { type: 'string', default: '3' }, warm: { type: 'string', default: '5' } });
const line = (what, list) => report(what, list, 44);

const home = await mkdtemp(join(tmpdir(), 'swfharvex-bench-home-'));
const work = await mkdtemp(join(tmpdir(), 'swfharvex-bench-movies-'));
const movie = await makeMovie(resolve(values.swfmovie), work, 'red', { version: 10, width: 320, height: 240, frameRate: 12, frames: 1, background: '#ff0000' });
const server = await serveFiles({ 'one.html': '<html><body><embed src="red.swf"></body></html>', 'red.swf': movie });
const desktop = await startDesktop(resolve(values.swfharvex), home);

// One tab: open the desktop and the list, then time a click on the movie to a red centre.
async function clickToFirstFrame(context, fresh, first) {
    const page = await context.newPage();
    try {
        await page.goto(desktop.url);
        await page.waitForSelector('body[data-ready]');
        const { dialog, chooseFromMenu, loadInBrowserWindow } = desktopDriver(page);
        if (first) {
            await loadInBrowserWindow(server.url('one.html'), [server.url('red.swf')]);
        }
        const list = dialog('Captured SWFs');
        if (!(await list.isVisible())) {
            await chooseFromMenu('Captured SWFs…');
        }
        const frame = page.frameLocator('iframe[title="Caught movies"]');
        const option = frame.getByRole('option', { name: 'red.swf', exact: true });
        await option.waitFor();
        const stage = frame.locator('#stage');
        if (!fresh) {
            // A warm profile: the page has settled (its idle movie plays) before the person clicks.
            await new Promise((resolveSettled) => setTimeout(resolveSettled, 2000));
        }
        // A person's wait starts at their click: the frame notes when the click event comes, apart
        // from the driver's own checks before it clicks.
        const listFrame = await (await page.$('iframe[title="Caught movies"]')).contentFrame();
        await listFrame.evaluate(() => {
            document.addEventListener('click', () => { window.benchClicked = Date.now(); }, { capture: true, once: true });
        });
        const started = Date.now();
        await option.click();
        await until(async () => {
            const box = await stage.boundingBox();
            const png = await page.screenshot({ clip: { x: Math.round(box.x + box.width / 2), y: Math.round(box.y + box.height / 2), width: 1, height: 1 } });
            const [r, g, b] = pixelOf(png);
            return r > 230 && g < 25 && b < 25;
        }, 'the first frame', 20000);
        const seen = Date.now();
        return { fromCall: seen - started, fromClick: seen - (await listFrame.evaluate(() => window.benchClicked)) };
    } finally {
        await page.close();
    }
}

const fresh = [];
const warm = [];
try {
    for (let round = 0; round < Number(values.fresh); round++) {
        const browser = await launchBrowser(resolve(values.modules), values.chromium);
        try {
            fresh.push(await clickToFirstFrame(browser.context, true, round === 0));
            if (round === 0) {
                for (let i = 0; i < Number(values.warm); i++) {
                    warm.push(await clickToFirstFrame(browser.context, false, false));
                }
            }
        } finally {
            await browser.close();
        }
    }
    line('click event -> first frame, fresh profile', fresh.map((t) => t.fromClick));
    line('click event -> first frame, warm profile', warm.map((t) => t.fromClick));
    line('(from the driver\'s click call, fresh)', fresh.map((t) => t.fromCall));
    line('(from the driver\'s click call, warm)', warm.map((t) => t.fromCall));
} finally {
    await desktop.stop();
    await server.stop();
    await rm(home, { recursive: true, force: true });
    await rm(work, { recursive: true, force: true });
}
