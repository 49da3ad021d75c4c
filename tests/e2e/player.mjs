// The captured-SWF window's player after a movie it cannot play: the next movie chosen plays,
// instead of the player's error panel staying up until the page is reloaded.
import { mkdtemp, rm } from 'node:fs/promises';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { desktopDriver, makeMovie, serveFiles, startDesktop } from './desktop.mjs';
import { Suite, check, until } from './harness.mjs';
import { pixelOf } from './pages.mjs';

const GREEN = [0, 255, 0];
const BLUE = [0, 0, 255];
const near = (a, b) => a.every((value, i) => Math.abs(value - b[i]) <= 24);

export async function playerSuite(context, artifacts, command, swfmovie) {
    const suite = new Suite('player', artifacts);
    const home = await mkdtemp(join(tmpdir(), 'swfharvex-e2e-player-'));
    const work = await mkdtemp(join(tmpdir(), 'swfharvex-e2e-player-movies-'));
    let desktop = null;
    await suite.run('the desktop starts for the player', async () => {
        check(swfmovie, 'no movie tool was given (--swfmovie)');
        desktop = await startDesktop(command, home);
    });
    if (!desktop) {
        await rm(home, { recursive: true, force: true });
        await rm(work, { recursive: true, force: true });
        return suite;
    }
    const movie = (name, background) =>
        makeMovie(swfmovie, work, name, { version: 10, width: 320, height: 240, frameRate: 12, frames: 1, background });
    // Two files a page may well call movies: an empty answer, and a web page under a movie's name.
    const files = {
        'empty.swf': Buffer.alloc(0),
        'page.swf': '<!DOCTYPE html><html><body>Not found</body></html>',
        'green.swf': await movie('green', '#00ff00'),
        'blue.swf': await movie('blue', '#0000ff'),
    };
    const names = Object.keys(files);
    files['movies.html'] = `<html><body>${names.map((name) => `<embed src="${name}" width="10" height="10">`).join('')}</body></html>`;
    const server = await serveFiles(files);
    const page = await context.newPage();
    const { dialog, chooseFromMenu, loadInBrowserWindow } = desktopDriver(page);
    const frame = page.frameLocator('iframe[title="Caught movies"]');
    const centre = async () => {
        const box = await frame.locator('#stage').boundingBox();
        const png = await page.screenshot({ clip: { x: Math.round(box.x + box.width / 2), y: Math.round(box.y + box.height / 2), width: 1, height: 1 } });
        return pixelOf(png);
    };
    const plays = (color, name) => until(async () => near(await centre(), color), `${name} to play`, 15000);
    const choose = async (name) => {
        const option = frame.getByRole('option', { name, exact: true });
        await option.click();
        await until(async () => (await option.getAttribute('aria-selected')) === 'true', `${name} to be marked`);
    };
    // Ruffle's error panel lives in the player's open shadow root, which locators reach.
    const panelShown = async () => (await frame.locator('#panic').count()) > 0;

    try {
        await page.goto(desktop.url);
        await page.waitForSelector('body[data-ready]');
        await loadInBrowserWindow(server.url('movies.html'), names.map((name) => server.url(name)));
        await chooseFromMenu('Captured SWFs…');
        await dialog('Captured SWFs').waitFor();
        await until(async () => (await frame.getByRole('option').count()) === names.length, 'the page to list the movies', 10000);

        for (const [broken, good, color] of [['empty.swf', 'green.swf', GREEN], ['page.swf', 'blue.swf', BLUE]]) {
            await suite.run(`after ${broken}, which cannot play, ${good} plays`, async () => {
                await choose(broken);
                await until(panelShown, `the player to say it cannot play ${broken}`, 15000);
                await suite.screenshot(page, `player-${broken.replace('.swf', '')}-failed`);
                await choose(good);
                await plays(color, good);
                check(!(await panelShown()), 'the error panel is still there');
                await suite.screenshot(page, `player-${good.replace('.swf', '')}-after-${broken.replace('.swf', '')}`);
            });
        }
    } finally {
        await page.close();
        await server.stop();
        await desktop.stop();
        await rm(home, { recursive: true, force: true });
        await rm(work, { recursive: true, force: true });
    }
    return suite;
}
