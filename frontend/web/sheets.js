// Sheets are modal for their window: drawn over it, taking the keyboard until answered.

function button(title, onClick) {
    const node = document.createElement('button');
    node.type = 'button';
    node.textContent = title;
    node.addEventListener('click', onClick);
    return node;
}

function iconSource(path) {
    return `/icon?path=${encodeURIComponent(path)}`;
}

function drawAlert(alert, ctx) {
    const sheet = document.createElement('div');
    sheet.className = 'sheet alert';
    sheet.setAttribute('role', 'alertdialog');
    sheet.setAttribute('aria-modal', 'true');
    sheet.setAttribute('aria-label', alert.messageText ?? '');
    if (alert.icon && typeof alert.icon.path === 'string' && alert.icon.path) {
        const icon = document.createElement('img');
        icon.alt = '';
        icon.className = 'icon';
        // A missing icon leaves no broken picture behind.
        icon.addEventListener('error', () => {
            icon.hidden = true;
        });
        icon.src = iconSource(alert.icon.path);
        sheet.append(icon);
    }
    const message = document.createElement('p');
    message.className = 'message';
    message.textContent = alert.messageText ?? '';
    const informative = document.createElement('p');
    informative.className = 'informative';
    informative.id = `i${alert.oid}`;
    informative.textContent = alert.informativeText ?? '';
    sheet.setAttribute('aria-describedby', informative.id);
    const row = document.createElement('div');
    row.className = 'buttons';
    const answer = (index) => ctx.send(alert.oid, 'answer', { button: index });
    const buttons = (alert.buttons ?? []).map((entry, index) => {
        const node = button(entry.title ?? '', () => answer(index));
        node.dataset.key = `${alert.oid}:${index}`;
        if (index === 0) {
            node.classList.add('default');
        }
        return node;
    });
    row.append(...buttons);
    sheet.append(message, informative, row);
    const cancel = (alert.buttons ?? []).findIndex((entry) => entry.title === 'Cancel');
    sheet.addEventListener('keydown', (event) => {
        // A focused button answers Enter itself; elsewhere Enter is the first (default) button.
        if (event.key === 'Enter' && event.target.tagName !== 'BUTTON' && buttons.length > 0) {
            event.preventDefault();
            answer(0);
        } else if (event.key === 'Escape' && cancel >= 0) {
            event.preventDefault();
            answer(cancel);
        }
    });
    sheet.dataset.focusFirst = buttons.length > 0 ? buttons[0].dataset.key : '';
    return sheet;
}

function joinPath(folder, name) {
    return `${folder.replace(/\/+$/, '')}/${name}`;
}

function parentOf(folder) {
    const trimmed = folder.replace(/\/+$/, '');
    const cut = trimmed.lastIndexOf('/');
    return cut <= 0 ? '/' : trimmed.slice(0, cut);
}

function drawOpenPanel(panel, ctx) {
    const folder = panel.directory ?? '';
    const sheet = document.createElement('div');
    sheet.className = 'sheet panel';
    sheet.setAttribute('role', 'alertdialog');
    sheet.setAttribute('aria-modal', 'true');
    sheet.setAttribute('aria-label', panel.title || 'Choose a folder');

    const where = document.createElement('div');
    where.className = 'where';
    const up = button('Enclosing folder', () => ctx.send(panel.oid, 'navigate', { path: parentOf(folder) }));
    up.dataset.key = `${panel.oid}:up`;
    up.disabled = folder === '/' || folder === '';
    const path = document.createElement('span');
    path.className = 'path';
    path.textContent = folder;
    where.append(up, path);

    // Which entry is highlighted is the page's own business until the user chooses.
    let chosen = null;
    const list = document.createElement('ul');
    list.className = 'entries';
    list.setAttribute('aria-label', 'Contents');
    for (const entry of panel.entries ?? []) {
        const item = document.createElement('li');
        const name = button(entry.name, () => {
            for (const other of list.querySelectorAll('[aria-pressed]')) {
                other.setAttribute('aria-pressed', 'false');
            }
            name.setAttribute('aria-pressed', 'true');
            chosen = joinPath(folder, entry.name);
        });
        name.dataset.key = `${panel.oid}:entry:${entry.name}`;
        name.classList.add(entry.isDirectory ? 'folder' : 'file');
        name.setAttribute('aria-pressed', 'false');
        if (entry.isDirectory) {
            const open = () => ctx.send(panel.oid, 'navigate', { path: joinPath(folder, entry.name) });
            name.addEventListener('dblclick', open);
            name.addEventListener('keydown', (event) => {
                if (event.key === 'ArrowRight') {
                    event.preventDefault();
                    open();
                }
            });
        } else if (panel.canChooseFiles === false) {
            name.disabled = true;
        }
        item.append(name);
        list.append(item);
    }

    const error = document.createElement('p');
    error.className = 'error';
    error.setAttribute('role', 'alert');
    error.textContent = panel.error ?? '';
    error.hidden = !panel.error;

    const choose = () => ctx.send(panel.oid, 'choose', { paths: [chosen ?? folder] });
    const cancel = () => ctx.send(panel.oid, 'cancel');
    const row = document.createElement('div');
    row.className = 'buttons';
    const cancelButton = button('Cancel', cancel);
    cancelButton.dataset.key = `${panel.oid}:cancel`;
    const chooseButton = button('Choose', choose);
    chooseButton.dataset.key = `${panel.oid}:choose`;
    chooseButton.classList.add('default');
    row.append(cancelButton, chooseButton);

    sheet.append(where, list, error, row);
    sheet.addEventListener('keydown', (event) => {
        if (event.key === 'Enter' && event.target.tagName !== 'BUTTON') {
            event.preventDefault();
            choose();
        } else if (event.key === 'Escape') {
            event.preventDefault();
            cancel();
        }
    });
    sheet.dataset.focusFirst = chooseButton.dataset.key;
    return sheet;
}

export function drawSheet(description, ctx) {
    if ('messageText' in description) {
        return drawAlert(description, ctx);
    }
    if ('entries' in description || 'directory' in description) {
        return drawOpenPanel(description, ctx);
    }
    return null;
}
