// The page files themselves: image sizes, the licences' encodings, the scripts as ECMAScript 3
// (the browser control may run the page in an old document mode), and the resource script that
// carries them in the Installer.
'use strict';

const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('fs');
const path = require('path');
const acorn = require('acorn');
const h = require('./harness');

const file = (name) => path.join(h.pagesDir, name);
const utf8 = new TextDecoder('utf-8', { fatal: true });
const BOM = Buffer.from([0xEF, 0xBB, 0xBF]);

// Width and height from the file's own header: GIF logical screen, JPEG start of frame.
function imageSize(name) {
    const data = fs.readFileSync(file(name));
    if (data.toString('latin1', 0, 6) === 'GIF89a' || data.toString('latin1', 0, 6) === 'GIF87a') {
        return { type: 'gif', width: data.readUInt16LE(6), height: data.readUInt16LE(8) };
    }
    assert.equal(data.readUInt16BE(0), 0xFFD8, `${name} is no JPEG`);
    for (let at = 2; at < data.length;) {
        const marker = data.readUInt16BE(at);
        const length = data.readUInt16BE(at + 2);
        if (marker >= 0xFFC0 && marker <= 0xFFCF && marker !== 0xFFC4 && marker !== 0xFFC8 && marker !== 0xFFCC) {
            return { type: 'jpeg', height: data.readUInt16BE(at + 5), width: data.readUInt16BE(at + 7) };
        }
        at += 2 + length;
    }
    throw new Error(`${name}: no frame header`);
}

const images = [
    { name: 'images/downloader_bg_400.gif', type: 'gif', width: 1, height: 400 },
    { name: 'images/progress_blank.jpg', type: 'jpeg', width: 448, height: 25 },
    { name: 'images/progress_frame.jpg', type: 'jpeg', width: 454, height: 29 },
    { name: 'images/progress_green.jpg', type: 'jpeg', width: 448, height: 25 },
];

test('the four images have their sizes', () => {
    for (const image of images) {
        assert.deepEqual(imageSize(image.name), { type: image.type, width: image.width, height: image.height },
            image.name);
    }
});

test('the browser decodes the four images at their sizes', async () => {
    const browser = await h.launch();
    try {
        const page = await h.openPage(browser);
        for (const image of images) {
            const size = await page.evaluate((src) => new Promise((resolve, reject) => {
                const element = new Image();
                element.onload = () => resolve({ width: element.naturalWidth, height: element.naturalHeight });
                element.onerror = () => reject(new Error('not decoded: ' + src));
                element.src = src;
            }), image.name);
            assert.deepEqual(size, { width: image.width, height: image.height }, image.name);
        }
    } finally {
        await browser.close();
    }
});

test('licences: UTF-8 with a byte-order mark and a declared charset, English plain ASCII', () => {
    for (const locale of h.locales) {
        const data = fs.readFileSync(file(`EULA_${locale}.html`));
        const text = utf8.decode(data);
        if (locale === 'en-us') {
            assert.ok(!data.subarray(0, 3).equals(BOM), 'the English licence has no byte-order mark');
            assert.ok(data.every((b) => b < 0x80), 'the English licence is plain ASCII');
            assert.ok(!/charset=UTF-8/i.test(text));
        } else {
            assert.ok(data.subarray(0, 3).equals(BOM), `${locale}: byte-order mark`);
            assert.ok(text.includes('<meta http-equiv="Content-Type" content="text/html; charset=UTF-8">'),
                `${locale}: declared charset`);
        }
        assert.ok(/<html[\s>]/i.test(text) && /<\/html>\s*$/i.test(text), `${locale}: one complete document`);
        assert.ok(text.includes('Larchmeadow Games App'), locale);
    }
});

test('each licence is in its own language', () => {
    const marks = {
        'de': 'Lizenzvertrag', 'es': 'Contrato de licencia', 'es-es': 'ordenadores', 'fr': 'Contrat de licence',
        'it': 'Contratto di licenza', 'ko': '사용권', 'pt': 'Contrato de licença', 'zh-chs': '许可协议',
        'zh-cht': '授權合約', 'en-us': 'License Agreement',
    };
    const texts = new Set();
    for (const locale of h.locales) {
        const text = fs.readFileSync(file(`EULA_${locale}.html`), 'utf8');
        assert.ok(text.includes(marks[locale]), locale);
        texts.add(text);
    }
    assert.equal(texts.size, 10, 'ten different documents');
});

test('strings.js is UTF-8 with a byte-order mark', () => {
    const data = fs.readFileSync(file('js/strings.js'));
    assert.ok(data.subarray(0, 3).equals(BOM));
    utf8.decode(data);
});

test('the scripts and the page\'s inline handlers parse as ECMAScript 3', () => {
    for (const name of ['js/install.js', 'js/strings.js']) {
        const source = fs.readFileSync(file(name), 'utf8').replace(/^\uFEFF/, '');
        assert.doesNotThrow(() => acorn.parse(source, { ecmaVersion: 3, sourceType: 'script' }), name);
    }
    const page = fs.readFileSync(file('install.html'), 'utf8');
    const handlers = [...page.matchAll(/\son[a-z]+="([^"]*)"/g)].map((m) => m[1]);
    assert.ok(handlers.length >= 4);
    for (const code of handlers) {
        assert.doesNotThrow(() => acorn.parse(code, { ecmaVersion: 3 }), code);
    }
});

test('the page has its elements in document order and loads its files in order', () => {
    const page = fs.readFileSync(file('install.html'), 'utf8');
    const ids = [...page.matchAll(/\sid="([^"]+)"/g)].map((m) => m[1]);
    assert.deepEqual(ids, ['pageHeaderPanel', 'pageTitle', 'pageSubTitle', 'page_main', 'EULAFrame', 'page_progress',
        'ProgressContainer', 'progressBar', 'progressBarLabel', 'progressBarMask', 'progressBarFull',
        'progressBarEmpty', 'page_finish', 'resultsMessage', 'resultsMessage2', 'footer', 'AgreeButton', 'OkButton',
        'CancelButton']);
    const loads = [...page.matchAll(/(?:href|src)="((?:css|js)\/[^"]+)"/g)].map((m) => m[1]);
    assert.deepEqual(loads, ['css/style.css', 'css/progressbar.css', 'js/strings.js', 'js/install.js']);
    assert.ok(/name="EULAFrame"/.test(page));
});
