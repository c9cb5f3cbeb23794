#!/usr/bin/env node
// A player's way through the page in a real browser: the page loads and shows the title picture
// with "Click to play"; the click starts the menu, whose steady picture equals the desktop game's
// menu pixel for pixel; Start by a click plays room 1 with its cleaner; Right walks, S strokes;
// 5 s of play at 60 frames a second; Space clears the room and room 2 comes; Escape goes back to
// the menu; Quit leaves a page that says so, and "Play again" starts the menu once more.
// The sound the page played is recorded inside the page, where it reaches the browser's output
// (output_tap.js), and written out for sound_check.py.
// In Chromium, first: the page opened from the disk says that it needs a web server, and a failed
// download is named, with a button that tries again.
// Usage: node page_test.js --browser chromium|firefox --url URL --page PAGE_DIR --menu MENU.ppm
//        --room2 ROOM.ppm --work DIR
'use strict';

const fs = require('fs');
const path = require('path');

// What the page plays, recorded where it reaches the browser's output.
const OutputTap = fs.readFileSync(path.join(__dirname, 'output_tap.js'), 'utf8');
const Width = 800;
const Height = 600;
// The band where the cleaner walks (below the intro's banner), and the room's band above it,
// which in play shows the room picture but for a piece of garbage falling through.
const CleanerBand = [0, 265, 800, 325];
const RoomBand = [100, 100, 600, 160];

function options() {
    const out = {};
    const argv = process.argv.slice(2);
    for (let i = 0; i + 1 < argv.length; i += 2) out[argv[i].replace(/^--/, '')] = argv[i + 1];
    for (const name of ['browser', 'url', 'page', 'menu', 'room2', 'work']) {
        if (!out[name]) throw new Error(`missing --${name}`);
    }
    return out;
}

function note(text) {
    console.log(`-- ${text}`);
}

// A binary PPM (P6, 8 bits) as 0xRRGGBB numbers.
function readPpm(file) {
    const bytes = fs.readFileSync(file);
    const header = bytes.toString('latin1', 0, 64).match(/^P6\s+(\d+)\s+(\d+)\s+(\d+)\s/);
    if (!header || +header[3] !== 255) throw new Error(`${file}: not an 8-bit P6 picture`);
    const width = +header[1];
    const height = +header[2];
    const start = header[0].length;
    const pixels = new Uint32Array(width * height);
    for (let i = 0; i < pixels.length; ++i) {
        const at = start + i * 3;
        pixels[i] = (bytes[at] << 16) | (bytes[at + 1] << 8) | bytes[at + 2];
    }
    return {width, height, pixels};
}

function writePpm(file, picture) {
    const header = Buffer.from(`P6\n${picture.width} ${picture.height}\n255\n`, 'latin1');
    const body = Buffer.alloc(picture.width * picture.height * 3);
    picture.pixels.forEach((pixel, i) => {
        body[i * 3] = (pixel >> 16) & 255;
        body[i * 3 + 1] = (pixel >> 8) & 255;
        body[i * 3 + 2] = pixel & 255;
    });
    fs.writeFileSync(file, Buffer.concat([header, body]));
}

// Playwright drives Chromium, puppeteer Firefox (through WebDriver BiDi): one face for both.
async function launch(kind) {
    const viewport = {width: 1024, height: 768};
    if (kind === 'chromium') {
        const {chromium} = require('playwright-core');
        const browser = await chromium.launch({
            executablePath: '/usr/bin/chromium',
            args: ['--no-sandbox'],
            headless: true,
        });
        const page = await browser.newPage({viewport});
        await page.addInitScript({content: OutputTap});
        return {
            page,
            close: () => browser.close(),
            waitFunction: (fn, arg, timeout) => page.waitForFunction(fn, arg, {timeout, polling: 50}),
        };
    }
    if (kind === 'firefox') {
        const puppeteer = require('puppeteer-core');
        const browser = await puppeteer.launch({
            browser: 'firefox',
            executablePath: '/usr/bin/firefox-esr',
            headless: true,
            defaultViewport: viewport,
        });
        const page = await browser.newPage();
        await page.evaluateOnNewDocument(OutputTap);
        return {
            page,
            close: () => browser.close(),
            waitFunction: (fn, arg, timeout) => page.waitForFunction(fn, {timeout, polling: 50}, arg),
        };
    }
    throw new Error(`unknown browser ${kind}`);
}

// Installed in the page: the canvas kept under names and compared in the page itself, so that a
// wait does not carry whole pictures across to the test at every look.
function installProbes() {
    const canvas = document.getElementById('canvas');
    window.probes = {
        shots: {},
        grab() {
            const data = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height).data;
            const pixels = new Uint32Array(canvas.width * canvas.height);
            for (let i = 0; i < pixels.length; ++i) {
                pixels[i] = (data[i * 4] << 16) | (data[i * 4 + 1] << 8) | data[i * 4 + 2];
            }
            return pixels;
        },
        shot(name) {
            this.shots[name] = this.grab();
            return true;
        },
        keep(name, base64) {
            const bytes = Uint8Array.from(atob(base64), (c) => c.charCodeAt(0));
            this.shots[name] = new Uint32Array(bytes.buffer);
        },
        // Pixels differing between two shots (the second one null: the canvas now) in a rectangle.
        differing(a, b, [x, y, w, h]) {
            const first = this.shots[a];
            const second = b ? this.shots[b] : this.grab();
            let count = 0;
            for (let row = y; row < y + h; ++row) {
                for (let column = x; column < x + w; ++column) {
                    if (first[row * canvas.width + column] !== second[row * canvas.width + column]) {
                        ++count;
                    }
                }
            }
            return count;
        },
        // The countdown is black text on a white box whose top-left corner is at (395, 20).
        countdownShown() {
            const data = canvas.getContext('2d').getImageData(395, 20, 2, 2).data;
            return data.slice(0, 3).every((v) => v === 255) && data.slice(12, 15).every((v) => v === 255);
        },
    };
    return true;
}

async function main() {
    const opts = options();
    const menuReference = readPpm(opts.menu);
    const room2Reference = readPpm(opts.room2);
    const {page, close, waitFunction} = await launch(opts.browser);
    const events = [];
    const failures = [];
    const pageErrors = [];
    page.on('pageerror', (error) => pageErrors.push(String(error)));
    page.on('console', (message) => {
        fs.appendFileSync(path.join(opts.work, 'console.log'),
            `${message.type()}: ${message.text()}\n`);
    });

    const evaluate = (fn, arg) => page.evaluate(fn, arg);
    const waitFor = async (what, seconds, fn, arg) => {
        try {
            await waitFunction(fn, arg === undefined ? null : arg, seconds * 1000);
        } catch (error) {
            throw new Error(`${what} (not within ${seconds} s; the page is "${
                await evaluate(() => window.flurber && window.flurber.state).catch(() => '?')}")`);
        }
    };
    const check = (ok, text) => {
        console.log(`${ok ? 'ok  ' : 'FAIL'} ${text}`);
        if (!ok) failures.push(text);
    };
    // Unix time in seconds, as the sink's recorder notes it.
    const now = () => evaluate(() => (performance.timeOrigin + performance.now()) / 1000);
    const mark = async (name) => events.push([name, await now()]);
    const canvasBox = () => evaluate(() => {
        const box = document.getElementById('canvas').getBoundingClientRect();
        return {x: box.left, y: box.top, width: box.width, height: box.height};
    });
    let box = null;
    const toPage = (x, y) => [box.x + (x + 0.5) * box.width / Width, box.y + (y + 0.5) * box.height / Height];
    const moveTo = (x, y) => page.mouse.move(...toPage(x, y));
    const clickAt = (x, y) => page.mouse.click(...toPage(x, y));
    // A key held for 80 ms, as a player taps it: long enough for a frame to see it, shorter than
    // the 200 ms pause of a screen switch, after which the next screen would see it too (Escape
    // held on would go to the menu and straight back).
    const tap = async (key) => {
        await page.keyboard.down(key);
        await new Promise((resolve) => setTimeout(resolve, 80));
        await page.keyboard.up(key);
    };
    // Taps a key, again while the page's state is not the one wanted after 2 s, for at most
    // `seconds`: a loaded machine may miss a tap.
    const tapUntil = async (key, state, seconds) => {
        const deadline = Date.now() + seconds * 1000;
        while (Date.now() < deadline) {
            await tap(key);
            try {
                await waitFunction((state) => window.flurber.state === state, state, 2000);
                return;
            } catch (notYet) {
            }
        }
        throw new Error(`${key} did not lead to the ${state} state within ${seconds} s`);
    };
    const differing = (a, b, rect) => evaluate(([a, b, rect]) => window.probes.differing(a, b, rect), [a, b, rect]);
    const shot = (name) => evaluate((name) => window.probes.shot(name), name);
    // Two looks 300 ms apart that agree: the picture has settled.
    const untilSteady = async (what, seconds) => {
        const deadline = Date.now() + seconds * 1000;
        await shot('before');
        while (Date.now() < deadline) {
            await new Promise((resolve) => setTimeout(resolve, 300));
            await shot('after');
            if (await differing('before', 'after', [0, 0, Width, Height]) === 0) return;
            await shot('before');
        }
        throw new Error(`${what} does not settle within ${seconds} s`);
    };

    try {
        if (opts.browser === 'chromium') {
            note('the page opened from the disk says it needs a web server');
            await page.goto(`file://${path.resolve(opts.page, 'index.html')}`);
            await waitFor('a problem told', 20, () => window.flurber && window.flurber.state === 'error');
            const problem = await evaluate(() => window.flurber.problem);
            check(/web server/.test(problem), `from the disk: "${problem}"`);

            note('a download that fails is named, with a way to try again');
            await page.route('**/assets.tar.gz', (route) => route.abort());
            await page.goto(opts.url);
            await waitFor('a problem told', 60, () => window.flurber.state === 'error');
            const failed = await evaluate(() => ({
                problem: window.flurber.problem,
                button: document.querySelector('#notice-actions button').textContent,
            }));
            check(/assets\.tar\.gz/.test(failed.problem) && /try again/i.test(failed.button),
                `"${failed.problem}" with "${failed.button}"`);
            await page.unroute('**/assets.tar.gz');
            await evaluate(() => document.querySelector('#notice-actions button').click());
        } else {
            await page.goto(opts.url);
        }
        note(`${opts.browser}: the page loads`);
        await waitFor('the page ready to play', 120, () => window.flurber && window.flurber.state === 'ready');
        const cover = await evaluate(() => ({
            text: document.getElementById('notice-text').textContent,
            title: document.getElementById('title').naturalWidth,
        }));
        check(cover.text.startsWith('Click to play') && cover.title === Width,
            `the title picture (${cover.title} pixels wide) with "${cover.text}"`);
        await evaluate(installProbes);
        box = await canvasBox();

        note('the click starts the menu');
        await page.mouse.click(box.x + box.width / 2, box.y + box.height / 2);
        await waitFor('the menu after the click', 20, () => window.flurber.state === 'menu');
        await waitFor('the page\'s sound recorded', 10, () => window.outputTap.frames > 0);
        const audio = await evaluate(() => ({state: window.flurber.audio.state, rate: window.flurber.audio.sampleRate}));
        check(audio.state === 'running', `the AudioContext is ${audio.state} at ${audio.rate} Hz`);

        note('the steady menu equals the desktop game\'s');
        await moveTo(500, 450);
        await untilSteady('the menu', 10);
        const menu = await evaluate(() => window.flurber.readCanvas());
        let differ = 0;
        for (let i = 0; i < menuReference.pixels.length; ++i) {
            if (menu.pixels[i] !== menuReference.pixels[i]) ++differ;
        }
        if (differ !== 0) writePpm(path.join(opts.work, 'menu.ppm'), menu);
        check(menu.width === Width && menu.height === Height && differ === 0,
            `the canvas (${menu.width} x ${menu.height}) differs from the desktop's menu in ${differ} pixels`);
        // Some of the menu song before Start.
        await mark('menu');
        await waitFor('3 s of the menu song', 10, (end) => (performance.timeOrigin + performance.now()) / 1000 >= end,
            (await now()) + 3);

        note('Start: room 1 with its intro, then its cleaner');
        await mark('start');
        await clickAt(100, 150);
        await waitFor('the room after Start', 10, () => window.flurber.state === 'playing');
        await waitFor('the countdown in room 1', 20, () => window.probes.countdownShown());
        await shot('intro');
        // The intro draws no cleaner: play has begun when the cleaner's band changes.
        await waitFor('the end of the intro', 30,
            (band) => window.probes.differing('intro', null, band) > 2000, CleanerBand);

        note('the cleaner walks right while Right is held');
        await shot('still');
        await page.keyboard.down('ArrowRight');
        // Standing, only a falling piece of garbage changes the band; the walk with the camera
        // following changes most of it.
        let walked = true;
        await waitFor('the walk', 10, (band) => window.probes.differing('still', null, band) > 25000,
            CleanerBand).catch(() => { walked = false; });
        await page.keyboard.up('ArrowRight');
        check(walked, 'the cleaner walked while Right was held');

        note('S strokes');
        // A few frames after the walk, the cleaner at rest.
        const walkedTo = await evaluate(() => window.flurber.frames);
        await waitFor('frames after the walk', 5, (from) => window.flurber.frames >= from + 3, walkedTo);
        await shot('rest');
        await page.keyboard.down('s');
        let stroked = true;
        await waitFor('the stroke pose', 5, ([band, least]) => window.probes.differing('rest', null, band) > least,
            [CleanerBand, StrokePixels]).catch(() => { stroked = false; });
        await page.keyboard.up('s');
        check(stroked, 'the cleaner took the stroke pose while S was held');

        note('5 s of play');
        const from = await evaluate(() => window.flurber.frames);
        const began = await now();
        await waitFor('5 s of play', 10, (end) => (performance.timeOrigin + performance.now()) / 1000 >= end, began + 5);
        const times = await evaluate((from) => window.flurber.frameTimes(from), from);
        const origin = await evaluate(() => performance.timeOrigin);
        const inFive = times.filter((t) => (origin + t) / 1000 >= began && (origin + t) / 1000 < began + 5).length;
        check(inFive >= 270 && inFive <= 305, `${(inFive / 5).toFixed(1)} frames a second over 5 s of play`);

        note('Space: the room is clean, then room 2');
        await evaluate((base64) => window.probes.keep('room2', base64),
            Buffer.from(room2Reference.pixels.buffer).toString('base64'));
        await mark('space');
        await tap(' ');
        await waitFor('room 2 seen from the middle', 40,
            (band) => window.probes.countdownShown() && window.probes.differing('room2', null, band) < 8000, RoomBand);
        check(true, 'room 2 after Space');
        // Room 2's song for a while.
        await waitFor('3 s of room 2', 10, (end) => (performance.timeOrigin + performance.now()) / 1000 >= end, (await now()) + 3);

        note('Escape to the menu, and Quit');
        await mark('escape');
        await moveTo(500, 450);
        await tapUntil('Escape', 'menu', 10);
        await waitFor('3 s of the menu', 10, (end) => (performance.timeOrigin + performance.now()) / 1000 >= end, (await now()) + 3);
        await mark('quit');
        await clickAt(100, 350);
        await waitFor('the page after Quit', 10, () => window.flurber.state === 'quit');
        const ended = await evaluate(() => ({
            code: window.flurber.exitCode,
            text: document.getElementById('notice-text').textContent,
            again: document.getElementById('notice-actions').textContent,
        }));
        check(ended.code === 0 && /quit/i.test(ended.text) && /play again/i.test(ended.again),
            `after Quit (exit code ${ended.code}): "${ended.text}" with "${ended.again}"`);

        note('the recording');
        await saveRecording();

        note('Play again');
        await mark('again');
        await evaluate(() => document.querySelector('#notice-actions button').click());
        await waitFor('the menu after Play again', 20, () => window.flurber.state === 'menu');
        check(true, 'Play again starts the menu');
    } catch (error) {
        check(false, error.message);
        await page.screenshot({path: path.join(opts.work, 'failure.png')}).catch(() => {});
    } finally {
        fs.writeFileSync(path.join(opts.work, 'events'),
            events.map(([name, at]) => `${name} ${at.toFixed(4)}\n`).join(''));
        check(pageErrors.length === 0, `no errors in the page${pageErrors.length ? ': ' + pageErrors.join('; ') : ''}`);
        await close();
    }
    process.exit(failures.length ? 1 : 0);

    // The page's recording as 48 kHz 16-bit stereo (rec-1.raw) with the moments of its frames
    // (rec-1.times), as sound_check.py reads a sink's recording.
    async function saveRecording() {
        const recorded = await evaluate(() => {
            const {rate, left, right} = window.outputTap.samples(0);
            const frames = left.length;
            const out = new Int16Array(frames * 2);
            for (let i = 0; i < frames; ++i) {
                out[i * 2] = Math.max(-32768, Math.min(32767, Math.round(left[i] * 32767)));
                out[i * 2 + 1] = Math.max(-32768, Math.min(32767, Math.round(right[i] * 32767)));
            }
            let text = '';
            const bytes = new Uint8Array(out.buffer);
            for (let i = 0; i < bytes.length; i += 32768) {
                text += String.fromCharCode.apply(null, bytes.subarray(i, i + 32768));
            }
            return {rate, startedAt: (performance.timeOrigin + window.outputTap.startedAt) / 1000, data: btoa(text)};
        });
        const input = new Int16Array(new Uint8Array(Buffer.from(recorded.data, 'base64')).buffer);
        const frames = input.length / 2;
        const outFrames = Math.floor(frames * 48000 / recorded.rate);
        const output = new Int16Array(outFrames * 2);
        for (let i = 0; i < outFrames; ++i) {
            const at = i * recorded.rate / 48000;
            const j = Math.min(Math.floor(at), frames - 2);
            const f = at - j;
            for (let c = 0; c < 2; ++c) {
                output[i * 2 + c] = Math.round(input[j * 2 + c] * (1 - f) + input[(j + 1) * 2 + c] * f);
            }
        }
        const base = path.join(opts.work, 'rec-1');
        fs.writeFileSync(`${base}.raw`, Buffer.from(output.buffer));
        let marks = `0 ${recorded.startedAt.toFixed(4)}\n`;
        for (let i = 4800; i <= outFrames; i += 4800) marks += `${i} ${(recorded.startedAt + i / 48000).toFixed(4)}\n`;
        fs.writeFileSync(`${base}.times`, marks);
        note(`${(frames / recorded.rate).toFixed(1)} s recorded at ${recorded.rate} Hz`);
    }
}

// The stroke pose changes about 14,000 pixels of the band; a piece of garbage falling through it
// changes at most about 5,000.
const StrokePixels = 8000;

main().catch((error) => {
    console.error(error);
    process.exit(1);
});
