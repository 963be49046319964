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

// Resolves to the host's answer, {ok, error, added}; a host that cannot be
// started gives {ok: false} with the browser's reason.
async function sendToPellmarsh(urls) {
  try {
    const answer = await api.runtime.sendNativeMessage(HOST, { urls });
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

api.contextMenus.onClicked.addListener(async (info) => {
  if (info.menuItemId !== MENU_ID) {
    return;
  }
  const urls = linksOfClick(info);
  showOutcome(
    urls.length > 0
      ? await sendToPellmarsh(urls)
      : { ok: false, error: "The selection holds no http, https or ftp link." }
  );
});

// The same hand-over for other pages of this extension, and for tests that
// drive it from inside.
api.runtime.onMessage.addListener((message, sender, reply) => {
  if (sender.id !== api.runtime.id || !Array.isArray(message?.urls)) {
    return false;
  }
  sendToPellmarsh(message.urls).then((answer) => {
    showOutcome(answer);
    reply(answer);
  });
  return true;
});

function wantsDownload(item, settings) {
  if (item.incognito || item.byExtensionId || !/^(https?|ftp):/i.test(item.url)) {
    return false;
  }
  const size = item.totalBytes > 0 ? item.totalBytes : item.fileSize;
  if (settings.minimumSizeMb > 0 && size >= settings.minimumSizeMb * 1024 * 1024) {
    return true;
  }
  const name = (item.filename || new URL(item.finalUrl || item.url).pathname).toLowerCase();
  return fileTypeList(settings.fileTypes).some((type) => name.endsWith(`.${type}`));
}

api.downloads.onCreated.addListener(async (item) => {
  const settings = await api.storage.local.get(DEFAULT_SETTINGS);
  if (!settings.captureDownloads || !wantsDownload(item, settings)) {
    return;
  }
  // Paused, not cancelled: if Pellmarsh does not take the link, the
  // browser's own download goes on.
  await api.downloads.pause(item.id).catch(() => {});
  // A file the browser finished before it could be paused stays the browser's.
  const [now] = await api.downloads.search({ id: item.id });
  if (!now || now.state === "complete") {
    return;
  }
  const answer = await sendToPellmarsh([item.finalUrl || item.url]);
  showOutcome(answer);
  if (answer.ok) {
    await api.downloads.cancel(item.id).catch(() => {});
    await api.downloads.erase({ id: item.id }).catch(() => {});
  } else {
    await api.downloads.resume(item.id).catch(() => {});
  }
});
