// The service's web site in a real browser: headless Chromium of the system, driven by
// playwright-core, against vlt-dataservice on the test run's private MariaDB.
//
// Environment (ctest sets it): VLT_DATASERVICE and VLT_TESTDB (the programs), VLT_TEST_DB_FOLDER
// (the private database), VLT_WEB_SHOTS (where the screenshots go), CHROMIUM (default
// /usr/bin/chromium).
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync, spawn } from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';
import { chromium } from 'playwright-core';

const need = (name) => {
  const v = process.env[name];
  if (!v) throw new Error(`${name} is not set; run the browser tests with ctest`);
  return v;
};
const DATASERVICE = need('VLT_DATASERVICE');
const TESTDB = need('VLT_TESTDB');
const DB_FOLDER = need('VLT_TEST_DB_FOLDER');
const SHOTS = process.env.VLT_WEB_SHOTS || path.join(os.tmpdir(), 'vlt-web-shots');
const CHROMIUM = process.env.CHROMIUM || '/usr/bin/chromium';
const FLAGS = [
  '--headless', '--no-sandbox', '--disable-gpu', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync',
];
const PASSWORD = 'kaidian888';

let socket;
let prefix;
let service;  // { child, base, log }
let browser;  // with JavaScript, as people use it
let plain;    // without JavaScript
let evil;     // a web server of "another site"
let token;    // a session of the first registered user, to count users through the API
let pkg;      // the installer the download page offers
const temporary = [];

// ---- the service --------------------------------------------------------------------------

function startService() {
  const child = spawn(DATASERVICE, [
    '--db-socket', socket, '--prefix', prefix, '--listen', '127.0.0.1:0', '--threads', '8',
    '--registrations-per-hour', '30', '--client-package', pkg,
  ], { stdio: ['ignore', 'ignore', 'pipe'] });
  let log = '';
  return new Promise((resolve, reject) => {
    const timer = setTimeout(() => reject(new Error(`the service did not start:\n${log}`)), 90000);
    child.stderr.on('data', (d) => {
      log += d;
      const m = /web site (\S+?)\/\)/.exec(log);
      if (m && !service) {
        clearTimeout(timer);
        service = { child, base: m[1], log: () => log };
        resolve();
      }
    });
    child.on('exit', (code) => {
      clearTimeout(timer);
      if (!service) reject(new Error(`the service ended (${code}):\n${log}`));
    });
  });
}

function mariadb(sql) {
  return execFileSync('mariadb', ['-S', socket, '-u', 'root', '-N', '-B', '-e', sql],
    { encoding: 'utf8' });
}

// Drops the databases and accounts of this run's service (named after its prefix).
function dropServiceData() {
  const p = `${prefix}_`;
  const dbs = mariadb(`SELECT SCHEMA_NAME FROM information_schema.SCHEMATA
                       WHERE LEFT(SCHEMA_NAME, ${p.length}) = '${p}'`);
  for (const db of dbs.split('\n').filter(Boolean)) mariadb(`DROP DATABASE \`${db}\``);
  const users = mariadb(`SELECT CONCAT(QUOTE(User), '@', QUOTE(Host)) FROM mysql.user
                         WHERE LEFT(User, ${p.length}) = '${p}'`);
  for (const u of users.split('\n').filter(Boolean)) mariadb(`DROP USER ${u}`);
}

async function api(op, body, session) {
  const headers = { 'Content-Type': 'application/json' };
  if (session) headers.Authorization = `Bearer ${session}`;
  const r = await fetch(`${service.base}/api/${op}`, {
    method: 'POST', headers, body: JSON.stringify(body),
  });
  return { status: r.status, json: await r.json() };
}

async function userCount() {
  const r = await api('GetSysMainDBDataBySql',
    { UserID: 'Main', SQL: 'select count(*) as n from sys_mainuserbaseinfo' }, token);
  assert.equal(r.status, 200, JSON.stringify(r.json));
  return Number(r.json.packet.rows[0][0]);
}

// ---- the browser --------------------------------------------------------------------------

async function launch(options = {}) {
  // A fresh profile each time: nothing of an earlier run (cookies, cache) takes part.
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'vlt-chromium-'));
  temporary.push(dir);
  return chromium.launchPersistentContext(dir, {
    executablePath: CHROMIUM, headless: true, args: FLAGS, locale: 'zh-CN',
    viewport: { width: 1100, height: 760 }, ...options,
  });
}

// A page that records what should never happen: script errors, dialogs, failed requests.
async function openPage(context) {
  const page = await context.newPage();
  page.problems = [];
  page.on('pageerror', (e) => page.problems.push(`script error: ${e.message}`));
  page.on('dialog', async (d) => {
    page.problems.push(`dialog: ${d.message()}`);
    await d.dismiss();
  });
  // A refused form answers with its status (422, 403): only the page's own parts must load.
  page.on('console', (m) => {
    if (m.type() === 'error' && !m.text().startsWith('Failed to load resource'))
      page.problems.push(`console: ${m.text()}`);
  });
  page.on('response', (r) => {
    if (r.request().resourceType() !== 'document' && r.status() >= 400)
      page.problems.push(`${r.status()}: ${r.url()}`);
  });
  page.on('requestfailed', (r) => page.problems.push(`failed: ${r.url()}`));
  return page;
}

async function shot(page, name) {
  await page.screenshot({ path: path.join(SHOTS, `web-${name}.png`), fullPage: true });
}

async function fillForm(page, nick, password, password2) {
  await page.fill('#nick', nick);
  await page.fill('#password', password);
  await page.fill('#password2', password2);
}

async function register(page, nick, password = PASSWORD) {
  await page.goto(`${service.base}/reg.htm`);
  await fillForm(page, nick, password, password);
  await page.click('#reg-submit');
  await page.waitForSelector('#login-id');
  return (await page.textContent('#login-id')).trim();
}

const text = async (page, selector) => ((await page.textContent(selector)) ?? '').trim();

// ---- setup --------------------------------------------------------------------------------

before(async () => {
  fs.mkdirSync(SHOTS, { recursive: true });
  const started = execFileSync(TESTDB, ['start', DB_FOLDER], { encoding: 'utf8' });
  socket = /answering on (.+)/.exec(started)[1].trim();
  prefix = `w${process.pid}${Math.floor(Math.random() * 1e6)}`;
  const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'vlt-package-'));
  temporary.push(folder);
  pkg = path.join(folder, 'vlt-setup-303.190.exe');
  fs.writeFileSync(pkg, Buffer.alloc(150 * 1024, 7));
  await startService();
  [browser, plain] = await Promise.all([launch(), launch({ javaScriptEnabled: false })]);
});

after(async () => {
  await Promise.allSettled([browser?.close(), plain?.close()]);
  if (evil) evil.close();
  if (service) {
    const ended = new Promise((resolve) => service.child.on('exit', resolve));
    service.child.kill('SIGTERM');
    await ended;
    const log = service.log().trim().split('\n');
    console.log(`service log (last lines):\n  ${log.slice(-12).join('\n  ')}`);
  }
  if (prefix && socket) dropServiceData();
  for (const dir of temporary) fs.rmSync(dir, { recursive: true, force: true });
});

// ---- tests --------------------------------------------------------------------------------

test('a new shop owner registers and signs in with the login ID the page shows', async () => {
  const page = await openPage(browser);
  await page.goto(`${service.base}/reg.htm`);
  assert.equal(await page.title(), '注册帐号 - NXQ在线平台');
  await shot(page, 'reg');
  const id = await register(page, '小王的店');
  assert.match(id, /^\d{5}$/);
  assert.equal(await text(page, '#nick'), '小王的店');
  assert.equal(await page.title(), '注册成功 - NXQ在线平台');
  await shot(page, 'reg-done');

  // The client's sign-in: the login ID from the page and the password typed on it.
  assert.deepEqual((await api('CheckLoginUser', { UserID: id, Password: 'wrong' })).json,
    { result: false });
  const login = await api('CheckLoginUser', { UserID: id, Password: PASSWORD });
  assert.equal(login.json.result, true);
  token = login.json.token;
  const info = await api('GetRegisUserInfo', { UserID: id }, token);
  assert.equal(info.json.packet.rows[0][0], '小王的店');
  // Its first account set, as the client makes it after signing in.
  const set = await api('CreateUserDB',
    { Main: 'Main', UserID: id, UserDBID: `${id}_01`, UserDBName: '总店', IsDefault: 'True' }, token);
  assert.equal(set.json.status, '0');
  assert.deepEqual(page.problems, []);
});

test('the version row sends the update window to this site\'s download page', async () => {
  const r = await api('GetSysMainDBDataBySql',
    { UserID: 'Main', SQL: 'select DownLoadURL from sys_autoupdateinfo where id=-99' }, token);
  const address = r.json.packet.rows[0][0];
  assert.equal(address, `${service.base}/download.htm`);
  const page = await openPage(browser);
  await page.goto(address);
  assert.equal(await page.title(), '下载客户端 - NXQ在线平台');
  assert.equal(await text(page, '#package .name'), 'vlt-setup-303.190.exe');
  const [download] = await Promise.all([page.waitForEvent('download'),
    page.click('#download-link')]);
  assert.equal(download.suggestedFilename(), 'vlt-setup-303.190.exe');
  assert.deepEqual(fs.readFileSync(await download.path()), fs.readFileSync(pkg));
  assert.deepEqual(page.problems, []);
});

test('every page the client opens loads with its look and working links', async () => {
  const page = await openPage(browser);
  const pages = [
    ['', '首页', 'index'],
    ['reg.htm', '注册帐号', null],
    ['download.htm', '下载客户端', 'download'],
    ['shop.htm', '商城', 'shop'],
    ['support.htm', '在线客服', 'support'],
  ];
  const links = new Set();
  for (const [address, title, name] of pages) {
    const response = await page.goto(`${service.base}/${address}`);
    assert.equal(response.status(), 200, address);
    assert.equal(await page.title(), `${title} - NXQ在线平台`);
    // The style sheet is in force: the page's light background and the blue header.
    assert.equal(await page.evaluate(() => getComputedStyle(document.body).backgroundColor),
      'rgb(244, 247, 250)');
    assert.match(await page.evaluate(() =>
      getComputedStyle(document.querySelector('.site-header')).backgroundImage), /43, 123, 214/);
    assert.equal(await page.getAttribute('.site-nav [aria-current="page"]', 'href') !== null, true);
    for (const href of await page.$$eval('a[href]', (as) => as.map((a) => a.href))) {
      if (href.startsWith(service.base)) links.add(href.split('#')[0]);
    }
    if (name) await shot(page, name);
  }
  assert.deepEqual(page.problems, []);
  for (const link of links) {
    const r = await page.request.get(link);
    assert.equal(r.status(), 200, link);
  }
  // The same pages on a telephone-sized screen.
  await page.setViewportSize({ width: 390, height: 780 });
  await page.goto(`${service.base}/reg.htm`);
  await shot(page, 'reg-narrow');
  await page.goto(`${service.base}/`);
  await shot(page, 'index-narrow');

  const missing = await page.goto(`${service.base}/no/such/page.htm`);
  assert.equal(missing.status(), 404);
  assert.equal(await page.evaluate(() => getComputedStyle(document.body).backgroundColor),
    'rgb(244, 247, 250)');
  await page.setViewportSize({ width: 1100, height: 760 });
  await shot(page, '404');
});

test('the form names each problem before sending when JavaScript runs', async () => {
  const page = await openPage(browser);
  const posts = [];
  page.on('request', (r) => { if (r.method() === 'POST') posts.push(r.url()); });
  await page.goto(`${service.base}/reg.htm`);
  await page.click('#reg-submit');
  assert.equal(await text(page, '#nick-error'), '请输入昵称。');
  assert.equal(await text(page, '#password-error'), '请输入密码。');
  assert.equal(await text(page, '#password2-error'), '请再次输入密码。');
  assert.equal(await page.evaluate(() => document.activeElement.id), 'nick');

  await fillForm(page, '小李', 'abc', 'abd');
  await page.click('#reg-submit');
  assert.equal(await text(page, '#nick-error'), '');
  assert.equal(await text(page, '#password-error'), '密码至少需要6个字符。');
  assert.equal(await text(page, '#password2-error'), '两次输入的密码不一致。');
  await shot(page, 'reg-errors-js');

  await page.fill('#nick', '店'.repeat(121));
  assert.equal(await text(page, '#nick-counter'), '121/120');
  await page.click('#reg-submit');
  assert.equal(await text(page, '#nick-error'), '昵称不能超过120个字。');
  assert.deepEqual(posts, [], 'nothing was sent');
  assert.deepEqual(page.problems, []);
});

test('without JavaScript the service names each problem and keeps what was typed', async () => {
  const page = await openPage(plain);
  const before = await userCount();
  const rows = [
    { what: 'empty', nick: '', pw: '', pw2: '',
      errors: { nick: '请输入昵称。', password: '请输入密码。', password2: '请再次输入密码。' },
      name: 'reg-errors' },
    { what: 'mismatch', nick: '小李', pw: 'abcdef', pw2: 'abcdeg',
      errors: { nick: '', password: '', password2: '两次输入的密码不一致。' } },
    { what: 'short password', nick: '小李', pw: 'abc', pw2: 'abc',
      errors: { nick: '', password: '密码至少需要6个字符。', password2: '' } },
    { what: '10,000 characters', nick: '长'.repeat(10000), pw: 'abcdef', pw2: 'abcdef',
      errors: { nick: '昵称不能超过120个字（现在是10000个字）。', password: '', password2: '' },
      name: 'reg-long-nick' },
  ];
  for (const row of rows) {
    await page.goto(`${service.base}/reg.htm`);
    await fillForm(page, row.nick, row.pw, row.pw2);
    const [response] = await Promise.all([
      page.waitForResponse((r) => r.request().method() === 'POST'),
      page.click('#reg-submit'),
    ]);
    await page.waitForLoadState();
    assert.equal(response.status(), 422, row.what);
    assert.equal(await text(page, '#form-error'), '请按提示修改后再提交。', row.what);
    for (const [field, message] of Object.entries(row.errors))
      assert.equal(await text(page, `#${field}-error`), message, `${row.what}: ${field}`);
    assert.equal(await page.inputValue('#nick'), row.nick, `${row.what}: the nickname is kept`);
    assert.equal(await page.inputValue('#password'), '', `${row.what}: passwords are not`);
    if (row.name) await shot(page, row.name);
  }
  assert.equal(await userCount(), before);
  assert.deepEqual(page.problems, []);
});

test('HTML and script in the nickname are shown as typed and never run', async () => {
  const page = await openPage(browser);
  const nick = '<img src=x onerror="window.pwned=1"><script>window.pwned=2</script>\'"&amp;';
  const ran = () => page.evaluate(() => window.pwned ?? null);

  // Refused by the service (the page's own checks stepped around) and shown back in the form.
  await page.goto(`${service.base}/reg.htm`);
  await fillForm(page, nick, 'abc', 'abc');
  await page.evaluate(() => document.getElementById('reg-form').submit());
  await page.waitForSelector('#form-error');
  assert.equal(await page.inputValue('#nick'), nick);
  assert.equal(await page.locator('img[src="x"]').count(), 0);
  assert.equal(await ran(), null);

  const id = await register(page, nick);
  assert.equal(await text(page, '#nick'), nick);
  assert.equal(await page.locator('#reg-done script, #reg-done img').count(), 0);
  assert.equal(await ran(), null);
  await shot(page, 'reg-escaped');
  const info = await api('GetRegisUserInfo', { UserID: id }, token);
  assert.equal(info.json.packet.rows[0][0], nick, 'stored as typed');
  assert.deepEqual(page.problems, []);
});

test('a post from another site is refused and makes no account', async () => {
  const page = await openPage(browser);
  // The strongest forgery: even the victim's own valid form token is in the forged form.
  await page.goto(`${service.base}/reg.htm`);
  const formToken = await page.inputValue('input[name="token"]');
  evil = http.createServer((req, res) => {
    res.writeHead(200, { 'Content-Type': 'text/html; charset=utf-8' });
    res.end(`<!DOCTYPE html><html><body>
      <form id="f" method="post" action="${service.base}/reg.htm">
        <input name="token" value="${formToken}"><input name="nick" value="伪造">
        <input name="password" value="forged123"><input name="password2" value="forged123">
      </form><script>document.getElementById('f').submit()</script></body></html>`);
  });
  await new Promise((resolve) => evil.listen(0, '127.0.0.1', resolve));
  const port = evil.address().port;
  const before = await userCount();
  // Another port of the same host (the same site: the cookie goes along) and another host name.
  for (const origin of [`http://127.0.0.1:${port}`, `http://localhost:${port}`]) {
    const [response] = await Promise.all([
      page.waitForResponse((r) => r.request().method() === 'POST'),
      page.goto(`${origin}/`),
    ]);
    await page.waitForURL(`${service.base}/reg.htm`);
    assert.equal(response.status(), 403, origin);
    assert.equal(await text(page, '#notice h1'), '无法确认这次提交', origin);
  }
  await shot(page, 'forged');
  assert.equal(await userCount(), before);
});

test('sending the same form twice makes one account', async () => {
  const page = await openPage(plain);
  const before = await userCount();
  await page.goto(`${service.base}/reg.htm`);
  await fillForm(page, '小张', PASSWORD, PASSWORD);
  // Without the page's script nothing of ours stops a double click.
  await page.dblclick('#reg-submit');
  await page.waitForSelector('#login-id');
  const id = await text(page, '#login-id');
  assert.match(id, /^\d{5}$/);
  // Reloading the result sends the same form once more.
  const posts = [];
  page.on('request', (r) => { if (r.method() === 'POST') posts.push(r); });
  await page.reload();
  await page.waitForSelector('#login-id');
  assert.equal(await text(page, '#login-id'), id);
  assert.ok(await page.isVisible('#repeat-notice'));
  assert.equal(posts.length, 1, 'the reload sent the form');
  await shot(page, 'reg-repeat');
  assert.equal(await userCount(), before + 1);

  // With the page's script a second click is not even sent.
  const scripted = await openPage(browser);
  const sent = [];
  scripted.on('request', (r) => { if (r.method() === 'POST') sent.push(r); });
  await scripted.goto(`${service.base}/reg.htm`);
  await fillForm(scripted, '小赵', PASSWORD, PASSWORD);
  await scripted.dblclick('#reg-submit');
  await scripted.waitForSelector('#login-id');
  assert.equal(sent.length, 1);
  assert.equal(await userCount(), before + 2);
  assert.deepEqual(scripted.problems, []);
});
