// The page tests' browser: Debian's Chromium, headless, driven by playwright-core, showing the
// Installer's page files straight from Installer/pages. A stand-in window.external (put in
// place before any page script runs) serves the values the Installer would set and records the
// events the page raises; "ReadRegValues" takes the next entry of a list of progress values,
// as the Installer refreshes them before the call returns.
'use strict';

const fs = require('fs');
const os = require('os');
const path = require('path');
const { chromium } = require('playwright-core');

const pagesDir = path.resolve(__dirname, '..', '..', 'Installer', 'pages');
const pageUrl = 'file://' + path.join(pagesDir, 'install.html');
const locales = ['en-us', 'de', 'es', 'es-es', 'fr', 'it', 'ko', 'pt', 'zh-chs', 'zh-cht'];
const downloadKey = 'HKLM\\Software\\Larchmeadow\\InstallerStatus\\Download';
const installKey = 'HKLM\\Software\\Larchmeadow\\InstallerStatus\\Install';

function chromiumPath() {
    for (const candidate of ['/usr/lib/chromium/chromium', '/usr/bin/chromium']) {
        if (fs.existsSync(candidate)) return candidate;
    }
    throw new Error('Chromium is not installed (make deps installs it)');
}

// One browser with a new, empty profile; close() removes the profile again.
async function launch() {
    const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'lm-pages-'));
    const context = await chromium.launchPersistentContext(profile, {
        executablePath: chromiumPath(),
        headless: true,
        viewport: { width: 500, height: 400 },
        args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
            '--disable-background-networking', '--disable-component-update', '--disable-sync',
        ],
    });
    return {
        context,
        async close() {
            await context.close();
            fs.rmSync(profile, { recursive: true, force: true });
        },
    };
}

// The stand-in external object, in the page before its scripts.
function standIn(config) {
    if (window !== window.top) return;
    const state = {
        values: config.values || {},
        events: [],
        progress: config.progress || [],
        throwing: config.throwing || [],
        reads: 0,
    };
    window.__lm = state;
    Object.defineProperty(window, 'external', {
        configurable: true,
        value: {
            GetValue(key) {
                if (state.throwing.indexOf(key) >= 0) throw new Error('no value');
                const value = state.values[key];
                return value === undefined ? '' : String(value);
            },
            SetValue(key, value) { state.values[key] = String(value); },
            SetEvent(name) {
                state.events.push(name);
                if (name === 'ReadRegValues' && state.reads < state.progress.length) {
                    const next = state.progress[state.reads++];
                    for (const key of Object.keys(next)) {
                        if (next[key] === null) delete state.values[key];
                        else state.values[key] = next[key];
                    }
                }
                return '';
            },
            Close() { state.closed = true; },
        },
    });
}

// A new page of the browser with the stand-in set up. With `clock` set the page's timers run on
// a fake clock that stands still once the page has loaded: the tests move time on themselves.
async function openPage(browser, config = {}) {
    const page = await browser.context.newPage();
    const values = Object.assign({ LMLocale: 'en-us', BrandName: 'larchplay' }, config.values || {});
    await page.addInitScript(standIn, { values, progress: config.progress, throwing: config.throwing });
    if (config.clock) await page.clock.install();
    const errors = [];
    page.on('pageerror', (error) => errors.push(error));
    await page.goto(pageUrl);
    await page.waitForFunction(() => window.__lm && window.__lm.events.indexOf('HtmlInstallLoaded') >= 0);
    if (config.clock) {
        // From here on the page's time stands still until the test runs it on.
        const now = await page.evaluate(() => Date.now());
        await page.clock.pauseAt(now + 60000); // no timer of the page is pending yet
    }
    page.scriptErrors = errors;
    return page;
}

function events(page) {
    return page.evaluate(() => window.__lm.events.slice());
}

// The text tables of strings.js, read as the page reads them.
function stringTables() {
    const vm = require('vm');
    const source = fs.readFileSync(path.join(pagesDir, 'js', 'strings.js'), 'utf8').replace(/^\uFEFF/, '');
    const sandbox = {};
    vm.runInNewContext(source, sandbox);
    return sandbox;
}

module.exports = {
    pagesDir, pageUrl, locales, downloadKey, installKey, launch, openPage, events, stringTables,
};
