// The three views, the buttons and the keyboard shortcuts.
'use strict';

const test = require('node:test');
const assert = require('node:assert/strict');
const h = require('./harness');

let browser;
test.before(async () => { browser = await h.launch(); });
test.after(async () => { await browser.close(); });

const english = h.stringTables();

async function viewState(page) {
    return page.evaluate(() => {
        const display = (id) => getComputedStyle(document.getElementById(id)).display !== 'none';
        return {
            current: CurrentPage,
            views: ['main', 'progress', 'finish'].filter((v) => display('page_' + v)),
            subtitle: document.getElementById('pageSubTitle').textContent,
            buttons: ['AgreeButton', 'OkButton', 'CancelButton'].filter(display),
            label: document.getElementById('progressBarLabel').textContent,
        };
    });
}

// A key press as the browser control delivers it with Ctrl held: the control character.
function pressKey(page, code, ctrl = true, shift = true) {
    return page.evaluate(([code, ctrl, shift]) => {
        const event = new KeyboardEvent('keypress', { keyCode: code, charCode: code, ctrlKey: ctrl, shiftKey: shift,
            bubbles: true, cancelable: true });
        document.body.dispatchEvent(event);
    }, [code, ctrl, shift]);
}

function click(page, id) {
    // The buttons are clicked as the page's own key handler does, whether shown or not.
    return page.evaluate((id) => document.getElementById(id).click(), id);
}

const views = [
    { view: 'MAIN', name: 'main', subtitle: english.String_MainPageBodyPlaydeck['en-us'],
        buttons: ['AgreeButton', 'CancelButton'] },
    { view: 'PROGRESS', name: 'progress', subtitle: english.String_ProgressPageHeader['en-us'], buttons: [] },
    { view: 'FINISH', name: 'finish', subtitle: english.String_FinishPageHeaderGame['en-us'], buttons: ['OkButton'] },
];

for (const v of views) {
    test(`ShowPage( ${v.view} ) shows that view alone with its subtitle and buttons`, async () => {
        const page = await h.openPage(browser);
        try {
            await page.evaluate(`ShowPage( MAIN );`);
            await page.evaluate(`ShowPage( ${v.view} );`);
            const state = await viewState(page);
            assert.equal(state.current, v.name);
            assert.deepEqual(state.views, [v.name]);
            assert.equal(state.subtitle, v.subtitle);
            assert.deepEqual(state.buttons, v.buttons);
            assert.deepEqual(await h.events(page), ['HtmlInstallLoaded'], 'showing a view raises nothing');
        } finally {
            await page.close();
        }
    });
}

test('Agree shows the progress view, labels the bar and raises HtmlInstallBegin', async () => {
    const page = await h.openPage(browser, { values: { LMLocale: 'it' } });
    try {
        await page.evaluate('ShowPage( MAIN );');
        await click(page, 'AgreeButton');
        const state = await viewState(page);
        assert.deepEqual(state.views, ['progress']);
        assert.equal(state.label, english.String_ProgressInstallingConsole.it);
        assert.equal(state.subtitle, english.String_ProgressPageHeader.it);
        assert.deepEqual(await h.events(page), ['HtmlInstallLoaded', 'HtmlInstallBegin']);
    } finally {
        await page.close();
    }
});

test('BeginInstall labels the bar in the host language and raises HtmlInstallBegin without changing the view',
    async () => {
        const page = await h.openPage(browser, { values: { LMLocale: 'ko' } });
        try {
            await page.evaluate('ShowPage( PROGRESS );');
            await page.evaluate('BeginInstall();');
            const state = await viewState(page);
            assert.deepEqual(state.views, ['progress']);
            assert.equal(state.label, english.String_ProgressInstallingConsole.ko);
            assert.deepEqual(await h.events(page), ['HtmlInstallLoaded', 'HtmlInstallBegin']);
        } finally {
            await page.close();
        }
    });

const clicks = [
    { view: 'MAIN', button: 'CancelButton', event: 'HtmlInstallCancel' },
    { view: 'FINISH', button: 'CancelButton', event: 'HtmlInstallCancelOnFinishPage' },
    { view: 'PROGRESS', button: 'CancelButton', event: 'HtmlInstallCancel' },
    { view: 'MAIN', button: 'OkButton', event: null },
    { view: 'PROGRESS', button: 'OkButton', event: null },
    { view: 'FINISH', button: 'OkButton', event: 'HtmlInstallFinish' },
];
for (const c of clicks) {
    test(`${c.button} on ${c.view} raises ${c.event || 'nothing'}`, async () => {
        const page = await h.openPage(browser);
        try {
            await page.evaluate(`ShowPage( ${c.view} );`);
            await click(page, c.button);
            const expected = ['HtmlInstallLoaded'].concat(c.event ? [c.event] : []);
            assert.deepEqual(await h.events(page), expected);
        } finally {
            await page.close();
        }
    });
}

test('Cancel before the host shows a view counts as the licence view', async () => {
    const page = await h.openPage(browser);
    try {
        await click(page, 'CancelButton');
        assert.deepEqual(await h.events(page), ['HtmlInstallLoaded', 'HtmlInstallCancel']);
    } finally {
        await page.close();
    }
});

const keys = [
    { view: 'MAIN', key: 1, event: 'HtmlInstallBegin', after: 'progress' },
    { view: 'MAIN', key: 3, event: 'HtmlInstallCancel', after: 'main' },
    { view: 'MAIN', key: 15, event: null, after: 'main' },
    { view: 'PROGRESS', key: 1, event: null, after: 'progress' },
    { view: 'PROGRESS', key: 3, event: null, after: 'progress' },
    { view: 'PROGRESS', key: 15, event: null, after: 'progress' },
    { view: 'FINISH', key: 1, event: null, after: 'finish' },
    { view: 'FINISH', key: 3, event: null, after: 'finish' },
    { view: 'FINISH', key: 15, event: 'HtmlInstallFinish', after: 'finish' },
];
const letter = { 1: 'A', 3: 'C', 15: 'O' };
for (const k of keys) {
    test(`Ctrl+Shift+${letter[k.key]} on ${k.view} raises ${k.event || 'nothing'}`, async () => {
        const page = await h.openPage(browser);
        try {
            await page.evaluate(`ShowPage( ${k.view} );`);
            await pressKey(page, k.key);
            const expected = ['HtmlInstallLoaded'].concat(k.event ? [k.event] : []);
            assert.deepEqual(await h.events(page), expected);
            assert.deepEqual((await viewState(page)).views, [k.after]);
        } finally {
            await page.close();
        }
    });
}

test('the shortcuts need both Ctrl and Shift', async () => {
    const page = await h.openPage(browser);
    try {
        await page.evaluate('ShowPage( MAIN );');
        await pressKey(page, 1, true, false);
        await pressKey(page, 3, false, true);
        await pressKey(page, 'a'.charCodeAt(0), false, false);
        assert.deepEqual(await h.events(page), ['HtmlInstallLoaded']);
    } finally {
        await page.close();
    }
});
