// The renderer against the stand-in server: what it draws from descriptions and what it sends.
import { makeFixture } from './fixture.mjs';
import { check, same, until } from './harness.mjs';
import { startStandIn } from './standin.mjs';

const MENUBAR_HEIGHT = 24;

export async function rendererSuite(suite, context, webRoot) {
    let fixture = makeFixture();
    const windowsShown = () => [fixture.browser, fixture.list, fixture.preferences, fixture.about];
    // Like the model, the stand-in takes every edit as the field's new value and says so.
    const find = (view, oid) => (view.oid === oid ? view : (view.subviews ?? []).map((sub) => find(sub, oid)).find(Boolean));
    const echoEdits = (event, push) => {
        for (const shown of event.kind === 'edit' ? windowsShown() : []) {
            const field = find(shown.contentView, event.oid);
            if (field) {
                field.stringValue = event.text;
                push('window', shown);
            }
        }
    };
    const server = await startStandIn(webRoot, () => ({ menubar: fixture.bar, windows: windowsShown() }), echoEdits);
    const page = await context.newPage();
    // The page must run under the server's Content-Security-Policy without a complaint.
    const complaints = [];
    page.on('console', (message) => {
        if (message.type() === 'error') {
            complaints.push(message.text());
        }
    });
    page.on('pageerror', (error) => complaints.push(error.message));
    const lastEvent = () => server.events.at(-1);
    const expectEvent = (expected, what) =>
        until(() => JSON.stringify(lastEvent()) === JSON.stringify(expected) && true, `${what}: ${JSON.stringify(expected)} (last: ${JSON.stringify(lastEvent())})`);
    const open = async () => {
        fixture = makeFixture();
        await page.goto(server.url);
        await page.waitForSelector('body[data-ready]');
    };
    const dialog = (name) => page.getByRole('dialog', { name, exact: true });

    try {
        await open();

        await suite.run('windows and controls sit where the model puts them', async () => {
            const desktopHeight = await page.evaluate(() => document.getElementById('desktop').clientHeight);
            const box = await dialog('Preferences').boundingBox();
            same([box.x, box.y, box.width, box.height], [200, MENUBAR_HEIGHT + desktopHeight - 400 - 258, 480, 258], 'Preferences window');
            // Bottom-left inside the content view: 236 high under a 22-point title bar.
            const field = await dialog('Preferences').getByRole('textbox', { name: 'The folder the save dialog starts from' }).boundingBox();
            same([field.x, field.y], [box.x + 38, box.y + 22 + 236 - 134 - 22], 'save path field');
            // The split view is flipped: its bottom pane starts 79 points below its top.
            const list = await dialog('Captured SWFs').boundingBox();
            const player = await dialog('Captured SWFs').locator('.control.web').nth(1).boundingBox();
            same([player.x, player.y, player.height], [list.x, list.y + 22 + 79, 501], 'movie pane');
            await suite.screenshot(page, 'renderer-desktop');
        });

        await suite.run('the menu bar shows the plug-in menu and sends the chosen item', async () => {
            const bar = page.getByRole('menubar');
            await bar.getByRole('menuitem', { name: 'SWFHarvex', exact: true }).click();
            const menu = page.getByRole('menu', { name: 'SWFHarvex' });
            same(await menu.getByRole('menuitem').allInnerTexts().then((t) => t.map((s) => s.split('\n')[0])),
                ['Captured SWFs…', 'Preferences…', 'Dissecta…', 'About SWFHarvex'], 'items');
            same(await menu.getByRole('menuitem', { name: 'Dissecta…' }).getAttribute('aria-disabled'), 'true', 'disabled item');
            await suite.screenshot(page, 'renderer-menu');
            await menu.getByRole('menuitem', { name: 'Preferences…' }).click();
            await expectEvent({ oid: fixture.plugInMenu.items[1].oid, kind: 'click' }, 'menu item');
            check(await menu.isHidden(), 'the menu closes after a choice');
            // And by keyboard alone: open, walk down past the disabled item, choose.
            await bar.getByRole('menuitem', { name: 'SWFHarvex', exact: true }).press('Enter');
            for (const key of ['ArrowDown', 'ArrowDown', 'ArrowDown', 'Enter']) {
                await page.keyboard.press(key);
            }
            await expectEvent({ oid: fixture.plugInMenu.items[3].oid, kind: 'click' }, 'menu item by keyboard');
        });

        await suite.run('each control sends its event', async () => {
            const prefs = dialog('Preferences');
            const list = dialog('Captured SWFs');
            const about = dialog('About SWFHarvex');
            // The About window lies over the Preferences window: it goes first.
            const cases = [
                ['link', () => about.getByRole('link', { name: 'example.org' }).click(),
                    { oid: fixture.links.oid, kind: 'link', run: 1 }],
                ['close box', () => about.getByRole('button', { name: 'Close' }).click(),
                    { oid: fixture.about.oid, kind: 'close' }],
                ['check box', () => prefs.getByRole('checkbox', { name: 'Open the folder after saving' }).click(),
                    { oid: fixture.autoOpen.oid, kind: 'click' }],
                ['radio cell', () => prefs.getByRole('radio', { name: 'Start from the last folder used' }).click(),
                    { oid: fixture.saveMatrix.oid, kind: 'select', row: 0 }],
                ['button', () => prefs.getByRole('button', { name: 'Browse…' }).click(),
                    { oid: fixture.preferences.contentView.subviews[3].oid, kind: 'click' }],
                ['combo box item', async () => {
                    await list.getByRole('button', { name: 'Choices' }).click();
                    await list.getByRole('option', { name: '/tmp/saved' }).click();
                }, { oid: fixture.top.subviews[2].oid, kind: 'select', row: 1 }],
                ['combo box typing', () => list.getByRole('combobox').fill('/srv'),
                    { oid: fixture.top.subviews[2].oid, kind: 'edit', text: '/srv' }],
                ['divider double click', () => list.getByRole('separator').dblclick(),
                    { oid: fixture.split.oid, kind: 'dividerClick', count: 2 }],
                ['divider drag', async () => {
                    const handle = await list.getByRole('separator').boundingBox();
                    await page.mouse.move(handle.x + 100, handle.y + 4);
                    await page.mouse.down();
                    await page.mouse.move(handle.x + 100, handle.y + 34, { steps: 3 });
                    await page.mouse.up();
                }, { oid: fixture.split.oid, kind: 'drag', position: 100 }],
            ];
            for (const [what, act, expected] of cases) {
                await act();
                await expectEvent(expected, what);
            }
            same(page.url(), server.url.replace(/\?.*/, ''), 'the page stays where it is after a link');
            check((await about.getByRole('link').count()) === 2, 'only http, https and mailto runs are links');
            same(await about.getByRole('link', { name: 'Mail' }).getAttribute('href'), 'mailto:someone@example.org', 'mail link');
        });

        await suite.run('every keystroke is sent and a late echo does not undo typing', async () => {
            const field = dialog('Preferences').getByRole('textbox', { name: 'The folder the save dialog starts from' });
            await field.fill('');
            await expectEvent({ oid: fixture.savePath.oid, kind: 'edit', text: '' }, 'the field emptied');
            server.delayAnswers(150);
            const before = server.events.length;
            await field.pressSequentially('/tmp/abc', { delay: 20 });
            // An echo of the first keystroke arrives while the rest are still on their way.
            const stale = structuredClone(fixture.preferences);
            stale.contentView.subviews[2].stringValue = '/';
            server.push('window', stale);
            await page.waitForTimeout(100);
            same(await field.inputValue(), '/tmp/abc', 'typed text');
            check(await field.evaluate((node) => node === document.activeElement), 'the field keeps the focus');
            const edits = server.events.slice(before).map((event) => event.text);
            same(edits, ['/', '/t', '/tm', '/tmp', '/tmp/', '/tmp/a', '/tmp/ab', '/tmp/abc'], 'edits');
            server.delayAnswers(0);
            // Once everything is heard, the model's word counts.
            const echoed = structuredClone(fixture.preferences);
            echoed.contentView.subviews[2].stringValue = '/tmp/abc/';
            server.push('window', echoed);
            await until(async () => (await field.inputValue()) === '/tmp/abc/', 'the model value');
        });

        await suite.run('a refused event is shown and the control shows the model again', async () => {
            await open();
            const box = dialog('Preferences').getByRole('checkbox', { name: 'Open the folder after saving' });
            server.answerNextWith(404, { error: 'no such object' });
            await box.click();
            await until(async () => (await page.getByRole('status').textContent()).includes('no such object'), 'the status line');
            await until(async () => (await box.isChecked()) === true, 'the model state again');
        });

        await suite.run('an alert sheet is modal and answers by keyboard and button', async () => {
            await open();
            const withSheet = structuredClone(fixture.list);
            withSheet.sheets = [fixture.alert];
            withSheet.key = true;
            server.push('window', withSheet);
            const sheet = page.getByRole('alertdialog', { name: 'The folder does not exist' });
            await sheet.waitFor();
            same(await sheet.locator('img').getAttribute('src'), `/icon?path=${encodeURIComponent(fixture.alert.icon.path)}`, 'icon');
            same(await sheet.locator('img').getAttribute('alt'), '', 'icon text');
            check(await sheet.getByText('Create it?').isVisible(), 'informative text');
            check(await sheet.getByRole('button', { name: 'OK' }).evaluate((node) => node === document.activeElement), 'the first button has the focus');
            const focusable = await dialog('Captured SWFs').getByRole('combobox').evaluate((node) => {
                node.focus();
                return node === document.activeElement;
            });
            check(!focusable, 'the window under the sheet takes no input');
            await suite.screenshot(page, 'renderer-alert-sheet');
            for (const [act, button] of [
                [() => sheet.press('Escape'), 1],
                [() => sheet.getByRole('button', { name: 'OK' }).press('Enter'), 0],
                [() => sheet.getByRole('button', { name: 'Cancel' }).click(), 1],
            ]) {
                await act();
                await expectEvent({ oid: fixture.alert.oid, kind: 'answer', button }, `answer ${button}`);
            }
        });

        await suite.run('the folder chooser navigates, shows its error and chooses', async () => {
            const withPanel = structuredClone(fixture.preferences);
            withPanel.sheets = [fixture.panel];
            withPanel.key = true;
            server.push('window', withPanel);
            const sheet = page.getByRole('alertdialog', { name: 'Choose a folder' });
            await sheet.waitFor();
            check(await sheet.getByRole('alert').textContent() === fixture.panel.error, 'error line');
            await suite.screenshot(page, 'renderer-folder-chooser');
            const oid = fixture.panel.oid;
            for (const [act, expected] of [
                [() => sheet.getByRole('button', { name: 'Choose' }).click(), { oid, kind: 'choose', paths: ['/home/user'] }],
                [async () => {
                    await sheet.getByRole('button', { name: 'Movies' }).click();
                    await sheet.getByRole('button', { name: 'Choose' }).click();
                }, { oid, kind: 'choose', paths: ['/home/user/Movies'] }],
                [() => sheet.getByRole('button', { name: 'Movies' }).dblclick(), { oid, kind: 'navigate', path: '/home/user/Movies' }],
                [() => sheet.getByRole('button', { name: 'Enclosing folder' }).click(), { oid, kind: 'navigate', path: '/home' }],
                [() => sheet.press('Escape'), { oid, kind: 'cancel' }],
            ]) {
                await act();
                await expectEvent(expected, expected.kind);
            }
        });

        await suite.run('windows and the menu bar follow the stream', async () => {
            server.push('closed', { oid: fixture.about.oid });
            await until(async () => (await dialog('About SWFHarvex').count()) === 0, 'the About window to go');
            const bar = structuredClone(fixture.bar);
            bar.items.find((item) => item.title === 'SWFHarvex').submenu.items[0].enabled = false;
            server.push('menubar', bar);
            await page.getByRole('menuitem', { name: 'SWFHarvex', exact: true }).click();
            await until(async () => (await page.getByRole('menuitem', { name: 'Captured SWFs…' }).getAttribute('aria-disabled')) === 'true', 'the item disabled');
            check(server.refusals.length === 0, `posts without the token header: ${server.refusals.length}`);
            // The one refusal a case asked for is the only error the page may have logged.
            const unexpected = complaints.filter((text) => !text.includes('404'));
            check(unexpected.length === 0, `errors in the page: ${unexpected.join(' | ')}`);
        });
    } finally {
        await page.close();
        await server.close();
    }
}
