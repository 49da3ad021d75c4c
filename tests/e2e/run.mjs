// Runs the end-to-end suites: the renderer against a stand-in server always, and the whole
// desktop against the real command when one is given.
//   node tests/e2e/run.mjs --modules DIR --chromium PATH --artifacts DIR
//       [--swfharvex PATH --swfmovie PATH]
import { dirname, join, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';
import { parseArgs } from 'node:util';
import { launchBrowser, Suite } from './harness.mjs';
import { rendererSuite } from './renderer.mjs';

const here = dirname(fileURLToPath(import.meta.url));
const { values } = parseArgs({
    options: {
        modules: { type: 'string' },
        chromium: { type: 'string', default: '/usr/bin/chromium' },
        artifacts: { type: 'string' },
        swfharvex: { type: 'string' },
        swfmovie: { type: 'string' },
    },
});
const webRoot = resolve(here, '..', '..', 'frontend', 'web');
const artifacts = resolve(values.artifacts ?? join(here, '..', '..', 'build', 'test', 'e2e-artifacts'));

let browser;
try {
    browser = await launchBrowser(resolve(values.modules), values.chromium);
} catch (error) {
    console.log(`e2e: Chromium (${values.chromium}) could not be started with playwright-core from ${values.modules}:\n${error.message}`);
    process.exit(1);
}
const suites = [];
try {
    const renderer = new Suite('renderer', artifacts);
    suites.push(renderer);
    await rendererSuite(renderer, browser.context, webRoot);
    if (values.swfharvex) {
        const { desktopSuite } = await import('./desktop.mjs');
        const desktop = new Suite('desktop', artifacts);
        suites.push(desktop);
        await desktopSuite(desktop, browser.context, resolve(values.swfharvex), values.swfmovie && resolve(values.swfmovie));
        const { pagesSuite } = await import('./pages.mjs');
        const pages = new Suite('pages', artifacts);
        suites.push(pages);
        await pagesSuite(pages, browser.context, resolve(values.swfharvex), values.swfmovie && resolve(values.swfmovie));
        const { hostileSuite } = await import('./hostile.mjs');
        const hostile = new Suite('hostile', artifacts);
        suites.push(hostile);
        await hostileSuite(hostile, browser.context, resolve(values.swfharvex), values.swfmovie && resolve(values.swfmovie));
        suites.push(await (await import('./player.mjs')).playerSuite(browser.context, artifacts, resolve(values.swfharvex), values.swfmovie && resolve(values.swfmovie)));
    }
} finally {
    await browser.close();
}
const total = (key) => suites.reduce((sum, suite) => sum + suite[key], 0);
console.log(`e2e: ${total('passed')} passed, ${total('failed')} failed, ${total('skipped')} skipped; screenshots in ${artifacts}`);
process.exit(total('failed') === 0 ? 0 : 1);
