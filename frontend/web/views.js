// Draws a view description and its subviews as page elements. Each view is placed inside its
// superview by its own frame; user events go back to the model by the view's oid.
import { place, topLeft } from './geometry.js';
import { frameHolder } from './frames.js';
import { send } from './transport.js';

const SAFE_LINK_SCHEMES = new Set(['http:', 'https:', 'mailto:']);

function element(tag, { className, text, attributes } = {}) {
    const node = document.createElement(tag);
    if (className) {
        node.className = className;
    }
    if (text !== undefined) {
        node.textContent = text;
    }
    for (const [name, value] of Object.entries(attributes ?? {})) {
        node.setAttribute(name, value);
    }
    return node;
}

// A model colour as CSS; nothing for a missing or malformed one.
export function cssColor(color) {
    if (!color || typeof color.red !== 'number') {
        return '';
    }
    const channel = (value) => Math.round(Math.min(1, Math.max(0, value)) * 255);
    const alpha = typeof color.alpha === 'number' ? color.alpha : 1;
    return `rgba(${channel(color.red)}, ${channel(color.green)}, ${channel(color.blue)}, ${alpha})`;
}

// Only links a browser opens harmlessly become links; anything else (javascript:, file:, data:)
// stays text.
export function safeLink(value) {
    if (typeof value !== 'string') {
        return null;
    }
    try {
        const url = new URL(value);
        return SAFE_LINK_SCHEMES.has(url.protocol) ? url.href : null;
    } catch {
        return null;
    }
}

function kindOf(view) {
    if ('dividerThickness' in view) {
        return 'split';
    }
    if ('url' in view || /WebView$/.test(view.class ?? '')) {
        return 'web';
    }
    if (Array.isArray(view.cells)) {
        return 'matrix';
    }
    if ('buttonType' in view) {
        return view.buttonType === 'switch' ? 'checkbox' : 'button';
    }
    if (Array.isArray(view.items) && 'stringValue' in view) {
        return 'combo';
    }
    if ('stringValue' in view) {
        return 'text';
    }
    return 'view';
}

function tooltip(node, view) {
    if (view.toolTip) {
        node.title = view.toolTip;
    }
}

function drawButton(view, ctx) {
    const button = element('button', { className: 'control push', text: view.title ?? '' });
    button.type = 'button';
    button.disabled = view.enabled === false;
    if (view.buttonType === 'radio') {
        button.setAttribute('role', 'radio');
        button.setAttribute('aria-checked', String(view.state === 1));
    }
    tooltip(button, view);
    button.addEventListener('click', () => ctx.send(view.oid, 'click'));
    return button;
}

function drawCheckBox(view, ctx) {
    const box = element('div', { className: 'control checkbox' });
    const input = element('input', { attributes: { type: 'checkbox', id: `c${view.oid}` } });
    input.checked = view.state === 1;
    input.indeterminate = view.state === -1;
    input.disabled = view.enabled === false;
    input.dataset.key = `${view.oid}`;
    input.addEventListener('change', () => ctx.send(view.oid, 'click'));
    const label = element('label', { text: view.title ?? '', attributes: { for: input.id } });
    tooltip(box, view);
    box.append(input, label);
    return box;
}

function drawMatrix(view, ctx) {
    const group = element('div', { className: 'control matrix', attributes: { role: 'radiogroup' } });
    const cells = view.cells;
    const [, , , height] = view.frame;
    cells.forEach((cell, row) => {
        const label = element('label', { className: 'cell' });
        label.style.height = `${height / Math.max(1, cells.length)}px`;
        const input = element('input', { attributes: { type: 'radio', name: `m${view.oid}` } });
        input.checked = row === view.selectedRow;
        input.disabled = view.enabled === false || cell.enabled === false;
        input.dataset.key = `${view.oid}:${row}`;
        input.addEventListener('change', () => ctx.send(view.oid, 'select', { row }));
        label.append(input, document.createTextNode(` ${cell.title ?? ''}`));
        group.append(label);
    });
    return group;
}

function drawRuns(view, ctx, container) {
    const runs = view.attributedStringValue?.runs;
    if (!Array.isArray(runs)) {
        container.textContent = view.stringValue ?? '';
        return;
    }
    runs.forEach((run, index) => {
        const attributes = run.attributes ?? {};
        const href = safeLink(attributes.NSLink);
        const piece = href ? element('a', { attributes: { href } }) : element('span');
        piece.textContent = run.text ?? '';
        const color = cssColor(attributes.NSColor);
        if (color) {
            piece.style.color = color;
        }
        if (attributes.NSUnderline) {
            piece.classList.add('underline');
        }
        if (href) {
            // The model opens the link (and says so when it cannot): the page never navigates.
            piece.addEventListener('click', (event) => {
                event.preventDefault();
                ctx.send(view.oid, 'link', { run: index });
            });
        }
        container.append(piece);
    });
}

// A text input that shows the model's text and sends every keystroke as an edit.
function editableText(view, ctx, options) {
    const input = element('input', options);
    input.value = view.stringValue ?? '';
    input.disabled = view.enabled === false;
    input.dataset.key = `${view.oid}`;
    input.dataset.modelValue = input.value;
    if (view.toolTip) {
        input.setAttribute('aria-label', view.toolTip);
    }
    tooltip(input, view);
    input.addEventListener('input', () => ctx.send(view.oid, 'edit', { text: input.value }));
    return input;
}

function drawTextField(view, ctx) {
    if (view.editable) {
        return editableText(view, ctx, { className: 'control field', attributes: { type: 'text' } });
    }
    const text = element('div', { className: 'control label' });
    text.classList.toggle('selectable', view.selectable === true);
    // A report of several lines keeps its lines and scrolls when it is longer than the field.
    text.classList.toggle('lines', (view.stringValue ?? '').includes('\n'));
    text.classList.toggle('disabled', view.enabled === false);
    const color = cssColor(view.textColor);
    if (color) {
        text.style.color = color;
    }
    tooltip(text, view);
    drawRuns(view, ctx, text);
    return text;
}

function drawComboBox(view, ctx) {
    const box = element('div', { className: 'control combo' });
    const listId = `l${view.oid}`;
    const input = editableText(view, ctx, {
        attributes: { type: 'text', role: 'combobox', 'aria-controls': listId, 'aria-expanded': 'false' },
    });

    const toggle = element('button', { className: 'toggle', text: '▾', attributes: { type: 'button', 'aria-label': 'Choices' } });
    toggle.disabled = input.disabled;
    const list = element('ul', { className: 'choices', attributes: { role: 'listbox', id: listId } });
    list.hidden = true;
    const show = (open) => {
        list.hidden = !open;
        input.setAttribute('aria-expanded', String(open));
    };
    toggle.addEventListener('click', () => show(list.hidden));
    (view.items ?? []).forEach((item, row) => {
        const option = element('li', { text: item, attributes: { role: 'option', tabindex: '-1' } });
        option.setAttribute('aria-selected', String(item === view.stringValue));
        const pick = () => {
            show(false);
            input.value = item;
            ctx.send(view.oid, 'select', { row });
        };
        option.addEventListener('click', pick);
        option.addEventListener('keydown', (event) => {
            if (event.key === 'Enter' || event.key === ' ') {
                event.preventDefault();
                pick();
            }
        });
        list.append(option);
    });
    box.addEventListener('keydown', (event) => {
        if (event.key === 'Escape' && !list.hidden) {
            event.stopPropagation();
            show(false);
            input.focus();
        } else if (event.key === 'ArrowDown' && (event.target === input || event.target.getAttribute('role') === 'option')) {
            event.preventDefault();
            show(true);
            const options = [...list.children];
            const at = options.indexOf(event.target);
            options[Math.min(options.length - 1, at + 1)]?.focus();
        } else if (event.key === 'ArrowUp' && event.target.getAttribute('role') === 'option') {
            event.preventDefault();
            (event.target.previousElementSibling ?? input).focus();
        }
    });
    // The list closes when the focus leaves the box.
    box.addEventListener('focusout', (event) => {
        if (!box.contains(event.relatedTarget)) {
            show(false);
        }
    });
    box.append(input, toggle, list);
    return box;
}

function drawWebView(view) {
    return frameHolder(view);
}

// The divider between the first two panes follows the pointer and tells the model where it was
// let go, in the split view's own (flipped) coordinates; the model decides where it stays.
function drawDivider(view, top, position, ctx, index) {
    const divider = element('div', {
        className: 'divider',
        attributes: {
            role: 'separator',
            'aria-orientation': 'horizontal',
            'aria-valuenow': String(Math.round(position)),
            'aria-valuemin': '0',
            'aria-valuemax': String(Math.round(view.frame[3])),
            tabindex: '0',
        },
    });
    divider.dataset.key = `${view.oid}:divider${index}`;
    place(divider, { left: 0, top, width: view.frame[2], height: view.dividerThickness });
    if (index === 0) {
        divider.addEventListener('pointerdown', (event) => {
            event.preventDefault();
            divider.setPointerCapture(event.pointerId);
            const startY = event.clientY;
            const move = (moved) => {
                divider.style.top = `${top + moved.clientY - startY}px`;
            };
            const up = (released) => {
                divider.removeEventListener('pointermove', move);
                divider.removeEventListener('pointerup', up);
                const delta = released.clientY - startY;
                if (delta !== 0) {
                    ctx.send(view.oid, 'drag', { position: position + delta });
                }
            };
            divider.addEventListener('pointermove', move);
            divider.addEventListener('pointerup', up);
        });
        divider.addEventListener('keydown', (event) => {
            const step = { ArrowUp: -10, ArrowDown: 10 }[event.key];
            if (step) {
                event.preventDefault();
                ctx.send(view.oid, 'drag', { position: position + step });
            }
        });
    }
    divider.addEventListener('dblclick', () => ctx.send(view.oid, 'dividerClick', { count: 2 }));
    return divider;
}

const drawers = {
    button: drawButton,
    checkbox: drawCheckBox,
    matrix: drawMatrix,
    text: drawTextField,
    combo: drawComboBox,
    web: drawWebView,
};

// `ctx.send(oid, kind, fields)` delivers user events.
export function drawView(view, areaHeight, areaFlipped, ctx) {
    const kind = kindOf(view);
    const node = kind in drawers ? drawers[kind](view, ctx) : element('div', { className: `view ${kind}` });
    node.dataset.oid = String(view.oid);
    place(node, topLeft(view.frame, areaHeight, areaFlipped));
    if (kind === 'view' || kind === 'split') {
        const height = view.frame[3];
        const subviews = view.subviews ?? [];
        for (const subview of subviews) {
            node.append(drawView(subview, height, view.flipped === true, ctx));
        }
        if (kind === 'split') {
            for (let index = 0; index + 1 < subviews.length; index++) {
                const [, y, , paneHeight] = subviews[index].frame;
                node.append(drawDivider(view, y + paneHeight, y + paneHeight, ctx, index));
            }
        }
    }
    return node;
}

export { send };
