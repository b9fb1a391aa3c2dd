// The page as it loads, in each of the ten languages.
'use strict';

const test = require('node:test');
const assert = require('node:assert/strict');
const h = require('./harness');

const english = {
    String_Agree: 'Agree',
    String_OK: 'Finish',
    String_Cancel: 'Cancel',
    String_MainPageHeaderGame: 'Larchmeadow Games App Setup',
    String_MainPageBodyPlaydeck: 'Click Agree below to accept our license agreement and continue with the installation.',
    String_ProgressPageHeader: 'Please wait while installation completes',
    String_FinishPageHeaderGame: 'Larchmeadow Games App Setup Complete',
    String_FinishPageBody1: 'Thank you for installing this product.  Click Finish below to close this window.',
    String_FinishPageBody2: '',
    String_ProgressInstallingConsole: 'Installing critical files...',
    String_Preparing: 'Preparing for installation...',
};

let browser;
test.before(async () => { browser = await h.launch(); });
test.after(async () => { await browser.close(); });

test('strings.js holds the eleven tables in all ten languages, English as given', () => {
    const tables = h.stringTables();
    assert.deepEqual(Object.keys(english).sort(), Object.keys(tables).filter((k) => k.startsWith('String_')).sort());
    for (const name of Object.keys(english)) {
        assert.deepEqual(Object.keys(tables[name]).sort(), h.locales.slice().sort(), name);
        assert.equal(tables[name]['en-us'], english[name], name);
        for (const locale of h.locales) {
            const text = tables[name][locale];
            assert.equal(typeof text, 'string', `${name} ${locale}`);
            if (name === 'String_FinishPageBody2') assert.equal(text, '', `${name} ${locale}`);
            else assert.notEqual(text, '', `${name} ${locale}`);
        }
    }
    // Translated, not copied: the sentences differ from English in every other language.
    for (const locale of h.locales.filter((l) => l !== 'en-us')) {
        for (const name of ['String_MainPageBodyPlaydeck', 'String_ProgressPageHeader', 'String_FinishPageBody1',
            'String_Preparing', 'String_ProgressInstallingConsole', 'String_Cancel']) {
            assert.notEqual(tables[name][locale], english[name], `${name} ${locale}`);
        }
    }
});

for (const locale of h.locales) {
    test(`on load in ${locale}: 0%, the licence frame of the language, the texts of the language`, async () => {
        const tables = h.stringTables();
        const page = await h.openPage(browser, { values: { LMLocale: locale } });
        try {
            const shown = await page.evaluate(() => {
                const text = (id) => document.getElementById(id).textContent;
                const value = (id) => document.getElementById(id).value;
                const display = (id) => getComputedStyle(document.getElementById(id)).display;
                return {
                    label: text('progressBarLabel'),
                    barLeft: document.getElementById('progressBarEmpty').style.left,
                    title: text('pageTitle'),
                    subtitle: text('pageSubTitle'),
                    finish1: text('resultsMessage'),
                    finish2: text('resultsMessage2'),
                    agree: value('AgreeButton'),
                    ok: value('OkButton'),
                    cancel: value('CancelButton'),
                    frame: document.getElementById('EULAFrame').getAttribute('src'),
                    views: [display('page_main'), display('page_progress'), display('page_finish')],
                    buttons: [display('AgreeButton'), display('OkButton'), display('CancelButton')],
                };
            });
            assert.equal(shown.label, '0%');
            assert.equal(shown.barLeft, '', 'the bar stays empty');
            assert.equal(shown.frame, `EULA_${locale}.html`);
            assert.equal(shown.title, tables.String_MainPageHeaderGame[locale]);
            assert.equal(shown.subtitle, '', 'no view yet');
            assert.equal(shown.finish1, tables.String_FinishPageBody1[locale]);
            assert.equal(shown.finish2, '');
            assert.equal(shown.agree, tables.String_Agree[locale]);
            assert.equal(shown.ok, tables.String_OK[locale]);
            assert.equal(shown.cancel, tables.String_Cancel[locale]);
            assert.deepEqual(shown.views, ['none', 'none', 'none'], 'all views hidden until the host shows one');
            assert.deepEqual(shown.buttons, ['none', 'none', 'inline-block']);

            const frame = page.frame({ name: 'EULAFrame' });
            await frame.waitForLoadState('load');
            assert.ok(frame.url().endsWith(`/EULA_${locale}.html`), frame.url());
            const document = await frame.evaluate(() => ({
                charset: document.characterSet,
                lang: document.documentElement.lang,
                heading: document.querySelector('h1').textContent,
            }));
            // The English licence is plain ASCII and declares nothing; the others declare UTF-8.
            if (locale !== 'en-us') assert.equal(document.charset, 'UTF-8');
            assert.ok(document.heading.startsWith('Larchmeadow Games App'), document.heading);
            assert.deepEqual(await h.events(page), ['HtmlInstallLoaded']);
            assert.deepEqual(page.scriptErrors, []);
        } finally {
            await page.close();
        }
    });
}

test('the page reads its locale and brand, and shows no scroll bars at 500 x 400', async () => {
    const page = await h.openPage(browser, { values: { LMLocale: 'fr' } });
    try {
        const state = await page.evaluate(() => ({
            locale, brand,
            overflow: getComputedStyle(document.body).overflow,
            scrolls: document.documentElement.scrollHeight > document.documentElement.clientHeight ||
                document.documentElement.scrollWidth > document.documentElement.clientWidth,
            scrollAttribute: document.body.getAttribute('scroll'),
        }));
        assert.equal(state.locale, 'fr');
        assert.equal(state.brand, 'larchplay');
        assert.equal(state.overflow, 'hidden');
        assert.equal(state.scrollAttribute, 'no');
        assert.equal(state.scrolls, false);
    } finally {
        await page.close();
    }
});

test('a locale outside the ten loads without script errors and still raises its event', async () => {
    const page = await h.openPage(browser, { values: { LMLocale: 'xx' } });
    try {
        assert.deepEqual(await h.events(page), ['HtmlInstallLoaded']);
        assert.equal(await page.evaluate(() => document.getElementById('progressBarLabel').textContent), '0%');
        assert.deepEqual(page.scriptErrors, []);
    } finally {
        await page.close();
    }
});
