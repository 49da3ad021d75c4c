// Descriptions in the shapes the model's Describe() gives (see platform/appkit), laid out as the
// plug-in's interface files lay them out: what the stand-in server streams to the renderer.

let nextOid = 1;
const oid = () => nextOid++;

const black = () => ({ class: 'NSColor', red: 0, green: 0, blue: 0, alpha: 1, oid: oid() });
const action = (enabled = true) => ({ enabled, action: null, target: null });

function view(frame, subviews = [], extra = {}) {
    return { class: 'NSView', frame, flipped: false, subviews, oid: oid(), ...extra };
}

function label(frame, stringValue, extra = {}) {
    return {
        ...view(frame),
        class: 'NSTextField',
        stringValue,
        attributedStringValue: null,
        textColor: black(),
        toolTip: '',
        editable: false,
        selectable: false,
        allowsEditingTextAttributes: false,
        enabled: true,
        delegate: null,
        ...extra,
    };
}

function button(frame, title, extra = {}) {
    return {
        ...view(frame),
        class: 'NSButton',
        title,
        toolTip: '',
        buttonType: 'push',
        state: 0,
        bindings: {},
        ...action(),
        ...extra,
    };
}

function styled(runs) {
    return {
        class: 'NSMutableAttributedString',
        string: runs.map((run) => run.text).join(''),
        runs,
        oid: oid(),
    };
}

function menuItem(title, extra = {}) {
    return { class: 'NSMenuItem', title, keyEquivalent: '', submenu: null, ...action(), oid: oid(), ...extra };
}

function menu(title, items) {
    return { class: 'NSMenu', title, items, oid: oid() };
}

export function makeFixture() {
    nextOid = 1;
    const plugInMenu = menu('SWFHarvex', [
        menuItem('Captured SWFs…', { keyEquivalent: 'H' }),
        menuItem('Preferences…'),
        menuItem('Dissecta…', { enabled: false }),
        menuItem('About SWFHarvex'),
    ]);
    const bar = menu('Main Menu', [
        ...['Safari', 'File', 'Edit', 'View', 'History', 'Bookmarks', 'Window'].map((title) =>
            menuItem(title, { submenu: menu(title, []) }),
        ),
        menuItem('SWFHarvex', { submenu: plugInMenu }),
        menuItem('Help', { submenu: menu('Help', []) }),
    ]);

    const savePath = label([38, 134, 322, 22], '/home/user/Movies', {
        editable: true,
        selectable: true,
        toolTip: 'The folder the save dialog starts from',
    });
    const autoOpen = button([20, 104, 440, 18], 'Open the folder after saving', { buttonType: 'switch', state: 1 });
    const saveMatrix = {
        ...view([20, 162, 440, 40]),
        class: 'NSMatrix',
        cells: [
            { title: 'Start from the last folder used', tag: 1, enabled: true },
            { title: 'Start from this folder:', tag: 0, enabled: true },
        ],
        selectedRow: 1,
        selectedTag: 0,
        bindings: {},
        ...action(),
    };
    const preferences = {
        class: 'NSWindow',
        title: 'Preferences',
        frame: [200, 400, 480, 258],
        visible: true,
        key: false,
        delegate: null,
        sheets: [],
        oid: oid(),
        contentView: view([0, 0, 480, 236], [
            label([20, 206, 440, 17], 'When saving a movie:'),
            saveMatrix,
            savePath,
            button([368, 129, 92, 32], 'Browse…'),
            autoOpen,
        ]),
    };

    const links = label([20, 64, 320, 17], 'Site: example.org  Mail  Script', {
        selectable: true,
        attributedStringValue: styled([
            { text: 'Site: ', attributes: {} },
            { text: 'example.org', attributes: { NSLink: 'https://example.org/', NSUnderline: 1, NSColor: { class: 'NSColor', red: 0, green: 0, blue: 1, alpha: 1 } } },
            { text: '  ', attributes: {} },
            { text: 'Mail', attributes: { NSLink: 'mailto:someone@example.org', NSUnderline: 1 } },
            { text: '  ', attributes: {} },
            { text: 'Script', attributes: { NSLink: 'javascript:alert(1)' } },
        ]),
    });
    const about = {
        class: 'NSWindow',
        title: 'About SWFHarvex',
        frame: [240, 420, 360, 218],
        visible: true,
        key: true,
        delegate: null,
        sheets: [],
        oid: oid(),
        contentView: view([0, 0, 360, 196], [label([20, 156, 320, 20], 'SWFHarvex'), links]),
    };

    const top = view([0, 0, 900, 70], [
        { ...view([8, 5, 234, 60]), class: 'AdWebView', url: '' },
        label([248, 40, 50, 17], 'Name:'),
        {
            ...label([620, 38, 190, 24], '/home/user/Movies', { editable: true, selectable: true }),
            class: 'NSComboBox',
            items: ['/home/user/Movies', '/tmp/saved'],
            ...action(),
        },
        button([702, 6, 90, 28], 'Save', { enabled: false }),
    ]);
    const bottom = view([0, 79, 900, 501], [{ ...view([0, 0, 900, 501]), class: 'SwfWebView', url: '' }]);
    const split = {
        ...view([0, 0, 900, 580], [top, bottom]),
        class: 'NSSplitView',
        flipped: true,
        dividerStyle: 1,
        dividerThickness: 9,
        collapsedSubviews: [],
    };
    const list = {
        class: 'NSWindow',
        title: 'Captured SWFs',
        frame: [120, 150, 900, 602],
        visible: true,
        key: false,
        delegate: null,
        sheets: [],
        oid: oid(),
        contentView: split,
    };
    const alert = {
        class: 'NSAlert',
        messageText: 'The folder does not exist',
        informativeText: 'Create it?',
        alertStyle: 0,
        icon: { class: 'NSImage', path: '/opt/bundle/Resources/DissectaLogo.icns', oid: oid() },
        buttons: [
            { title: 'OK', returnCode: 1000 },
            { title: 'Cancel', returnCode: 1001 },
        ],
        oid: oid(),
    };
    const panel = {
        class: 'NSOpenPanel',
        directory: '/home/user',
        file: '',
        canChooseDirectories: true,
        canChooseFiles: false,
        allowsMultipleSelection: false,
        types: [],
        entries: [
            { name: 'Movies', isDirectory: true },
            { name: 'notes.txt', isDirectory: false },
        ],
        error: 'Permission denied: /home/user/private',
        oid: oid(),
    };
    // The host browser's own window, behind the plug-in's.
    const browser = {
        class: 'NSWindow',
        title: 'Browser',
        frame: [40, 80, 800, 600],
        visible: true,
        key: false,
        delegate: null,
        sheets: [],
        oid: oid(),
        contentView: view([0, 0, 800, 578], [
            label([12, 544, 60, 24], 'Address'),
            label([76, 544, 620, 24], 'https://example.org/', { editable: true, selectable: true }),
            button([704, 542, 84, 28], 'Load'),
            label([12, 232, 776, 272], 'https://example.org/\n  https://example.org/a.swf — caught\n  (no address) — not caught\n'),
        ]),
    };
    return { browser, bar, plugInMenu, preferences, savePath, autoOpen, saveMatrix, about, links, list, split, top, alert, panel };
}
