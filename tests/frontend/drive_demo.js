// Drives the demo front end in Debian's chromium (playwright-core, no browser
// download): a credit payment with installments, answered the way an operator
// would click, then a dropped connection and the session finish.
//
// node drive_demo.js '<json>' with {url, spki, screenshot}, or {scenario: "pix", qrcodeShot}
// for a PIX payment. Talks to the test
// over stdio: prints one JSON line per event ({"event": "paid", ...},
// {"event": "dropped"}, {"event": "done", ...}) and, after "paid", waits for a
// line on stdin (the test drops the connection meanwhile).
"use strict";

const fs = require("fs");
const os = require("os");
const path = require("path");
const readline = require("readline");
const { chromium } = require("playwright-core");

const cfg = JSON.parse(process.argv[2]);
const lines = readline.createInterface({ input: process.stdin });
const nextLine = () => new Promise((resolve) => lines.once("line", resolve));
const emit = (obj) => process.stdout.write(JSON.stringify(obj) + "\n");

async function main() {
  const userDataDir = fs.mkdtempSync(path.join(os.tmpdir(), "zentavo-chromium-"));
  const context = await chromium.launchPersistentContext(userDataDir, {
    executablePath: "/usr/bin/chromium",
    headless: true,
    args: ["--headless", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
           "--disable-component-update", "--disable-sync", "--no-first-run",
           // Trust exactly the service's certificate (the development CA's server certificate).
           "--ignore-certificate-errors-spki-list=" + cfg.spki],
    viewport: { width: 1280, height: 1200 },
  });
  const problems = [];
  try {
    const page = context.pages()[0] || await context.newPage();
    page.on("pageerror", (e) => problems.push("page error: " + e.message));
    // Failed connection attempts while the service is paused are expected.
    page.on("console", (m) => {
      if (m.type() === "error" && !m.text().startsWith("WebSocket connection to")) problems.push("console: " + m.text());
    });
    page.setDefaultTimeout(30000);

    await page.goto(cfg.url);
    await page.waitForFunction(() => document.getElementById("connection").textContent === "conectado");
    if (cfg.scenario === "pix") return await pix(page, problems);

    // Session: the page fetches a development token and sends /session/start.
    await page.fill("#sale-id", "4321");
    await page.click("#session-start");
    await page.waitForFunction(() => document.querySelector("#session-info dd"));
    const sessionUuid = await page.textContent("#session-info dd");

    // The payment menu (function 0): credit, R$ 100,00, the installments chosen in the dialogue.
    await page.selectOption("#operation", "0");
    await page.fill("#value", "100,00");
    await page.click("#pay");

    const menuChoices = ["Credito", "Administradora"];
    const prompts = [];
    let refusedTooLong = false;
    for (let i = 0; i < 50; i++) {
      await page.waitForFunction(() =>
        !document.getElementById("result").hidden || document.getElementById("prompt").childElementCount > 0);
      if (await page.isVisible("#result")) break;
      const title = (await page.textContent("#prompt .prompt-title")).trim();
      if (await page.$("#prompt [data-option]")) {
        prompts.push({ kind: "menu", title,
                       options: await page.$$eval("#prompt [data-option]", (bs) => bs.map((b) => b.textContent)) });
        await page.click('#prompt [data-option*="' + menuChoices.shift() + '"]');
      } else if (await page.$("#collect-input")) {
        prompts.push({ kind: "collect", title,
                       min: await page.getAttribute("#collect-input", "minlength"),
                       max: await page.getAttribute("#collect-input", "maxlength") });
        // Longer than the field allows: the page refuses it without sending.
        await page.evaluate(() => { document.getElementById("collect-input").value = "123"; });
        await page.press("#collect-input", "Enter");
        refusedTooLong = await page.isVisible("#prompt small.bad");
        await page.fill("#collect-input", "3");
        await page.press("#collect-input", "Enter");
      } else if (await page.$('#prompt .options button:text-is("Sim")')) {
        prompts.push({ kind: "question", title });
        await page.click('#prompt .options button:text-is("Sim")');
      } else {
        prompts.push({ kind: "confirmation", title });
        await page.click("#prompt button");
      }
      await page.waitForFunction((t) => {
        const p = document.querySelector("#prompt .prompt-title");
        return !p || p.textContent.trim() !== t || !document.getElementById("result").hidden;
      }, title);
    }

    await page.waitForSelector("#result.approved");
    const result = await page.evaluate(() => {
      const fields = {};
      for (const row of document.querySelectorAll("#result tr")) {
        fields[row.querySelector("th").textContent] = row.querySelector("td").textContent;
      }
      return {
        title: document.querySelector("#result h3").textContent,
        fields,
        copies: [...document.querySelectorAll("#result figure.receipt")].map((f) => ({
          caption: f.querySelector("figcaption").textContent, text: f.querySelector("pre").textContent })),
        log: [...document.querySelectorAll("#log li")].map((li) => li.className + " " + li.textContent),
        cancelPrefill: document.getElementById("cancel-nsu").value,
      };
    });
    fs.mkdirSync(path.dirname(cfg.screenshot), { recursive: true });
    await page.screenshot({ path: cfg.screenshot, fullPage: true });
    emit({ event: "paid", sessionUuid, prompts, refusedTooLong, result });

    // The test pauses the service (every connection closes) and resumes it.
    await page.waitForFunction(() => document.getElementById("connection").textContent !== "conectado");
    emit({ event: "dropped", badge: await page.textContent("#connection") });
    await nextLine();
    await page.waitForFunction(() => document.getElementById("connection").textContent === "conectado");

    // The session outlives the connection: finishing it on the new one works.
    await page.click("#session-finish");
    await page.waitForFunction(() => document.getElementById("notice").textContent.includes("finalizada"));
    const notice = await page.textContent("#notice");
    const errorShown = await page.isVisible("#error");
    emit({ event: "done", notice, errorShown, problems });
  } finally {
    await context.close();
    fs.rmSync(userDataDir, { recursive: true, force: true });
    lines.close();
  }
}

// A PIX payment: the page draws the QR code from the service's text.
async function pix(page, problems) {
  await page.click("#session-start");
  await page.waitForFunction(() => document.querySelector("#session-info dd"));
  await page.selectOption("#operation", "300");
  await page.fill("#value", "25,00");
  await page.click("#pay");
  await page.waitForSelector("#qrcode svg");
  fs.mkdirSync(path.dirname(cfg.qrcodeShot), { recursive: true });
  await page.locator("#qrcode svg").screenshot({ path: cfg.qrcodeShot });
  const text = await page.textContent("#qrcode code");
  const cancelShown = await page.isVisible("#cancel-running");
  await page.waitForSelector("#result.approved");
  emit({ event: "done", text, cancelShown, qrcodeGone: await page.isHidden("#qrcode"),
         operation: await page.textContent("#result td"), problems });
}

main().catch((e) => {
  emit({ event: "failed", error: String(e && e.stack || e) });
  process.exit(1);
});
