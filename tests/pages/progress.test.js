// The progress bar: the values the host refreshes on "ReadRegValues", the bar's offset
// 3 + ceil(448 / 100 x percent) and its label, pass by pass on the page's own 100 ms timer.
'use strict';

const test = require('node:test');
const assert = require('node:assert/strict');
const h = require('./harness');

let browser;
test.before(async () => { browser = await h.launch(); });
test.after(async () => { await browser.close(); });

function bar(page) {
    return page.evaluate(() => ({
        left: document.getElementById('progressBarEmpty').style.left,
        label: document.getElementById('progressBarLabel').textContent,
    }));
}

function progress(download, install) {
    const entry = {};
    entry[h.downloadKey] = download;
    entry[h.installKey] = install;
    return entry;
}

const installing = 'Installing critical files...';

// Each case: the values of successive passes, and the bar after each pass.
const cases = [
    { name: 'a download falling from 50 to 30 and back to 40 stays at 35, then shows 28',
        passes: [progress('50', '0'), progress('30', '0'), progress('40', '0')],
        bars: [{ left: '160px', label: '35%' }, { left: '160px', label: '35%' }, { left: '129px', label: '28%' }] },
    { name: 'values that are no numbers count as 0: nothing is drawn until a real value comes',
        passes: [progress('abc', '0'), progress(null, null), progress('NaN', 'NaN'), progress('-5', '-1'),
            progress('10', '0')],
        bars: [{ left: '', label: installing }, { left: '', label: installing }, { left: '', label: installing },
            { left: '', label: installing }, { left: '35px', label: '7%' }] },
    { name: 'a download above 100 counts as 100: 70',
        passes: [progress('150', '0')], bars: [{ left: '317px', label: '70%' }] },
    { name: 'download 100, install 0: 70',
        passes: [progress('100', '0')], bars: [{ left: '317px', label: '70%' }] },
    { name: 'download 100, install 100: 80',
        passes: [progress('100', '100')], bars: [{ left: '362px', label: '80%' }] },
    { name: 'download 100, install 50.5: 75.05',
        passes: [progress('100', '50.5')], bars: [{ left: '340px', label: '75%' }] },
];

for (const c of cases) {
    test(c.name, async () => {
        const page = await h.openPage(browser, { clock: true, progress: c.passes });
        try {
            await page.evaluate('ShowPage( PROGRESS ); BeginInstall(); DownloaderStarted( 0,70,80 );');
            for (let i = 0; i < c.bars.length; ++i) {
                await page.clock.runFor(100);
                const reads = (await h.events(page)).filter((e) => e === 'ReadRegValues').length;
                assert.equal(reads, i + 1, 'one ReadRegValues per pass');
                assert.deepEqual(await bar(page), c.bars[i], `after pass ${i + 1}`);
            }
            assert.deepEqual(page.scriptErrors, []);
        } finally {
            await page.close();
        }
    });
}

test('a value that cannot be read counts as 0', async () => {
    const page = await h.openPage(browser, { clock: true, throwing: [h.downloadKey],
        progress: [progress('100', '100')] });
    try {
        await page.evaluate('DownloaderStarted( 0,70,80 );');
        await page.clock.runFor(100);
        // Download unreadable (0), install 100: 0 + 10 = 10 %.
        assert.deepEqual(await bar(page), { left: '48px', label: '10%' });
    } finally {
        await page.close();
    }
});

test('DownloaderEnded stops the passes', async () => {
    const page = await h.openPage(browser, { clock: true, progress: [progress('10', '0')] });
    try {
        await page.evaluate('DownloaderStarted( 0,70,80 );');
        await page.clock.runFor(350);
        const before = (await h.events(page)).filter((e) => e === 'ReadRegValues').length;
        assert.equal(before, 3);
        await page.evaluate('DownloaderEnded();');
        await page.clock.runFor(1000);
        const after = (await h.events(page)).filter((e) => e === 'ReadRegValues').length;
        assert.equal(after, before);
    } finally {
        await page.close();
    }
});

test('DownloaderEnded without a pending pass does nothing', async () => {
    const page = await h.openPage(browser, { clock: true });
    try {
        await page.evaluate('DownloaderEnded(); DownloaderEnded();');
        await page.clock.runFor(500);
        assert.deepEqual(await h.events(page), ['HtmlInstallLoaded']);
        assert.deepEqual(page.scriptErrors, []);
    } finally {
        await page.close();
    }
});

test('SetProgressPercent(0) leaves the bar where it is and shows 0%', async () => {
    const page = await h.openPage(browser);
    try {
        await page.evaluate('SetProgressPercent( 50 );');
        assert.deepEqual(await bar(page), { left: '228px', label: '50%' });
        await page.evaluate('SetProgressPercent( 0 );');
        assert.deepEqual(await bar(page), { left: '228px', label: '0%' });
    } finally {
        await page.close();
    }
});

test('the offset is the width of one percent (4.48 px, a little more in binary) times p, rounded up', async () => {
    // Where the product of 4.48 and p lands just above a whole number the order shows: 448 x p /
    // 100 would give one pixel less at each of these.
    const page = await h.openPage(browser);
    try {
        const expected = { 12.5: '60px', 25: '116px', 50: '228px', 75: '340px', 100: '452px' };
        for (const p of Object.keys(expected)) {
            await page.evaluate(`SetProgressPercent( ${p} );`);
            assert.equal((await bar(page)).left, expected[p], `at ${p}`);
        }
    } finally {
        await page.close();
    }
});

test('the host\'s own steps 90, 95, 98 and 100', async () => {
    const page = await h.openPage(browser);
    try {
        const expected = { 90: '407px', 95: '429px', 98: '443px', 100: '452px' };
        for (const p of [90, 95, 98, 100]) {
            await page.evaluate(`SetProgressPercent( ${p} );`);
            assert.deepEqual(await bar(page), { left: expected[p], label: `${p}%` });
        }
        await page.evaluate('SetProgressPercent( 33.4 );');
        assert.equal((await bar(page)).label, '33%');
        await page.evaluate('SetProgressPercent( 33.5 );');
        assert.equal((await bar(page)).label, '34%');
    } finally {
        await page.close();
    }
});
