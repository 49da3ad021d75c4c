// The captured-SWF window's player after a movie it cannot play: the next movie chosen plays,
// instead of the player's error panel staying up until the page is reloaded.
import { readFile } from 'node:fs/promises';
import { join } from 'node:path';
import { makeMovie, serveFiles, withMovieDesktop } from './desktop.mjs';
import { Suite, check, until } from './harness.mjs';

const GREEN = [0, 255, 0];
const BLUE = [0, 0, 255];
const MAGENTA = [255, 0, 255];

export async function playerSuite(context, artifacts, command, swfmovie) {
    const suite = new Suite('player', artifacts);
    await withMovieDesktop(suite, context, { command, swfmovie, name: 'player' }, async ({ page, home, work, dialog, chooseFromMenu, loadInBrowserWindow, player }) => {
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
        const { frame, choose, plays } = player;
        // Ruffle's error panel lives in the player's open shadow root, which locators reach.
        const panelShown = async () => (await frame.locator('#panic').count()) > 0;
        // Nothing may lie over the movie: without a GPU the player would show its notice about
        // hardware acceleration at the first pointer move over it.
        const noticeShown = async () =>
            (await frame.locator('#hardware-acceleration-modal:not(.hidden)').count()) > 0;

        try {
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
                    await frame.locator('ruffle-player').first().hover();
                    check(!(await noticeShown()), 'a notice lies over the movie');
                    await suite.screenshot(page, `player-${good.replace('.swf', '')}-after-${broken.replace('.swf', '')}`);
                });
            }
        } finally {
            await server.stop();
        }

        await suite.run('a rescued loader plays the movie it loads from the mirror, with the site gone', async () => {
            const size = { version: 8, width: 320, height: 240, frameRate: 12, frames: 1 };
            const site = await serveFiles({
                'rescue.html': '<html><body><embed src="loader.swf" width="10" height="10"></body></html>',
                // Replaces itself with the movie it loads, by an address relative to the page.
                'loader.swf': await makeMovie(swfmovie, work, 'loader', { ...size, background: '#ff0000', loads: [{ url: 'parts/loaded.swf' }] }),
                'parts/loaded.swf': await makeMovie(swfmovie, work, 'loaded', { ...size, shapes: [{ x: 0, y: 0, width: 320, height: 240, color: '#ff00ff' }] }),
            });
            const manifest = join(home, 'Documents', 'SWFHarvexData', '.mirror', 'manifest.json');
            const loadedCaught = async () => {
                const read = JSON.parse(await readFile(manifest, 'utf8').catch(() => '{}'));
                return (read.movies ?? []).some((movie) => movie.file === 'loader.swf' &&
                    movie.dependencies.some((file) => file.address === site.url('parts/loaded.swf') && file.status === 'caught'));
            };
            try {
                await loadInBrowserWindow(site.url('rescue.html'), [site.url('loader.swf')]);
                await until(loadedCaught, 'the mirror to hold what loader.swf loads', 30000);
            } finally {
                await site.stop();
            }
            // The window to the front, then its Reload, as a person would.
            const captured = dialog('Captured SWFs');
            await captured.locator('header').click({ position: { x: 40, y: 8 } });
            await captured.getByRole('button', { name: 'Reload', exact: true }).click();
            await until(async () => (await player.frame.getByRole('option', { name: 'loader.swf', exact: true }).count()) === 1, 'the list to show loader.swf', 10000);
            await player.choose('loader.swf');
            await player.plays(MAGENTA, 'the movie loader.swf loads, from the mirror');
            await suite.screenshot(page, 'player-rescued-loader');
        });
    });
    return suite;
}
