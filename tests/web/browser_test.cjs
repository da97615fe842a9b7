// The web panel in headless Chromium against a running demo (scripts/demo
// --browser): the text row, a click, a long press, a notification, junk CGI
// parameters and two browsers pressing at once; then a screenshot.
// Usage: node browser_test.cjs PANEL_URL UDP_PORT SCREENSHOT.png
'use strict';
const dgram = require('dgram');
const fs = require('fs');
const os = require('os');
const path = require('path');
const puppeteer = require('puppeteer-core');

const [url, udpPort, screenshot] = process.argv.slice(2);
const timeout = 20000;  // ms; CI machines can be busy
let passed = 0;

function check(ok, what) {
    if (!ok) throw new Error('failed: ' + what);
    passed++;
    console.log('ok  ' + what);
}

const textRow = (page) => page.$eval('#text-row', (row) => row.innerText.replace(/\s+$/, ''));

// Clicks the button and waits for the text row to leave what it showed. Times
// in ms: in the page from the button's pointerdown to the changed text, and
// from the driver's click command on (its own round trips included).
async function clickAndWaitForChange(page, name) {
    const before = await textRow(page);
    const key = await page.$(`button[aria-label="${name}"]`);
    await key.evaluate((button) => button.addEventListener('pointerdown', () => {
        window.pressedAt = performance.now();
    }, {once: true}));
    const start = performance.now();
    await key.click();
    const inPage = await page.waitForFunction(
        (old) => document.querySelector('#text-row').innerText.replace(/\s+$/, '') !== old &&
                 performance.now() - window.pressedAt,
        {polling: 'mutation', timeout}, before);
    return {inPage: await inPage.jsonValue(), outside: performance.now() - start};
}

function notify(text) {
    const socket = dgram.createSocket('udp4');
    return new Promise((resolve, reject) =>
        socket.send(text, Number(udpPort), '127.0.0.1', (error) => {
            socket.close();
            error ? reject(error) : resolve();
        }));
}

async function openPanel(browser) {
    const page = await (await browser.createBrowserContext()).newPage();
    await page.setViewport({width: 680, height: 620});
    await page.goto(url, {waitUntil: 'load', timeout});
    // The home page greets for three seconds, then shows its menu.
    await page.waitForFunction(() => /1:next/.test(document.querySelector('#text-row').innerText),
                               {timeout});
    return page;
}

// Rejections name the step that timed out.
const step = (what, promise) => promise.catch((error) => {
    throw new Error(`${what}: ${error.message}`);
});

async function main() {
    const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'nivo-chromium-'));
    const browser = await puppeteer.launch({
        executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
        userDataDir: profile,
        args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-background-networking',
               '--disable-component-update', '--disable-sync', '--no-first-run'],
    });
    try {
        const page = await openPanel(browser);
        const menu = await textRow(page);
        check(/^\d \S+\s*\n1:next 3:ok$/.test(menu), `the text row reads the menu: ${JSON.stringify(menu)}`);

        await clickAndWaitForChange(page, 'Key 1');
        const next = await textRow(page);
        check(next !== menu && /1:next/.test(next), `Key 1 moves on: ${JSON.stringify(next)}`);

        const times = [];
        for (let i = 0; i < 20; i++) times.push(await clickAndWaitForChange(page, 'Key 1'));
        const median = (values) => {
            values.sort((a, b) => a - b);
            return ((values[9] + values[10]) / 2).toFixed(1);
        };
        const inPage = median(times.map((t) => t.inPage));
        console.log(`click to changed text, median of 20: ${inPage} ms in the page ` +
                    `(${median(times.map((t) => t.outside))} ms with the driver's round trips)`);
        check(inPage < 100, 'the median click reaches the page in under 100 ms');

        // Key 2 held past its binding's two seconds opens the screen behind it.
        const box = await (await page.$('button[aria-label="Key 2"]')).boundingBox();
        await page.mouse.move(box.x + box.width / 2, box.y + box.height / 2);
        await page.mouse.down();
        await new Promise((resolve) => setTimeout(resolve, 2300));
        await page.mouse.up();
        await page.waitForFunction(() => /Long press/.test(document.querySelector('#text-row').innerText),
                                   {timeout});
        check(true, 'holding Key 2 fires its long press: ' + JSON.stringify(await textRow(page)));

        const mailMode = () => page.$eval('#picture #sym-MAIL', (symbol) => symbol.getAttribute('class'));
        check(await mailMode() === 'off', 'the mail symbol is off before the notification');
        await notify('WAVD\nMAIL=true');
        await page.waitForFunction(() => document.querySelector('#picture #sym-MAIL').getAttribute('class') !== 'off',
                                   {timeout});
        check(/MAIL/.test(await page.$eval('#lit', (p) => p.textContent)), 'a notification lights its symbol');

        const junk = ['press.cgi?key=8&hold=1', 'press.cgi?key=0&hold=1', 'press.cgi?key=1&hold=60001',
                      'press.cgi?key=1&hold=-5', 'press.cgi?key=1', 'press.cgi?key=1&hold=1&x=1',
                      'press.cgi?key=1&key=1', 'press.cgi?key=%00&hold=1', 'panel.cgi?since=zz',
                      'panel.cgi?wait=1e9', 'panel.cgi?x=%3Cscript%3E'];
        const statuses = await page.evaluate((urls) => Promise.all(
            urls.map((u) => fetch(u, {method: u.startsWith('press') ? 'POST' : 'GET'}).then((r) => r.status))), junk);
        check(statuses.every((s) => s === 400), 'junk parameters are refused with 400: ' + statuses.join(' '));

        // A second browser: both press at once, and both panels still follow the unit.
        const other = await step('the second browser opens', openPanel(browser));
        await Promise.all([0, 1, 2, 3, 4].flatMap(() => [page, other].map(
            (p) => p.$eval('button[aria-label="Key 1"]', (key) => key.click()))));
        await step('a click after both pressed', clickAndWaitForChange(page, 'Key 1'));
        // Presses still on their way may move the panel on: the two must meet on one picture.
        const sameText = async () => {
            for (const deadline = Date.now() + timeout; ;) {
                const text = await textRow(page);
                try {
                    await other.waitForFunction((want) =>
                        document.querySelector('#text-row').innerText.replace(/\s+$/, '') === want,
                        {timeout: 2000}, text);
                    if (await textRow(page) === text) return text;
                } catch (error) {
                    if (Date.now() > deadline) throw error;
                }
            }
        };
        const shown = await step('the second browser shows the same', sameText());
        check(true, 'two browsers pressing at once: both show ' + JSON.stringify(shown));
        await other.close();

        await page.mouse.move(0, 0);  // no hover frame in the picture
        await page.screenshot({path: screenshot});
        check(fs.statSync(screenshot).size > 0, 'screenshot ' + screenshot);
    } finally {
        await browser.close();
        fs.rmSync(profile, {recursive: true, force: true});
    }
}

main().then(() => console.log(`browser: ${passed} passed, 0 failed`), (error) => {
    console.log(error.message);
    console.log(`browser: ${passed} passed, 1 failed`);
    process.exit(1);
});
