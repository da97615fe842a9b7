// The web panel: follows the panel through panel.cgi (each answer waits for the
// next change) and sends presses through press.cgi. No framework, no build step.
'use strict';

const picture = document.getElementById('picture');
const lines = document.querySelectorAll('#text-row .line');
const lit = document.getElementById('lit');
const status = document.getElementById('status');
const longestHoldMs = 60000;
let shownSvg = '';

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

function show(panel) {
    // A new picture only on a change: replacing it restarts its blinking.
    if (panel.svg !== shownSvg) {
        picture.innerHTML = panel.svg.replace(/^<\?xml[^>]*>\s*/, '');
        shownSvg = panel.svg;
    }
    const texts = panel.fixedText ? ['fixed text ' + panel.fixedText, ''] : panel.lines;
    texts.forEach((text, i) => {
        if (lines[i].textContent !== text) lines[i].textContent = text;
    });
    const parts = [];
    if (panel.symbols.length) parts.push('Symbols: ' + panel.symbols.join(', '));
    if (panel.leds.length) parts.push('LEDs: ' + panel.leds.join(', '));
    lit.textContent = parts.join(' \u00b7 ');
}

async function follow() {
    let id = '';
    for (;;) {
        try {
            const answer = await fetch('panel.cgi' + (id ? '?since=' + id + '&wait=10000' : ''),
                                       {cache: 'no-store'});
            if (!answer.ok) {
                status.textContent = (await answer.text()).trim();
                id = '';
                await sleep(1000);
                continue;
            }
            const panel = await answer.json();
            if (!id) status.textContent = '';
            id = panel.id;
            show(panel);
        } catch (error) {
            status.textContent = 'The unit does not answer; trying again.';
            id = '';
            await sleep(1000);
        }
    }
}

async function press(code, heldMs) {
    const hold = Math.min(Math.max(Math.round(heldMs), 0), longestHoldMs);
    try {
        const answer = await fetch('press.cgi?key=' + code + '&hold=' + hold, {method: 'POST'});
        if (!answer.ok) status.textContent = (await answer.text()).trim();
    } catch (error) {
        status.textContent = 'The press did not reach the unit.';
    }
}

// Pointer, finger or keyboard: the time between down and up is the hold time.
function bindKey(button) {
    const code = Number(button.dataset.code);
    const name = button.getAttribute('aria-label');
    let downAt = null;
    let ticker = null;
    let justSent = false;

    const start = () => {
        if (downAt !== null) return;
        downAt = performance.now();
        button.classList.add('held');
        ticker = setInterval(() => {
            status.textContent = name + ' held ' + ((performance.now() - downAt) / 1000).toFixed(1) + ' s';
        }, 200);
    };
    const end = (send) => {
        if (downAt === null) return;
        const held = performance.now() - downAt;
        downAt = null;
        clearInterval(ticker);
        button.classList.remove('held');
        if (held >= 200) status.textContent = '';
        if (!send) return;
        press(code, held);
        // The click that follows belongs to this press.
        justSent = true;
        setTimeout(() => { justSent = false; }, 0);
    };

    button.addEventListener('pointerdown', (event) => {
        if (event.button !== 0) return;
        button.setPointerCapture(event.pointerId);
        start();
    });
    button.addEventListener('pointerup', () => end(true));
    button.addEventListener('pointercancel', () => end(false));
    button.addEventListener('contextmenu', (event) => event.preventDefault());
    button.addEventListener('keydown', (event) => {
        if (event.key !== ' ' && event.key !== 'Enter') return;
        event.preventDefault();
        if (!event.repeat) start();
    });
    button.addEventListener('keyup', (event) => {
        if (event.key !== ' ' && event.key !== 'Enter') return;
        event.preventDefault();
        end(true);
    });
    button.addEventListener('blur', () => end(false));
    // A screen reader's activation comes as a click alone: a short press.
    button.addEventListener('click', () => {
        if (!justSent) press(code, 0);
    });
}

document.querySelectorAll('button[data-code]').forEach(bindKey);
follow();
