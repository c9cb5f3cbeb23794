#!/usr/bin/env node
// The browser build's page in Debian's Chromium, headless, served on 127.0.0.1:
//   sizes      every file of the page raw and gzip-compressed, and what a first visit transfers
//              from a plain static host (the .gz files as they are, the rest raw) and from one
//              that compresses the rest too
//   start-up   from the click to the menu's first frame and to its song (first 10 ms louder
//              than -45 dBFS), in fresh browser contexts (median and worst)
//   frames     frames a second on the menu and in play over 10 s, the intervals (median, p99,
//              max) and the main thread's time per frame (the game's work from the refresh it
//              woke on to its next wait)
//   sound      gaps (2 ms or more of digital silence) in 60 s of the menu song, and from the
//              click on Start through the room's start (its picture and song loading) to 10 s
//              after; the sound recorded inside the page, where SDL's node hands it on
// Usage: node bench/web.js PAGE_DIR [--runs N]   (bash scripts/bench.sh --web runs it)
'use strict';

const childProcess = require('child_process');
const fs = require('fs');
const path = require('path');
const zlib = require('zlib');

const Root = path.resolve(__dirname, '..');
const {chromium} = require(path.join(Root, 'tests/e2e/web/node_modules/playwright-core'));
// What the page plays, recorded where it reaches the browser's output.
const OutputTap = fs.readFileSync(path.join(Root, 'tests/e2e/web/output_tap.js'), 'utf8');

const Width = 800;
const Height = 600;
const SilenceRun = 2;       // ms of digital silence that count as a gap
const LoudDb = -45;         // a 10 ms window louder than this is sound
const TransferTarget = 12e6;

function verdict(ok) {
    return ok ? 'met' : 'MISSED';
}

function median(values) {
    return quantile(values, 0.5);
}

function quantile(values, q) {
    if (values.length === 0) return NaN;
    const sorted = [...values].sort((a, b) => a - b);
    const at = (sorted.length - 1) * q;
    const low = Math.floor(at);
    return sorted[low] + (sorted[Math.min(low + 1, sorted.length - 1)] - sorted[low]) * (at - low);
}

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

function serve(page, log) {
    return new Promise((resolve, reject) => {
        const server = childProcess.spawn('python3',
            [path.join(Root, 'scripts/web_server.py'), page, '--log', log], {stdio: ['ignore', 'pipe', 'inherit']});
        let text = '';
        server.stdout.on('data', (data) => {
            text += data;
            const line = text.split('\n')[0];
            if (text.includes('\n')) resolve({server, url: line.trim()});
        });
        server.on('exit', (code) => reject(new Error(`the page's server ended (${code})`)));
    });
}

function files(folder, base = folder) {
    return fs.readdirSync(folder, {withFileTypes: true}).flatMap((entry) => {
        const full = path.join(folder, entry.name);
        return entry.isDirectory() ? files(full, base) : [path.relative(base, full)];
    });
}

function sizes(page, requested) {
    const rows = files(page).sort().map((name) => {
        const bytes = fs.readFileSync(path.join(page, name));
        const gzip = name.endsWith('.gz') ? bytes.length : zlib.gzipSync(bytes, {level: 9}).length;
        return {name, raw: bytes.length, gzip, requested: requested.has(name)};
    });
    console.log('  file                          raw bytes   gzip -9   requested on a first visit');
    for (const row of rows) {
        console.log(`  ${row.name.padEnd(28)} ${String(row.raw).padStart(10)} ${String(row.gzip).padStart(9)}   ${row.requested ? 'yes' : ''}`);
    }
    const first = rows.filter((row) => row.requested);
    const plain = first.reduce((sum, row) => sum + row.raw, 0);
    const compressing = first.reduce((sum, row) => sum + row.gzip, 0);
    const all = rows.reduce((sum, row) => sum + row.raw, 0);
    console.log(`  the page's folder: ${(all / 1e6).toFixed(2)} MB in ${rows.length} files`);
    console.log(`  a first visit, ${first.length} files: ${(plain / 1e6).toFixed(2)} MB from a plain static host, ` +
        `${(compressing / 1e6).toFixed(2)} MB from one that compresses  <= 12 MB: ${verdict(plain <= TransferTarget)}`);
}

// Paths the page's server was asked for, from its log.
function requestedFiles(log) {
    const out = new Set();
    for (const line of fs.readFileSync(log, 'utf8').split('\n')) {
        const match = line.match(/"GET \/([^ ?"]*)[^"]*" 200/);
        if (match) out.add(match[1] === '' ? 'index.html' : decodeURIComponent(match[1]));
    }
    return out;
}

async function openPage(browser, url) {
    const context = await browser.newContext({viewport: {width: 1024, height: 768}});
    const page = await context.newPage();
    await page.addInitScript({content: OutputTap});
    await page.goto(url);
    await page.waitForFunction(() => window.flurber && window.flurber.state === 'ready', null, {timeout: 120000});
    return {context, page};
}

async function click(page) {
    const box = await canvasBox(page);
    await page.mouse.click(box.x + box.width / 2, box.y + box.height / 2);
}

async function canvasBox(page) {
    return page.evaluate(() => {
        const box = document.getElementById('canvas').getBoundingClientRect();
        return {x: box.left, y: box.top, width: box.width, height: box.height};
    });
}

async function moveTo(page, x, y) {
    const box = await canvasBox(page);
    await page.mouse.move(box.x + (x + 0.5) * box.width / Width, box.y + (y + 0.5) * box.height / Height);
}

async function clickAt(page, x, y) {
    const box = await canvasBox(page);
    await page.mouse.click(box.x + (x + 0.5) * box.width / Width, box.y + (y + 0.5) * box.height / Height);
}

// The page's recording from frame `from` on, as one mono Float32Array, with its rate and the
// performance.now() of its first frame.
async function recording(page, from) {
    const got = await page.evaluate((from) => {
        const {rate, left, right} = window.outputTap.samples(from);
        const mono = new Float32Array(left.length);
        for (let i = 0; i < mono.length; ++i) mono[i] = (left[i] + right[i]) / 2;
        let text = '';
        const bytes = new Uint8Array(mono.buffer);
        for (let i = 0; i < bytes.length; i += 32768) {
            text += String.fromCharCode.apply(null, bytes.subarray(i, i + 32768));
        }
        return {rate, startedAt: window.outputTap.startedAt, data: btoa(text)};
    }, from);
    const bytes = Buffer.from(got.data, 'base64');
    const mono = new Float32Array(bytes.buffer, bytes.byteOffset, bytes.length / 4);
    return {rate: got.rate, startedAt: got.startedAt, mono};
}

// ms into the recording of the first 10 ms louder than LoudDb, or null.
function firstSound(mono, rate) {
    const step = Math.round(rate / 100);
    for (let i = 0; i + step <= mono.length; i += step) {
        let sum = 0;
        for (let j = i; j < i + step; ++j) sum += mono[j] * mono[j];
        if (10 * Math.log10(sum / step + 1e-20) > LoudDb) return i * 1000 / rate;
    }
    return null;
}

// Runs of digital silence of SilenceRun ms or more after the first sound: [{at, ms}] (at in s).
function gaps(mono, rate, from = 0) {
    const least = Math.round(rate * SilenceRun / 1000);
    const out = [];
    let run = 0;
    for (let i = from; i <= mono.length; ++i) {
        if (i < mono.length && mono[i] === 0) {
            ++run;
            continue;
        }
        if (run >= least) out.push({at: (i - run) / rate, ms: run * 1000 / rate});
        run = 0;
    }
    return out;
}

function describeGaps(list) {
    return list.length === 0 ? '0' :
        `${list.length} (${list.slice(0, 8).map((gap) => `at ${gap.at.toFixed(2)} s for ${gap.ms.toFixed(0)} ms`).join(', ')}${list.length > 8 ? ', ...' : ''})`;
}

// Frames a second, intervals and work per frame over `seconds`, the page left as it is.
async function frames(page, what, seconds) {
    const from = await page.evaluate(() => window.flurber.frames);
    await sleep(seconds * 1000);
    const {times, work} = await page.evaluate((from) => ({
        times: window.flurber.frameTimes(from), work: window.flurber.frameWork(from + 1),
    }), from);
    const intervals = times.slice(1).map((t, i) => t - times[i]);
    const fps = (times.length - 1) * 1000 / (times[times.length - 1] - times[0]);
    const p99 = quantile(intervals, 0.99);
    console.log(`  ${what}: ${fps.toFixed(2)} frames a second over ${seconds} s  60.0 +- 0.5: ${verdict(Math.abs(fps - 60) <= 0.5)}`);
    console.log(`    intervals median ${median(intervals).toFixed(2)} ms, p99 ${p99.toFixed(2)} ms, ` +
        `max ${Math.max(...intervals).toFixed(2)} ms  p99 <= 18 ms: ${verdict(p99 <= 18)}`);
    console.log(`    main thread per frame: median ${median(work).toFixed(2)} ms, p99 ${quantile(work, 0.99).toFixed(2)} ms, ` +
        `max ${Math.max(...work).toFixed(2)} ms`);
}

async function main() {
    const argv = process.argv.slice(2);
    const pageDir = path.resolve(argv[0] || path.join(Root, 'build-web/page'));
    const runsAt = argv.indexOf('--runs');
    const runs = runsAt >= 0 ? +argv[runsAt + 1] : 5;
    if (!fs.existsSync(path.join(pageDir, 'index.html'))) throw new Error(`no page in ${pageDir}`);
    const work = fs.mkdtempSync('/tmp/flurber-web-bench.');
    const log = path.join(work, 'server.log');
    const {server, url} = await serve(pageDir, log);
    const browser = await chromium.launch({executablePath: '/usr/bin/chromium', args: ['--no-sandbox'], headless: true});
    try {
        console.log(`== start-up in fresh contexts (${runs} runs; the page from ${url})`);
        const toFrame = [];
        const toSong = [];
        for (let run = 0; run < runs; ++run) {
            const {context, page} = await openPage(browser, url);
            await click(page);
            await page.waitForFunction(() => window.outputTap.frames > 0, null, {timeout: 10000});
            await page.waitForFunction(() => window.flurber.state === 'menu' && window.outputTap.frames > 2 * window.outputTap.rate,
                null, {timeout: 20000});
            const times = await page.evaluate(() => ({click: window.flurber.startedAt, frame: window.flurber.firstFrameAt}));
            const heard = await recording(page, 0);
            const first = firstSound(heard.mono, heard.rate);
            toFrame.push(times.frame - times.click);
            if (first !== null) toSong.push(heard.startedAt + first - times.click);
            console.log(`  run ${run + 1}: first menu frame ${(times.frame - times.click).toFixed(0)} ms after the click, ` +
                `its song ${first === null ? 'not heard' : `${(heard.startedAt + first - times.click).toFixed(0)} ms`} ` +
                `(recording from ${(heard.startedAt - times.click).toFixed(0)} ms)`);
            await context.close();
        }
        const worstFrame = Math.max(...toFrame);
        const worstSong = toSong.length === runs ? Math.max(...toSong) : Infinity;
        console.log(`  click to the menu's first frame: median ${median(toFrame).toFixed(0)} ms, worst ${worstFrame.toFixed(0)} ms  <= 1 s: ${verdict(worstFrame <= 1000)}`);
        console.log(`  click to the menu song: median ${median(toSong).toFixed(0)} ms, worst ${worstSong.toFixed(0)} ms  <= 1 s: ${verdict(worstSong <= 1000)}`);

        console.log('== the page\'s files');
        sizes(pageDir, requestedFiles(log));

        console.log('== frames and sound in one game');
        const {context, page} = await openPage(browser, url);
        await click(page);
        await page.waitForFunction(() => window.outputTap.frames > 0, null, {timeout: 10000});
        await page.waitForFunction(() => window.flurber.state === 'menu', null, {timeout: 20000});
        await moveTo(page, 500, 450);
        const menuFrom = await page.evaluate(() => window.outputTap.frames);
        await frames(page, 'menu', 10);
        await sleep(50000);
        const menu = await recording(page, menuFrom);
        const songAt = firstSound(menu.mono, menu.rate);
        const menuGaps = songAt === null ? null : gaps(menu.mono, menu.rate, Math.round(songAt * menu.rate / 1000));
        console.log(`  gaps in ${(menu.mono.length / menu.rate).toFixed(1)} s of the menu song: ` +
            `${menuGaps === null ? 'no song heard' : describeGaps(menuGaps)}  == 0: ${verdict(menuGaps !== null && menuGaps.length === 0)}`);

        const startFrom = await page.evaluate(() => window.outputTap.frames);
        const startFrame = await page.evaluate(() => window.flurber.frames);
        await clickAt(page, 100, 150);
        await page.waitForFunction(() => window.flurber.state === 'playing', null, {timeout: 10000});
        await sleep(10000);
        const start = await recording(page, startFrom);
        const startTimes = await page.evaluate((from) => window.flurber.frameTimes(from), startFrame);
        const longest = Math.max(...startTimes.slice(1).map((t, i) => t - startTimes[i]));
        const startWork = await page.evaluate((from) => window.flurber.frameWork(from), startFrame + 1);
        const startGaps = gaps(start.mono, start.rate);
        console.log(`  from the click on Start to 10 s after (the room's picture and song loading): ` +
            `gaps ${describeGaps(startGaps)}  == 0: ${verdict(startGaps.length === 0)}`);
        console.log(`    longest frame interval ${longest.toFixed(1)} ms (the screen switch's pause is 200 ms), ` +
            `longest main-thread work of a frame ${Math.max(...startWork).toFixed(1)} ms`);
        // Play: the cleaner walks to and fro, as a player keeps it moving.
        await page.keyboard.down('ArrowRight');
        const walking = frames(page, 'play (walking)', 10);
        await sleep(5000);
        await page.keyboard.up('ArrowRight');
        await page.keyboard.down('ArrowLeft');
        await walking;
        await page.keyboard.up('ArrowLeft');
        await context.close();
    } finally {
        await browser.close();
        server.kill();
        fs.rmSync(work, {recursive: true, force: true});
    }
}

main().catch((error) => {
    console.error(error);
    process.exit(1);
});
