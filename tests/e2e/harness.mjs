// The suite's plumbing: one headless Chromium with a fresh profile that cannot reach outside
// hosts, one line per case, screenshots for a person to look at.
import { mkdir, mkdtemp, rm } from 'node:fs/promises';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { pathToFileURL } from 'node:url';

export async function launchBrowser(modulesDir, executablePath) {
    const { chromium } = await import(pathToFileURL(join(modulesDir, 'playwright-core', 'index.mjs')).href);
    const profile = await mkdtemp(join(tmpdir(), 'swfharvex-e2e-profile-'));
    const context = await chromium.launchPersistentContext(profile, {
        executablePath,
        headless: true,
        viewport: { width: 1280, height: 860 },
        args: [
            '--no-sandbox',
            '--disable-gpu',
            '--disable-quic',
            '--no-first-run',
            '--disable-background-networking',
            '--disable-component-update',
            '--disable-sync',
            '--host-resolver-rules=MAP * ~NOTFOUND , EXCLUDE 127.0.0.1',
        ],
    });
    // A control that never shows up fails its case in seconds, not half a minute.
    context.setDefaultTimeout(5000);
    return {
        context,
        async close() {
            await context.close();
            await rm(profile, { recursive: true, force: true });
        },
    };
}

export class Suite {
    constructor(name, artifacts) {
        this.name = name;
        this.artifacts = artifacts;
        this.passed = 0;
        this.failed = 0;
        this.skipped = 0;
        // What a failed case leaves behind to be looked at (a screenshot, a log), when set.
        this.onFailure = null;
    }

    async run(title, body) {
        const started = Date.now();
        try {
            await body();
            this.passed++;
            console.log(`ok    ${this.name}: ${title} (${Date.now() - started} ms)`);
        } catch (error) {
            this.failed++;
            console.log(`FAIL  ${this.name}: ${title}\n      ${String(error?.stack ?? error).split('\n').slice(0, 6).join('\n      ')}`);
            await this.onFailure?.(`FAILED-${this.name}-${this.failed}`).catch((failure) => console.log(`      (nothing kept: ${failure})`));
        }
    }

    skip(title, reason) {
        this.skipped++;
        console.log(`skip  ${this.name}: ${title} (${reason})`);
    }

    async screenshot(page, name) {
        await mkdir(this.artifacts, { recursive: true });
        await page.screenshot({ path: join(this.artifacts, `${name}.png`) });
    }
}

export function check(condition, message) {
    if (!condition) {
        throw new Error(message);
    }
}

export function same(actual, expected, what) {
    const a = JSON.stringify(actual);
    const e = JSON.stringify(expected);
    if (a !== e) {
        throw new Error(`${what}: expected ${e}, got ${a}`);
    }
}

// Polls until `probe` answers something truthy; its last answer explains a timeout.
export async function until(probe, what, timeout = 5000) {
    const deadline = Date.now() + timeout;
    let last;
    for (;;) {
        last = await probe();
        if (last) {
            return last;
        }
        if (Date.now() > deadline) {
            throw new Error(`timed out waiting for ${what}`);
        }
        await new Promise((resolve) => setTimeout(resolve, 50));
    }
}
