// What the desktop's browser benchmarks share: their common options and how they report.
import { parseArgs } from 'node:util';

// The options every desktop benchmark takes, plus its own.
export function benchOptions(own = {}) {
    return parseArgs({
        options: {
            modules: { type: 'string' },
            chromium: { type: 'string', default: '/usr/bin/chromium' },
            swfharvex: { type: 'string' },
            swfmovie: { type: 'string' },
            ...own,
        },
    }).values;
}

export const median = (list) => [...list].sort((a, b) => a - b)[Math.floor(list.length / 2)];

// One line: the median, the spread and the count, in milliseconds.
export function report(what, list, width = 44) {
    const fixed = (value) => value.toFixed(list.some((value) => value % 1 !== 0) ? 1 : 0);
    console.log(`${what.padEnd(width)} median ${fixed(median(list))} ms  (min ${fixed(Math.min(...list))}, max ${fixed(Math.max(...list))}, n=${list.length})`);
}
