// Hands links to Pellmarsh through its native-messaging host.
// Chromium runs this file as a service worker, Firefox as an event page that
// has loaded settings.js already.
if (typeof importScripts === "function") {
  importScripts("settings.js");
}

const api = globalThis.browser ?? globalThis.chrome;
const HOST = "org.example.pellmarsh";
const MENU_ID = "download-with-pellmarsh";
const WEB_LINK = /\b(?:https?|ftp):\/\/[^\s<>"'`]+/gi;

// What the host takes of the cookies for one link, as a Cookie header would
// carry them.
const MOST_COOKIE_BYTES = 8192;

// The cookies the browser would send with a request for `url`, HttpOnly ones
// included, as far as the host takes them.
async function cookiesFor(url, storeId) {
  // Without the permission the link still goes, as a bare link.
  if (!api.cookies) {
    return [];
  }
  const all = await api.cookies.getAll(storeId ? { url, storeId } : { url }).catch(() => []);
  const kept = [];
  let bytes = 0;
  for (const cookie of all) {
    bytes += cookie.name.length + cookie.value.length + 3;
    if (bytes > MOST_COOKIE_BYTES) {
      break;
    }
    const { name, value, domain, path, secure, httpOnly, hostOnly, expirationDate } = cookie;
    kept.push({ name, value, domain, path, secure, httpOnly, hostOnly, expirationDate });
  }
  return kept;
}

// One link as the host takes it: what the browser knows of it, so that the
// download goes as the browser's own would (its session, the page it came
// from, the name it chose).
async function describeLink(link) {
  const download = { url: link.url, referrer: link.referrer || "", userAgent: navigator.userAgent };
  download.cookies = await cookiesFor(link.finalUrl || link.url, link.storeId);
  if (link.finalUrl && link.finalUrl !== link.url) {
    download.finalUrl = link.finalUrl;
  }
  if (link.filename) {
    download.filename = link.filename.split(/[\\/]/).pop();
  }
  if (link.size > 0) {
    download.size = link.size;
  }
  return download;
}

// Resolves to the host's answer, {ok, error, added}; a host that cannot be
// started gives {ok: false} with the browser's reason.
// With `confirm`, the host answers only once Pellmarsh's server started
// sending each file.
async function sendToPellmarsh(links, confirm = false) {
  try {
    const downloads = await Promise.all(links.map(describeLink));
    const message = confirm ? { downloads, confirm } : { downloads };
    const answer = await api.runtime.sendNativeMessage(HOST, message);
    return answer && typeof answer.ok === "boolean"
      ? answer
      : { ok: false, error: "Pellmarsh gave no answer." };
  } catch (error) {
    return { ok: false, error: String(error && error.message ? error.message : error) };
  }
}

// The toolbar button's badge tells how the last hand-over went.
function showOutcome(answer) {
  api.action.setBadgeText({ text: answer.ok ? "" : "!" });
  api.action.setTitle({ title: answer.ok ? "Pellmarsh" : `Pellmarsh: ${answer.error}` });
  if (!answer.ok) {
    console.warn("Pellmarsh refused the links:", answer.error);
  }
}

function linksOfClick(info) {
  if (info.linkUrl) {
    return [info.linkUrl];
  }
  if (info.srcUrl) {
    return [info.srcUrl];
  }
  return [...new Set((info.selectionText || "").match(WEB_LINK) || [])];
}

api.runtime.onInstalled.addListener(() => {
  api.contextMenus.removeAll(() => {
    api.contextMenus.create({
      id: MENU_ID,
      title: "Download with Pellmarsh",
      contexts: ["link", "selection", "image", "video", "audio"]
    });
  });
});

api.contextMenus.onClicked.addListener(async (info, tab) => {
  if (info.menuItemId !== MENU_ID) {
    return;
  }
  // A private window's links, and its cookies, never leave the browser.
  if (tab?.incognito) {
    showOutcome({ ok: false, error: "Links of a private window stay in the browser." });
    return;
  }
  const urls = linksOfClick(info);
  const referrer = info.frameUrl || info.pageUrl || "";
  showOutcome(
    urls.length > 0
      ? await sendToPellmarsh(urls.map((url) => ({ url, referrer, storeId: tab?.cookieStoreId })))
      : { ok: false, error: "The selection holds no http, https or ftp link." }
  );
});

// The same hand-over for other pages of this extension, and for tests that
// drive it from inside.
api.runtime.onMessage.addListener((message, sender, reply) => {
  if (sender.id !== api.runtime.id) {
    return false;
  }
  if (typeof message?.keep === "string") {
    keptLinks.set(message.keep, Date.now());
    return false;
  }
  if (!Array.isArray(message?.urls)) {
    return false;
  }
  sendToPellmarsh(message.urls.map((url) => ({ url }))).then((answer) => {
    showOutcome(answer);
    reply(answer);
  });
  return true;
});

// Links the user Shift-clicked lately, by URL: their downloads stay in the
// browser. A content script tells of each such click.
const KEEP_SECONDS = 30;
const keptLinks = new Map();

function keptByShift(item) {
  const now = Date.now();
  for (const [url, at] of keptLinks) {
    if (now - at > KEEP_SECONDS * 1000) {
      keptLinks.delete(url);
    }
  }
  return keptLinks.has(item.url) || keptLinks.has(item.finalUrl);
}

function wantsDownload(item, settings) {
  if (item.incognito || item.byExtensionId || !/^(https?|ftp):/i.test(item.url)) {
    return false;
  }
  if (keptByShift(item)) {
    return false;
  }
  const where = [item.url, item.finalUrl, item.referrer];
  if (where.some((url) => url && onListedSite(url, settings.neverSites))) {
    return false;
  }
  const size = item.totalBytes > 0 ? item.totalBytes : item.fileSize;
  if (settings.minimumSizeMb > 0 && size >= settings.minimumSizeMb * 1024 * 1024) {
    return true;
  }
  const name = (item.filename || new URL(item.finalUrl || item.url).pathname).toLowerCase();
  return fileTypeList(settings.fileTypes).some((type) => name.endsWith(`.${type}`));
}

async function takeOver(item) {
  const settings = await api.storage.local.get(DEFAULT_SETTINGS);
  if (!settings.captureDownloads || !wantsDownload(item, settings)) {
    return;
  }
  // Paused, not cancelled: unless Pellmarsh gets the file coming from its
  // server, the browser's own download goes on, and the badge says why.
  await api.downloads.pause(item.id).catch(() => {});
  // A file the browser finished before it could be paused stays the browser's.
  const [now] = await api.downloads.search({ id: item.id });
  if (!now || now.state === "complete") {
    return;
  }
  const answer = await sendToPellmarsh([
    {
      url: item.url,
      finalUrl: item.finalUrl,
      referrer: item.referrer,
      // Chromium settles the name only after this listener suggested it.
      filename: now.filename || item.filename,
      size: now.totalBytes > 0 ? now.totalBytes : now.fileSize
    }
  ], true);
  showOutcome(answer);
  if (answer.ok) {
    await api.downloads.cancel(item.id).catch(() => {});
    await api.downloads.erase({ id: item.id }).catch(() => {});
  } else {
    await api.downloads.resume(item.id).catch(() => {});
  }
}

// A download is judged by the name the browser settles on, not by its URL,
// which may name a script or a query: Chromium tells it here, before the
// download gets under way; Firefox knows it when the download is created.
if (api.downloads.onDeterminingFilename) {
  api.downloads.onDeterminingFilename.addListener((item, suggest) => {
    suggest();
    takeOver(item);
  });
} else {
  api.downloads.onCreated.addListener(takeOver);
}
