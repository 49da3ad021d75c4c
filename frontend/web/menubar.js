// The menu bar: each top item opens its submenu; choosing an item sends it to the model.

function shortcut(item) {
    return item.keyEquivalent ? `⌘${item.keyEquivalent.toUpperCase()}` : '';
}

function closeAll(bar) {
    for (const open of bar.querySelectorAll('[aria-expanded="true"]')) {
        open.setAttribute('aria-expanded', 'false');
    }
    for (const menu of bar.querySelectorAll('[role="menu"]')) {
        menu.hidden = true;
    }
}

function drawMenu(menu, bar, ctx) {
    const list = document.createElement('ul');
    list.setAttribute('role', 'menu');
    list.setAttribute('aria-label', menu.title ?? '');
    list.hidden = true;
    for (const item of menu.items ?? []) {
        const entry = document.createElement('li');
        entry.setAttribute('role', 'none');
        if (!item.title && !item.submenu) {
            entry.setAttribute('role', 'separator');
            list.append(entry);
            continue;
        }
        const button = document.createElement('button');
        button.type = 'button';
        button.setAttribute('role', 'menuitem');
        button.dataset.key = `${item.oid}`;
        const title = document.createElement('span');
        title.textContent = item.title ?? '';
        const keys = document.createElement('span');
        keys.className = 'keys';
        keys.setAttribute('aria-hidden', 'true');
        keys.textContent = shortcut(item);
        button.append(title, keys);
        if (item.enabled === false) {
            button.setAttribute('aria-disabled', 'true');
        }
        entry.append(button);
        if (item.submenu) {
            button.setAttribute('aria-haspopup', 'menu');
            button.setAttribute('aria-expanded', 'false');
            const submenu = drawMenu(item.submenu, bar, ctx);
            submenu.classList.add('nested');
            entry.append(submenu);
            button.addEventListener('click', () => {
                const open = submenu.hidden;
                submenu.hidden = !open;
                button.setAttribute('aria-expanded', String(open));
            });
        } else {
            button.addEventListener('click', () => {
                if (button.getAttribute('aria-disabled') === 'true') {
                    return;
                }
                closeAll(bar);
                ctx.send(item.oid, 'click');
            });
        }
        list.append(entry);
    }
    list.addEventListener('keydown', (event) => {
        const items = [...list.querySelectorAll(':scope > li > [role="menuitem"]')];
        const at = items.indexOf(document.activeElement);
        const step = { ArrowDown: 1, ArrowUp: -1 }[event.key];
        if (step && items.length > 0) {
            event.preventDefault();
            items[(at + step + items.length) % items.length].focus();
        }
    });
    return list;
}

export function drawMenuBar(bar, mainMenu, ctx) {
    // A redraw keeps the menu the user has open.
    const openIndex = [...bar.children].findIndex(
        (top) => top.querySelector(':scope > [aria-expanded="true"]') !== null,
    );
    bar.replaceChildren();
    if (!mainMenu) {
        return;
    }
    (mainMenu.items ?? []).forEach((item, index) => {
        const top = document.createElement('div');
        top.className = 'top';
        const button = document.createElement('button');
        button.type = 'button';
        button.setAttribute('role', 'menuitem');
        button.textContent = item.title ?? '';
        button.dataset.key = `${item.oid}`;
        if (item.enabled === false) {
            button.setAttribute('aria-disabled', 'true');
        }
        top.append(button);
        if (item.submenu) {
            button.setAttribute('aria-haspopup', 'menu');
            button.setAttribute('aria-expanded', 'false');
            const menu = drawMenu(item.submenu, bar, ctx);
            top.append(menu);
            button.addEventListener('click', () => {
                const open = menu.hidden;
                closeAll(bar);
                menu.hidden = !open;
                button.setAttribute('aria-expanded', String(open));
                if (open) {
                    menu.querySelector('[role="menuitem"]')?.focus();
                }
            });
            if (index === openIndex) {
                menu.hidden = false;
                button.setAttribute('aria-expanded', 'true');
            }
        } else {
            button.addEventListener('click', () => ctx.send(item.oid, 'click'));
        }
        bar.append(top);
    });
}

// Escape or a press elsewhere closes open menus.
export function wireMenuBar(bar) {
    document.addEventListener('pointerdown', (event) => {
        if (!bar.contains(event.target)) {
            closeAll(bar);
        }
    });
    bar.addEventListener('keydown', (event) => {
        const step = { ArrowRight: 1, ArrowLeft: -1 }[event.key];
        if (step) {
            // Left and right walk the menu bar, opening the neighbour when a menu was open.
            const tops = [...bar.querySelectorAll(':scope > .top > [role="menuitem"]')];
            const current = tops.findIndex((top) => top.parentElement.contains(document.activeElement));
            if (current >= 0) {
                event.preventDefault();
                const wasOpen = tops[current].getAttribute('aria-expanded') === 'true';
                const next = tops[(current + step + tops.length) % tops.length];
                closeAll(bar);
                next.focus();
                if (wasOpen && next.getAttribute('aria-haspopup')) {
                    next.click();
                }
            }
        } else if (event.key === 'Escape') {
            const open = bar.querySelector(':scope > .top > [aria-expanded="true"]');
            closeAll(bar);
            open?.focus();
        }
    });
}
